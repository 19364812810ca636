// The register and stack loading for CallFrame::CallMethod is a short
// assembly routine: C++ cannot call a function whose argument list is only
// known at run time.
#include "ole/typelib/vtable_call.h"

#include <cstring>

extern "C" uint64_t glimmark_call_with_slots(const void* function, const uint64_t* integers,
                                             const uint64_t* floats, const uint64_t* stack,
                                             uint64_t stackCount);

// glimmark_call_with_slots(function, integers[6], floats[8], stack, count):
// copies `count` stack slots below a 16-byte aligned stack pointer, loads the
// six integer and eight vector argument registers and calls `function`.
asm(R"(
  .text
  .p2align 4
  .globl glimmark_call_with_slots
  .hidden glimmark_call_with_slots
  .type glimmark_call_with_slots,@function
glimmark_call_with_slots:
  .cfi_startproc
  pushq %rbp
  .cfi_def_cfa_offset 16
  .cfi_offset %rbp, -16
  movq %rsp, %rbp
  .cfi_def_cfa_register %rbp
  pushq %rbx
  pushq %r12
  .cfi_offset %rbx, -24
  .cfi_offset %r12, -32
  movq %rdi, %r10
  movq %rsi, %rbx
  movq %rdx, %r12
  leaq 15(,%r8,8), %rax
  andq $-16, %rax
  subq %rax, %rsp
  xorq %rax, %rax
1:
  cmpq %r8, %rax
  jae 2f
  movq (%rcx,%rax,8), %r11
  movq %r11, (%rsp,%rax,8)
  incq %rax
  jmp 1b
2:
  movsd 0(%r12), %xmm0
  movsd 8(%r12), %xmm1
  movsd 16(%r12), %xmm2
  movsd 24(%r12), %xmm3
  movsd 32(%r12), %xmm4
  movsd 40(%r12), %xmm5
  movsd 48(%r12), %xmm6
  movsd 56(%r12), %xmm7
  movq 0(%rbx), %rdi
  movq 8(%rbx), %rsi
  movq 16(%rbx), %rdx
  movq 24(%rbx), %rcx
  movq 32(%rbx), %r8
  movq 40(%rbx), %r9
  movl $8, %eax
  callq *%r10
  leaq -16(%rbp), %rsp
  popq %r12
  popq %rbx
  popq %rbp
  .cfi_def_cfa %rsp, 8
  ret
  .cfi_endproc
  .size glimmark_call_with_slots, .-glimmark_call_with_slots
)");

namespace glimmark::ole {

void CallFrame::AddStack(uint64_t value) {
  if (stackCount_ >= kMaxStackSlots) {
    ok_ = false;
    return;
  }
  stack_[stackCount_++] = value;
}

void CallFrame::AddInteger(uint64_t value) {
  if (integerCount_ < kIntegerRegisters) {
    integers_[integerCount_++] = value;
  } else {
    AddStack(value);
  }
}

void CallFrame::AddFloat(uint64_t bits) {
  if (floatCount_ < kFloatRegisters) {
    floats_[floatCount_++] = bits;
  } else {
    AddStack(bits);
  }
}

void CallFrame::AddMemory(const void* data, size_t bytes) {
  const auto* source = static_cast<const uint8_t*>(data);
  for (size_t offset = 0; offset < bytes; offset += 8) {
    uint64_t slot = 0;
    std::memcpy(&slot, source + offset, bytes - offset < 8 ? bytes - offset : 8);
    AddStack(slot);
  }
}

HRESULT CallFrame::CallMethod(void* instance, size_t slot) {
  integers_[0] = reinterpret_cast<uint64_t>(instance);
  void* const* vtable = *static_cast<void* const* const*>(instance);
  const uint64_t result =
      glimmark_call_with_slots(vtable[slot], integers_, floats_, stack_, stackCount_);
  return static_cast<HRESULT>(static_cast<uint32_t>(result));
}

}  // namespace glimmark::ole

// One call through an interface's vtable with arguments gathered at run time,
// for ITypeInfo::Invoke. x86-64 System V only: `this` and the integer-class
// arguments go in six registers, float-class ones in eight vector registers,
// the rest (and every VARIANT passed by value) in 8-byte stack slots.
#pragma once

#include <cstddef>
#include <cstdint>

#include "oaidl.h"
#include "ole/typelib/type_library_data.h"

namespace glimmark::ole {

class CallFrame {
 public:
  static constexpr size_t kIntegerRegisters = 6;
  static constexpr size_t kFloatRegisters = 8;
  // Every parameter a call may take, each at most a VARIANT's three slots.
  static constexpr size_t kMaxStackSlots = (kMaxParams + 1) * 3;

  // An argument of integer class: integers, pointers, BSTR, interfaces.
  void AddInteger(uint64_t value);
  // An argument of float class, as its bits (a float in the low 32 bits).
  void AddFloat(uint64_t bits);
  // A structure passed in memory (VARIANT): copied into whole stack slots.
  void AddMemory(const void* data, size_t bytes);
  // False when the arguments did not fit (more than kMaxStackSlots).
  bool ok() const { return ok_; }

  // Calls slot `slot` of `instance`'s vtable with `instance` as `this` and
  // the arguments added so far; returns the 32-bit result (an HRESULT).
  HRESULT CallMethod(void* instance, size_t slot);

 private:
  void AddStack(uint64_t value);

  uint64_t integers_[kIntegerRegisters] = {};
  uint64_t floats_[kFloatRegisters] = {};
  uint64_t stack_[kMaxStackSlots] = {};
  size_t integerCount_ = 1;  // slot 0 is `this`
  size_t floatCount_ = 0;
  size_t stackCount_ = 0;
  bool ok_ = true;
};

}  // namespace glimmark::ole

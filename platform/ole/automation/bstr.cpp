// Automation strings. A BSTR points at its first character; the byte length
// sits in the four bytes before it (preceded by four bytes of padding so the
// text is 8-byte aligned, as on 64-bit Windows) and a zero character follows
// the text. A null BSTR stands for the empty string.
#include <cstdlib>
#include <cstring>

#include "ole/automation/automation_limits.h"
#include "oleauto.h"

namespace {

using glimmark::ole::kMaxAutomationBytes;

constexpr size_t kHeaderBytes = 8;  // padding + 32-bit byte length
constexpr size_t kLengthOffset = 4;
constexpr size_t kTerminatorBytes = sizeof(OLECHAR);

char* BlockOf(BSTR text) { return reinterpret_cast<char*>(text) - kHeaderBytes; }

// Allocates a string of `byteLength` bytes, copies `bytes` in when given
// (zero-fills otherwise) and terminates it. Null when the length is beyond the
// limit or memory runs out.
BSTR AllocateBytes(const void* bytes, size_t byteLength) {
  if (byteLength > kMaxAutomationBytes - kHeaderBytes - kTerminatorBytes) return nullptr;
  // Room for the text, a terminator after an odd trailing byte, and a full
  // zero character: the string always ends in a whole OLECHAR of zero.
  const size_t textRoom = (byteLength + 1) & ~size_t{1};
  char* block = static_cast<char*>(std::malloc(kHeaderBytes + textRoom + kTerminatorBytes));
  if (block == nullptr) return nullptr;
  const auto length = static_cast<uint32_t>(byteLength);
  std::memset(block, 0, kLengthOffset);
  std::memcpy(block + kLengthOffset, &length, sizeof(length));
  char* text = block + kHeaderBytes;
  if (bytes != nullptr) {
    std::memcpy(text, bytes, byteLength);
  } else {
    std::memset(text, 0, byteLength);
  }
  std::memset(text + byteLength, 0, textRoom - byteLength + kTerminatorBytes);
  return reinterpret_cast<BSTR>(text);
}

size_t TextLength(const OLECHAR* text) {
  size_t length = 0;
  while (text[length] != 0) ++length;
  return length;
}

}  // namespace

EXTERN_C BSTR WINAPI SysAllocString(const OLECHAR* text) {
  if (text == nullptr) return nullptr;
  return AllocateBytes(text, TextLength(text) * sizeof(OLECHAR));
}

EXTERN_C BSTR WINAPI SysAllocStringLen(const OLECHAR* text, UINT length) {
  const size_t bytes = size_t{length} * sizeof(OLECHAR);
  return AllocateBytes(text, bytes);
}

EXTERN_C BSTR WINAPI SysAllocStringByteLen(LPCSTR bytes, UINT length) {
  return AllocateBytes(bytes, length);
}

EXTERN_C INT WINAPI SysReAllocString(BSTR* target, const OLECHAR* text) {
  if (target == nullptr) return FALSE;
  // Allocate before freeing: `text` may point into the old string.
  BSTR replacement = nullptr;
  if (text != nullptr) {
    replacement = SysAllocString(text);
    if (replacement == nullptr) return FALSE;
  }
  SysFreeString(*target);
  *target = replacement;
  return TRUE;
}

EXTERN_C UINT WINAPI SysStringByteLen(BSTR text) {
  if (text == nullptr) return 0;
  uint32_t length;
  std::memcpy(&length, BlockOf(text) + kLengthOffset, sizeof(length));
  return length;
}

EXTERN_C UINT WINAPI SysStringLen(BSTR text) { return SysStringByteLen(text) / sizeof(OLECHAR); }

EXTERN_C void WINAPI SysFreeString(BSTR text) {
  if (text != nullptr) std::free(BlockOf(text));
}

// INTERIM automation strings and the IUnknown / IDispatch interface IDs, until
// the platform's full OLE Automation support is in place. Every definition
// here is weak: the real ones replace them at link time without a conflict,
// and this file can then be deleted. String layout as on Windows: a 32-bit
// byte length in front of the text, a zero unit after it; null is empty.
#include <cstdlib>
#include <cstring>

#include "oleauto.h"
#include "unknwn.h"

namespace {

constexpr UINT kMaxInterimLength = 0x3FFFFFF0u;  // keeps the byte count within 32 bits

BSTR AllocateWithLength(const OLECHAR* text, UINT length) {
  if (length > kMaxInterimLength) return nullptr;
  const size_t bytes = static_cast<size_t>(length) * sizeof(OLECHAR);
  auto* block = static_cast<BYTE*>(std::malloc(sizeof(UINT32) + bytes + sizeof(OLECHAR)));
  if (block == nullptr) return nullptr;
  const UINT32 byteLength = static_cast<UINT32>(bytes);
  std::memcpy(block, &byteLength, sizeof(byteLength));
  BSTR result = reinterpret_cast<BSTR>(block + sizeof(UINT32));
  if (text != nullptr) {
    std::memcpy(result, text, bytes);
  } else {
    std::memset(result, 0, bytes);
  }
  result[length] = 0;
  return result;
}

}  // namespace

EXTERN_C __attribute__((weak)) BSTR WINAPI SysAllocStringLen(const OLECHAR* text, UINT length) {
  return AllocateWithLength(text, length);
}

EXTERN_C __attribute__((weak)) BSTR WINAPI SysAllocString(const OLECHAR* text) {
  if (text == nullptr) return nullptr;
  UINT length = 0;
  while (text[length] != 0) ++length;
  return AllocateWithLength(text, length);
}

EXTERN_C __attribute__((weak)) UINT WINAPI SysStringByteLen(BSTR text) {
  if (text == nullptr) return 0;
  UINT32 byteLength;
  std::memcpy(&byteLength, reinterpret_cast<BYTE*>(text) - sizeof(UINT32), sizeof(byteLength));
  return byteLength;
}

EXTERN_C __attribute__((weak)) UINT WINAPI SysStringLen(BSTR text) {
  return SysStringByteLen(text) / sizeof(OLECHAR);
}

EXTERN_C __attribute__((weak)) void WINAPI SysFreeString(BSTR text) {
  if (text == nullptr) return;
  std::free(reinterpret_cast<BYTE*>(text) - sizeof(UINT32));
}

EXTERN_C __attribute__((weak)) const IID IID_IUnknown = {
    0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
EXTERN_C __attribute__((weak)) const IID IID_IDispatch = {
    0x00020400, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

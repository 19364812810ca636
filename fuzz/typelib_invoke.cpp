// Fuzz target: ITypeInfo::Invoke over arbitrary DISPPARAMS against the test
// probe object (testing/typelib_probe.h): any member id, invoke
// flags, argument counts, named ids, argument types with and without
// VT_BYREF, and null result/exception/argument-error pointers.
//
// Input: member, flags, argument count, named count, null-pointer bits, then
// per argument one type byte, one named-id byte and eight payload bytes.
#include <oleauto.h>

#include <cstring>
#include <string>

#include "testing/typelib_probe.h"

namespace {

constexpr DISPID kMembers[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 0x6002000B, 0, -1, 0x60010000};
constexpr VARTYPE kTypes[] = {VT_EMPTY,   VT_NULL,    VT_I2,   VT_I4,       VT_R4,    VT_R8,
                              VT_CY,      VT_DATE,    VT_BSTR, VT_DISPATCH, VT_ERROR, VT_BOOL,
                              VT_VARIANT, VT_UNKNOWN, VT_I1,   VT_UI1,      VT_UI2,   VT_UI4,
                              VT_I8,      VT_UI8,     VT_INT,  VT_UINT};
constexpr size_t kMaxArguments = 12;
constexpr size_t kArgumentBytes = 10;

// What a by-reference argument points at.
struct Storage {
  VARIANT variant{};
  int64_t raw = 0;
  BSTR text = nullptr;
  IUnknown* unknown = nullptr;
};

ITypeInfo* ProbeTypeInfo() { return ProbeTypeInfoFrom(u"" TYPELIB_PROBE_PATH_U); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ITypeInfo* info = ProbeTypeInfo();
  if (info == nullptr || size < 5) return 0;
  static ProbeObject probe;
  const DISPID member = kMembers[data[0] % std::size(kMembers)];
  const WORD flags = data[1] & 0x0F;
  const size_t count = data[2] % (kMaxArguments + 1);
  const size_t named = count == 0 ? 0 : data[3] % (count + 1);
  const uint8_t nulls = data[4];
  data += 5;
  size -= 5;
  VARIANT arguments[kMaxArguments] = {};
  DISPID namedIds[kMaxArguments] = {};
  Storage storage[kMaxArguments];
  for (size_t i = 0; i < count; ++i) {
    uint8_t bytes[kArgumentBytes] = {};
    std::memcpy(
        bytes, data + std::min(size, i * kArgumentBytes),
        std::min(kArgumentBytes, size > i * kArgumentBytes ? size - i * kArgumentBytes : 0));
    const VARTYPE base = kTypes[bytes[0] % std::size(kTypes)];
    const bool byref = (bytes[0] & 0x80) != 0 && base > VT_NULL;
    namedIds[i] =
        static_cast<int8_t>(bytes[1]) < -8 ? DISPID_PROPERTYPUT : static_cast<int8_t>(bytes[1]);
    Storage& slot = storage[i];
    std::memcpy(&slot.raw, bytes + 2, 8);
    slot.text = SysAllocStringByteLen(reinterpret_cast<const char*>(bytes + 2), 8);
    slot.unknown = (bytes[2] & 1) ? static_cast<ITypelibProbe*>(&probe) : nullptr;
    slot.variant.vt = VT_I4;
    slot.variant.lVal = static_cast<LONG>(slot.raw);
    VARIANT& argument = arguments[i];
    argument.vt = static_cast<VARTYPE>(base | (byref ? VT_BYREF : 0));
    if (byref) {
      argument.byref = base == VT_BSTR      ? static_cast<void*>(&slot.text)
                       : base == VT_VARIANT ? static_cast<void*>(&slot.variant)
                       : (base == VT_UNKNOWN || base == VT_DISPATCH)
                           ? static_cast<void*>(&slot.unknown)
                           : static_cast<void*>(&slot.raw);
    } else if (base == VT_BSTR) {
      argument.bstrVal = slot.text;
    } else if (base == VT_UNKNOWN || base == VT_DISPATCH) {
      argument.punkVal = slot.unknown;
    } else if (base == VT_VARIANT) {
      argument.vt = VT_I4;  // a VARIANT cannot hold a VARIANT by value
    } else {
      std::memcpy(&argument.llVal, &slot.raw, 8);
    }
  }
  DISPPARAMS params{(nulls & 1) ? nullptr : arguments, (nulls & 2) ? nullptr : namedIds,
                    static_cast<UINT>(count), static_cast<UINT>(named)};
  VARIANT result;
  VariantInit(&result);
  EXCEPINFO exception{};
  UINT argumentError = 0;
  info->Invoke(static_cast<ITypelibProbe*>(&probe), member, flags, (nulls & 4) ? nullptr : &params,
               (nulls & 8) ? nullptr : &result, (nulls & 16) ? nullptr : &exception,
               (nulls & 32) ? nullptr : &argumentError);
  VariantClear(&result);
  SysFreeString(exception.bstrSource);
  SysFreeString(exception.bstrDescription);
  SysFreeString(exception.bstrHelpFile);
  for (Storage& slot : storage) SysFreeString(slot.text);
  probe.lastUnknown = nullptr;
  return 0;
}

// Feeds arbitrary text to VariantChangeType from VT_BSTR to every numeric
// type, the date and the boolean, under the first input byte's flags. A
// conversion either fails with an automation error, leaving the destination
// alone, or gives a value of the asked type; an integer or boolean result
// written back as text reads as the same value again.
#include <oleauto.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr VARTYPE kTargets[] = {VT_I1,   VT_I2,   VT_I4,  VT_I8,     VT_INT, VT_UI1,
                                VT_UI2,  VT_UI4,  VT_UI8, VT_UINT,   VT_R4,  VT_R8,
                                VT_BOOL, VT_DATE, VT_CY,  VT_DECIMAL};
// Flags the first byte may choose among.
constexpr USHORT kFlagChoices = VARIANT_NOVALUEPROP | VARIANT_ALPHABOOL | VARIANT_LOCALBOOL;

void Check(bool condition) {
  if (!condition) std::abort();
}

// Integers and booleans are written as text without loss; reals, dates,
// currency and decimals may round.
bool IsExactType(VARTYPE type) {
  switch (type) {
    case VT_R4:
    case VT_R8:
    case VT_DATE:
    case VT_CY:
    case VT_DECIMAL:
      return false;
    default:
      return true;
  }
}

// The value's bytes, for comparing an exact result with its reading back.
std::vector<uint8_t> ValueBytes(const VARIANT& value) {
  const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&value.llVal);
  size_t width = 8;
  switch (value.vt) {
    case VT_I1:
    case VT_UI1:
      width = 1;
      break;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL:
      width = 2;
      break;
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
      width = 4;
      break;
    default:
      break;
  }
  return std::vector<uint8_t>(bytes, bytes + width);
}

void CheckRoundTrip(const VARIANT& converted, VARTYPE type) {
  VARIANT text, back;
  VariantInit(&text);
  VariantInit(&back);
  Check(SUCCEEDED(VariantChangeType(&text, &converted, 0, VT_BSTR)));
  if (IsExactType(type)) {
    Check(SUCCEEDED(VariantChangeType(&back, &text, 0, type)));
    Check(ValueBytes(back) == ValueBytes(converted));
  }
  VariantClear(&back);
  VariantClear(&text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const USHORT flags = static_cast<USHORT>(data[0] & kFlagChoices);
  std::vector<OLECHAR> units((size - 1) / 2);
  for (size_t i = 0; i < units.size(); ++i) {
    units[i] = static_cast<OLECHAR>(data[1 + 2 * i] | (data[2 + 2 * i] << 8));
  }
  VARIANT source;
  VariantInit(&source);
  source.vt = VT_BSTR;
  source.bstrVal = SysAllocStringLen(units.data(), static_cast<UINT>(units.size()));
  if (source.bstrVal == nullptr) return 0;
  for (const VARTYPE type : kTargets) {
    VARIANT target;
    VariantInit(&target);
    const HRESULT hr = VariantChangeType(&target, &source, flags, type);
    if (FAILED(hr)) {
      Check(HRESULT_FACILITY(hr) == FACILITY_DISPATCH || hr == E_OUTOFMEMORY);
      Check(target.vt == VT_EMPTY);
      continue;
    }
    Check(target.vt == type);
    CheckRoundTrip(target, type);
    VariantClear(&target);
  }
  VariantClear(&source);
  return 0;
}

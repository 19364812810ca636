// VariantChangeType(Ex): converts between the automation scalars (I1, I2, I4,
// I8, INT, UI1, UI2, UI4, UI8, UINT, R4, R8, BOOL, BSTR), from EMPTY, through
// references, and between IUnknown and IDispatch. Text is read and written in
// the invariant (English) locale whatever LCID is given. Other pairs (dates,
// currency, decimals, arrays of another type) are DISP_E_TYPEMISMATCH.
#include <charconv>
#include <cstring>

#include "ole/automation/automation_number.h"
#include "ole/automation/variant_types.h"
#include "oleauto.h"

namespace {

using glimmark::ole::AutomationNumber;
using glimmark::ole::IsValidVariantType;

// Decimal digits Windows writes for a double and for a float ("%.15G", "%.7G").
constexpr int kDoubleDigits = 15;
constexpr int kFloatDigits = 7;
constexpr size_t kNumberTextRoom = 64;

// Frees the variant it guards when it goes out of scope.
class ScopedVariant {
 public:
  ScopedVariant() { VariantInit(&value); }
  ~ScopedVariant() { VariantClear(&value); }
  ScopedVariant(const ScopedVariant&) = delete;
  ScopedVariant& operator=(const ScopedVariant&) = delete;
  // Hands the content over, leaving this guard empty.
  VARIANT Detach() {
    const VARIANT content = value;
    value.vt = VT_EMPTY;
    return content;
  }
  VARIANT value;
};

// Reads a numeric (or EMPTY) variant. BOOL reads as its 16-bit value.
HRESULT ReadNumber(const VARIANT& in, AutomationNumber* out) {
  switch (in.vt) {
    case VT_EMPTY:
      *out = AutomationNumber::Signed(0);
      return S_OK;
    case VT_I1:
      *out = AutomationNumber::Signed(static_cast<int8_t>(in.cVal));
      return S_OK;
    case VT_I2:
      *out = AutomationNumber::Signed(in.iVal);
      return S_OK;
    case VT_I4:
      *out = AutomationNumber::Signed(in.lVal);
      return S_OK;
    case VT_INT:
      *out = AutomationNumber::Signed(in.intVal);
      return S_OK;
    case VT_I8:
      *out = AutomationNumber::Signed(in.llVal);
      return S_OK;
    case VT_BOOL:
      *out = AutomationNumber::Signed(in.boolVal);
      return S_OK;
    case VT_UI1:
      *out = AutomationNumber::Unsigned(in.bVal);
      return S_OK;
    case VT_UI2:
      *out = AutomationNumber::Unsigned(in.uiVal);
      return S_OK;
    case VT_UI4:
      *out = AutomationNumber::Unsigned(in.ulVal);
      return S_OK;
    case VT_UINT:
      *out = AutomationNumber::Unsigned(in.uintVal);
      return S_OK;
    case VT_UI8:
      *out = AutomationNumber::Unsigned(in.ullVal);
      return S_OK;
    case VT_R4:
      *out = AutomationNumber::Real(in.fltVal);
      return S_OK;
    case VT_R8:
      *out = AutomationNumber::Real(in.dblVal);
      return S_OK;
    default:
      return DISP_E_TYPEMISMATCH;
  }
}

template <typename T>
HRESULT ToInteger(const VARIANT& in, T* out) {
  // A boolean keeps its bit pattern: VARIANT_TRUE becomes 255 as UI1, as on
  // Windows, rather than overflowing.
  if (in.vt == VT_BOOL) {
    *out = static_cast<T>(in.boolVal);
    return S_OK;
  }
  AutomationNumber number;
  const HRESULT hr = in.vt == VT_BSTR
                         ? glimmark::ole::ParseIntegerText(in.bstrVal ? in.bstrVal : u"", &number)
                         : ReadNumber(in, &number);
  return FAILED(hr) ? hr : glimmark::ole::NumberToInteger(number, out);
}

HRESULT ReadRealOrNumber(const VARIANT& in, AutomationNumber* out) {
  if (in.vt != VT_BSTR) return ReadNumber(in, out);
  double value = 0;
  const HRESULT hr = glimmark::ole::ParseRealText(in.bstrVal ? in.bstrVal : u"", &value);
  if (SUCCEEDED(hr)) *out = AutomationNumber::Real(value);
  return hr;
}

HRESULT ToDouble(const VARIANT& in, DOUBLE* out) {
  AutomationNumber number;
  const HRESULT hr = ReadRealOrNumber(in, &number);
  if (SUCCEEDED(hr)) *out = glimmark::ole::NumberToDouble(number);
  return hr;
}

HRESULT ToFloat(const VARIANT& in, FLOAT* out) {
  AutomationNumber number;
  const HRESULT hr = ReadRealOrNumber(in, &number);
  return FAILED(hr) ? hr : glimmark::ole::NumberToFloat(number, out);
}

HRESULT ToBoolean(const VARIANT& in, VARIANT_BOOL* out) {
  bool value = false;
  if (in.vt == VT_BSTR) {
    const HRESULT hr = glimmark::ole::ParseBooleanText(in.bstrVal ? in.bstrVal : u"", &value);
    if (FAILED(hr)) return hr;
  } else {
    AutomationNumber number;
    const HRESULT hr = ReadNumber(in, &number);
    if (FAILED(hr)) return hr;
    value = glimmark::ole::NumberIsNonZero(number);
  }
  *out = value ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

// Writes a real as "%.<digits>G" does, without locale: "0.1", "1E+20".
char* FormatReal(char* first, char* last, double value, int digits) {
  if (value == 0) value = 0;  // no "-0"
  const auto result = std::to_chars(first, last, value, std::chars_format::general, digits);
  for (char* c = first; c != result.ptr; ++c) {
    if (*c >= 'a' && *c <= 'z') *c = static_cast<char>(*c - 'a' + 'A');
  }
  return result.ptr;
}

// The text of a number variant in ASCII; null when the type has no text.
const char* FormatNumber(const VARIANT& in, USHORT flags, char* buffer, char** end) {
  char* const last = buffer + kNumberTextRoom;
  if (in.vt == VT_BOOL && (flags & (VARIANT_ALPHABOOL | VARIANT_LOCALBOOL))) {
    const char* word = in.boolVal ? "True" : "False";
    *end = buffer + std::strlen(word);
    std::memcpy(buffer, word, *end - buffer);
    return buffer;
  }
  if (in.vt == VT_R4 || in.vt == VT_R8) {
    *end = in.vt == VT_R4 ? FormatReal(buffer, last, in.fltVal, kFloatDigits)
                          : FormatReal(buffer, last, in.dblVal, kDoubleDigits);
    return buffer;
  }
  AutomationNumber number;
  if (FAILED(ReadNumber(in, &number))) return nullptr;
  *end = number.kind == AutomationNumber::Kind::kSigned
             ? std::to_chars(buffer, last, number.signedValue).ptr
             : std::to_chars(buffer, last, number.unsignedValue).ptr;
  return buffer;
}

// EMPTY becomes an empty (non-null) string, BOOL "-1"/"0" or, with
// VARIANT_ALPHABOOL or VARIANT_LOCALBOOL, "True"/"False".
HRESULT ToText(const VARIANT& in, USHORT flags, BSTR* out) {
  char ascii[kNumberTextRoom];
  char* end = ascii;
  if (in.vt != VT_EMPTY && FormatNumber(in, flags, ascii, &end) == nullptr) {
    return DISP_E_TYPEMISMATCH;
  }
  OLECHAR wide[kNumberTextRoom];
  const auto length = static_cast<UINT>(end - ascii);
  for (UINT i = 0; i < length; ++i) wide[i] = static_cast<OLECHAR>(ascii[i]);
  *out = SysAllocStringLen(wide, length);
  return *out != nullptr ? S_OK : E_OUTOFMEMORY;
}

// IUnknown <-> IDispatch through QueryInterface; a null pointer stays null.
HRESULT ToInterface(const VARIANT& in, VARTYPE vt, IUnknown** out) {
  if (in.vt != VT_UNKNOWN && in.vt != VT_DISPATCH) return DISP_E_TYPEMISMATCH;
  *out = nullptr;
  if (in.punkVal == nullptr) return S_OK;
  const IID& iid = vt == VT_DISPATCH ? IID_IDispatch : IID_IUnknown;
  return SUCCEEDED(in.punkVal->QueryInterface(iid, reinterpret_cast<void**>(out)))
             ? S_OK
             : DISP_E_TYPEMISMATCH;
}

// Converts the non-reference variant `in` to type `vt` into `out` (which is
// VT_EMPTY on entry and owns the result only on success).
HRESULT Coerce(VARIANT* out, const VARIANT& in, USHORT flags, VARTYPE vt) {
  if (in.vt == vt) return VariantCopy(out, &in);
  if ((vt & (VT_ARRAY | VT_BYREF)) || (in.vt & VT_ARRAY)) return DISP_E_TYPEMISMATCH;
  if (vt == VT_EMPTY || vt == VT_NULL) {
    out->vt = vt;
    return S_OK;
  }
  HRESULT hr = DISP_E_TYPEMISMATCH;
  switch (vt) {
    case VT_I1:
      hr = ToInteger(in, &out->cVal);
      break;
    case VT_I2:
      hr = ToInteger(in, &out->iVal);
      break;
    case VT_I4:
      hr = ToInteger(in, &out->lVal);
      break;
    case VT_INT:
      hr = ToInteger(in, &out->intVal);
      break;
    case VT_I8:
      hr = ToInteger(in, &out->llVal);
      break;
    case VT_UI1:
      hr = ToInteger(in, &out->bVal);
      break;
    case VT_UI2:
      hr = ToInteger(in, &out->uiVal);
      break;
    case VT_UI4:
      hr = ToInteger(in, &out->ulVal);
      break;
    case VT_UINT:
      hr = ToInteger(in, &out->uintVal);
      break;
    case VT_UI8:
      hr = ToInteger(in, &out->ullVal);
      break;
    case VT_R4:
      hr = ToFloat(in, &out->fltVal);
      break;
    case VT_R8:
      hr = ToDouble(in, &out->dblVal);
      break;
    case VT_BOOL:
      hr = ToBoolean(in, &out->boolVal);
      break;
    case VT_BSTR:
      hr = ToText(in, flags, &out->bstrVal);
      break;
    case VT_UNKNOWN:
    case VT_DISPATCH:
      hr = ToInterface(in, vt, &out->punkVal);
      break;
    default:
      break;
  }
  if (SUCCEEDED(hr)) out->vt = vt;
  return hr;
}

}  // namespace

EXTERN_C HRESULT WINAPI VariantChangeTypeEx(VARIANTARG* destination, const VARIANTARG* source, LCID,
                                            USHORT flags, VARTYPE vt) {
  if (destination == nullptr || source == nullptr) return E_INVALIDARG;
  if (!IsValidVariantType(source->vt) || !IsValidVariantType(vt)) return DISP_E_BADVARTYPE;
  if ((source->vt & VT_BYREF) && source->byref == nullptr) return DISP_E_TYPEMISMATCH;
  // Work on a dereferenced copy, so the destination may be the source and is
  // untouched when the conversion fails.
  ScopedVariant value;
  HRESULT hr = VariantCopyInd(&value.value, source);
  if (FAILED(hr)) return hr;
  ScopedVariant result;
  hr = Coerce(&result.value, value.value, flags, vt);
  if (FAILED(hr)) return hr;
  hr = VariantClear(destination);
  if (FAILED(hr)) return hr;
  *destination = result.Detach();
  return S_OK;
}

EXTERN_C HRESULT WINAPI VariantChangeType(VARIANTARG* destination, const VARIANTARG* source,
                                          USHORT flags, VARTYPE vt) {
  return VariantChangeTypeEx(destination, source, LOCALE_USER_DEFAULT, flags, vt);
}

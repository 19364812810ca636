// Variants: initialising, clearing (which frees what the variant owns) and
// copying, deep or through a reference. A variant owns its BSTR, its safe
// array and one reference on its interface; a VT_BYREF variant owns nothing.
#include <cstring>

#include "ole/automation/variant_types.h"
#include "oleauto.h"

namespace {

using glimmark::ole::IsValidVariantType;
using glimmark::ole::ScalarByteSize;

bool IsInterface(VARTYPE vt) { return vt == VT_UNKNOWN || vt == VT_DISPATCH; }

// Makes `out` an independent copy of the non-reference variant `in`: new
// BSTR, copied array, one more reference on the interface. On failure `out`
// is VT_EMPTY and nothing is leaked.
HRESULT DeepCopyValue(VARIANT* out, const VARIANT& in) {
  *out = in;
  if (in.vt & VT_BYREF) return S_OK;
  if (in.vt & VT_ARRAY) {
    const HRESULT hr = SafeArrayCopy(in.parray, &out->parray);
    if (FAILED(hr)) out->vt = VT_EMPTY;
    return hr;
  }
  if (in.vt == VT_BSTR && in.bstrVal != nullptr) {
    out->bstrVal =
        SysAllocStringByteLen(reinterpret_cast<LPCSTR>(in.bstrVal), SysStringByteLen(in.bstrVal));
    if (out->bstrVal == nullptr) {
      out->vt = VT_EMPTY;
      return E_OUTOFMEMORY;
    }
  }
  if (IsInterface(in.vt) && in.punkVal != nullptr) in.punkVal->AddRef();
  return S_OK;
}

// Reads what the reference variant `in` points at into a non-reference
// variant that still shares ownership with the referenced storage.
void ReadReferenced(VARIANT* out, const VARIANT& in) {
  const VARTYPE base = in.vt & ~VT_BYREF;
  std::memset(out, 0, sizeof(*out));
  if (base & VT_ARRAY) {
    out->parray = *in.pparray;
  } else if (base == VT_DECIMAL) {
    out->decVal = *in.pdecVal;  // the decimal overlays the type tag: set it after
  } else if (base == VT_BSTR) {
    out->bstrVal = *in.pbstrVal;
  } else if (IsInterface(base)) {
    out->punkVal = *in.ppunkVal;
  } else {
    std::memcpy(&out->llVal, in.byref, ScalarByteSize(base));
  }
  out->vt = base;
}

// Copies the value that the reference variant `in` points at, one level deep:
// a reference to a variant that is itself a reference to a variant fails.
HRESULT DereferenceCopy(VARIANT* out, const VARIANT& in) {
  if (in.byref == nullptr) return E_INVALIDARG;
  if (in.vt == (VT_VARIANT | VT_BYREF)) {
    const VARIANT& inner = *in.pvarVal;
    if (inner.vt == (VT_VARIANT | VT_BYREF)) return E_INVALIDARG;
    if (!IsValidVariantType(inner.vt)) return DISP_E_BADVARTYPE;
    return (inner.vt & VT_BYREF) ? DereferenceCopy(out, inner) : DeepCopyValue(out, inner);
  }
  VARIANT shared;
  ReadReferenced(&shared, in);
  return DeepCopyValue(out, shared);
}

// Replaces `destination` by `value`, whose ownership it takes. Fails (and
// frees `value`) when the old content cannot be cleared.
HRESULT ReplaceWith(VARIANT* destination, VARIANT* value) {
  const HRESULT hr = VariantClear(destination);
  if (FAILED(hr)) {
    VariantClear(value);
    return hr;
  }
  *destination = *value;
  return S_OK;
}

}  // namespace

EXTERN_C void WINAPI VariantInit(VARIANTARG* variant) {
  if (variant != nullptr) variant->vt = VT_EMPTY;
}

// A variant holding a locked array is left as it is (with the error), so the
// array is not lost: its owner can unlock it and clear again.
EXTERN_C HRESULT WINAPI VariantClear(VARIANTARG* variant) {
  if (variant == nullptr) return E_INVALIDARG;
  const VARTYPE vt = variant->vt;
  if (!IsValidVariantType(vt)) return DISP_E_BADVARTYPE;
  if (!(vt & VT_BYREF)) {
    if (vt & VT_ARRAY) {
      const HRESULT hr = SafeArrayDestroy(variant->parray);
      if (FAILED(hr)) return hr;
    } else if (vt == VT_BSTR) {
      SysFreeString(variant->bstrVal);
    } else if (IsInterface(vt) && variant->punkVal != nullptr) {
      variant->punkVal->Release();
    }
  }
  variant->vt = VT_EMPTY;
  return S_OK;
}

// The copy is made before the destination is cleared, so a failed copy leaves
// the destination as it was.
EXTERN_C HRESULT WINAPI VariantCopy(VARIANTARG* destination, const VARIANTARG* source) {
  if (destination == nullptr || source == nullptr) return E_INVALIDARG;
  if (!IsValidVariantType(source->vt)) return DISP_E_BADVARTYPE;
  if (destination == source) return S_OK;
  VARIANT copy;
  const HRESULT hr = DeepCopyValue(&copy, *source);
  if (FAILED(hr)) return hr;
  return ReplaceWith(destination, &copy);
}

EXTERN_C HRESULT WINAPI VariantCopyInd(VARIANT* destination, const VARIANTARG* source) {
  if (destination == nullptr || source == nullptr) return E_INVALIDARG;
  if (!IsValidVariantType(source->vt)) return DISP_E_BADVARTYPE;
  if (!(source->vt & VT_BYREF)) return VariantCopy(destination, source);
  VARIANT value;
  const HRESULT hr = DereferenceCopy(&value, *source);
  if (FAILED(hr)) return hr;
  // In place, the destination is the reference itself, which owns nothing.
  return ReplaceWith(destination, &value);
}

// Which VARTYPEs a VARIANT may carry, and the storage size of the scalar ones.
// Shared by the variant functions (clear, copy, change type) of this folder.
#pragma once

#include "oaidl.h"

namespace glimmark::ole {

// True for a type tag a VARIANT may hold: a base type below VT_VOID (15 is
// unassigned), optionally with VT_BYREF and/or VT_ARRAY, never VT_VECTOR or
// VT_RESERVED, and no reference to or array of EMPTY or NULL. Records are not
// supported by this platform and count as invalid.
inline bool IsValidVariantType(VARTYPE vt) {
  if (vt & (VT_VECTOR | VT_RESERVED)) return false;
  const VARTYPE base = vt & VT_TYPEMASK;
  if (base >= VT_VOID || base == 15) return false;
  if ((vt & (VT_BYREF | VT_ARRAY)) && base <= VT_NULL) return false;
  return true;
}

// Storage size of a plain scalar of type `base` (what a by-reference scalar
// points at, or one array element); 0 for strings, interfaces, variants,
// decimals and anything invalid.
inline size_t ScalarByteSize(VARTYPE base) {
  switch (base) {
    case VT_I1:
    case VT_UI1:
      return 1;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL:
      return 2;
    case VT_I4:
    case VT_UI4:
    case VT_R4:
    case VT_INT:
    case VT_UINT:
    case VT_ERROR:
      return 4;
    case VT_R8:
    case VT_CY:
    case VT_DATE:
    case VT_I8:
    case VT_UI8:
      return 8;
    default:
      return 0;
  }
}

}  // namespace glimmark::ole

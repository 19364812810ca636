// A number read from a variant or from text, on its way to another automation
// type, and the conversions that fit it into each target with the Windows
// rules: reals round to nearest with ties to even, anything out of the
// target's range is DISP_E_OVERFLOW. Used by variant_change_type.cpp and
// var_from_str.cpp; the text parsers themselves are declared at the end.
#pragma once

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <limits>
#include <type_traits>

#include "oaidl.h"

namespace glimmark::ole {

struct AutomationNumber {
  enum class Kind { kSigned, kUnsigned, kReal };
  Kind kind = Kind::kSigned;
  int64_t signedValue = 0;
  uint64_t unsignedValue = 0;
  double realValue = 0;
  // Hexadecimal or octal text: the value is a bit pattern, which a signed
  // target of the same width takes as two's complement (&HFFFF is -1 as I2).
  bool bitPattern = false;

  static AutomationNumber Signed(int64_t value) {
    AutomationNumber n;
    n.signedValue = value;
    return n;
  }
  static AutomationNumber Unsigned(uint64_t value) {
    AutomationNumber n;
    n.kind = Kind::kUnsigned;
    n.unsignedValue = value;
    return n;
  }
  static AutomationNumber Real(double value) {
    AutomationNumber n;
    n.kind = Kind::kReal;
    n.realValue = value;
    return n;
  }
};

// Fits `n` into the integer type T. Reals are rounded to nearest, ties to
// even, before the range check; NaN and infinities overflow.
template <typename T>
HRESULT NumberToInteger(const AutomationNumber& n, T* out) {
  using Limits = std::numeric_limits<T>;
  using Unsigned = std::make_unsigned_t<T>;
  switch (n.kind) {
    case AutomationNumber::Kind::kSigned:
      if constexpr (Limits::is_signed) {
        if (n.signedValue < int64_t{Limits::min()} || n.signedValue > int64_t{Limits::max()}) {
          return DISP_E_OVERFLOW;
        }
      } else {
        if (n.signedValue < 0 || uint64_t(n.signedValue) > uint64_t{Limits::max()}) {
          return DISP_E_OVERFLOW;
        }
      }
      *out = static_cast<T>(n.signedValue);
      return S_OK;
    case AutomationNumber::Kind::kUnsigned:
      if (n.bitPattern && n.unsignedValue <= uint64_t{std::numeric_limits<Unsigned>::max()}) {
        *out = static_cast<T>(static_cast<Unsigned>(n.unsignedValue));
        return S_OK;
      }
      if (n.unsignedValue > uint64_t{Limits::max()}) return DISP_E_OVERFLOW;
      *out = static_cast<T>(n.unsignedValue);
      return S_OK;
    case AutomationNumber::Kind::kReal: {
      const double rounded = std::nearbyint(n.realValue);  // default mode: ties to even
      // Exact bounds: [min, max + 1), both powers of two or zero.
      const double lowest = static_cast<double>(Limits::min());
      const double pastMax = std::ldexp(1.0, Limits::digits);
      if (!(rounded >= lowest && rounded < pastMax)) return DISP_E_OVERFLOW;
      *out = static_cast<T>(rounded);
      return S_OK;
    }
  }
  return DISP_E_TYPEMISMATCH;
}

inline double NumberToDouble(const AutomationNumber& n) {
  switch (n.kind) {
    case AutomationNumber::Kind::kSigned:
      return static_cast<double>(n.signedValue);
    case AutomationNumber::Kind::kUnsigned:
      return static_cast<double>(n.unsignedValue);
    case AutomationNumber::Kind::kReal:
      break;
  }
  return n.realValue;
}

// Single precision: magnitudes beyond FLT_MAX (infinity included) overflow.
inline HRESULT NumberToFloat(const AutomationNumber& n, FLOAT* out) {
  const double value = NumberToDouble(n);
  if (std::fabs(value) > FLT_MAX) return DISP_E_OVERFLOW;
  *out = static_cast<FLOAT>(value);
  return S_OK;
}

inline bool NumberIsNonZero(const AutomationNumber& n) { return NumberToDouble(n) != 0.0; }

// Text parsers (var_from_str.cpp). The grammar: optional white space, an
// optional sign, decimal digits with an optional fraction and exponent, or
// "&H" hexadecimal / "&O" octal digits without a sign; optional white space.
// Anything else, and text longer than kMaxNumberTextLength, is
// DISP_E_TYPEMISMATCH; null text is E_INVALIDARG.

// The exact value rounded to an integer (ties to even); DISP_E_OVERFLOW when
// its magnitude is 2^64 or more (2^63 when negative).
HRESULT ParseIntegerText(LPCOLESTR text, AutomationNumber* out);

// The value correctly rounded to double; DISP_E_OVERFLOW beyond the double
// range, 0 for magnitudes below it.
HRESULT ParseRealText(LPCOLESTR text, double* out);

// "True" / "False" in any case, or a number (true when nonzero).
HRESULT ParseBooleanText(LPCOLESTR text, bool* out);

}  // namespace glimmark::ole

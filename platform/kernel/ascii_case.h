// The platform's one case fold: letters A-Z and a-z only, every other unit
// as it is. Windows compares module names, resource names, type-library
// names and keywords such as "true" this way; a locale's rules never enter.
// Header-only and constexpr, so that the build-time IDL compiler (which does
// not link the platform) hashes names with it too.
#pragma once

#include <string_view>
#include <type_traits>

namespace kernel {

template <typename Unit>
constexpr Unit AsciiLower(Unit unit) {
  return unit >= 'A' && unit <= 'Z' ? static_cast<Unit>(unit - 'A' + 'a') : unit;
}

template <typename Unit>
constexpr Unit AsciiUpper(Unit unit) {
  return unit >= 'a' && unit <= 'z' ? static_cast<Unit>(unit - 'a' + 'A') : unit;
}

// True when `a` and `b` have the same length and differ at most in the case
// of letters A-Z. The two may hold units of different widths (a packed
// 8-bit name against a UTF-16 one); units compare by value.
template <typename UnitA, typename UnitB>
constexpr bool EqualIgnoringAsciiCase(std::basic_string_view<UnitA> a,
                                      std::basic_string_view<UnitB> b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const auto unitA = static_cast<char32_t>(static_cast<std::make_unsigned_t<UnitA>>(a[i]));
    const auto unitB = static_cast<char32_t>(static_cast<std::make_unsigned_t<UnitB>>(b[i]));
    if (AsciiLower(unitA) != AsciiLower(unitB)) return false;
  }
  return true;
}

}  // namespace kernel

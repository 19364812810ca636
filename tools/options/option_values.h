// Numbers and colours read from text the way every glimmark command line
// reads them: `glimmark image`, `glimmark serve` and the page host's
// settings share these, so one value means the same everywhere.
//
//   number  ASCII decimal digits only: no sign, no spaces, no "0x", at most
//           kMaxNumberDigits of them, then checked against a stated range.
//   pair    two numbers around one separator: "200x70", "4-6", "5,9".
//   colour  AARRGGBB, exactly eight hexadecimal digits (either case): alpha,
//           red, green, blue, as the component takes it. "FF0000FF" is
//           opaque blue.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Nine digits keep every accepted value inside a 32-bit signed number.
constexpr size_t kMaxNumberDigits = 9;

struct NumberRange {
  int32_t min;
  int32_t max;
};

// True with `value` set when `text` is a number within `range`; `value` is
// untouched otherwise.
bool ParseNumber(std::string_view text, NumberRange range, int32_t& value);

// "AB" split at the first `separator`, each side a number within its range.
bool ParseNumberPair(std::string_view text, char separator, NumberRange firstRange,
                     NumberRange secondRange, int32_t& first, int32_t& second);

// True with `argb` set when `text` is AARRGGBB.
bool ParseArgbColor(std::string_view text, uint32_t& argb);

// "min..max", as usage texts state a range.
std::string RangeText(NumberRange range);

// The colour as AARRGGBB, upper case: what ParseArgbColor reads back.
std::string ArgbColorText(uint32_t argb);

#include "tools/options/option_values.h"

namespace {

constexpr size_t kColorDigits = 8;

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

bool ParseNumber(std::string_view text, NumberRange range, int32_t& value) {
  if (text.empty() || text.size() > kMaxNumberDigits) return false;
  int32_t parsed = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    parsed = parsed * 10 + (c - '0');
  }
  if (parsed < range.min || parsed > range.max) return false;
  value = parsed;
  return true;
}

bool ParseNumberPair(std::string_view text, char separator, NumberRange firstRange,
                     NumberRange secondRange, int32_t& first, int32_t& second) {
  const size_t at = text.find(separator);
  if (at == std::string_view::npos) return false;
  int32_t a = 0, b = 0;
  if (!ParseNumber(text.substr(0, at), firstRange, a) ||
      !ParseNumber(text.substr(at + 1), secondRange, b)) {
    return false;
  }
  first = a;
  second = b;
  return true;
}

bool ParseArgbColor(std::string_view text, uint32_t& argb) {
  if (text.size() != kColorDigits) return false;
  uint32_t parsed = 0;
  for (char c : text) {
    const int digit = HexDigitValue(c);
    if (digit < 0) return false;
    parsed = (parsed << 4) | static_cast<uint32_t>(digit);
  }
  argb = parsed;
  return true;
}

std::string RangeText(NumberRange range) {
  return std::to_string(range.min) + ".." + std::to_string(range.max);
}

std::string ArgbColorText(uint32_t argb) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text(kColorDigits, '0');
  for (size_t i = 0; i < kColorDigits; ++i)
    text[kColorDigits - 1 - i] = kDigits[(argb >> (4 * i)) & 0xF];
  return text;
}

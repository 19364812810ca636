#include "tools/token_shape/token_shape.h"

#include "crypto/des.h"
#include "crypto/token.h"

namespace {

constexpr size_t kDigitsPerBlock = kDesBlockBytes * kDigitsPerTokenByte;
constexpr int kLargestByte = 255;

bool HasTokenLength(size_t length) {
  if (length == static_cast<size_t>(kMaxTokenDigits)) return true;  // the cut form
  return length > 0 && length < static_cast<size_t>(kMaxTokenDigits) &&
         length % kDigitsPerBlock == 0;
}

bool IsDigit(char16_t unit) { return unit >= u'0' && unit <= u'9'; }

// The group's value, or -1 when a unit is not a digit.
int GroupValue(std::u16string_view group) {
  int value = 0;
  for (const char16_t unit : group) {
    if (!IsDigit(unit)) return -1;
    value = value * 10 + (unit - u'0');
  }
  return value;
}

}  // namespace

bool IsWellFormedToken(std::u16string_view token) {
  if (!HasTokenLength(token.size())) return false;
  for (size_t at = 0; at < token.size(); at += kDigitsPerTokenByte) {
    const int value = GroupValue(token.substr(at, kDigitsPerTokenByte));
    if (value < 0 || value > kLargestByte) return false;
  }
  return true;
}

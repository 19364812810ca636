// Feeds arbitrary UTF-16 text to the token-shape check that the tool and the
// page host apply before the component sees a token, and compares it with a
// plain restatement of the shape: three-digit groups of 000..255, 24, 48,
// 72 or 96 digits, or the 99 of a long text's cut token.
#include "tools/token_shape/token_shape.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

bool ReferenceShape(const std::u16string& token) {
  const size_t n = token.size();
  if (n != 24 && n != 48 && n != 72 && n != 96 && n != 99) return false;
  for (size_t i = 0; i < n; i += 3) {
    int value = 0;
    for (size_t j = i; j < i + 3; ++j) {
      if (token[j] < u'0' || token[j] > u'9') return false;
      value = value * 10 + (token[j] - u'0');
    }
    if (value > 255) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::u16string token(size / 2, u'\0');
  std::memcpy(token.data(), data, size / 2 * 2);
  if (IsWellFormedToken(token) != ReferenceShape(token)) std::abort();
  return 0;
}

// The token shape check shared by the tools: what the component makes passes,
// what no token can be fails.
#include "tools/token_shape/token_shape.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::u16string Digits(const std::string& text) { return std::u16string(text.begin(), text.end()); }

std::string Repeat(const std::string& group, int times) {
  std::string text;
  for (int i = 0; i < times; ++i) text += group;
  return text;
}

TEST(TokenShape, AcceptsWhatTheComponentMakesAndNothingElse) {
  const struct {
    std::string token;
    bool wellFormed;
    const char* why;
  } cases[] = {
      {Repeat("255", 8), true, "one block"},
      {Repeat("000", 32), true, "four blocks"},
      {Repeat("017", 33), true, "the 99-digit cut form"},
      {"", false, "empty"},
      {"123", false, "no whole block"},
      {Repeat("1", 25), false, "a trailing digit"},
      {Repeat("001", 9), false, "a block and a group"},
      {Repeat("001", 40), false, "five whole blocks: longer than any token"},
      {Repeat("001", 34), false, "one group past the cut"},
      {Repeat("000", 7) + "256", false, "a group above 255"},
      {Repeat("000", 7) + "999", false, "a group far above 255"},
      {Repeat("000", 7) + "-01", false, "a sign"},
      {Repeat("000", 7) + " 12", false, "a space"},
      {Repeat("000", 7) + "1a2", false, "a letter"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsWellFormedToken(Digits(c.token)), c.wellFormed) << c.why;
  }
  // Digits of other scripts are not ASCII digits: U+0661 ARABIC-INDIC ONE.
  std::u16string arabic = Digits(Repeat("000", 8));
  arabic[0] = u'\u0661';
  EXPECT_FALSE(IsWellFormedToken(arabic));
}

}  // namespace

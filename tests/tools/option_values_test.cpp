// The one reading of numbers and colours that the tool and the host share:
// digits only, bounded, no sign or spaces; colours as AARRGGBB only.
#include "tools/options/option_values.h"

#include <gtest/gtest.h>

namespace {

TEST(ParseNumber, DigitsOnlyWithinTheRange) {
  const NumberRange range = {1, 800};
  const struct {
    const char* text;
    bool ok;
    int32_t value;
  } cases[] = {
      {"5", true, 5},
      {"800", true, 800},
      {"0005", true, 5},
      {"1", true, 1},
      {"0", false, 0},
      {"801", false, 0},
      {" 5", false, 0},
      {"5 ", false, 0},
      {"+5", false, 0},
      {"-5", false, 0},
      {"", false, 0},
      {"0x5", false, 0},
      {"5e2", false, 0},
      {"5.0", false, 0},
      {"٥", false, 0},
      {"1000000000", false, 0},
      {"99999999999999999999", false, 0},
  };
  for (const auto& c : cases) {
    int32_t value = -1;
    EXPECT_EQ(ParseNumber(c.text, range, value), c.ok) << "'" << c.text << "'";
    EXPECT_EQ(value, c.ok ? c.value : -1) << "'" << c.text << "'";
  }
  int32_t value = 0;
  EXPECT_TRUE(ParseNumber("999999999", {0, 999999999}, value));  // the most digits taken
  EXPECT_EQ(value, 999999999);
}

TEST(ParseNumberPair, TwoNumbersAroundOneSeparator) {
  const NumberRange widths = {40, 800}, heights = {20, 300};
  int32_t w = 0, h = 0;
  EXPECT_TRUE(ParseNumberPair("200x70", 'x', widths, heights, w, h));
  EXPECT_EQ(w, 200);
  EXPECT_EQ(h, 70);
  for (const char* bad : {"200", "200x", "x70", "200x70x1", "200X70", "200 x70", "20x70", "200x301",
                          "-200x70", "200x+70"}) {
    w = h = -1;
    EXPECT_FALSE(ParseNumberPair(bad, 'x', widths, heights, w, h)) << bad;
    EXPECT_EQ(w, -1) << bad;  // untouched
  }
}

TEST(ParseArgbColor, EightHexDigitsOnly) {
  uint32_t argb = 0;
  EXPECT_TRUE(ParseArgbColor("FF0000FF", argb));
  EXPECT_EQ(argb, 0xFF0000FFu);
  EXPECT_TRUE(ParseArgbColor("80fFfFfF", argb));
  EXPECT_EQ(argb, 0x80FFFFFFu);
  for (const char* bad : {"", "FF0000F", "FF0000FFF", "0000FF", "+F0000FF", " F0000FF", "GG0000FF",
                          "0xFF0000", "red"}) {
    EXPECT_FALSE(ParseArgbColor(bad, argb)) << bad;
  }
  for (uint32_t value : {0u, 0xFF2040A0u, 0xFFFFFFFFu, 0x0000000Au}) {
    const std::string text = ArgbColorText(value);
    uint32_t back = 1;
    ASSERT_TRUE(ParseArgbColor(text, back)) << text;
    EXPECT_EQ(back, value) << text;
  }
}

}  // namespace

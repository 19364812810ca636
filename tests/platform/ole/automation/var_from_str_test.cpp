#include <gtest/gtest.h>
#include <oleauto.h>

#include <string>

namespace {

std::u16string Wide(const std::string& text) { return std::u16string(text.begin(), text.end()); }

TEST(VarFromStr, UnsignedDecimalWithSpaces) {
  ULONG value = 0;
  EXPECT_EQ(VarUI4FromStr(OLESTR(" 4294967295  "), 0, 0, &value), S_OK);
  EXPECT_EQ(value, 4294967295u);
  EXPECT_EQ(VarUI4FromStr(OLESTR("&H1F"), 0, 0, &value), S_OK);
  EXPECT_EQ(value, 31u);
  EXPECT_EQ(VarUI4FromStr(OLESTR("00000000000000000000000000012"), 0, 0, &value), S_OK);
  EXPECT_EQ(value, 12u);
  EXPECT_EQ(VarUI4FromStr(OLESTR("4294967296"), 0, 0, &value), DISP_E_OVERFLOW);
  EXPECT_EQ(VarUI4FromStr(OLESTR("99999999999999999999999"), 0, 0, &value), DISP_E_OVERFLOW);
  EXPECT_EQ(VarUI4FromStr(OLESTR("&H100000000"), 0, 0, &value), DISP_E_OVERFLOW);
  EXPECT_EQ(VarUI4FromStr(OLESTR("-1"), 0, 0, &value), DISP_E_OVERFLOW);
  for (const char16_t* bad : {u"", u"   ", u"-", u".", u"1,000", u"0x10", u"&H", u"1e", u"--1",
                              u"- 1", u"1.2.3", u"&HG", u"+&H1"}) {
    EXPECT_EQ(VarUI4FromStr(bad, 0, 0, &value), DISP_E_TYPEMISMATCH)
        << std::string(bad, bad + std::char_traits<char16_t>::length(bad));
  }
  EXPECT_EQ(VarUI4FromStr(nullptr, 0, 0, &value), E_INVALIDARG);
  EXPECT_EQ(VarUI4FromStr(OLESTR("1"), 0, 0, nullptr), E_INVALIDARG);
}

TEST(VarFromStr, OverlongTextIsRejectedNotRead) {
  ULONG value = 0;
  const std::u16string longText(100000, u'1');
  EXPECT_EQ(VarUI4FromStr(longText.c_str(), 0, 0, &value), DISP_E_TYPEMISMATCH);
}

// Every hundredth from -1000.00 to 1000.00, against rounding done in integers.
TEST(VarFromStr, DecimalsRoundHalfToEvenExhaustively) {
  for (int hundredths = -100000; hundredths <= 100000; ++hundredths) {
    const int magnitude = hundredths < 0 ? -hundredths : hundredths;
    std::string text = hundredths < 0 ? "-" : "";
    text += std::to_string(magnitude / 100);
    text += '.';
    text += std::to_string(magnitude % 100 / 10);
    text += std::to_string(magnitude % 10);
    int whole = magnitude / 100;
    const int rest = magnitude % 100;
    if (rest > 50 || (rest == 50 && whole % 2 == 1)) ++whole;
    const LONG expected = hundredths < 0 ? -whole : whole;
    LONG value = 0;
    ASSERT_EQ(VarI4FromStr(Wide(text).c_str(), 0, 0, &value), S_OK) << text;
    ASSERT_EQ(value, expected) << text;
  }
}

TEST(VarFromStr, SignedEdgesAndExponents) {
  LONG value = 0;
  EXPECT_EQ(VarI4FromStr(OLESTR("-2147483648"), 0, 0, &value), S_OK);
  EXPECT_EQ(value, -2147483647 - 1);
  EXPECT_EQ(VarI4FromStr(OLESTR("-2147483649"), 0, 0, &value), DISP_E_OVERFLOW);
  EXPECT_EQ(VarI4FromStr(OLESTR("2147483647.5"), 0, 0, &value), DISP_E_OVERFLOW);
  EXPECT_EQ(VarI4FromStr(OLESTR("&HFFFFFFFF"), 0, 0, &value), S_OK);
  EXPECT_EQ(value, -1);
  EXPECT_EQ(VarI4FromStr(OLESTR("12.5e1"), 0, 0, &value), S_OK);
  EXPECT_EQ(value, 125);
  EXPECT_EQ(VarI4FromStr(OLESTR("25e-1"), 0, 0, &value), S_OK);
  EXPECT_EQ(value, 2);
  EXPECT_EQ(VarI4FromStr(OLESTR("1e-999999999"), 0, 0, &value), S_OK);
  EXPECT_EQ(value, 0);
  EXPECT_EQ(VarI4FromStr(OLESTR("1e999999999"), 0, 0, &value), DISP_E_OVERFLOW);
  EXPECT_EQ(VarI4FromStr(OLESTR("0e999999999"), 0, 0, &value), S_OK);
  EXPECT_EQ(value, 0);
}

TEST(VarFromStr, Doubles) {
  DOUBLE value = 0;
  EXPECT_EQ(VarR8FromStr(OLESTR(" -0.125 "), 0, 0, &value), S_OK);
  EXPECT_EQ(value, -0.125);
  EXPECT_EQ(VarR8FromStr(OLESTR(".5e2"), 0, 0, &value), S_OK);
  EXPECT_EQ(value, 50.0);
  EXPECT_EQ(VarR8FromStr(OLESTR("0.1"), 0, 0, &value), S_OK);
  EXPECT_EQ(value, 0.1);
  EXPECT_EQ(VarR8FromStr(OLESTR("1e-400"), 0, 0, &value), S_OK);
  EXPECT_EQ(value, 0.0);
  // Many leading zeros before a tiny value: still underflow, not overflow.
  const std::u16string tiny = std::u16string(400, u'0') + u"1e-390";
  EXPECT_EQ(VarR8FromStr(tiny.c_str(), 0, 0, &value), S_OK);
  EXPECT_EQ(value, 0.0);
  EXPECT_EQ(VarR8FromStr(OLESTR("1.8e308"), 0, 0, &value), DISP_E_OVERFLOW);
  EXPECT_EQ(VarR8FromStr(OLESTR("inf"), 0, 0, &value), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(VarR8FromStr(OLESTR("nan"), 0, 0, &value), DISP_E_TYPEMISMATCH);
}

}  // namespace

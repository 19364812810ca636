#include <gtest/gtest.h>
#include <oleauto.h>

#include <cstring>
#include <string>

namespace {

std::u16string TextOf(BSTR text) { return std::u16string(text, SysStringLen(text)); }

TEST(Bstr, LengthPrefixAndTerminatorAsOnWindows) {
  BSTR text = SysAllocString(OLESTR("abc"));
  ASSERT_NE(text, nullptr);
  uint32_t prefix;
  std::memcpy(&prefix, reinterpret_cast<char*>(text) - 4, sizeof(prefix));
  EXPECT_EQ(prefix, 6u);
  EXPECT_EQ(text[3], 0);
  EXPECT_EQ(SysStringLen(text), 3u);
  EXPECT_EQ(SysStringByteLen(text), 6u);
  SysFreeString(text);
}

TEST(Bstr, EmbeddedZerosAreKeptByLength) {
  const OLECHAR raw[] = {u'a', 0, u'b'};
  BSTR text = SysAllocStringLen(raw, 3);
  EXPECT_EQ(TextOf(text), std::u16string(raw, 3));
  SysFreeString(text);
}

TEST(Bstr, NullTextGivesZeroedContentOfTheLength) {
  BSTR text = SysAllocStringLen(nullptr, 5);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(TextOf(text), std::u16string(5, u'\0'));
  EXPECT_EQ(text[5], 0);
  SysFreeString(text);
}

TEST(Bstr, OddByteLengthStillEndsInAZeroCharacter) {
  BSTR text = SysAllocStringByteLen("abc", 3);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(SysStringByteLen(text), 3u);
  EXPECT_EQ(SysStringLen(text), 1u);
  EXPECT_EQ(std::memcmp(text, "abc\0\0", 5), 0);
  SysFreeString(text);
}

TEST(Bstr, NullIsTheEmptyString) {
  EXPECT_EQ(SysAllocString(nullptr), nullptr);
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  EXPECT_EQ(SysStringByteLen(nullptr), 0u);
  SysFreeString(nullptr);
}

TEST(Bstr, AbsurdLengthsFailWithoutAllocating) {
  EXPECT_EQ(SysAllocStringLen(nullptr, 0xFFFFFFFFu), nullptr);  // byte count overflows 32 bits
  EXPECT_EQ(SysAllocStringLen(nullptr, 0x80000000u), nullptr);
  EXPECT_EQ(SysAllocStringLen(nullptr, 0x40000000u), nullptr);  // 2 GiB, over the cap
  EXPECT_EQ(SysAllocStringByteLen(nullptr, 0xFFFFFFFFu), nullptr);
  EXPECT_EQ(SysAllocStringByteLen(nullptr, 0x7FFFFFFFu), nullptr);
}

TEST(Bstr, ReAllocReplacesAndSurvivesAliasing) {
  BSTR text = SysAllocString(OLESTR("hello world"));
  ASSERT_TRUE(SysReAllocString(&text, text + 6));  // source inside the old string
  EXPECT_EQ(TextOf(text), u"world");
  ASSERT_TRUE(SysReAllocString(&text, nullptr));
  EXPECT_EQ(text, nullptr);
  EXPECT_FALSE(SysReAllocString(nullptr, OLESTR("x")));
}

}  // namespace

// The code-page conversions over the platform's one UTF codec: UTF-8 in and
// out, Windows-1252 in; malformed input replaced or refused as the flags say;
// sizes counted, and a buffer too small refused without writing past it.
#include <gtest/gtest.h>

#include <string>

#include "winbase.h"

namespace {

std::u16string FromUtf8(const std::string& bytes, DWORD flags, int* result = nullptr) {
  std::u16string out(bytes.size() + 1, u'#');
  const int units = MultiByteToWideChar(CP_UTF8, flags, bytes.data(), int(bytes.size()), out.data(),
                                        int(out.size()));
  if (result != nullptr) *result = units;
  out.resize(units > 0 ? size_t(units) : 0);
  return out;
}

std::string ToUtf8(const std::u16string& units, DWORD flags, int* result = nullptr) {
  std::string out(units.size() * 3 + 1, '#');
  const int bytes = WideCharToMultiByte(CP_UTF8, flags, units.data(), int(units.size()), out.data(),
                                        int(out.size()), nullptr, nullptr);
  if (result != nullptr) *result = bytes;
  out.resize(bytes > 0 ? size_t(bytes) : 0);
  return out;
}

TEST(CodePages, Utf8BothWaysAndMalformedInputReplacedOrRefused) {
  const struct {
    const char* what;
    std::string utf8;
    std::u16string utf16;
  } pairs[] = {
      {"ASCII", "Captcha", u"Captcha"},
      {"two, three and four bytes", "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80",
       u"\u00E9\u20AC\U0001F600"},
      {"an embedded zero", std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
  };
  for (const auto& pair : pairs) {
    EXPECT_EQ(FromUtf8(pair.utf8, MB_ERR_INVALID_CHARS), pair.utf16) << pair.what;
    EXPECT_EQ(ToUtf8(pair.utf16, WC_ERR_INVALID_CHARS), pair.utf8) << pair.what;
  }
  for (const std::string malformed :
       {"\xC0\xAF", "\xE0\x80\x80", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xE2\x82", "\x80"}) {
    int result = -1;
    EXPECT_EQ(FromUtf8(malformed, MB_ERR_INVALID_CHARS, &result), u"");
    EXPECT_EQ(result, 0);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_NO_UNICODE_TRANSLATION});
    EXPECT_NE(FromUtf8(malformed, 0).find(u'\uFFFD'), std::u16string::npos);
  }
  const std::u16string unpaired = {u'a', char16_t(0xD800), u'b', char16_t(0xDC00)};
  EXPECT_EQ(ToUtf8(unpaired, 0),
            "a\xEF\xBF\xBD"
            "b\xEF\xBF\xBD");
  int result = -1;
  EXPECT_EQ(ToUtf8(unpaired, WC_ERR_INVALID_CHARS, &result), "");
  EXPECT_EQ(result, 0);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_NO_UNICODE_TRANSLATION});
}

TEST(CodePages, SizesAreCountedAndSmallBuffersRefused) {
  const char16_t text[] = u"\u20ACx";  // 3 + 1 bytes, and the terminator
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr), 5);
  char small[4] = {'#', '#', '#', '#'};
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, text, -1, small, 3, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INSUFFICIENT_BUFFER});
  EXPECT_EQ(small[3], '#');
  EXPECT_EQ(WideCharToMultiByte(1252, 0, text, -1, small, 4, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER});
  EXPECT_EQ(MultiByteToWideChar(1252, 0, "\x80", 1, nullptr, 0), 1);
  WCHAR euro = 0;
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "\x80", 1, &euro, 1), 1);
  EXPECT_EQ(euro, 0x20AC);
}

}  // namespace

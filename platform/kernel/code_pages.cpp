// MultiByteToWideChar for the two code pages this platform has: Windows-1252
// (the ANSI code page of every locale here) and UTF-8.
#include <array>

#include "winbase.h"

namespace {

constexpr UINT kWindows1252 = 1252;

// Windows-1252 bytes 0x80..0x9F; the five unassigned ones map to the C1
// control of the same value, as Windows maps them.
constexpr std::array<char16_t, 32> kWindows1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// Receives decoded units: counts them, and stores them while room is left.
class UnitSink {
 public:
  UnitSink(LPWSTR out, int capacity) : out_(out), capacity_(capacity) {}
  bool Put(char32_t codePoint) {
    if (codePoint >= 0x10000) {
      codePoint -= 0x10000;
      return Put1(static_cast<char16_t>(0xD800 + (codePoint >> 10))) &&
             Put1(static_cast<char16_t>(0xDC00 + (codePoint & 0x3FF)));
    }
    return Put1(static_cast<char16_t>(codePoint));
  }
  int Count() const { return count_; }

 private:
  bool Put1(char16_t unit) {
    if (capacity_ != 0) {
      if (count_ >= capacity_) return false;
      out_[count_] = unit;
    }
    ++count_;
    return true;
  }
  LPWSTR out_;
  int capacity_;  // 0: only count
  int count_ = 0;
};

char32_t FromWindows1252(unsigned char byte) {
  return byte >= 0x80 && byte < 0xA0 ? kWindows1252High[byte - 0x80] : byte;
}

// Length of the UTF-8 sequence that starts with `lead` and the bits it
// carries; 0 for a byte that cannot start one.
int Utf8SequenceLength(unsigned char lead) {
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead < 0xE0) return 2;
  if (lead >= 0xE0 && lead < 0xF0) return 3;
  if (lead >= 0xF0 && lead < 0xF5) return 4;
  return 0;
}

// Decodes one UTF-8 sequence at bytes[i], advancing i; U+FFFD and one byte
// for a malformed sequence, with `valid` cleared.
char32_t NextUtf8(const unsigned char* bytes, int length, int& i, bool& valid) {
  const int size = Utf8SequenceLength(bytes[i]);
  constexpr char32_t kReplacement = 0xFFFD;
  if (size == 0 || i + size > length) {
    ++i;
    valid = false;
    return kReplacement;
  }
  if (size == 1) return bytes[i++];
  char32_t codePoint = bytes[i] & (0x7F >> size);
  for (int k = 1; k < size; ++k) {
    if ((bytes[i + k] & 0xC0) != 0x80) {
      ++i;
      valid = false;
      return kReplacement;
    }
    codePoint = codePoint << 6 | (bytes[i + k] & 0x3F);
  }
  constexpr char32_t kSmallestOfLength[] = {0, 0, 0x80, 0x800, 0x10000};
  if (codePoint < kSmallestOfLength[size] || codePoint > 0x10FFFF ||
      (codePoint >= 0xD800 && codePoint < 0xE000)) {
    ++i;
    valid = false;
    return kReplacement;
  }
  i += size;
  return codePoint;
}

int Fail(DWORD error) {
  SetLastError(error);
  return 0;
}

}  // namespace

EXTERN_C int WINAPI MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCCH lpMultiByteStr,
                                        int cbMultiByte, LPWSTR lpWideCharStr, int cchWideChar) {
  const bool ansi = CodePage == CP_ACP || CodePage == CP_THREAD_ACP || CodePage == kWindows1252;
  if ((!ansi && CodePage != CP_UTF8) || lpMultiByteStr == nullptr || cbMultiByte == 0 ||
      cbMultiByte < -1 || cchWideChar < 0 || (cchWideChar > 0 && lpWideCharStr == nullptr)) {
    return Fail(ERROR_INVALID_PARAMETER);
  }
  const auto* bytes = reinterpret_cast<const unsigned char*>(lpMultiByteStr);
  int length = cbMultiByte;
  if (length == -1) {
    length = 0;
    while (bytes[length] != 0) ++length;
    ++length;  // the terminator is converted too
  }
  UnitSink sink(lpWideCharStr, cchWideChar);
  bool valid = true;
  for (int i = 0; i < length;) {
    const char32_t codePoint =
        ansi ? FromWindows1252(bytes[i++]) : NextUtf8(bytes, length, i, valid);
    if (!sink.Put(codePoint)) return Fail(ERROR_INSUFFICIENT_BUFFER);
  }
  if (!valid && (dwFlags & MB_ERR_INVALID_CHARS) != 0) return Fail(ERROR_NO_UNICODE_TRANSLATION);
  return sink.Count();
}

// MultiByteToWideChar for the two code pages this platform has: Windows-1252
// (the ANSI code page of every locale here) and UTF-8; WideCharToMultiByte
// for UTF-8. Both over the platform's codec (unicode.h).
#include <array>
#include <climits>

#include "kernel/unicode.h"
#include "winbase.h"

namespace {

constexpr UINT kWindows1252 = 1252;

// Windows-1252 bytes 0x80..0x9F; the five unassigned ones map to the C1
// control of the same value, as Windows maps them.
constexpr std::array<char16_t, 32> kWindows1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// Receives encoded units: counts them, and stores them while room is left.
template <typename Unit>
class UnitSink {
 public:
  UnitSink(Unit* out, int capacity) : out_(out), capacity_(capacity) {}
  // False when the units do not fit the buffer, or their count an int.
  bool Put(const Unit* units, size_t count) {
    const int room = capacity_ != 0 ? capacity_ : INT_MAX;
    if (static_cast<size_t>(room - count_) < count) return false;
    for (size_t k = 0; k < count; ++k) {
      if (capacity_ != 0) out_[count_] = units[k];
      ++count_;
    }
    return true;
  }
  int Count() const { return count_; }

 private:
  Unit* out_;
  int capacity_;  // 0: only count
  int count_ = 0;
};

char32_t FromWindows1252(unsigned char byte) {
  return byte >= 0x80 && byte < 0xA0 ? kWindows1252High[byte - 0x80] : byte;
}

// The length of a text of `given` units (-1: up to and with its terminator).
template <typename Unit>
int TextLength(const Unit* text, int given) {
  if (given != -1) return given;
  int length = 0;
  while (text[length] != 0) ++length;
  return length + 1;  // the terminator is converted too
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
  const size_t length = static_cast<size_t>(TextLength(bytes, cbMultiByte));
  UnitSink<WCHAR> sink(lpWideCharStr, cchWideChar);
  bool valid = true;
  for (size_t i = 0; i < length;) {
    const char32_t codePoint =
        ansi ? FromWindows1252(bytes[i++]) : kernel::NextUtf8(bytes, length, i, valid);
    char16_t units[2];
    if (!sink.Put(units, kernel::EncodeUtf16(codePoint, units))) {
      return Fail(ERROR_INSUFFICIENT_BUFFER);
    }
  }
  if (!valid && (dwFlags & MB_ERR_INVALID_CHARS) != 0) return Fail(ERROR_NO_UNICODE_TRANSLATION);
  return sink.Count();
}

EXTERN_C int WINAPI WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWCH lpWideCharStr,
                                        int cchWideChar, LPSTR lpMultiByteStr, int cbMultiByte,
                                        LPCCH lpDefaultChar, LPBOOL lpUsedDefaultChar) {
  // UTF-8 has no default character: Windows refuses one for it too.
  if (CodePage != CP_UTF8 || lpWideCharStr == nullptr || cchWideChar == 0 || cchWideChar < -1 ||
      cbMultiByte < 0 || (cbMultiByte > 0 && lpMultiByteStr == nullptr) ||
      lpDefaultChar != nullptr || lpUsedDefaultChar != nullptr) {
    return Fail(ERROR_INVALID_PARAMETER);
  }
  const size_t length = static_cast<size_t>(TextLength(lpWideCharStr, cchWideChar));
  UnitSink<CHAR> sink(lpMultiByteStr, cbMultiByte);
  bool unpaired = false;
  for (size_t i = 0; i < length;) {
    const char32_t codePoint = kernel::NextCodePoint(lpWideCharStr, length, i, &unpaired);
    char bytes[4];
    if (!sink.Put(bytes, kernel::EncodeUtf8(codePoint, bytes))) {
      return Fail(ERROR_INSUFFICIENT_BUFFER);
    }
  }
  if (unpaired && (dwFlags & WC_ERR_INVALID_CHARS) != 0) {
    return Fail(ERROR_NO_UNICODE_TRANSLATION);
  }
  return sink.Count();
}

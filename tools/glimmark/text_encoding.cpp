#include "tools/glimmark/text_encoding.h"

#include <windows.h>

#include <climits>
#include <cstdio>

namespace {

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// The UTF-8 of `count` units at `units` (unpaired surrogates as U+FFFD),
// appended to `out`: the platform's WideCharToMultiByte.
void AppendUtf8(const char16_t* units, size_t count, std::string& out) {
  if (count == 0 || count > INT_MAX / 3) return;  // 3 bytes a unit at the most
  const int length = static_cast<int>(count);
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, units, length, nullptr, 0, nullptr, nullptr);
  const size_t start = out.size();
  out.resize(start + static_cast<size_t>(bytes));
  WideCharToMultiByte(CP_UTF8, 0, units, length, out.data() + start, bytes, nullptr, nullptr);
}

// Units of the code point at in[i]: 2 for a surrogate pair, else 1.
size_t UnitsAt(const std::u16string& in, size_t i) {
  return IsHighSurrogate(in[i]) && i + 1 < in.size() && IsLowSurrogate(in[i + 1]) ? 2 : 1;
}

void AppendEscape(char16_t unit, std::string& out) {
  char escape[8];
  std::snprintf(escape, sizeof(escape), "\\u%04x", static_cast<unsigned>(unit));
  out += escape;
}

}  // namespace

bool Utf8ToUtf16(const std::string& in, std::u16string& out) {
  out.clear();
  if (in.empty()) return true;
  if (in.size() > INT_MAX) return false;
  const int length = static_cast<int>(in.size());
  const int units =
      MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, in.data(), length, nullptr, 0);
  if (units == 0) return false;
  out.resize(static_cast<size_t>(units));
  return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, in.data(), length, out.data(), units) ==
         units;
}

std::string Utf16ToUtf8(const std::u16string& in) {
  std::string out;
  AppendUtf8(in.data(), in.size(), out);
  return out;
}

std::string JsonString(const std::u16string& in) {
  std::string out = "\"";
  for (size_t i = 0; i < in.size();) {
    const char16_t unit = in[i];
    const size_t units = UnitsAt(in, i);
    if (unit == u'"' || unit == u'\\') {
      out += '\\';
      out += static_cast<char>(unit);
    } else if (unit < 0x20 || (units == 1 && (IsHighSurrogate(unit) || IsLowSurrogate(unit)))) {
      AppendEscape(unit, out);  // a control character or an unpaired surrogate
    } else {
      AppendUtf8(in.data() + i, units, out);
    }
    i += units;
  }
  return out + "\"";
}

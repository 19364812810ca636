// UTF-16 decoding and UTF-8 encoding.
#include "gdiplus/text/utf16.h"

#include <new>

namespace Gdiplus::Internal {
namespace {

constexpr char32_t kReplacementCharacter = 0xFFFD;

bool IsHighSurrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

void AppendUtf8(char32_t point, std::string& out) {
  if (point < 0x80) {
    out += static_cast<char>(point);
  } else if (point < 0x800) {
    out += static_cast<char>(0xC0 | (point >> 6));
    out += static_cast<char>(0x80 | (point & 0x3F));
  } else if (point < 0x10000) {
    out += static_cast<char>(0xE0 | (point >> 12));
    out += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (point & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (point >> 18));
    out += static_cast<char>(0x80 | ((point >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (point & 0x3F));
  }
}

}  // namespace

size_t BoundedLength(const WCHAR* text, size_t limit) noexcept {
  size_t length = 0;
  while (length < limit && text[length] != 0) ++length;
  return length;
}

char32_t NextCodePoint(const WCHAR* text, size_t length, size_t& i) noexcept {
  const char32_t unit = text[i++];
  if (IsHighSurrogate(unit) && i < length && IsLowSurrogate(text[i])) {
    const char32_t low = text[i++];
    return 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
  }
  if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) return kReplacementCharacter;
  return unit;
}

bool Utf16ToUtf8(const WCHAR* text, size_t length, std::string& out) noexcept {
  try {
    out.clear();
    out.reserve(length * 3);
    for (size_t i = 0; i < length;) {
      const WCHAR unit = text[i];
      const char32_t point = NextCodePoint(text, length, i);
      if (unit == 0 || (point == kReplacementCharacter && unit != kReplacementCharacter)) {
        return false;
      }
      AppendUtf8(point, out);
    }
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

}  // namespace Gdiplus::Internal

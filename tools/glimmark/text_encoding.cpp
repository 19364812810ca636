#include "tools/glimmark/text_encoding.h"

#include <cstdio>

namespace {

constexpr char32_t kReplacementCharacter = 0xFFFD;
constexpr char32_t kMaxCodePoint = 0x10FFFF;

bool IsHighSurrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

void AppendUtf8(char32_t code, std::string& out) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

void AppendUtf16(char32_t code, std::u16string& out) {
  if (code < 0x10000) {
    out += static_cast<char16_t>(code);
    return;
  }
  code -= 0x10000;
  out += static_cast<char16_t>(0xD800 | (code >> 10));
  out += static_cast<char16_t>(0xDC00 | (code & 0x3FF));
}

// Decodes the code point at `in[i]`; -1 when it is not a surrogate pair
// (an unpaired surrogate), advancing `i` past what was read.
long long NextCodePoint(const std::u16string& in, size_t& i) {
  const char32_t unit = in[i++];
  if (IsHighSurrogate(unit) && i < in.size() && IsLowSurrogate(in[i])) {
    const char32_t low = in[i++];
    return 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
  }
  if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) return -1 - static_cast<long long>(unit);
  return unit;
}

}  // namespace

bool Utf8ToUtf16(const std::string& in, std::u16string& out) {
  out.clear();
  size_t i = 0;
  while (i < in.size()) {
    const unsigned char lead = static_cast<unsigned char>(in[i]);
    int trailing;
    char32_t code;
    char32_t smallest;
    if (lead < 0x80) {
      trailing = 0, code = lead, smallest = 0;
    } else if ((lead & 0xE0) == 0xC0) {
      trailing = 1, code = lead & 0x1F, smallest = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
      trailing = 2, code = lead & 0x0F, smallest = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
      trailing = 3, code = lead & 0x07, smallest = 0x10000;
    } else {
      return false;
    }
    if (i + trailing >= in.size()) return false;  // truncated sequence
    for (int k = 1; k <= trailing; ++k) {
      const unsigned char next = static_cast<unsigned char>(in[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = (code << 6) | (next & 0x3F);
    }
    if (code < smallest || code > kMaxCodePoint || IsHighSurrogate(code) || IsLowSurrogate(code)) {
      return false;
    }
    AppendUtf16(code, out);
    i += trailing + 1;
  }
  return true;
}

std::string Utf16ToUtf8(const std::u16string& in) {
  std::string out;
  for (size_t i = 0; i < in.size();) {
    const long long code = NextCodePoint(in, i);
    AppendUtf8(code < 0 ? kReplacementCharacter : static_cast<char32_t>(code), out);
  }
  return out;
}

std::string JsonString(const std::u16string& in) {
  std::string out = "\"";
  for (size_t i = 0; i < in.size();) {
    const long long code = NextCodePoint(in, i);
    if (code == '"' || code == '\\') {
      out += '\\';
      out += static_cast<char>(code);
    } else if (code >= 0 && code < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof(escape), "\\u%04x", static_cast<unsigned>(code));
      out += escape;
    } else if (code < 0) {
      char escape[8];
      std::snprintf(escape, sizeof(escape), "\\u%04x", static_cast<unsigned>(-1 - code));
      out += escape;
    } else {
      AppendUtf8(static_cast<char32_t>(code), out);
    }
  }
  return out + "\"";
}

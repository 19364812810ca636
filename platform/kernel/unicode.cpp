// UTF-16 and UTF-8 code points (unicode.h).
#include "kernel/unicode.h"

#include <new>

namespace kernel {
namespace {

constexpr char32_t kLargestCodePoint = 0x10FFFF;

// Length of the UTF-8 sequence that starts with `lead`; 0 for a byte that
// cannot start one (a continuation byte, the overlong leads C0 and C1, and
// F5 and above, which would reach past U+10FFFF).
size_t SequenceLength(unsigned char lead) {
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead < 0xE0) return 2;
  if (lead >= 0xE0 && lead < 0xF0) return 3;
  if (lead >= 0xF0 && lead < 0xF5) return 4;
  return 0;
}

}  // namespace

size_t BoundedLength(const char16_t* text, size_t limit) noexcept {
  size_t length = 0;
  while (length < limit && text[length] != 0) ++length;
  return length;
}

char32_t NextCodePoint(const char16_t* text, size_t length, size_t& i, bool* unpaired) noexcept {
  const char32_t unit = text[i++];
  if (IsHighSurrogate(unit) && i < length && IsLowSurrogate(text[i])) {
    const char32_t low = text[i++];
    return 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
  }
  if (!IsSurrogate(unit)) return unit;
  if (unpaired != nullptr) *unpaired = true;
  return kReplacementCharacter;
}

char32_t NextUtf8(const unsigned char* bytes, size_t length, size_t& i, bool& valid) noexcept {
  const size_t size = SequenceLength(bytes[i]);
  if (size == 1) return bytes[i++];
  const auto malformed = [&] {
    ++i;
    valid = false;
    return kReplacementCharacter;
  };
  if (size == 0 || size > length - i) return malformed();
  char32_t point = bytes[i] & (0x7F >> size);
  for (size_t k = 1; k < size; ++k) {
    if ((bytes[i + k] & 0xC0) != 0x80) return malformed();
    point = point << 6 | (bytes[i + k] & 0x3F);
  }
  constexpr char32_t kSmallestOfLength[] = {0, 0, 0x80, 0x800, 0x10000};
  if (point < kSmallestOfLength[size] || point > kLargestCodePoint || IsSurrogate(point)) {
    return malformed();
  }
  i += size;
  return point;
}

size_t Utf8Length(char32_t point) noexcept {
  if (point < 0x80) return 1;
  if (point < 0x800) return 2;
  if (point < 0x10000) return 3;
  return 4;
}

size_t EncodeUtf8(char32_t point, char* out) noexcept {
  const size_t size = Utf8Length(point);
  if (size == 1) {
    out[0] = static_cast<char>(point);
    return 1;
  }
  // The lead carries the length as that many high bits; each continuation
  // byte six bits of the code point, last bits last.
  for (size_t k = size - 1; k > 0; --k) {
    out[k] = static_cast<char>(0x80 | (point & 0x3F));
    point >>= 6;
  }
  constexpr unsigned char kLeadOfLength[] = {0, 0, 0xC0, 0xE0, 0xF0};
  out[0] = static_cast<char>(kLeadOfLength[size] | point);
  return size;
}

size_t Utf16Length(char32_t point) noexcept { return point < 0x10000 ? 1 : 2; }

size_t EncodeUtf16(char32_t point, char16_t* out) noexcept {
  if (point < 0x10000) {
    out[0] = static_cast<char16_t>(point);
    return 1;
  }
  point -= 0x10000;
  out[0] = static_cast<char16_t>(0xD800 + (point >> 10));
  out[1] = static_cast<char16_t>(0xDC00 + (point & 0x3FF));
  return 2;
}

bool Utf16ToUtf8(const char16_t* text, size_t length, std::string& out) noexcept {
  try {
    out.clear();
    out.reserve(length * 3);
    for (size_t i = 0; i < length;) {
      bool unpaired = false;
      if (text[i] == 0) return false;
      const char32_t point = NextCodePoint(text, length, i, &unpaired);
      if (unpaired) return false;
      char bytes[4];
      out.append(bytes, EncodeUtf8(point, bytes));
    }
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

}  // namespace kernel

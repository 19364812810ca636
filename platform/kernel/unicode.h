// UTF-16 and UTF-8, one code point at a time: the platform's one codec. The
// code-page functions (MultiByteToWideChar, WideCharToMultiByte) are built on
// it, and the graphics, module and type-library layers use it for the names
// they hand to the file system and fontconfig and for text layout. Nothing
// here allocates but the std::string a caller passes in.
#pragma once

#include <cstddef>
#include <string>

namespace kernel {

constexpr char32_t kReplacementCharacter = 0xFFFD;

inline bool IsHighSurrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
inline bool IsLowSurrogate(char32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }
inline bool IsSurrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDFFF; }

// Number of code units before the terminating zero, or `limit` when there is
// none within it: a caller passes its largest length plus one to tell "too
// long" from "just fitting". Reads at most `limit` units.
size_t BoundedLength(const char16_t* text, size_t limit) noexcept;

// Decodes the code point at text[i] (a surrogate pair counts as one) and
// advances i. An unpaired surrogate decodes as U+FFFD and sets `unpaired`
// when given.
char32_t NextCodePoint(const char16_t* text, size_t length, size_t& i,
                       bool* unpaired = nullptr) noexcept;

// Decodes the UTF-8 sequence at bytes[i] and advances i past it. A malformed
// sequence (a bad or truncated lead or continuation, an overlong form, a
// surrogate, a value past U+10FFFF) decodes as U+FFFD, advances one byte and
// clears `valid`.
char32_t NextUtf8(const unsigned char* bytes, size_t length, size_t& i, bool& valid) noexcept;

// Number of UTF-8 bytes of `point` (1 to 4); EncodeUtf8 writes them to `out`,
// which has room for four.
size_t Utf8Length(char32_t point) noexcept;
size_t EncodeUtf8(char32_t point, char* out) noexcept;

// Number of UTF-16 units of `point` (1 or 2); EncodeUtf16 writes them to
// `out`, which has room for two.
size_t Utf16Length(char32_t point) noexcept;
size_t EncodeUtf16(char32_t point, char16_t* out) noexcept;

// Converts `length` units to UTF-8 in `out`. Returns false for unpaired
// surrogates, embedded zeros or when memory runs out: for names handed to the
// system, which must not change on the way.
bool Utf16ToUtf8(const char16_t* text, size_t length, std::string& out) noexcept;

}  // namespace kernel

// UTF-16 to UTF-8 conversion for the names this layer hands to fontconfig and
// to the file system, and code-point decoding for text layout.
#pragma once

#include <string>

#include "windef.h"

namespace Gdiplus::Internal {

// Number of code units before the terminating zero, or `limit` when there is
// none within it.
size_t BoundedLength(const WCHAR* text, size_t limit) noexcept;

// Converts `length` units to UTF-8 in `out`. Returns false for unpaired
// surrogates, embedded zeros or when memory runs out.
bool Utf16ToUtf8(const WCHAR* text, size_t length, std::string& out) noexcept;

// Decodes the code point at text[i] (a surrogate pair counts as one) and
// advances i. An unpaired surrogate decodes as U+FFFD.
char32_t NextCodePoint(const WCHAR* text, size_t length, size_t& i) noexcept;

}  // namespace Gdiplus::Internal

// Conversions between the UTF-8 of the command line and terminal and the
// UTF-16 of the component, and the JSON spelling of a UTF-16 string.
#pragma once

#include <string>

// Strict UTF-8 to UTF-16: returns false for malformed input (bad or
// truncated sequences, overlong forms, surrogate code points, values past
// U+10FFFF), leaving `out` unspecified.
bool Utf8ToUtf16(const std::string& in, std::u16string& out);

// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(const std::u16string& in);

// A JSON string literal, quotes included: control characters and unpaired
// surrogates as \u escapes (so nothing of the text is lost), everything else
// as UTF-8.
std::string JsonString(const std::u16string& in);

// JSON string literals for the page host's JSON answers (the challenge API).
// The host's texts are UTF-8 already; only what JSON forbids raw is escaped.
#pragma once

#include <string>

// `text` as a JSON string literal, quotes included: '"' and '\\' escaped with
// a backslash, control characters (below U+0020, and DEL) as \u00XX, every
// other byte as it is (UTF-8 passes through unchanged).
std::string JsonStringLiteral(const std::string& text);

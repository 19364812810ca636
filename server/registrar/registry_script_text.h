// Small text helpers shared by the registry-script reader, expansion and
// walks: UTF-16 strings of the script, whitespace and keyword comparison.
#pragma once

#include <ole2.h>
#include <windows.h>

#include <cstddef>
#include <string>

using ScriptString = std::basic_string<WCHAR>;

// Whitespace between tokens: tab, line feed, carriage return, space.
inline bool IsScriptWhitespace(WCHAR unit) {
  return unit == 9 || unit == 10 || unit == 13 || unit == 32;
}

inline WCHAR FoldScriptUnit(WCHAR unit) {
  return (unit >= 'A' && unit <= 'Z') ? static_cast<WCHAR>(unit - 'A' + 'a') : unit;
}

// True when the `length` units at `text` equal the terminated `word`,
// letters A-Z compared without regard to case, every other unit exactly.
inline bool EqualsIgnoringCase(const WCHAR* text, size_t length, const WCHAR* word) {
  for (size_t i = 0; i < length; ++i) {
    if (word[i] == 0 || FoldScriptUnit(text[i]) != FoldScriptUnit(word[i])) return false;
  }
  return word[length] == 0;
}

inline bool EqualsIgnoringCase(const ScriptString& text, const WCHAR* word) {
  return EqualsIgnoringCase(text.data(), text.size(), word);
}

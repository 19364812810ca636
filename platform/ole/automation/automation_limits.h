// Size limits shared by the automation services of this folder (strings, safe
// arrays, task memory). Every object they hand out stays below 2 GiB, the most
// a 32-bit signed count can address; larger requests fail before allocating.
#pragma once

#include <cstddef>

namespace glimmark::ole {

// Largest byte size of one string, array body or task-memory block.
inline constexpr size_t kMaxAutomationBytes = 0x7FFFFFFF;

// Most dimensions a safe array may have. Windows allows 65535; nothing real
// goes beyond a handful, and the cap keeps descriptor sizes small.
inline constexpr unsigned kMaxSafeArrayDimensions = 64;

// Longest number text (after trimming spaces) the text-to-number conversions
// read; longer text is a type mismatch. Enough for any double written out in
// full, and it bounds the conversion buffer.
inline constexpr size_t kMaxNumberTextLength = 512;

}  // namespace glimmark::ole

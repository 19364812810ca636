// Key and value names of the registry layer: their limits, the splitting of a
// subkey path into key names, and the case folding under which names compare.
// Used by the key store (registry_keys.h) and the exported functions.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "winreg.h"

namespace registry {

// Windows limits: a key name holds at most 255 units, a value name 16383, and
// a key lies at most 512 levels below its hive.
constexpr size_t kMaxKeyNameUnits = 255;
constexpr size_t kMaxValueNameUnits = 16383;
constexpr size_t kMaxKeyDepth = 512;

using KeyPath = std::vector<std::u16string>;

// The key names of `subkey` ("a\b\c"), in order. Null or empty gives no names
// (the key itself); one trailing backslash is allowed. An empty name anywhere
// else, a name longer than kMaxKeyNameUnits or more than kMaxKeyDepth levels
// give ERROR_INVALID_PARAMETER. Cost: linear in the path.
LSTATUS SplitSubkeyPath(const char16_t* subkey, KeyPath* names);

// The value name `name` (null: the default value, stored as the empty name).
// ERROR_INVALID_PARAMETER beyond kMaxValueNameUnits.
LSTATUS ReadValueName(const char16_t* name, std::u16string* result);

// The comparison form of a name: upper case (ASCII, Latin-1, Latin Extended-A,
// Greek and Cyrillic letters), as big-endian UTF-16 bytes so that a byte-wise
// comparison orders names by code unit. Two names are the same name exactly
// when their folded forms are equal.
std::string FoldName(std::u16string_view name);

}  // namespace registry

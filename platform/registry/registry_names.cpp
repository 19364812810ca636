// Name limits, path splitting and case folding of registry names.
#include "registry/registry_names.h"

#include <algorithm>

#include "kernel/unicode.h"

namespace registry {
namespace {

constexpr char16_t kSeparator = u'\\';

// Upper case of one unit for the scripts that registry names use in practice.
// Units outside these ranges compare exactly.
char16_t UpperCase(char16_t unit) {
  if (unit >= u'a' && unit <= u'z') return unit - 0x20;
  if (unit < 0x80) return unit;
  if ((unit >= 0xE0 && unit <= 0xFE && unit != 0xF7)) return unit - 0x20;  // Latin-1
  if (unit == 0xFF) return 0x178;
  if (unit >= 0x100 && unit <= 0x17F) {  // Latin Extended-A: upper/lower pairs
    const bool oddPairs = (unit >= 0x139 && unit <= 0x148) || (unit >= 0x179 && unit <= 0x17E);
    if (oddPairs) return (unit % 2 == 0) ? unit - 1 : unit;
    if (unit == 0x131 || unit == 0x138 || unit == 0x149 || unit == 0x17F) return unit;
    return (unit % 2 == 1) ? unit - 1 : unit;
  }
  if (unit >= 0x3B1 && unit <= 0x3C9 && unit != 0x3C2) return unit - 0x20;  // Greek
  if (unit >= 0x430 && unit <= 0x44F) return unit - 0x20;                   // Cyrillic
  if (unit >= 0x450 && unit <= 0x45F) return unit - 0x50;
  return unit;
}

}  // namespace

LSTATUS SplitSubkeyPath(const char16_t* subkey, KeyPath* names) {
  names->clear();
  if (subkey == nullptr) return ERROR_SUCCESS;
  // Bounds the scan: the longest legal path is kMaxKeyDepth full names.
  constexpr size_t kMaxPathUnits = kMaxKeyDepth * (kMaxKeyNameUnits + 1);
  const size_t length = kernel::BoundedLength(subkey, kMaxPathUnits + 1);
  if (length > kMaxPathUnits) return ERROR_INVALID_PARAMETER;
  std::u16string_view path(subkey, length);
  if (!path.empty() && path.back() == kSeparator) path.remove_suffix(1);
  if (path.empty()) return length == 0 ? ERROR_SUCCESS : ERROR_INVALID_PARAMETER;
  size_t start = 0;
  while (true) {
    const size_t end = std::min(path.find(kSeparator, start), path.size());
    const size_t nameLength = end - start;
    if (nameLength == 0 || nameLength > kMaxKeyNameUnits || names->size() == kMaxKeyDepth) {
      return ERROR_INVALID_PARAMETER;
    }
    names->emplace_back(path.substr(start, nameLength));
    if (end == path.size()) return ERROR_SUCCESS;
    start = end + 1;
  }
}

LSTATUS ReadValueName(const char16_t* name, std::u16string* result) {
  result->clear();
  if (name == nullptr) return ERROR_SUCCESS;
  const size_t length = kernel::BoundedLength(name, kMaxValueNameUnits + 1);
  if (length > kMaxValueNameUnits) return ERROR_INVALID_PARAMETER;
  result->assign(name, length);
  return ERROR_SUCCESS;
}

std::string FoldName(std::u16string_view name) {
  std::string folded;
  folded.reserve(name.size() * 2);
  for (char16_t unit : name) {
    const char16_t upper = UpperCase(unit);
    folded.push_back(static_cast<char>(upper >> 8));
    folded.push_back(static_cast<char>(upper & 0xFF));
  }
  return folded;
}

}  // namespace registry

#include "dll/type_library_paths.h"

namespace {

constexpr WCHAR kTypeLibraryExtension[] = OLESTR(".tlb");
constexpr size_t kExtensionUnits = sizeof kTypeLibraryExtension / sizeof(WCHAR) - 1;

bool IsPathSeparator(WCHAR unit) { return unit == u'\\' || unit == u'/'; }

size_t Length(const WCHAR* text) {
  size_t length = 0;
  while (text[length] != 0) ++length;
  return length;
}

}  // namespace

HRESULT TypeLibraryPathBeside(const WCHAR* modulePath, WCHAR (&tlbPath)[MAX_PATH]) noexcept {
  const size_t length = Length(modulePath);
  size_t stem = length;  // where the extension starts, or the end
  for (size_t i = length; i-- > 0 && !IsPathSeparator(modulePath[i]);) {
    if (modulePath[i] == u'.') {
      stem = i;
      break;
    }
  }
  if (stem + kExtensionUnits + 1 > MAX_PATH) return E_FAIL;
  for (size_t i = 0; i < stem; ++i) tlbPath[i] = modulePath[i];
  for (size_t i = 0; i <= kExtensionUnits; ++i) tlbPath[stem + i] = kTypeLibraryExtension[i];
  return S_OK;
}

void HelpDirectoryOf(const WCHAR* helpFile, WCHAR (&helpDirectory)[MAX_PATH]) noexcept {
  size_t keep = 0;
  for (size_t i = 0; helpFile[i] != 0; ++i) {
    if (IsPathSeparator(helpFile[i]) || helpFile[i] == u':') keep = i + 1;
  }
  if (keep > MAX_PATH - 1) keep = MAX_PATH - 1;
  for (size_t i = 0; i < keep; ++i) helpDirectory[i] = helpFile[i];
  helpDirectory[keep] = 0;
}

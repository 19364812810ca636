// CLSIDFromProgID: a ProgID's class from the registry's classes root.
#include <string>

#include "objbase.h"
#include "winreg.h"

namespace {

// A registry-form GUID with its terminator, and room to spare so that a
// longer value is seen as malformed rather than cut to fit.
constexpr DWORD kGuidValueUnits = 40;
// Longest ProgID (Windows allows 39 characters; longer keys cannot be one).
constexpr size_t kMaxProgIdUnits = 255;

}  // namespace

EXTERN_C HRESULT WINAPI CLSIDFromProgID(LPCOLESTR lpszProgID, LPCLSID lpclsid) {
  if (lpszProgID == nullptr || lpclsid == nullptr) return E_INVALIDARG;
  *lpclsid = GUID{};
  std::u16string path;
  for (size_t i = 0; lpszProgID[i] != 0; ++i) {
    if (i == kMaxProgIdUnits || lpszProgID[i] == u'\\') return CO_E_CLASSSTRING;
    path.push_back(lpszProgID[i]);
  }
  path += u"\\CLSID";
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return CO_E_CLASSSTRING;
  }
  WCHAR text[kGuidValueUnits] = {};
  DWORD bytes = sizeof text - sizeof(WCHAR);  // keeps a terminator in place
  DWORD type = REG_NONE;
  const LSTATUS read =
      RegQueryValueExW(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(text), &bytes);
  RegCloseKey(key);
  if (read != ERROR_SUCCESS || type != REG_SZ) return CO_E_CLASSSTRING;
  return CLSIDFromString(text, lpclsid) == S_OK ? S_OK : CO_E_CLASSSTRING;
}

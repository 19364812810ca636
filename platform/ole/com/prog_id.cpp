// CLSIDFromProgID: a ProgID's class from the registry's classes root, kept
// while the registry stays unchanged (a page host asks for the same class on
// every request).
#include <new>
#include <string>

#include "objbase.h"
#include "registry/registry_generation.h"
#include "winreg.h"

namespace {

// A registry-form GUID with its terminator, and room to spare so that a
// longer value is seen as malformed rather than cut to fit.
constexpr DWORD kGuidValueUnits = 40;
// Longest ProgID (Windows allows 39 characters; longer keys cannot be one).
constexpr size_t kMaxProgIdUnits = 255;

// Classes found by ProgID (found ones only: a missing ProgID is asked again).
registry::RegistryReadCache<std::u16string, CLSID>& KnownClasses() {
  static auto* const cache =
      new registry::RegistryReadCache<std::u16string, CLSID>;  // process-long
  return *cache;
}

// The class registered under HKCR\<progId>\CLSID.
HRESULT ReadClass(const std::u16string& progId, CLSID* clsid) {
  const std::u16string path = progId + u"\\CLSID";
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
  return CLSIDFromString(text, clsid) == S_OK ? S_OK : CO_E_CLASSSTRING;
}

}  // namespace

EXTERN_C HRESULT WINAPI CLSIDFromProgID(LPCOLESTR lpszProgID, LPCLSID lpclsid) {
  if (lpszProgID == nullptr || lpclsid == nullptr) return E_INVALIDARG;
  *lpclsid = GUID{};
  try {
    std::u16string progId;
    for (size_t i = 0; lpszProgID[i] != 0; ++i) {
      if (i == kMaxProgIdUnits || lpszProgID[i] == u'\\') return CO_E_CLASSSTRING;
      progId.push_back(lpszProgID[i]);
    }
    const uint64_t generation = registry::RegistryGeneration();
    if (const auto kept = KnownClasses().Find(progId, generation)) {
      *lpclsid = *kept;
      return S_OK;
    }
    CLSID found{};
    const HRESULT hr = ReadClass(progId, &found);
    if (FAILED(hr)) return hr;
    KnownClasses().Keep(progId, found, generation);
    *lpclsid = found;
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

// Type-library registration in Windows' key layout, beneath the classes root
// (HKEY_CLASSES_ROOT, whose writes land in HKLM\Software\Classes, or
// HKCU\Software\Classes for the per-user forms):
//   TypeLib\{libid}\{major}.{minor}          default: the library's doc string or name
//   TypeLib\{libid}\{major}.{minor}\{lcid}\win64 (or win32/win16)  default: the path
//   TypeLib\{libid}\{major}.{minor}\FLAGS    default: LIBFLAGS in decimal
//   TypeLib\{libid}\{major}.{minor}\HELPDIR  default: the help folder
//   Interface\{iid}                          default: the interface's name
//   Interface\{iid}\ProxyStubClsid and ProxyStubClsid32: the automation marshaler
//   Interface\{iid}\TypeLib                  default: {libid}; "Version": "major.minor"
// Versions and locales are written in hexadecimal, as Windows writes them.
// All functions are exported with C linkage under their Windows names, so
// GetProcAddress finds them in "OLEAUT32.DLL".
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "objbase.h"
#include "ole/com/guid_hash.h"
#include "ole/typelib/kept_type_libraries.h"
#include "oleauto.h"
#include "registry/registry_generation.h"
#include "winbase.h"
#include "winreg.h"

namespace {

constexpr size_t kGuidTextUnits = 39;
constexpr size_t kMaxPathUnits = 32767;
constexpr size_t kMaxKeyNameUnits = 256;
// The automation marshalers: PSOAInterface for dual and oleautomation
// interfaces, PSDispatch for pure dispatch interfaces.
constexpr char16_t kOleAutomationProxy[] = u"{00020424-0000-0000-C000-000000000046}";
constexpr char16_t kDispatchProxy[] = u"{00020420-0000-0000-C000-000000000046}";
constexpr char16_t kUserClasses[] = u"Software\\Classes";

struct ClassesRoot {
  HKEY root;
  bool ok;
};

// The root the keys go under: HKCR, or HKCU\Software\Classes (opened; the
// caller closes it with CloseRoot).
ClassesRoot OpenClassesRoot(bool perUser) {
  if (!perUser) return {HKEY_CLASSES_ROOT, true};
  HKEY key = nullptr;
  const LSTATUS status = RegCreateKeyExW(HKEY_CURRENT_USER, kUserClasses, 0, nullptr, 0,
                                         KEY_ALL_ACCESS, nullptr, &key, nullptr);
  return {key, status == ERROR_SUCCESS};
}

void CloseRoot(const ClassesRoot& root, bool perUser) {
  if (perUser && root.ok) RegCloseKey(root.root);
}

std::u16string GuidText(REFGUID guid) {
  OLECHAR text[kGuidTextUnits];
  StringFromGUID2(guid, text, static_cast<int>(kGuidTextUnits));
  return text;
}

std::u16string Ascii(const char* text) { return std::u16string(text, text + std::strlen(text)); }

std::u16string Hex(unsigned value) {
  char text[16];
  std::snprintf(text, sizeof(text), "%x", value);
  return Ascii(text);
}

std::u16string VersionText(WORD major, WORD minor) { return Hex(major) + u"." + Hex(minor); }

std::u16string VersionKey(REFGUID libid, WORD major, WORD minor) {
  return u"TypeLib\\" + GuidText(libid) + u"\\" + VersionText(major, minor);
}

const char16_t* PlatformName(SYSKIND sysKind) {
  switch (sysKind) {
    case SYS_WIN16:
      return u"win16";
    case SYS_WIN32:
      return u"win32";
    case SYS_WIN64:
      return u"win64";
    default:
      return nullptr;
  }
}

LSTATUS SetDefault(HKEY root, const std::u16string& path, const std::u16string& value,
                   const char16_t* valueName = nullptr) {
  HKEY key = nullptr;
  LSTATUS status =
      RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
  if (status != ERROR_SUCCESS) return status;
  status = RegSetValueExW(key, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(char16_t)));
  RegCloseKey(key);
  return status;
}

// Deletes `path` below `root` with everything under it. Missing is fine.
LSTATUS DeleteTree(HKEY root, const std::u16string& path) {
  HKEY key = nullptr;
  LSTATUS status = RegOpenKeyExW(root, path.c_str(), 0, KEY_ALL_ACCESS, &key);
  if (status == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
  if (status != ERROR_SUCCESS) return status;
  while (status == ERROR_SUCCESS) {
    char16_t name[kMaxKeyNameUnits];
    DWORD length = kMaxKeyNameUnits;
    status = RegEnumKeyExW(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_SUCCESS) status = DeleteTree(key, name);
  }
  RegCloseKey(key);
  if (status != ERROR_NO_MORE_ITEMS) return status;
  return RegDeleteKeyW(root, path.c_str());
}

// Deletes `path` when it has no subkeys left.
void DeleteIfEmpty(HKEY root, const std::u16string& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return;
  DWORD subkeys = 0;
  const LSTATUS status = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr,
                                          nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
  RegCloseKey(key);
  if (status == ERROR_SUCCESS && subkeys == 0) RegDeleteKeyW(root, path.c_str());
}

HRESULT FromStatus(LSTATUS status) {
  return status == ERROR_SUCCESS ? S_OK : TYPE_E_REGISTRYACCESS;
}

// The marshaler for a type that gets Interface keys, or null for none.
const char16_t* ProxyFor(const TYPEATTR& attr) {
  if (attr.typekind == TKIND_DISPATCH) {
    return (attr.wTypeFlags & TYPEFLAG_FDUAL) ? kOleAutomationProxy : kDispatchProxy;
  }
  if (attr.typekind == TKIND_INTERFACE && (attr.wTypeFlags & TYPEFLAG_FOLEAUTOMATION)) {
    return kOleAutomationProxy;
  }
  return nullptr;
}

LSTATUS RegisterInterface(HKEY root, ITypeInfo* info, const TYPEATTR& attr,
                          const TLIBATTR& library) {
  const char16_t* proxy = ProxyFor(attr);
  if (proxy == nullptr) return ERROR_SUCCESS;
  BSTR name = nullptr;
  info->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr);
  const std::u16string key = u"Interface\\" + GuidText(attr.guid);
  LSTATUS status = SetDefault(root, key, name != nullptr ? std::u16string(name) : u"");
  SysFreeString(name);
  if (status == ERROR_SUCCESS) status = SetDefault(root, key + u"\\ProxyStubClsid", proxy);
  if (status == ERROR_SUCCESS) status = SetDefault(root, key + u"\\ProxyStubClsid32", proxy);
  if (status == ERROR_SUCCESS)
    status = SetDefault(root, key + u"\\TypeLib", GuidText(library.guid));
  if (status == ERROR_SUCCESS) {
    status = SetDefault(root, key + u"\\TypeLib",
                        VersionText(library.wMajorVerNum, library.wMinorVerNum), u"Version");
  }
  return status;
}

LSTATUS RegisterInterfaces(HKEY root, ITypeLib* library, const TLIBATTR& attr) {
  const UINT count = library->GetTypeInfoCount();
  for (UINT i = 0; i < count; ++i) {
    ITypeInfo* info = nullptr;
    if (FAILED(library->GetTypeInfo(i, &info))) continue;
    TYPEATTR* typeAttr = nullptr;
    LSTATUS status = ERROR_SUCCESS;
    if (SUCCEEDED(info->GetTypeAttr(&typeAttr))) {
      status = RegisterInterface(root, info, *typeAttr, attr);
      info->ReleaseTypeAttr(typeAttr);
    }
    info->Release();
    if (status != ERROR_SUCCESS) return status;
  }
  return ERROR_SUCCESS;
}

bool ValidText(LPCOLESTR text) {
  if (text == nullptr) return false;
  for (size_t i = 0; i <= kMaxPathUnits; ++i) {
    if (text[i] == 0) return true;
  }
  return false;
}

HRESULT Register(ITypeLib* library, LPCOLESTR path, LPCOLESTR helpDir, bool perUser) {
  if (library == nullptr || !ValidText(path)) return E_INVALIDARG;
  if (helpDir != nullptr && !ValidText(helpDir)) return E_INVALIDARG;
  TLIBATTR* attr = nullptr;
  HRESULT hr = library->GetLibAttr(&attr);
  if (FAILED(hr)) return hr;
  const char16_t* platform = PlatformName(attr->syskind);
  BSTR name = nullptr;
  BSTR doc = nullptr;
  hr = platform == nullptr ? TYPE_E_UNSUPFORMAT
                           : library->GetDocumentation(-1, &name, &doc, nullptr, nullptr);
  const ClassesRoot root = OpenClassesRoot(perUser);
  if (SUCCEEDED(hr) && !root.ok) hr = TYPE_E_REGISTRYACCESS;
  if (SUCCEEDED(hr)) {
    const std::u16string version = VersionKey(attr->guid, attr->wMajorVerNum, attr->wMinorVerNum);
    const std::u16string title =
        SysStringLen(doc) > 0 ? std::u16string(doc) : std::u16string(name ? name : u"");
    LSTATUS status = SetDefault(root.root, version, title);
    if (status == ERROR_SUCCESS) {
      status = SetDefault(root.root, version + u"\\" + Hex(attr->lcid) + u"\\" + platform, path);
    }
    if (status == ERROR_SUCCESS) {
      status = SetDefault(root.root, version + u"\\FLAGS",
                          Ascii(std::to_string(attr->wLibFlags).c_str()));
    }
    if (status == ERROR_SUCCESS) {
      status = SetDefault(root.root, version + u"\\HELPDIR", helpDir != nullptr ? helpDir : u"");
    }
    if (status == ERROR_SUCCESS) status = RegisterInterfaces(root.root, library, *attr);
    hr = FromStatus(status);
  }
  CloseRoot(root, perUser);
  SysFreeString(name);
  SysFreeString(doc);
  library->ReleaseTLibAttr(attr);
  return hr;
}

// Removes the Interface keys that point back at this library.
void UnregisterInterfaces(HKEY root, ITypeLib* library, REFGUID libid) {
  const UINT count = library->GetTypeInfoCount();
  for (UINT i = 0; i < count; ++i) {
    ITypeInfo* info = nullptr;
    if (FAILED(library->GetTypeInfo(i, &info))) continue;
    TYPEATTR* attr = nullptr;
    if (SUCCEEDED(info->GetTypeAttr(&attr))) {
      if (ProxyFor(*attr) != nullptr) {
        const std::u16string key = u"Interface\\" + GuidText(attr->guid);
        char16_t owner[kGuidTextUnits] = {};
        LONG size = sizeof(owner);
        HKEY typeLibKey = nullptr;
        bool ours = false;
        if (RegOpenKeyExW(root, (key + u"\\TypeLib").c_str(), 0, KEY_READ, &typeLibKey) ==
            ERROR_SUCCESS) {
          DWORD bytes = static_cast<DWORD>(size);
          ours = RegQueryValueExW(typeLibKey, nullptr, nullptr, nullptr,
                                  reinterpret_cast<BYTE*>(owner), &bytes) == ERROR_SUCCESS &&
                 GuidText(libid) == owner;
          RegCloseKey(typeLibKey);
        }
        if (ours) DeleteTree(root, key);
      }
      info->ReleaseTypeAttr(attr);
    }
    info->Release();
  }
}

HRESULT Unregister(REFGUID libid, WORD major, WORD minor, LCID lcid, SYSKIND sysKind,
                   bool perUser) {
  const char16_t* platform = PlatformName(sysKind);
  if (platform == nullptr) return E_INVALIDARG;
  const ClassesRoot root = OpenClassesRoot(perUser);
  if (!root.ok) return TYPE_E_REGISTRYACCESS;
  const std::u16string version = VersionKey(libid, major, minor);
  const std::u16string lcidKey = version + u"\\" + Hex(lcid);
  const std::u16string platformKey = lcidKey + u"\\" + platform;
  HKEY key = nullptr;
  HRESULT hr = TYPE_E_REGISTRYACCESS;
  if (RegOpenKeyExW(root.root, platformKey.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS) {
    char16_t path[MAX_PATH * 4] = {};
    DWORD bytes = sizeof(path) - sizeof(char16_t);
    const bool havePath = RegQueryValueExW(key, nullptr, nullptr, nullptr,
                                           reinterpret_cast<BYTE*>(path), &bytes) == ERROR_SUCCESS;
    RegCloseKey(key);
    ITypeLib* library = nullptr;
    if (havePath && SUCCEEDED(LoadTypeLib(path, &library))) {
      UnregisterInterfaces(root.root, library, libid);
      library->Release();
    }
    hr = FromStatus(DeleteTree(root.root, platformKey));
    DeleteIfEmpty(root.root, lcidKey);
    // The version key goes when no locale is left under it.
    HKEY versionKey = nullptr;
    if (RegOpenKeyExW(root.root, version.c_str(), 0, KEY_READ, &versionKey) == ERROR_SUCCESS) {
      bool otherLocales = false;
      for (DWORD i = 0;; ++i) {
        char16_t name[kMaxKeyNameUnits];
        DWORD length = kMaxKeyNameUnits;
        if (RegEnumKeyExW(versionKey, i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
          break;
        }
        const std::u16string_view text(name, length);
        if (text != u"FLAGS" && text != u"HELPDIR") otherLocales = true;
      }
      RegCloseKey(versionKey);
      if (!otherLocales) DeleteTree(root.root, version);
    }
    DeleteIfEmpty(root.root, u"TypeLib\\" + GuidText(libid));
  }
  CloseRoot(root, perUser);
  return hr;
}

// Reads the path of a registered library: the exact version, else the
// highest minor version of the same major; the exact locale, else its
// primary language, else neutral; win64 before win32.
HRESULT FindRegisteredPath(REFGUID libid, WORD major, WORD minor, LCID lcid, std::u16string* path) {
  const std::u16string base = u"TypeLib\\" + GuidText(libid);
  HKEY libraryKey = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, base.c_str(), 0, KEY_READ, &libraryKey) != ERROR_SUCCESS) {
    return TYPE_E_LIBNOTREGISTERED;
  }
  std::u16string bestVersion;
  int bestMinor = -1;
  for (DWORD i = 0;; ++i) {
    char16_t name[kMaxKeyNameUnits];
    DWORD length = kMaxKeyNameUnits;
    if (RegEnumKeyExW(libraryKey, i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS) {
      break;
    }
    unsigned keyMajor = 0, keyMinor = 0;
    std::string ascii(name, name + length);
    if (std::sscanf(ascii.c_str(), "%x.%x", &keyMajor, &keyMinor) != 2) continue;
    if (keyMajor != major || keyMinor < minor) continue;
    if (static_cast<int>(keyMinor) > bestMinor) {
      bestMinor = static_cast<int>(keyMinor);
      bestVersion = std::u16string(name, length);
    }
  }
  RegCloseKey(libraryKey);
  if (bestMinor < 0) return TYPE_E_LIBNOTREGISTERED;
  // The pseudo-locales stand for the one real locale of this platform.
  if (lcid == LOCALE_USER_DEFAULT) lcid = GetUserDefaultLCID();
  if (lcid == LOCALE_SYSTEM_DEFAULT) lcid = GetSystemDefaultLCID();
  const LCID locales[] = {lcid, static_cast<LCID>(lcid & 0x3FF), 0};
  const char16_t* platforms[] = {u"win64", u"win32"};
  for (LCID locale : locales) {
    for (const char16_t* platform : platforms) {
      const std::u16string key =
          base + u"\\" + bestVersion + u"\\" + Hex(locale) + u"\\" + platform;
      HKEY handle = nullptr;
      if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) {
        continue;
      }
      char16_t text[MAX_PATH * 4] = {};
      DWORD bytes = sizeof(text) - sizeof(char16_t);
      const LSTATUS status = RegQueryValueExW(handle, nullptr, nullptr, nullptr,
                                              reinterpret_cast<BYTE*>(text), &bytes);
      RegCloseKey(handle);
      if (status == ERROR_SUCCESS) {
        *path = text;
        return S_OK;
      }
    }
  }
  return TYPE_E_LIBNOTREGISTERED;
}

}  // namespace

EXTERN_C PLATFORM_API HRESULT WINAPI RegisterTypeLib(ITypeLib* ptlib, LPCOLESTR szFullPath,
                                                     LPCOLESTR szHelpDir) {
  return Register(ptlib, szFullPath, szHelpDir, false);
}

EXTERN_C PLATFORM_API HRESULT WINAPI RegisterTypeLibForUser(ITypeLib* ptlib, OLECHAR* szFullPath,
                                                            OLECHAR* szHelpDir) {
  return Register(ptlib, szFullPath, szHelpDir, true);
}

EXTERN_C PLATFORM_API HRESULT WINAPI UnRegisterTypeLib(REFGUID libID, WORD wVerMajor,
                                                       WORD wVerMinor, LCID lcid, SYSKIND syskind) {
  return Unregister(libID, wVerMajor, wVerMinor, lcid, syskind, false);
}

EXTERN_C PLATFORM_API HRESULT WINAPI UnRegisterTypeLibForUser(REFGUID libID, WORD wMajorVerNum,
                                                              WORD wMinorVerNum, LCID lcid,
                                                              SYSKIND syskind) {
  return Unregister(libID, wMajorVerNum, wMinorVerNum, lcid, syskind, true);
}

namespace {

// A registered library asked for: its identity, version and locale as given.
struct LibraryRequest {
  GUID libid;
  WORD major, minor;
  LCID lcid;
  bool operator==(const LibraryRequest&) const = default;
};

struct LibraryRequestHash {
  size_t operator()(const LibraryRequest& request) const noexcept {
    return glimmark::ole::GuidHash()(request.libid) ^
           (size_t{request.major} << 48 | size_t{request.minor} << 32 | request.lcid);
  }
};

using RegisteredPaths =
    registry::RegistryReadCache<LibraryRequest, std::u16string, LibraryRequestHash>;

// Paths found by FindRegisteredPath, kept while the registry is unchanged.
RegisteredPaths& KnownLibraryPaths() {
  static auto* const cache = new RegisteredPaths;  // lives as long as the process
  return *cache;
}

HRESULT FindKeptOrRegisteredPath(REFGUID libid, WORD major, WORD minor, LCID lcid,
                                 std::u16string* path) {
  const LibraryRequest request{libid, major, minor, lcid};
  const uint64_t generation = registry::RegistryGeneration();
  if (auto kept = KnownLibraryPaths().Find(request, generation)) {
    *path = std::move(*kept);
    return S_OK;
  }
  const HRESULT hr = FindRegisteredPath(libid, major, minor, lcid, path);
  if (SUCCEEDED(hr)) KnownLibraryPaths().Keep(request, *path, generation);
  return hr;
}

}  // namespace

EXTERN_C PLATFORM_API HRESULT WINAPI QueryPathOfRegTypeLib(REFGUID guid, USHORT wMaj, USHORT wMin,
                                                           LCID lcid, BSTR* lpbstrPathName) {
  if (lpbstrPathName == nullptr) return E_INVALIDARG;
  *lpbstrPathName = nullptr;
  std::u16string path;
  HRESULT hr = E_OUTOFMEMORY;
  try {
    hr = FindKeptOrRegisteredPath(guid, wMaj, wMin, lcid, &path);
  } catch (const std::bad_alloc&) {
  }
  if (FAILED(hr)) return hr;
  *lpbstrPathName = SysAllocStringLen(path.data(), static_cast<UINT>(path.size()));
  return *lpbstrPathName != nullptr ? S_OK : E_OUTOFMEMORY;
}

EXTERN_C PLATFORM_API HRESULT WINAPI LoadRegTypeLib(REFGUID rguid, WORD wVerMajor, WORD wVerMinor,
                                                    LCID lcid, ITypeLib** pptlib) {
  if (pptlib == nullptr) return E_INVALIDARG;
  *pptlib = nullptr;
  std::u16string path;
  HRESULT hr = E_OUTOFMEMORY;
  try {
    hr = FindKeptOrRegisteredPath(rguid, wVerMajor, wVerMinor, lcid, &path);
  } catch (const std::bad_alloc&) {
  }
  if (FAILED(hr)) return hr;
  return glimmark::ole::LoadKeptTypeLib(path, pptlib);
}

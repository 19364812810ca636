// The exported registry functions: argument checks, access rights and the
// Windows result conventions, over the views of registry_views.h. Each call
// is one transaction on the registry file.
#include <algorithm>
#include <cstring>

#include "registry/registry_state.h"
#include "winreg.h"

namespace registry {
namespace {

constexpr DWORD kWowViewFlags = KEY_WOW64_32KEY | KEY_WOW64_64KEY;
// Largest value data accepted, far beyond any registration; keeps one value
// within one database row.
constexpr DWORD kMaxValueDataBytes = 64u << 20;

[[noreturn]] void Fail(LSTATUS status) { throw RegistryFailure{status}; }

// Generic and maximum rights mapped onto key rights, as Windows maps them.
REGSAM GrantedRights(REGSAM desired) {
  REGSAM granted = desired & ~kWowViewFlags;
  if (desired & (GENERIC_ALL | MAXIMUM_ALLOWED)) granted |= KEY_ALL_ACCESS;
  if (desired & GENERIC_READ) granted |= KEY_READ;
  if (desired & GENERIC_WRITE) granted |= KEY_WRITE;
  if (desired & GENERIC_EXECUTE) granted |= KEY_EXECUTE;
  return granted;
}

void Require(const OpenKey& key, REGSAM rights) {
  if ((key.access & rights) != rights) Fail(ERROR_ACCESS_DENIED);
}

KeyPath SubkeyNames(LPCWSTR subkey) {
  KeyPath names;
  const LSTATUS status = SplitSubkeyPath(subkey, &names);
  if (status != ERROR_SUCCESS) Fail(status);
  return names;
}

std::u16string ValueName(LPCWSTR name) {
  std::u16string result;
  const LSTATUS status = ReadValueName(name, &result);
  if (status != ERROR_SUCCESS) Fail(status);
  return result;
}

// Copies a name into a caller's buffer of *capacity units (terminator
// included); on success *capacity becomes the name's length.
LSTATUS CopyName(const std::u16string& name, LPWSTR buffer, LPDWORD capacity) {
  if (*capacity <= name.size()) return ERROR_MORE_DATA;
  std::copy(name.begin(), name.end(), buffer);
  buffer[name.size()] = 0;
  *capacity = static_cast<DWORD>(name.size());
  return ERROR_SUCCESS;
}

// Hands value data to a caller: the size always; the bytes when a buffer is
// given and large enough (else ERROR_MORE_DATA and the bytes untouched).
LSTATUS CopyData(const StoredValue& value, LPDWORD type, LPBYTE data, LPDWORD size) {
  if (type != nullptr) *type = value.type;
  if (size == nullptr) return ERROR_SUCCESS;
  const DWORD needed = static_cast<DWORD>(value.data.size());
  const DWORD capacity = *size;
  *size = needed;
  if (data == nullptr) return ERROR_SUCCESS;
  if (capacity < needed) return ERROR_MORE_DATA;
  if (needed != 0) std::memcpy(data, value.data.data(), needed);
  return ERROR_SUCCESS;
}

template <class Entry, class Measure>
DWORD Longest(const std::vector<Entry>& entries, Measure measure) {
  size_t longest = 0;
  for (const Entry& entry : entries) longest = std::max(longest, measure(entry));
  return static_cast<DWORD>(longest);
}

LSTATUS DeleteKey(HKEY hKey, LPCWSTR lpSubKey) {
  if (lpSubKey == nullptr) return ERROR_INVALID_PARAMETER;
  return RunRegistryCall([&](RegistryCall& call) {
    const OpenKey parent = call.Resolve(hKey);
    const KeyPath names = SubkeyNames(lpSubKey);
    call.Begin(true).Delete(parent, names);
    call.Commit();
    return ERROR_SUCCESS;
  });
}

}  // namespace
}  // namespace registry

using namespace registry;

EXTERN_C LSTATUS WINAPI RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD Reserved,
                                        LPWSTR /*lpClass*/, DWORD dwOptions, REGSAM samDesired,
                                        LPSECURITY_ATTRIBUTES /*lpSecurityAttributes*/,
                                        PHKEY phkResult, LPDWORD lpdwDisposition) {
  if (phkResult == nullptr || Reserved != 0) return ERROR_INVALID_PARAMETER;
  if ((dwOptions & ~static_cast<DWORD>(REG_LEGAL_OPTION)) != 0) return ERROR_INVALID_PARAMETER;
  // Volatile keys, links and backup semantics have no meaning in one file.
  if (dwOptions != REG_OPTION_NON_VOLATILE) return ERROR_NOT_SUPPORTED;
  *phkResult = nullptr;
  return RunRegistryCall([&](RegistryCall& call) {
    const OpenKey parent = call.Resolve(hKey);
    const KeyPath names = SubkeyNames(lpSubKey);
    bool created = false;
    OpenKey key = call.Begin(true).Create(parent, names, &created);
    call.Commit();
    key.access = GrantedRights(samDesired);
    *phkResult = call.AddHandle(std::move(key));
    if (lpdwDisposition != nullptr) {
      *lpdwDisposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    }
    return ERROR_SUCCESS;
  });
}

EXTERN_C LSTATUS WINAPI RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD ulOptions,
                                      REGSAM samDesired, PHKEY phkResult) {
  if (phkResult == nullptr) return ERROR_INVALID_PARAMETER;
  if ((ulOptions & ~static_cast<DWORD>(REG_OPTION_OPEN_LINK)) != 0) {
    return ERROR_INVALID_PARAMETER;
  }
  *phkResult = nullptr;
  return RunRegistryCall([&](RegistryCall& call) {
    const OpenKey parent = call.Resolve(hKey);
    const KeyPath names = SubkeyNames(lpSubKey);
    OpenKey key = call.Begin(false).Open(parent, names);
    call.Commit();
    key.access = GrantedRights(samDesired);
    *phkResult = call.AddHandle(std::move(key));
    return ERROR_SUCCESS;
  });
}

EXTERN_C LSTATUS WINAPI RegCloseKey(HKEY hKey) {
  return RunRegistryCall([&](RegistryCall& call) -> LSTATUS {
    // Closing a predefined key is allowed and does nothing, as on Windows.
    if (reinterpret_cast<uintptr_t>(hKey) >= reinterpret_cast<uintptr_t>(HKEY_CLASSES_ROOT) &&
        reinterpret_cast<uintptr_t>(hKey) <= reinterpret_cast<uintptr_t>(HKEY_DYN_DATA)) {
      return ERROR_SUCCESS;
    }
    return call.RemoveHandle(hKey) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
  });
}

EXTERN_C LSTATUS WINAPI RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD /*Reserved*/,
                                       DWORD dwType, const BYTE* lpData, DWORD cbData) {
  if (lpData == nullptr && cbData != 0) return ERROR_INVALID_PARAMETER;
  if (cbData > kMaxValueDataBytes) return ERROR_INVALID_PARAMETER;
  return RunRegistryCall([&](RegistryCall& call) {
    const OpenKey key = call.Resolve(hKey);
    Require(key, KEY_SET_VALUE);
    const std::u16string name = ValueName(lpValueName);
    KeyViews& views = call.Begin(true);
    views.keys().SetValue(views.WriteTarget(key), name, dwType, lpData, cbData);
    call.Commit();
    return ERROR_SUCCESS;
  });
}

EXTERN_C LSTATUS WINAPI RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved,
                                         LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
  if (lpReserved != nullptr || (lpData != nullptr && lpcbData == nullptr)) {
    return ERROR_INVALID_PARAMETER;
  }
  return RunRegistryCall([&](RegistryCall& call) {
    const OpenKey key = call.Resolve(hKey);
    Require(key, KEY_QUERY_VALUE);
    const std::u16string name = ValueName(lpValueName);
    StoredValue value;
    const bool found = call.Begin(false).FindValue(key, name, &value);
    call.Commit();
    if (!found) return static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND);
    return CopyData(value, lpType, lpData, lpcbData);
  });
}

EXTERN_C LSTATUS WINAPI RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName) {
  return RunRegistryCall([&](RegistryCall& call) -> LSTATUS {
    const OpenKey key = call.Resolve(hKey);
    Require(key, KEY_SET_VALUE);
    const std::u16string name = ValueName(lpValueName);
    const bool deleted = call.Begin(true).DeleteValue(key, name);
    call.Commit();
    return deleted ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
  });
}

EXTERN_C LSTATUS WINAPI RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey) {
  return DeleteKey(hKey, lpSubKey);
}

EXTERN_C LSTATUS WINAPI RegDeleteKeyExW(HKEY hKey, LPCWSTR lpSubKey, REGSAM samDesired,
                                        DWORD Reserved) {
  // Only the view flags are meaningful here, and there is one view.
  if (Reserved != 0 || (samDesired & ~kWowViewFlags) != 0) return ERROR_INVALID_PARAMETER;
  return DeleteKey(hKey, lpSubKey);
}

EXTERN_C LSTATUS WINAPI RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName,
                                      LPDWORD lpReserved, LPWSTR lpClass, LPDWORD lpcchClass,
                                      PFILETIME lpftLastWriteTime) {
  if (lpName == nullptr || lpcchName == nullptr || lpReserved != nullptr) {
    return ERROR_INVALID_PARAMETER;
  }
  if (lpClass != nullptr && (lpcchClass == nullptr || *lpcchClass == 0)) {
    return ERROR_INVALID_PARAMETER;
  }
  return RunRegistryCall([&](RegistryCall& call) -> LSTATUS {
    const OpenKey key = call.Resolve(hKey);
    Require(key, KEY_ENUMERATE_SUB_KEYS);
    KeyViews& views = call.Begin(false);
    const std::vector<NamedKey> subkeys = views.Subkeys(key);
    if (dwIndex >= subkeys.size()) return ERROR_NO_MORE_ITEMS;
    const NamedKey& subkey = subkeys[dwIndex];
    const FILETIME written = views.keys().WriteTime(subkey.id);
    call.Commit();
    const LSTATUS copied = CopyName(subkey.name, lpName, lpcchName);
    if (copied != ERROR_SUCCESS) return copied;
    if (lpClass != nullptr) lpClass[0] = 0;  // keys carry no class here
    if (lpcchClass != nullptr) *lpcchClass = 0;
    if (lpftLastWriteTime != nullptr) *lpftLastWriteTime = written;
    return ERROR_SUCCESS;
  });
}

EXTERN_C LSTATUS WINAPI RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName,
                                      LPDWORD lpcchValueName, LPDWORD lpReserved, LPDWORD lpType,
                                      LPBYTE lpData, LPDWORD lpcbData) {
  if (lpValueName == nullptr || lpcchValueName == nullptr || lpReserved != nullptr ||
      (lpData != nullptr && lpcbData == nullptr)) {
    return ERROR_INVALID_PARAMETER;
  }
  return RunRegistryCall([&](RegistryCall& call) -> LSTATUS {
    const OpenKey key = call.Resolve(hKey);
    Require(key, KEY_QUERY_VALUE);
    const std::vector<StoredValue> values = call.Begin(false).Values(key);
    call.Commit();
    if (dwIndex >= values.size()) return ERROR_NO_MORE_ITEMS;
    const StoredValue& value = values[dwIndex];
    const LSTATUS copied = CopyName(value.name, lpValueName, lpcchValueName);
    const LSTATUS data = CopyData(value, lpType, lpData, lpcbData);
    return copied != ERROR_SUCCESS ? copied : data;
  });
}

EXTERN_C LSTATUS WINAPI RegQueryInfoKeyW(HKEY hKey, LPWSTR lpClass, LPDWORD lpcchClass,
                                         LPDWORD lpReserved, LPDWORD lpcSubKeys,
                                         LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen,
                                         LPDWORD lpcValues, LPDWORD lpcbMaxValueNameLen,
                                         LPDWORD lpcbMaxValueLen, LPDWORD lpcbSecurityDescriptor,
                                         PFILETIME lpftLastWriteTime) {
  if (lpReserved != nullptr) return ERROR_INVALID_PARAMETER;
  if (lpClass != nullptr && (lpcchClass == nullptr || *lpcchClass == 0)) {
    return ERROR_INVALID_PARAMETER;
  }
  return RunRegistryCall([&](RegistryCall& call) {
    const OpenKey key = call.Resolve(hKey);
    Require(key, KEY_QUERY_VALUE);
    KeyViews& views = call.Begin(false);
    const std::vector<NamedKey> subkeys = views.Subkeys(key);
    const std::vector<StoredValue> values = views.Values(key);
    const KeySources sources = views.ReadSources(key);
    const FILETIME written =
        sources.empty() ? FILETIME{0, 0} : views.keys().WriteTime(sources.front());
    call.Commit();
    if (lpClass != nullptr) lpClass[0] = 0;
    if (lpcchClass != nullptr) *lpcchClass = 0;
    if (lpcSubKeys != nullptr) *lpcSubKeys = static_cast<DWORD>(subkeys.size());
    if (lpcbMaxSubKeyLen != nullptr) {
      *lpcbMaxSubKeyLen = Longest(subkeys, [](const NamedKey& k) { return k.name.size(); });
    }
    if (lpcbMaxClassLen != nullptr) *lpcbMaxClassLen = 0;
    if (lpcValues != nullptr) *lpcValues = static_cast<DWORD>(values.size());
    if (lpcbMaxValueNameLen != nullptr) {
      *lpcbMaxValueNameLen = Longest(values, [](const StoredValue& v) { return v.name.size(); });
    }
    if (lpcbMaxValueLen != nullptr) {
      *lpcbMaxValueLen = Longest(values, [](const StoredValue& v) { return v.data.size(); });
    }
    if (lpcbSecurityDescriptor != nullptr) *lpcbSecurityDescriptor = 0;
    if (lpftLastWriteTime != nullptr) *lpftLastWriteTime = written;
    return static_cast<LSTATUS>(ERROR_SUCCESS);
  });
}

EXTERN_C DWORD WINAPI GlimmarkRegistryFile(char* buffer, DWORD size) {
  const std::string path = registry::DefaultRegistryPath();
  if (path.empty() || buffer == nullptr || path.size() >= size) return 0;
  std::memcpy(buffer, path.c_str(), path.size() + 1);
  return static_cast<DWORD>(path.size());
}

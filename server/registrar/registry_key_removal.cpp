// Key deletion and key-tree removal of the registry-script walks.
#include "server/registrar/registry_key_removal.h"

#include <atomic>
#include <new>
#include <vector>

namespace {

const WCHAR* const kProtectedKeyNames[] = {
    OLESTR("AppID"),    OLESTR("CLSID"),     OLESTR("Component Categories"),
    OLESTR("FileType"), OLESTR("Interface"), OLESTR("Hardware"),
    OLESTR("Mime"),     OLESTR("SAM"),       OLESTR("SECURITY"),
    OLESTR("SYSTEM"),   OLESTR("Software"),  OLESTR("TypeLib")};

// Subkey names are at most 255 units; the buffer holds one with its terminator.
constexpr DWORD kSubkeyNameUnits = 256;

typedef LONG(WINAPI* DeleteKeyExFunction)(HKEY, LPCWSTR, REGSAM, DWORD);

// Looked up on first use and kept for the process. Every thread that races
// to fill it stores the same value, so relaxed order is enough.
std::atomic<DeleteKeyExFunction> deleteKeyEx{nullptr};
std::atomic<bool> deleteKeyExLookedUp{false};

DeleteKeyExFunction FindDeleteKeyEx() {
  if (deleteKeyExLookedUp.load(std::memory_order_acquire)) {
    return deleteKeyEx.load(std::memory_order_relaxed);
  }
  DeleteKeyExFunction found = nullptr;
  HMODULE advapi = GetModuleHandleW(OLESTR("Advapi32.dll"));
  if (advapi != nullptr) {
    FARPROC address = GetProcAddress(advapi, "RegDeleteKeyExW");
    if (address != nullptr) {
      // Through the generic function type, which converts without warning.
      found = reinterpret_cast<DeleteKeyExFunction>(reinterpret_cast<void (*)()>(address));
    }
  }
  deleteKeyEx.store(found, std::memory_order_relaxed);
  deleteKeyExLookedUp.store(true, std::memory_order_release);
  return found;
}

// One level of the descent: an open key and its name beneath the level above.
struct OpenLevel {
  HKEY key;
  ScriptString name;
};

}  // namespace

bool IsProtectedKeyName(const ScriptString& name) noexcept {
  for (const WCHAR* protectedName : kProtectedKeyNames) {
    if (EqualsIgnoringCase(name, protectedName)) return true;
  }
  return false;
}

LONG DeleteRegistryKey(HKEY parent, const WCHAR* name) noexcept {
  const DeleteKeyExFunction deleteEx = FindDeleteKeyEx();
  if (deleteEx != nullptr) return deleteEx(parent, name, 0, 0);
  return RegDeleteKeyW(parent, name);
}

LONG RemoveRegistryKeyTree(HKEY parent, const WCHAR* name) noexcept {
  std::vector<OpenLevel> levels;
  auto closeAll = [&levels] {
    for (OpenLevel& level : levels) {
      if (level.key != nullptr) RegCloseKey(level.key);
    }
  };
  try {
    // Each level is listed before its key is opened, so that a failing
    // allocation never strands an open handle.
    levels.push_back({nullptr, ScriptString(name)});
    LONG error = RegOpenKeyExW(parent, name, 0, KEY_READ | KEY_WRITE, &levels.back().key);
    while (error == ERROR_SUCCESS && !levels.empty()) {
      WCHAR child[kSubkeyNameUnits];
      DWORD childLength = kSubkeyNameUnits;
      error = RegEnumKeyExW(levels.back().key, 0, child, &childLength, nullptr, nullptr, nullptr,
                            nullptr);
      if (error == ERROR_SUCCESS) {
        const HKEY above = levels.back().key;
        levels.push_back({nullptr, ScriptString(child, childLength)});
        error = RegOpenKeyExW(above, child, 0, KEY_READ | KEY_WRITE, &levels.back().key);
        continue;
      }
      // No subkey left: close this level and delete it beneath the one above.
      OpenLevel done = std::move(levels.back());
      levels.pop_back();
      RegCloseKey(done.key);
      error = DeleteRegistryKey(levels.empty() ? parent : levels.back().key, done.name.c_str());
    }
    closeAll();
    return error;
  } catch (...) {
    closeAll();
    return ERROR_NOT_ENOUGH_MEMORY;
  }
}

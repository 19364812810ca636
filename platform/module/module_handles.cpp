// GetModuleHandleW and GetProcAddress for the modules a process already has:
// the main program and the platform's "system DLLs", which are all this one
// shared library.
#include <dlfcn.h>

#include <array>
#include <cstdint>
#include <string_view>

#include "kernel/ascii_case.h"
#include "libloaderapi.h"
#include "winbase.h"

namespace {

// Windows system libraries whose functions the platform library provides.
// Compared without regard to case, with or without the ".dll" extension.
constexpr std::array<std::u16string_view, 6> kSystemLibraryNames = {
    u"advapi32", u"kernel32", u"ole32", u"oleaut32", u"gdiplus", u"user32"};
constexpr std::u16string_view kLibraryExtension = u".dll";

// Longest module name looked at; longer names cannot be a system library.
constexpr size_t kMaxModuleNameUnits = 260;

bool IsSystemLibraryName(const char16_t* name) {
  size_t length = 0;
  while (length <= kMaxModuleNameUnits && name[length] != 0) ++length;
  if (length > kMaxModuleNameUnits) return false;
  std::u16string_view text(name, length);
  if (text.size() > kLibraryExtension.size() &&
      kernel::EqualIgnoringAsciiCase(text.substr(text.size() - kLibraryExtension.size()),
                                     kLibraryExtension)) {
    text.remove_suffix(kLibraryExtension.size());
  }
  for (std::u16string_view known : kSystemLibraryNames) {
    if (kernel::EqualIgnoringAsciiCase(text, known)) return true;
  }
  return false;
}

struct PlatformLibrary {
  void* handle = nullptr;      // dlopen handle, held for the life of the process
  const void* base = nullptr;  // load address, to tell our own exports from others
};

// The platform library's own handle, found once from one of its functions.
const PlatformLibrary& ThisLibrary() {
  static const PlatformLibrary library = [] {
    PlatformLibrary found;
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&GetModuleHandleW), &info) != 0 &&
        info.dli_fname != nullptr) {
      found.handle = dlopen(info.dli_fname, RTLD_LAZY | RTLD_NOLOAD);
      found.base = info.dli_fbase;
    }
    return found;
  }();
  return library;
}

// Ordinals are passed as small integers in place of a name pointer.
constexpr uintptr_t kOrdinalLimit = 0x10000;

}  // namespace

EXTERN_C HMODULE WINAPI GetModuleHandleW(LPCWSTR lpModuleName) {
  void* handle = nullptr;
  if (lpModuleName == nullptr) {
    handle = dlopen(nullptr, RTLD_LAZY);
  } else if (IsSystemLibraryName(lpModuleName)) {
    handle = ThisLibrary().handle;
  }
  if (handle == nullptr) SetLastError(ERROR_MOD_NOT_FOUND);
  return static_cast<HMODULE>(handle);
}

EXTERN_C FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
  if (hModule == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (reinterpret_cast<uintptr_t>(lpProcName) < kOrdinalLimit) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  void* symbol = dlsym(hModule, lpProcName);
  // dlsym also searches the library's dependencies; a system DLL exports only
  // what the platform library itself defines.
  const PlatformLibrary& platform = ThisLibrary();
  if (symbol != nullptr && hModule == platform.handle) {
    Dl_info info{};
    if (dladdr(symbol, &info) == 0 || info.dli_fbase != platform.base) symbol = nullptr;
  }
  if (symbol == nullptr) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  return reinterpret_cast<FARPROC>(symbol);
}

// Loading and unloading shared libraries with their Windows names, module
// handles from addresses, and module file names. A loaded module's handle is
// its dlopen handle (glibc's link map of the library).
#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <string>

#ifdef GLIMMARK_TEST_SEAMS
#include "glimmark_test_seams.h"
#endif  // GLIMMARK_TEST_SEAMS
#include "kernel/fail_once.h"
#include "kernel/unicode.h"
#include "libloaderapi.h"
#include "module/data_file_modules.h"
#include "module/process_attach.h"
#include "winbase.h"

namespace {

// Longest file name handed to the loader, in UTF-16 units.
constexpr size_t kMaxPathUnits = 4096;

kernel::FailOnce failNextFileName;  // GlimmarkTest_FailNextModuleFileName

// The library whose attach was refused during the current thread's load.
thread_local HMODULE refusedAttach = nullptr;

bool ToUtf8Path(LPCWSTR path, std::string* out) {
  if (path == nullptr) return false;
  const size_t length = kernel::BoundedLength(path, kMaxPathUnits + 1);
  return length > 0 && length <= kMaxPathUnits && kernel::Utf16ToUtf8(path, length, *out);
}

link_map* MainProgramMap() {
  static link_map* const map = [] {
    link_map* found = nullptr;
    void* main = dlopen(nullptr, RTLD_LAZY);
    if (main != nullptr) dlinfo(main, RTLD_DI_LINKMAP, &found);
    return found;
  }();
  return map;
}

// True when `handle` is the link map of a module loaded in this process.
bool IsLoadedModule(HMODULE handle) {
  for (link_map* map = MainProgramMap(); map != nullptr; map = map->l_next) {
    if (reinterpret_cast<HMODULE>(map) == handle) return true;
  }
  return false;
}

HMODULE LoadSharedLibrary(const std::string& path) {
  refusedAttach = nullptr;
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    SetLastError(access(path.c_str(), F_OK) == 0 ? ERROR_BAD_EXE_FORMAT : ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  const HMODULE module = static_cast<HMODULE>(handle);
  if (refusedAttach == module) {
    refusedAttach = nullptr;
    dlclose(handle);
    SetLastError(ERROR_DLL_INIT_FAILED);
    return nullptr;
  }
  return module;
}

// The module's file as a path in UTF-8; the main program's from /proc.
bool ModulePath(HMODULE handle, std::string* path) {
  link_map* map = reinterpret_cast<link_map*>(handle);
  if (handle != nullptr && map->l_name != nullptr && map->l_name[0] != 0) {
    *path = map->l_name;
    return true;
  }
  char buffer[kMaxPathUnits];
  const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer);
  if (length <= 0 || static_cast<size_t>(length) >= sizeof buffer) return false;
  path->assign(buffer, static_cast<size_t>(length));
  return true;
}

}  // namespace

EXTERN_C void GlimmarkLoader_ReportProcessAttach(HMODULE library, BOOL accepted) {
  if (!accepted) refusedAttach = library;
}

EXTERN_C HMODULE WINAPI LoadLibraryExW(LPCWSTR lpLibFileName, HANDLE hFile, DWORD dwFlags) {
  std::string path;
  if (hFile != nullptr || !ToUtf8Path(lpLibFileName, &path)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  constexpr DWORD kDataFileFlags = LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_DATAFILE_EXCLUSIVE |
                                   LOAD_LIBRARY_AS_IMAGE_RESOURCE;
  if ((dwFlags & kDataFileFlags) != 0) return module::OpenDataFileModule(path.c_str());
  return LoadSharedLibrary(path);
}

EXTERN_C HMODULE WINAPI LoadLibraryW(LPCWSTR lpLibFileName) {
  return LoadLibraryExW(lpLibFileName, nullptr, 0);
}

EXTERN_C BOOL WINAPI FreeLibrary(HMODULE hLibModule) {
  if (module::IsDataFileHandle(hLibModule)) return module::CloseDataFileModule(hLibModule);
  if (hLibModule == nullptr || !IsLoadedModule(hLibModule) || dlclose(hLibModule) != 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

EXTERN_C BOOL WINAPI GetModuleHandleExW(DWORD dwFlags, LPCWSTR lpModuleName, HMODULE* phModule) {
  if (phModule == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *phModule = nullptr;
  if ((dwFlags & GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS) == 0) {
    *phModule = GetModuleHandleW(lpModuleName);  // system libraries are never freed
    return *phModule != nullptr;
  }
  Dl_info info{};
  link_map* map = nullptr;
  if (dladdr1(static_cast<const void*>(lpModuleName), &info, reinterpret_cast<void**>(&map),
              RTLD_DL_LINKMAP) == 0 ||
      map == nullptr) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return FALSE;
  }
  const bool isMainProgram = map->l_name == nullptr || map->l_name[0] == 0;
  if ((dwFlags & GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT) == 0 && !isMainProgram) {
    const int pin = (dwFlags & GET_MODULE_HANDLE_EX_FLAG_PIN) != 0 ? RTLD_NODELETE : 0;
    dlopen(map->l_name, RTLD_LAZY | RTLD_NOLOAD | pin);  // one more reference, as Windows takes
  }
  *phModule = reinterpret_cast<HMODULE>(map);
  return TRUE;
}

EXTERN_C DWORD WINAPI GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize) {
  std::string path;
  if (lpFilename == nullptr || nSize == 0) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  if (failNextFileName.Fires() || module::IsDataFileHandle(hModule) ||
      (hModule != nullptr && !IsLoadedModule(hModule)) || !ModulePath(hModule, &path)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  std::u16string wide(path.size() + 1, u'\0');
  const int units = MultiByteToWideChar(CP_UTF8, 0, path.data(), static_cast<int>(path.size()),
                                        wide.data(), static_cast<int>(wide.size()));
  if (units <= 0) return 0;
  if (static_cast<DWORD>(units) >= nSize) {
    wide.copy(lpFilename, nSize - 1);
    lpFilename[nSize - 1] = 0;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return nSize;
  }
  wide.copy(lpFilename, static_cast<size_t>(units));
  lpFilename[units] = 0;
  SetLastError(ERROR_SUCCESS);
  return static_cast<DWORD>(units);
}

#ifdef GLIMMARK_TEST_SEAMS
EXTERN_C void GlimmarkTest_FailNextModuleFileName(void) { failNextFileName.Arm(); }
#endif  // GLIMMARK_TEST_SEAMS

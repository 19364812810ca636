// Linked into every in-process server library (not into the platform): runs
// the library's DllMain at load and unload. See module/process_attach.h.
#include <dlfcn.h>
#include <link.h>

#include "module/process_attach.h"
#include "winbase.h"

// Defined by the server library itself.
EXTERN_C BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);

namespace {

// The library's own handle: its link map, which is also its dlopen handle.
HINSTANCE ThisLibrary() {
  Dl_info info{};
  link_map* map = nullptr;
  if (dladdr1(reinterpret_cast<void*>(&ThisLibrary), &info, reinterpret_cast<void**>(&map),
              RTLD_DL_LINKMAP) == 0) {
    return nullptr;
  }
  return reinterpret_cast<HINSTANCE>(map);
}

__attribute__((constructor)) void AttachProcess() {
  const HINSTANCE self = ThisLibrary();
  GlimmarkLoader_ReportProcessAttach(self, DllMain(self, DLL_PROCESS_ATTACH, nullptr));
}

__attribute__((destructor)) void DetachProcess() {
  DllMain(ThisLibrary(), DLL_PROCESS_DETACH, nullptr);
}

}  // namespace

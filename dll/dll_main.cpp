// The library's entry point. It does no work of its own: the load steps are
// the static objects of server_module.cpp, made before it runs; it only
// refuses the process attach when one of them failed.
#include <windows.h>

#include "dll/server_module.h"

EXTERN_C BOOL WINAPI DllMain(HINSTANCE /*instance*/, DWORD reason, LPVOID /*reserved*/) {
  if (reason == DLL_PROCESS_ATTACH && loadFailed) return FALSE;
  return TRUE;
}

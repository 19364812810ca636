// Module handles and exported-function look-up with their Windows names. The
// platform's own "system DLLs" (Advapi32.dll, OLEAUT32.DLL, ...) are all the
// platform library itself; their handles are owned by the process and never
// freed. Filled in by the platform's module layer (platform/module/).
#pragma once

#include "windef.h"

// The handle of an already loaded module, or null with ERROR_MOD_NOT_FOUND.
// Names compare without regard to case; ".dll" may be left out. A null name
// answers the main program. Never loads anything; cost: a short table scan.
EXTERN_C PLATFORM_API HMODULE WINAPI GetModuleHandleW(LPCWSTR lpModuleName);

// The address of the function `lpProcName` exported by `hModule`, or null
// with ERROR_PROC_NOT_FOUND (ERROR_INVALID_HANDLE for a null module). Look-up
// by ordinal is not supported and fails with ERROR_PROC_NOT_FOUND.
EXTERN_C PLATFORM_API FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName);

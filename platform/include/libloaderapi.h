// Modules and their resources with their Windows names. A module handle is
// the loader's own handle of a loaded shared library (the one dlopen gives),
// or, for a file opened with LOAD_LIBRARY_AS_DATAFILE, a handle of this
// layer with its lowest bit set, as Windows marks data-file handles. The
// platform's own "system DLLs" (Advapi32.dll, OLEAUT32.DLL, ...) are all the
// platform library itself; their handles are owned by the process and never
// freed. Filled in by the platform's module layer (platform/module/).
#pragma once

#include "windef.h"

// The handle of an already loaded module, or null with ERROR_MOD_NOT_FOUND.
// Names compare without regard to case; ".dll" may be left out. A null name
// answers the main program. Never loads anything; cost: a short table scan.
EXTERN_C PLATFORM_API HMODULE WINAPI GetModuleHandleW(LPCWSTR lpModuleName);

#define GET_MODULE_HANDLE_EX_FLAG_PIN 0x1
#define GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT 0x2
#define GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS 0x4
// With GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS: the module that holds the
// address `lpModuleName`, its reference count raised unless
// UNCHANGED_REFCOUNT is given. Otherwise as GetModuleHandleW. FALSE with
// ERROR_MOD_NOT_FOUND (ERROR_INVALID_PARAMETER for a null out pointer).
EXTERN_C PLATFORM_API BOOL WINAPI GetModuleHandleExW(DWORD dwFlags, LPCWSTR lpModuleName,
                                                     HMODULE* phModule);

// The address of the function `lpProcName` exported by `hModule`, or null
// with ERROR_PROC_NOT_FOUND (ERROR_INVALID_HANDLE for a null module). Look-up
// by ordinal is not supported and fails with ERROR_PROC_NOT_FOUND.
EXTERN_C PLATFORM_API FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName);

#define LOAD_LIBRARY_AS_DATAFILE 0x00000002
#define LOAD_LIBRARY_AS_IMAGE_RESOURCE 0x00000020
#define LOAD_LIBRARY_AS_DATAFILE_EXCLUSIVE 0x00000040

// Loads a shared library and runs its entry point for the process attach
// (see platform/module/process_attach.h); a library whose entry point
// refuses is unloaded again and the call fails with ERROR_DLL_INIT_FAILED.
// A missing file gives ERROR_MOD_NOT_FOUND, a file the loader rejects
// ERROR_BAD_EXE_FORMAT. Each successful load must be paired with FreeLibrary.
EXTERN_C PLATFORM_API HMODULE WINAPI LoadLibraryW(LPCWSTR lpLibFileName);
// As LoadLibraryW; with one of the LOAD_LIBRARY_AS_DATAFILE flags the file is
// only read (its resources become reachable, no code runs). hFile must be null.
EXTERN_C PLATFORM_API HMODULE WINAPI LoadLibraryExW(LPCWSTR lpLibFileName, HANDLE hFile,
                                                    DWORD dwFlags);
// Releases one load of the module; FALSE with ERROR_INVALID_HANDLE for a
// handle that is not a loaded module.
EXTERN_C PLATFORM_API BOOL WINAPI FreeLibrary(HMODULE hLibModule);

// The full path of a loaded module (null: the main program), as on Windows:
// a path that does not fit is cut to nSize - 1 units plus the terminator, nSize
// is returned and the last error is ERROR_INSUFFICIENT_BUFFER. 0 on failure
// (ERROR_INVALID_HANDLE for data-file or unknown handles).
EXTERN_C PLATFORM_API DWORD WINAPI GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename,
                                                      DWORD nSize);

// Resources. Names and types are integer ids (MAKEINTRESOURCEW, or "#123") or
// text compared without regard to case. Only data-file handles carry
// resources here; other handles give ERROR_RESOURCE_DATA_NOT_FOUND. A
// resource lives as long as its module handle.
#define MAKEINTRESOURCEW(i) ((LPWSTR)((ULONG_PTR)((WORD)(i))))
#define IS_INTRESOURCE(r) ((((ULONG_PTR)(r)) >> 16) == 0)
// Null with ERROR_RESOURCE_TYPE_NOT_FOUND or ERROR_RESOURCE_NAME_NOT_FOUND.
EXTERN_C PLATFORM_API HRSRC WINAPI FindResourceW(HMODULE hModule, LPCWSTR lpName, LPCWSTR lpType);
EXTERN_C PLATFORM_API HGLOBAL WINAPI LoadResource(HMODULE hModule, HRSRC hResInfo);
EXTERN_C PLATFORM_API LPVOID WINAPI LockResource(HGLOBAL hResData);
EXTERN_C PLATFORM_API DWORD WINAPI SizeofResource(HMODULE hModule, HRSRC hResInfo);

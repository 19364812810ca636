// Applying this library's registry scripts (resources of type "REGISTRY")
// through the registrar, and the library's own file path that both the
// scripts and the type-library steps need.
#pragma once

#include <ole2.h>
#include <windows.h>

// A script variable; a list of them ends with a null name. A null value
// leaves the variable undefined.
struct RegistryVariable {
  LPCOLESTR name;
  LPCOLESTR value;
};

// The library's full file path into `path`. HRESULT_FROM_WIN32 of the last
// error when there is none; 0x8007007A (insufficient buffer) when it does not
// fit in MAX_PATH units.
HRESULT GetServerFilePath(WCHAR (&path)[MAX_PATH]) noexcept;

// Reads the "REGISTRY" resource `resourceId` from the library file (as a
// data file), converts it from the thread's ANSI code page and applies it
// (registering TRUE) or removes what it describes (FALSE). Variables: the
// caller's, then "APPID", then "Module" and "Module_Raw" (the path with
// every single quote doubled). S_OK or the first failure.
HRESULT ApplyRegistryResource(UINT resourceId, BOOL registering,
                              const RegistryVariable* variables) noexcept;

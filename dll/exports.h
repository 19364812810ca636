// The five functions this library exports (C linkage; everything else is
// hidden, see exports.map), as a COM host or registration tool calls them.
// The Windows headers declare the first four; DllInstall is declared here.
#pragma once

#include <ole2.h>
#include <olectl.h>
#include <windows.h>

// DllGetClassObject, DllCanUnloadNow: entry_points.cpp.
// DllRegisterServer, DllUnregisterServer, DllInstall: registration.cpp.
STDAPI DllInstall(BOOL bInstall, PCWSTR pszCmdLine);

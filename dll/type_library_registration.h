// Registering and unregistering the type library this library carries
// ("TYPELIB" 1 in its file, or the ".tlb" file beside it), for the machine or,
// when perUserRegistration is set, for the current user only.
#pragma once

#include <windows.h>

// Loads the type library and registers it with its path and help directory
// (RegisterTypeLibForUser, found in OLEAUT32.DLL, when per-user). The first
// failure is returned.
HRESULT RegisterServerTypeLibrary() noexcept;
// Loads the type library and unregisters the version, locale and system kind
// it describes. The platform's answer is returned.
HRESULT UnregisterServerTypeLibrary() noexcept;

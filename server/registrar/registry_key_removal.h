// Removing registry keys for the registry-script walks: deleting one key
// (RegDeleteKeyExW when Advapi32.dll offers it, else RegDeleteKeyW), removing
// a whole key tree, and the key names that are never removed.
#pragma once

#include "server/registrar/registry_script_text.h"

// True for the shared key names (AppID, CLSID, Software...) that a
// ForceRemove or Delete entry never removes; the whole name compares without
// regard to case.
bool IsProtectedKeyName(const ScriptString& name) noexcept;

// Deletes the key `name` beneath `parent` (it must have no subkeys).
// Returns the Win32 error of the deletion. The RegDeleteKeyExW look-up is
// made once per process.
LONG DeleteRegistryKey(HKEY parent, const WCHAR* name) noexcept;

// Removes the key `name` beneath `parent` with every key below it, deepest
// first. Returns the first Win32 error met (the removal stops there). Needs
// no stack per level: the descent is kept in a list.
LONG RemoveRegistryKeyTree(HKEY parent, const WCHAR* name) noexcept;

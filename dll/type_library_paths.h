// The two path rules of type-library registration, apart so that they are
// tested without a type library: the ".tlb" file beside the library, and the
// help directory of a help file.
#pragma once

#include <ole2.h>
#include <windows.h>

// `modulePath` with its extension (from the last "." after the last path
// separator, "\\" or "/") replaced by ".tlb", or ".tlb" appended when it has
// none. E_FAIL when the result would not fit in MAX_PATH units.
HRESULT TypeLibraryPathBeside(const WCHAR* modulePath, WCHAR (&tlbPath)[MAX_PATH]) noexcept;

// The directory part of `helpFile`: cut after its last backslash, slash or
// colon, at most MAX_PATH - 1 units kept; empty when it has none of them.
void HelpDirectoryOf(const WCHAR* helpFile, WCHAR (&helpDirectory)[MAX_PATH]) noexcept;

// How a Linux shared library that is an in-process server gets its entry
// point (DllMain) run as Windows runs it. The library links the small
// piece platform/module/entry/process_attach_entry.cpp, whose ELF constructor
// runs DllMain(DLL_PROCESS_ATTACH), and whose ELF destructor runs
// DllMain(DLL_PROCESS_DETACH) before the library's static objects are
// destroyed. The order of unprioritized constructors within one library is
// the linker's choice, so a library whose DllMain reads what its static
// objects set up gives those objects an init_priority: prioritized
// initializers all run before the unprioritized constructor here. The constructor cannot fail
// dlopen, so it reports the entry point's answer here; LoadLibraryW reads the report when dlopen
// returns and, for a refused attach, unloads the library again (its detach runs, as on Windows) and
// fails with ERROR_DLL_INIT_FAILED.
#pragma once

#include "windef.h"

// Called by the entry piece only: `accepted` is what DllMain answered for the
// process attach of `library`. Kept per thread until the load that caused
// it looks.
EXTERN_C PLATFORM_API void GlimmarkLoader_ReportProcessAttach(HMODULE library, BOOL accepted);

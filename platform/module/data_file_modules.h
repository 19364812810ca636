// Modules opened with LOAD_LIBRARY_AS_DATAFILE: the whole file read into
// memory once, its resources decoded (resource_table.h). Their handles are
// this layer's own, tagged with the lowest bit as Windows tags data-file
// handles, and kept in a process-wide table so that a stale or foreign
// handle is refused rather than followed.
#pragma once

#include "windef.h"

namespace module {

// Windows sets this bit in the handles of modules mapped as data files.
inline constexpr ULONG_PTR kDataFileHandleTag = 1;

inline bool IsDataFileHandle(HMODULE handle) {
  return (reinterpret_cast<ULONG_PTR>(handle) & kDataFileHandleTag) != 0;
}

// Reads `path` (UTF-8) as a data file. Null with the last error set:
// ERROR_FILE_NOT_FOUND, ERROR_BAD_EXE_FORMAT (not an ELF file, or a damaged
// resource section), ERROR_NOT_ENOUGH_MEMORY.
HMODULE OpenDataFileModule(const char* path);
// False (ERROR_INVALID_HANDLE) when the handle is not an open data file.
bool CloseDataFileModule(HMODULE handle);

}  // namespace module

// The libraries LoadRegTypeLib has handed out, by the path each was read
// from: a library still in use somewhere is handed out again (one more
// reference to the same object) instead of being read and decoded anew, as
// Windows keeps one loaded library per file. The table holds no reference
// of its own: whoever was handed a library holds it (the server's type-info
// holder, until its module ends), and the library takes itself off the table
// when its last reference goes, so nothing outlives its users and nothing
// is left for process exit or CoUninitialize to release. A listed library
// whose file has changed on disk (another device, inode, size or
// modification time) is read again.
#pragma once

#include <string>

#include "oaidl.h"

namespace glimmark::ole {

class TypeLibObject;

// The library in the file at `path` as a new reference: the listed object
// when it is still alive and its file unchanged (no read; cost: a stat and
// a lock), else LoadTypeLib's, which is then listed. LoadTypeLib's failures.
HRESULT LoadKeptTypeLib(const std::u16string& path, ITypeLib** out) noexcept;

// Takes `library` off the table when it is the object listed for its path.
// Called by the library as its last reference goes.
void UnlistTypeLib(const TypeLibObject* library) noexcept;

}  // namespace glimmark::ole

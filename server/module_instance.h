// The instance record: the library's own module handle (from which its file
// path, its registry scripts and its type library are read) and the lock
// that belongs to it. The first of the load steps; the dll layer makes the
// one record.
#pragma once

#include <windows.h>

class CModuleInstance {
 public:
  // Finds the module that holds this code and creates the lock; a failure
  // (or `loadFailed` already set) leaves the record uninitialized and sets
  // `loadFailed`.
  explicit CModuleInstance(bool& loadFailed) noexcept;
  ~CModuleInstance();
  CModuleInstance(const CModuleInstance&) = delete;
  CModuleInstance& operator=(const CModuleInstance&) = delete;

  HINSTANCE Handle() const noexcept { return moduleInstance; }

 private:
  bool initialized_ = false;
  HINSTANCE moduleInstance = nullptr;
  CRITICAL_SECTION lock_;
};

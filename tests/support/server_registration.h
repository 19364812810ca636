// Registering the built libglimmark.so into the test program's own registry
// file (GLIMMARK_REGISTRY, one per test program), the way a registration
// tool does: load the library, call its entry point, let it go. After it,
// "tolvek.Glimmark" is creatable by ProgID and its type library is found
// through the registry, so tests can drive objects as a script host does.
#pragma once

#include <windows.h>

// DllInstall(TRUE, "user") when `perUser`, else DllRegisterServer, of the
// built library. The entry point's result, or the loader's failure.
HRESULT RegisterBuiltServer(bool perUser = false);

// DllUnregisterServer of the built library.
HRESULT UnregisterBuiltServer();

// Enters a single-threaded apartment for the calling thread for one scope.
class ScopedApartment {
 public:
  ScopedApartment();
  ~ScopedApartment();
  ScopedApartment(const ScopedApartment&) = delete;
  ScopedApartment& operator=(const ScopedApartment&) = delete;
  HRESULT Result() const { return result_; }

 private:
  HRESULT result_;
};

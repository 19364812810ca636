// Stand-in for type_library_registration.cpp while the platform has no
// type-library functions (LoadTypeLib, RegisterTypeLib, ...): the build uses
// this file only when platform/include/oleauto.h does not declare them, and
// drops it once it does. Registration of the scripts is complete without it;
// the type library is then simply not registered.
#include "dll/type_library_registration.h"

HRESULT RegisterServerTypeLibrary() noexcept { return S_OK; }

HRESULT UnregisterServerTypeLibrary() noexcept { return S_OK; }

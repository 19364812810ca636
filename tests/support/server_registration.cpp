#include "support/server_registration.h"

#include <ole2.h>

#include <string>

namespace {

using RegisterEntry = HRESULT(STDAPICALLTYPE*)();
using InstallEntry = HRESULT(STDAPICALLTYPE*)(BOOL, LPCWSTR);

// Runs `call` with the built library loaded.
template <class Call>
HRESULT WithBuiltLibrary(Call call) {
  const std::string path = GLIMMARK_SERVER_LIBRARY;
  const std::u16string widePath(path.begin(), path.end());  // build paths are ASCII
  const HMODULE library = LoadLibraryW(widePath.c_str());
  if (library == nullptr) return HRESULT_FROM_WIN32(GetLastError());
  const HRESULT hr = call(library);
  FreeLibrary(library);
  return hr;
}

}  // namespace

HRESULT RegisterBuiltServer(bool perUser) {
  return WithBuiltLibrary([perUser](HMODULE library) -> HRESULT {
    if (perUser) {
      auto install = reinterpret_cast<InstallEntry>(
          reinterpret_cast<void (*)()>(GetProcAddress(library, "DllInstall")));
      return install != nullptr ? install(TRUE, u"user") : E_FAIL;
    }
    auto reg = reinterpret_cast<RegisterEntry>(
        reinterpret_cast<void (*)()>(GetProcAddress(library, "DllRegisterServer")));
    return reg != nullptr ? reg() : E_FAIL;
  });
}

HRESULT UnregisterBuiltServer() {
  return WithBuiltLibrary([](HMODULE library) -> HRESULT {
    auto unreg = reinterpret_cast<RegisterEntry>(
        reinterpret_cast<void (*)()>(GetProcAddress(library, "DllUnregisterServer")));
    return unreg != nullptr ? unreg() : E_FAIL;
  });
}

ScopedApartment::ScopedApartment() : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
ScopedApartment::~ScopedApartment() {
  if (SUCCEEDED(result_)) CoUninitialize();
}

#include "dll/type_library_registration.h"

#include <ole2.h>

#include "dll/registry_resources.h"
#include "dll/type_library_paths.h"
#include "server/registrar/reg_object.h"

namespace {

using RegisterForUserFunction = HRESULT(WINAPI*)(ITypeLib*, OLECHAR*, OLECHAR*);
using UnregisterForUserFunction = HRESULT(WINAPI*)(REFGUID, WORD, WORD, LCID, SYSKIND);

// A loaded type library and the path it loaded from; both released at the end.
struct LoadedTypeLibrary {
  ITypeLib* library = nullptr;
  BSTR path = nullptr;
  ~LoadedTypeLibrary() {
    if (library != nullptr) library->Release();
    SysFreeString(path);
  }
};

// The library file itself, else the ".tlb" file beside it.
HRESULT LoadServerTypeLibrary(LoadedTypeLibrary& loaded) {
  WCHAR path[MAX_PATH];
  HRESULT hr = GetServerFilePath(path);
  if (FAILED(hr)) return hr;
  if (FAILED(LoadTypeLib(path, &loaded.library))) {
    WCHAR besides[MAX_PATH];
    hr = TypeLibraryPathBeside(path, besides);
    if (FAILED(hr)) return hr;
    hr = LoadTypeLib(besides, &loaded.library);
    if (FAILED(hr)) return hr;
    for (size_t i = 0; i < MAX_PATH; ++i) path[i] = besides[i];
  }
  loaded.path = SysAllocString(path);
  return loaded.path == nullptr ? E_OUTOFMEMORY : S_OK;
}

// The per-user form of a registration function, when registering per user
// and OLEAUT32.DLL has it; else null. (Through the generic function pointer
// type, as casting FARPROC straight to another signature is warned about.)
template <class Function>
Function PerUserFunction(LPCSTR name) {
  if (!perUserRegistration) return nullptr;
  const HMODULE automation = GetModuleHandleW(OLESTR("OLEAUT32.DLL"));
  if (automation == nullptr) return nullptr;
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(automation, name)));
}

}  // namespace

HRESULT RegisterServerTypeLibrary() noexcept {
  LoadedTypeLibrary loaded;
  HRESULT hr = LoadServerTypeLibrary(loaded);
  if (FAILED(hr)) return hr;
  BSTR helpFile = nullptr;
  WCHAR helpDirectory[MAX_PATH] = {};
  if (SUCCEEDED(loaded.library->GetDocumentation(-1, nullptr, nullptr, nullptr, &helpFile)) &&
      helpFile != nullptr) {
    HelpDirectoryOf(helpFile, helpDirectory);
  }
  SysFreeString(helpFile);
  OLECHAR* directory = helpDirectory[0] != 0 ? helpDirectory : nullptr;
  const auto forUser = PerUserFunction<RegisterForUserFunction>("RegisterTypeLibForUser");
  if (forUser != nullptr) return forUser(loaded.library, loaded.path, directory);
  return RegisterTypeLib(loaded.library, loaded.path, directory);
}

HRESULT UnregisterServerTypeLibrary() noexcept {
  LoadedTypeLibrary loaded;
  HRESULT hr = LoadServerTypeLibrary(loaded);
  if (FAILED(hr)) return hr;
  TLIBATTR* attributes = nullptr;
  hr = loaded.library->GetLibAttr(&attributes);
  if (FAILED(hr)) return hr;
  const auto forUser = PerUserFunction<UnregisterForUserFunction>("UnRegisterTypeLibForUser");
  if (forUser != nullptr) {
    hr = forUser(attributes->guid, attributes->wMajorVerNum, attributes->wMinorVerNum,
                 attributes->lcid, attributes->syskind);
  } else {
    hr = UnRegisterTypeLib(attributes->guid, attributes->wMajorVerNum, attributes->wMinorVerNum,
                           attributes->lcid, attributes->syskind);
  }
  loaded.library->ReleaseTLibAttr(attributes);
  return hr;
}

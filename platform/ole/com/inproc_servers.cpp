// Making objects of in-process servers: CoGetClassObject finds the library
// of a class through HKCR\CLSID\{clsid}\InprocServer32, loads it once (its
// entry point runs, see module/process_attach.h) and keeps it until
// CoFreeUnusedLibraries finds that its DllCanUnloadNow allows unloading.
// The path read for a class is kept while the registry stays unchanged, so
// the class of a loaded library is found again without a query.
#include <mutex>
#include <string>
#include <vector>

#include "libloaderapi.h"
#include "objbase.h"
#include "ole/com/apartments.h"
#include "ole/com/global_interface_table.h"
#include "ole/com/guid_hash.h"
#include "registry/registry_generation.h"
#include "winbase.h"
#include "winreg.h"

namespace {

using GetClassObjectFunction = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, LPVOID*);
using CanUnloadNowFunction = HRESULT(STDAPICALLTYPE*)();

// Longest library path read from the registry, in UTF-16 units.
constexpr DWORD kMaxServerPathUnits = 4096;

struct LoadedServer {
  std::u16string path;  // as registered
  HMODULE module = nullptr;
  GetClassObjectFunction getClassObject = nullptr;
  CanUnloadNowFunction canUnloadNow = nullptr;  // null: kept for the process's life
};

// The kept libraries. Recursive: a library's DllGetClassObject or teardown
// may itself make objects.
struct ServerTable {
  std::recursive_mutex lock;
  std::vector<LoadedServer> servers;
};

ServerTable& Servers() {
  static ServerTable* const table = new ServerTable;  // lives as long as the process
  return *table;
}

HRESULT LastErrorResult() {
  const DWORD error = GetLastError();
  return error == ERROR_SUCCESS ? E_FAIL : HRESULT_FROM_WIN32(error);
}

using ServerPaths = registry::RegistryReadCache<CLSID, std::u16string, glimmark::ole::GuidHash>;

// Registered paths by class (found ones only).
ServerPaths& KnownServerPaths() {
  static auto* const cache = new ServerPaths;  // lives as long as the process
  return *cache;
}

// The InprocServer32 path of a class, or REGDB_E_CLASSNOTREG.
HRESULT ReadServerPath(REFCLSID clsid, std::u16string* path) {
  constexpr int kGuidUnits = 39;
  WCHAR guid[kGuidUnits] = {};
  StringFromGUID2(clsid, guid, kGuidUnits);
  const std::u16string keyPath = std::u16string(u"CLSID\\") + guid + u"\\InprocServer32";
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, keyPath.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return REGDB_E_CLASSNOTREG;
  }
  std::u16string value(kMaxServerPathUnits + 1, u'\0');
  DWORD bytes = kMaxServerPathUnits * sizeof(WCHAR);  // the last unit stays a terminator
  DWORD type = REG_NONE;
  const LSTATUS status =
      RegQueryValueExW(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(value.data()), &bytes);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) {
    return REGDB_E_CLASSNOTREG;
  }
  value.resize(value.find(u'\0'));
  if (value.empty()) return REGDB_E_CLASSNOTREG;
  *path = std::move(value);
  return S_OK;
}

// ReadServerPath, answered from the kept paths while the registry is unchanged.
HRESULT FindServerPath(REFCLSID clsid, std::u16string* path) {
  const uint64_t generation = registry::RegistryGeneration();
  if (auto kept = KnownServerPaths().Find(clsid, generation)) {
    *path = std::move(*kept);
    return S_OK;
  }
  const HRESULT found = ReadServerPath(clsid, path);
  if (SUCCEEDED(found)) KnownServerPaths().Keep(clsid, *path, generation);
  return found;
}

// The kept library at `path`, loaded now if it is not kept yet. Caller holds
// the table's lock.
HRESULT FindOrLoadServer(ServerTable& table, const std::u16string& path, LoadedServer** server) {
  for (LoadedServer& kept : table.servers) {
    if (kept.path == path) {
      *server = &kept;
      return S_OK;
    }
  }
  LoadedServer loaded;
  loaded.path = path;
  loaded.module = LoadLibraryW(path.c_str());
  if (loaded.module == nullptr) return LastErrorResult();
  loaded.getClassObject = reinterpret_cast<GetClassObjectFunction>(
      reinterpret_cast<void (*)()>(GetProcAddress(loaded.module, "DllGetClassObject")));
  loaded.canUnloadNow = reinterpret_cast<CanUnloadNowFunction>(
      reinterpret_cast<void (*)()>(GetProcAddress(loaded.module, "DllCanUnloadNow")));
  if (loaded.getClassObject == nullptr) {
    FreeLibrary(loaded.module);
    return CO_E_ERRORINDLL;
  }
  table.servers.push_back(std::move(loaded));
  *server = &table.servers.back();
  return S_OK;
}

}  // namespace

EXTERN_C HRESULT WINAPI CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, LPVOID pvReserved,
                                         REFIID riid, LPVOID* ppv) {
  if (ppv == nullptr) return E_INVALIDARG;
  *ppv = nullptr;
  if (pvReserved != nullptr) return E_INVALIDARG;
  if (!glimmark::ole::ThreadHasApartment()) return CO_E_NOTINITIALIZED;
  if ((dwClsContext & CLSCTX_INPROC_SERVER) == 0) return REGDB_E_CLASSNOTREG;
  try {
    std::u16string path;
    const HRESULT found = FindServerPath(rclsid, &path);
    if (FAILED(found)) return found;
    ServerTable& table = Servers();
    std::lock_guard<std::recursive_mutex> guard(table.lock);
    LoadedServer* server = nullptr;
    const HRESULT loaded = FindOrLoadServer(table, path, &server);
    if (FAILED(loaded)) return loaded;
    return server->getClassObject(rclsid, riid, ppv);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

EXTERN_C HRESULT WINAPI CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext,
                                         REFIID riid, LPVOID* ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (!glimmark::ole::ThreadHasApartment()) return CO_E_NOTINITIALIZED;
  if (IsEqualCLSID(rclsid, CLSID_StdGlobalInterfaceTable)) {
    if (pUnkOuter != nullptr) return CLASS_E_NOAGGREGATION;
    return glimmark::ole::GetStandardGlobalInterfaceTable(riid, ppv);
  }
  IClassFactory* factory = nullptr;
  HRESULT hr = CoGetClassObject(rclsid, dwClsContext, nullptr, IID_IClassFactory,
                                reinterpret_cast<void**>(&factory));
  if (FAILED(hr)) return hr;
  hr = factory->CreateInstance(pUnkOuter, riid, ppv);
  factory->Release();
  return hr;
}

EXTERN_C void WINAPI CoFreeUnusedLibraries(void) {
  ServerTable& table = Servers();
  std::lock_guard<std::recursive_mutex> guard(table.lock);
  for (size_t i = table.servers.size(); i-- > 0;) {
    LoadedServer& server = table.servers[i];
    if (server.canUnloadNow == nullptr || server.canUnloadNow() != S_OK) continue;
    const HMODULE module = server.module;
    table.servers.erase(table.servers.begin() + static_cast<std::ptrdiff_t>(i));
    FreeLibrary(module);
  }
}

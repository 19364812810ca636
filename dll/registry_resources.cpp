#include "dll/registry_resources.h"

#include <ole2.h>

#include <memory>
#include <new>

#include "dll/server_module.h"
#include "server/registrar/reg_object.h"

namespace {

HRESULT LastErrorResult() {
  const DWORD error = GetLastError();
  return error == ERROR_SUCCESS ? E_FAIL : HRESULT_FROM_WIN32(error);
}

// A path with every single quote doubled, so that it survives inside a quoted
// script token. Null when memory runs out.
std::unique_ptr<WCHAR[]> EscapedPath(const WCHAR* path) {
  size_t length = 0;
  size_t quotes = 0;
  for (; path[length] != 0; ++length) quotes += path[length] == u'\'';
  std::unique_ptr<WCHAR[]> escaped(new (std::nothrow) WCHAR[length + quotes + 1]);
  if (escaped == nullptr) return escaped;
  size_t out = 0;
  for (size_t i = 0; i < length; ++i) {
    escaped[out++] = path[i];
    if (path[i] == u'\'') escaped[out++] = u'\'';
  }
  escaped[out] = 0;
  return escaped;
}

// The data-file handle of the library, freed when the scope ends.
class DataFileModule {
 public:
  explicit DataFileModule(const WCHAR* path)
      : handle_(LoadLibraryExW(path, nullptr, LOAD_LIBRARY_AS_DATAFILE)) {}
  ~DataFileModule() {
    if (handle_ != nullptr) FreeLibrary(handle_);
  }
  DataFileModule(const DataFileModule&) = delete;
  DataFileModule& operator=(const DataFileModule&) = delete;
  HMODULE Handle() const { return handle_; }

 private:
  HMODULE handle_;
};

// The script's UTF-16 text, on the process heap (null when it runs out).
class ScriptBuffer {
 public:
  explicit ScriptBuffer(size_t units)
      : units_(static_cast<WCHAR*>(HeapAlloc(GetProcessHeap(), 0, units * sizeof(WCHAR)))) {}
  ~ScriptBuffer() { HeapFree(GetProcessHeap(), 0, units_); }
  ScriptBuffer(const ScriptBuffer&) = delete;
  ScriptBuffer& operator=(const ScriptBuffer&) = delete;
  WCHAR* Units() const { return units_; }

 private:
  WCHAR* units_;
};

// Reads the script `resourceId` from the library file and applies it.
HRESULT ApplyScriptResource(CRegObject& registrar, const WCHAR* path, UINT resourceId,
                            BOOL registering) {
  const DataFileModule library(path);
  if (library.Handle() == nullptr) return LastErrorResult();
  const HRSRC resource =
      FindResourceW(library.Handle(), MAKEINTRESOURCEW(resourceId), OLESTR("REGISTRY"));
  if (resource == nullptr) return LastErrorResult();
  const HGLOBAL loaded = LoadResource(library.Handle(), resource);
  const auto* bytes = static_cast<const char*>(loaded == nullptr ? nullptr : LockResource(loaded));
  if (bytes == nullptr) return LastErrorResult();
  const DWORD size = SizeofResource(library.Handle(), resource);
  const ScriptBuffer text(size + 1);
  if (text.Units() == nullptr) return E_OUTOFMEMORY;
  const int units = MultiByteToWideChar(CP_THREAD_ACP, 0, bytes, static_cast<int>(size),
                                        text.Units(), static_cast<int>(size));
  if (units == 0) return LastErrorResult();
  text.Units()[units] = 0;
  return registrar.ApplyScript(text.Units(), registering);
}

}  // namespace

HRESULT GetServerFilePath(WCHAR (&path)[MAX_PATH]) noexcept {
  const DWORD length = GetModuleFileNameW(ServerInstance(), path, MAX_PATH);
  if (length == 0) return LastErrorResult();
  if (length == MAX_PATH) return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
  return S_OK;
}

HRESULT ApplyRegistryResource(UINT resourceId, BOOL registering,
                              const RegistryVariable* variables) noexcept {
  CRegObject registrar;
  for (; variables != nullptr && variables->name != nullptr; ++variables) {
    if (variables->value == nullptr) continue;
    const HRESULT hr = registrar.DefineVariable(variables->name, variables->value);
    if (FAILED(hr)) return hr;
  }
  HRESULT hr = ServerModule().AddCommonReplacements(&registrar);
  if (FAILED(hr)) return hr;
  WCHAR path[MAX_PATH];
  hr = GetServerFilePath(path);
  if (FAILED(hr)) return hr;
  const std::unique_ptr<WCHAR[]> escaped = EscapedPath(path);
  if (escaped == nullptr) return E_OUTOFMEMORY;
  for (LPCOLESTR name : {OLESTR("Module"), OLESTR("Module_Raw")}) {
    hr = registrar.DefineVariable(name, escaped.get());
    if (FAILED(hr)) return hr;
  }
  return ApplyScriptResource(registrar, path, resourceId, registering);
}

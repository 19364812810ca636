#include "server/type_info_holder.h"

#include <atomic>

#include "server/module.h"

namespace {

// The two fields read without the lock: set once under staticDataLock,
// published with release order, read with acquire order.
template <class T>
T* LoadPublished(T* const& field) noexcept {
  return std::atomic_ref<T* const>(field).load(std::memory_order_acquire);
}
template <class T>
void Publish(T*& field, T* value) noexcept {
  std::atomic_ref<T*>(field).store(value, std::memory_order_release);
}

// Holds the module's staticDataLock for one scope.
class StaticDataLockGuard {
 public:
  explicit StaticDataLockGuard(CGlimmarkPrjModule* module) noexcept : module_(module) {
    if (module != nullptr) EnterCriticalSection(&module->StaticDataLock());
  }
  ~StaticDataLockGuard() {
    if (module_ != nullptr) LeaveCriticalSection(&module_->StaticDataLock());
  }
  StaticDataLockGuard(const StaticDataLockGuard&) = delete;
  StaticDataLockGuard& operator=(const StaticDataLockGuard&) = delete;

 private:
  CGlimmarkPrjModule* module_;
};

void FreeNameCache(NameCacheEntry* cache, INT32 count) noexcept {
  if (cache == nullptr) return;
  for (INT32 i = 0; i < count; ++i) SysFreeString(cache[i].name);
  HeapFree(GetProcessHeap(), 0, cache);
}

}  // namespace

bool CComTypeInfoHolder::Loaded() const noexcept {
  return LoadPublished(typeInfo) != nullptr && LoadPublished(nameCache) != nullptr;
}

HRESULT CComTypeInfoHolder::LoadTypeInfo(LCID lcid) noexcept {
  if (Loaded()) return S_OK;
  CGlimmarkPrjModule* module = CGlimmarkPrjModule::Current();
  // Without a module there is no lock and nobody to release what is loaded.
  if (module == nullptr || !module->Initialized()) return E_UNEXPECTED;
  StaticDataLockGuard guard(module);
  return LoadTypeInfoLocked(lcid);
}

HRESULT CComTypeInfoHolder::LoadTypeInfoLocked(LCID lcid) noexcept {
  HRESULT hr = E_FAIL;
  if (typeInfo == nullptr) {
    ITypeLib* library = nullptr;
    hr = LoadRegTypeLib(*libraryGuid, majorVersion, minorVersion, lcid, &library);
    if (FAILED(hr) && lcid != libraryLocale) {
      hr = LoadRegTypeLib(*libraryGuid, majorVersion, minorVersion, libraryLocale, &library);
    }
    if (SUCCEEDED(hr)) {
      ITypeInfo* info = nullptr;
      hr = library->GetTypeInfoOfGuid(*interfaceGuid, &info);
      if (SUCCEEDED(hr)) {
        Publish(typeInfo, info);
        // Its result is not looked at: at worst the information is held
        // until the process ends.
        CGlimmarkPrjModule::Current()->AddTerminationFunction(&CComTypeInfoHolder::ReleaseTypeInfo,
                                                              reinterpret_cast<DWORD_PTR>(this));
      }
    }
    if (library != nullptr) library->Release();
  } else {
    hr = S_OK;  // another caller loaded it while this one waited
  }
  if (typeInfo != nullptr && nameCache == nullptr) hr = FillNameCache(typeInfo);
  return hr;
}

HRESULT CComTypeInfoHolder::FillNameCache(ITypeInfo* info) noexcept {
  TYPEATTR* attributes = nullptr;
  if (FAILED(info->GetTypeAttr(&attributes))) return S_OK;  // tried again next time
  const INT32 count = attributes->cFuncs;
  NameCacheEntry* cache = nullptr;
  if (count != 0) {
    cache = static_cast<NameCacheEntry*>(
        HeapAlloc(GetProcessHeap(), 0, sizeof(NameCacheEntry) * static_cast<SIZE_T>(count)));
    if (cache == nullptr) {
      info->ReleaseTypeAttr(attributes);
      return E_OUTOFMEMORY;
    }
    for (INT32 i = 0; i < count; ++i) cache[i] = {nullptr, 0, DISPID_UNKNOWN};
  }
  for (INT32 i = 0; i < count; ++i) {
    FUNCDESC* function = nullptr;
    if (FAILED(info->GetFuncDesc(static_cast<UINT>(i), &function))) continue;
    BSTR name = nullptr;
    if (SUCCEEDED(info->GetDocumentation(function->memid, &name, nullptr, nullptr, nullptr))) {
      cache[i] = {name, static_cast<INT32>(SysStringLen(name)), function->memid};
    }
    info->ReleaseFuncDesc(function);
  }
  nameCount = count;
  Publish(nameCache, cache);  // after nameCount: readers test nameCache first
  info->ReleaseTypeAttr(attributes);
  return S_OK;
}

bool CComTypeInfoHolder::FindCachedName(LPCOLESTR name, DISPID* dispid) const noexcept {
  const NameCacheEntry* cache = LoadPublished(nameCache);
  if (cache == nullptr || name == nullptr) return false;
  INT32 length = 0;
  while (name[length] != 0) ++length;
  // Newest entries last: a put and its get share a name and a DISPID.
  for (INT32 i = nameCount - 1; i >= 0; --i) {
    const NameCacheEntry& entry = cache[i];
    if (entry.name == nullptr || entry.length != length) continue;
    INT32 u = 0;
    while (u < length && entry.name[u] == name[u]) ++u;
    if (u == length) {
      *dispid = entry.dispid;
      return true;
    }
  }
  return false;
}

HRESULT CComTypeInfoHolder::GetTypeInfo(UINT index, LCID lcid, ITypeInfo** result) noexcept {
  if (index != 0) return DISP_E_BADINDEX;
  if (result == nullptr) return E_POINTER;
  HRESULT hr = S_OK;
  if (LoadPublished(typeInfo) == nullptr) hr = LoadTypeInfo(lcid);
  ITypeInfo* info = LoadPublished(typeInfo);
  *result = info;
  if (info == nullptr) return hr;
  info->AddRef();
  return S_OK;
}

HRESULT CComTypeInfoHolder::GetIDsOfNames(LPOLESTR* names, UINT count, LCID lcid,
                                          DISPID* dispids) noexcept {
  HRESULT hr = S_OK;
  if (!Loaded()) hr = LoadTypeInfo(lcid);
  ITypeInfo* info = LoadPublished(typeInfo);
  if (info == nullptr) return hr;
  if (count == 1 && names != nullptr && dispids != nullptr && FindCachedName(names[0], dispids)) {
    return S_OK;
  }
  return info->GetIDsOfNames(names, count, dispids);
}

HRESULT CComTypeInfoHolder::Invoke(IDispatch* instance, DISPID member, LCID lcid, WORD flags,
                                   DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                                   UINT* argumentError) noexcept {
  HRESULT hr = S_OK;
  if (!Loaded()) hr = LoadTypeInfo(lcid);
  ITypeInfo* info = LoadPublished(typeInfo);
  if (info == nullptr) return hr;
  return info->Invoke(instance, member, flags, params, result, exception, argumentError);
}

void CALLBACK CComTypeInfoHolder::ReleaseTypeInfo(DWORD_PTR holder) noexcept {
  auto* self = reinterpret_cast<CComTypeInfoHolder*>(holder);
  if (self->typeInfo != nullptr) self->typeInfo->Release();
  Publish(self->typeInfo, static_cast<ITypeInfo*>(nullptr));
  FreeNameCache(self->nameCache, self->nameCount);
  Publish(self->nameCache, static_cast<NameCacheEntry*>(nullptr));
  self->nameCount = 0;
}

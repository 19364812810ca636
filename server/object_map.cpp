#include "server/object_map.h"

namespace {

// The cached pointer read and written with full barriers: it is tested
// outside the lock by every thread asking for a factory.
IUnknown* LoadCached(IUnknown* const volatile* slot) {
  return static_cast<IUnknown*>(InterlockedCompareExchangePointer(
      reinterpret_cast<PVOID volatile*>(const_cast<IUnknown**>(slot)), nullptr, nullptr));
}

void StoreCached(IUnknown* volatile* slot, IUnknown* value) {
  InterlockedExchangePointer(reinterpret_cast<PVOID volatile*>(slot), value);
}

}  // namespace

CObjectMap::CObjectMap(ObjectMapEntry* mapEntries, size_t entryCount, bool& loadFailed) noexcept
    : objectMapLock(), entries_(mapEntries), count_(entryCount) {
  if (loadFailed) return;
  if (!InitializeCriticalSectionAndSpinCount(&objectMapLock, 0)) {
    loadFailed = true;
    return;
  }
  initialized = true;
}

CObjectMap::~CObjectMap() {
  if (!initialized) return;
  for (size_t i = 0; i < count_; ++i) {
    IUnknown* factory = LoadCached(&entries_[i].cachedFactory);
    if (factory == nullptr) continue;
    StoreCached(&entries_[i].cachedFactory, nullptr);
    factory->Release();
  }
  DeleteCriticalSection(&objectMapLock);
  initialized = false;
}

HRESULT CObjectMap::CachedFactory(ObjectMapEntry& entry, IUnknown** factory) noexcept {
  *factory = LoadCached(&entry.cachedFactory);
  if (*factory != nullptr) return S_OK;
  HRESULT hr = S_OK;
  EnterCriticalSection(&objectMapLock);
  if (LoadCached(&entry.cachedFactory) == nullptr) {
    IUnknown* made = nullptr;
    hr = entry.createFactory(entry.createInstance, IID_IUnknown, reinterpret_cast<void**>(&made));
    if (SUCCEEDED(hr)) StoreCached(&entry.cachedFactory, made);
  }
  LeaveCriticalSection(&objectMapLock);
  *factory = LoadCached(&entry.cachedFactory);
  return hr;
}

HRESULT CObjectMap::GetClassObject(REFCLSID clsid, REFIID riid, void** object) noexcept {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (!initialized) return E_UNEXPECTED;
  for (size_t i = 0; i < count_; ++i) {
    ObjectMapEntry& entry = entries_[i];
    if (entry.createFactory == nullptr || !IsEqualCLSID(*entry.clsid, clsid)) continue;
    IUnknown* factory = nullptr;
    HRESULT hr = CachedFactory(entry, &factory);
    if (factory != nullptr) hr = factory->QueryInterface(riid, object);
    if (hr == S_OK && *object == nullptr) hr = CLASS_E_CLASSNOTAVAILABLE;
    return hr;
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT CObjectMap::UpdateRegistry(BOOL registering) noexcept {
  for (size_t i = 0; i < count_; ++i) {
    const HRESULT hr = entries_[i].updateRegistry(registering);
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

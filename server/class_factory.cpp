#include "server/class_factory.h"

#include "server/com_object_cached.h"

HRESULT CComClassFactory::CreateFactory(CreateInstanceFunction creator, REFIID riid,
                                        void** object) noexcept {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  auto* factory = new (std::nothrow) CComObjectCached<CComClassFactory>();
  if (factory == nullptr) return E_OUTOFMEMORY;
  factory->createInstance = creator;
  const HRESULT hr = factory->QueryInterface(riid, object);
  if (FAILED(hr)) delete factory;  // never referenced: its count is still 0
  return hr;
}

HRESULT CComClassFactory::InternalQueryInterface(REFIID riid, void** object) noexcept {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IClassFactory)) {
    return E_NOINTERFACE;
  }
  AddRef();
  *object = static_cast<IClassFactory*>(this);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CComClassFactory::CreateInstance(IUnknown* pUnkOuter, REFIID riid,
                                                           void** ppvObject) noexcept {
  if (ppvObject == nullptr) return E_POINTER;
  *ppvObject = nullptr;
  if (pUnkOuter != nullptr && !IsEqualIID(riid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
  return createInstance(pUnkOuter, riid, ppvObject);
}

HRESULT STDMETHODCALLTYPE CComClassFactory::LockServer(BOOL fLock) noexcept {
  if (fLock) {
    LockModule();
  } else {
    UnlockModule();
  }
  return S_OK;
}

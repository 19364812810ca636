// CComClassFactory: the class object that COM asks for through
// DllGetClassObject. It is bound to one object-making function and lives in
// the module's cache as a CComObjectCached<CComClassFactory>
// (com_object_cached.h); its count is interlocked, so clients on any thread
// may hold it.
#pragma once

#include <ole2.h>
#include <windows.h>

#include "server/object_creation.h"

class CComClassFactory : public IClassFactory {
 public:
  virtual ~CComClassFactory() = default;

  // Makes a cached factory bound to `creator` and asks it for `riid`.
  // E_OUTOFMEMORY when it cannot be allocated; a failing QueryInterface
  // frees it again and is returned.
  static HRESULT CreateFactory(CreateInstanceFunction creator, REFIID riid, void** object) noexcept;

  // IUnknown and IClassFactory, one and the same pointer.
  HRESULT InternalQueryInterface(REFIID riid, void** object) noexcept;
  bool IsConstructed() const noexcept { return true; }

  // E_POINTER for null out; CLASS_E_NOAGGREGATION when an outer object asks
  // for anything but IID_IUnknown; else what the bound function answers.
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid,
                                           void** ppvObject) noexcept override;
  // Locks (non-zero) or unlocks the module. Always S_OK.
  HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) noexcept override;

 private:
  CreateInstanceFunction createInstance = nullptr;
};

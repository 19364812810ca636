// Making a COM object of class T as its class factory does: stand-alone
// (CComObject<T>) or, with an outer object, as the inner part of an
// aggregate (CComAggObject<T>). The module is locked once per object; T's
// destructor takes that lock back.
#pragma once

#include <ole2.h>
#include <windows.h>

#include <new>

#include "server/com_agg_object.h"
#include "server/com_object.h"
#include "server/module.h"

// The object-making function a class factory is bound to.
using CreateInstanceFunction = HRESULT (*)(IUnknown* outer, REFIID riid, void** object);

// Asks the fresh object `made` (count 0) for `riid`. The module lock is taken
// first, even for an object whose construction failed, because destroying
// any T gives one back; so a failure leaves the lock count where it was.
// E_OUTOFMEMORY when allocation or construction failed; otherwise the
// QueryInterface result, with the object destroyed again on failure.
template <class Wrapper>
HRESULT QueryNewObject(Wrapper* made, REFIID riid, void** object) noexcept {
  if (made == nullptr) return E_OUTOFMEMORY;
  LockModule();
  made->AddRef();  // guards the object while it is asked; the Release below
                   // destroys it unless the query added a reference
  const HRESULT hr = made->IsConstructed() ? made->QueryInterface(riid, object) : E_OUTOFMEMORY;
  made->Release();
  return hr;
}

template <class T>
HRESULT CreateComInstance(IUnknown* outer, REFIID riid, void** object) noexcept {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (outer == nullptr) return QueryNewObject(new (std::nothrow) CComObject<T>(), riid, object);
  return QueryNewObject(new (std::nothrow) CComAggObject<T>(outer), riid, object);
}

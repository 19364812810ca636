// CComObjectCached<T>: the wrapper of an object that the module keeps in a
// cache (the class factory). Its count is interlocked, since clients on any
// thread hold it. The cache's own reference does not keep the library loaded:
// the count going from 1 to 2 locks the module, from 2 back to 1 unlocks it,
// and from 1 to 0 (the cache letting go at unload) destroys the object.
#pragma once

#include <ole2.h>
#include <windows.h>

#include "server/heap_object.h"
#include "server/module.h"
#include "server/teardown_count.h"

template <class T>
class CComObjectCached : public T, public HeapObject {
 public:
  CComObjectCached() = default;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) noexcept override {
    return this->InternalQueryInterface(riid, object);
  }
  ULONG STDMETHODCALLTYPE AddRef() noexcept override {
    const LONG count = InterlockedIncrement(&refCount_);
    if (count == 2) LockModule();
    return static_cast<ULONG>(count);
  }
  ULONG STDMETHODCALLTYPE Release() noexcept override {
    const LONG count = InterlockedDecrement(&refCount_);
    if (count == 0) {
      refCount_ = kDestructionRefCount;
      delete this;
    } else if (count == 1) {
      UnlockModule();
    }
    return static_cast<ULONG>(count);
  }

 private:
  LONG volatile refCount_ = 0;
};

// The stand-alone object wrapper: CComObject<T> gives a class T that has an
// interface table (T::InternalQueryInterface) its IUnknown: a plain reference
// count (the object lives in one apartment, so no interlocked operations) and
// destruction at the last Release. Made by CreateComInstance
// (object_creation.h), on the process heap.
#pragma once

#include <ole2.h>
#include <windows.h>

#include "server/heap_object.h"
#include "server/teardown_count.h"

template <class T>
class CComObject : public T, public HeapObject {
 public:
  CComObject() = default;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) noexcept override {
    return this->InternalQueryInterface(riid, object);
  }
  ULONG STDMETHODCALLTYPE AddRef() noexcept override { return refCount_.Add(); }
  ULONG STDMETHODCALLTYPE Release() noexcept override { return refCount_.Release(this); }

 private:
  ApartmentRefCount refCount_;
};

// Aggregation: CComAggObject<T> is a T made as the inner part of another
// object (the outer). The aggregate has its own IUnknown, with its own plain
// count, which only the outer holds; the interfaces it hands out belong to
// the CComContainedObject<T> inside it, whose IUnknown methods all go to the
// outer object, so a client sees one identity and one count.
#pragma once

#include <ole2.h>
#include <windows.h>

#include "server/heap_object.h"
#include "server/teardown_count.h"

template <class T>
class CComContainedObject : public T {
 public:
  explicit CComContainedObject(IUnknown* outer) noexcept : outerUnknown_(outer) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) noexcept override {
    return outerUnknown_->QueryInterface(riid, object);
  }
  ULONG STDMETHODCALLTYPE AddRef() noexcept override { return outerUnknown_->AddRef(); }
  ULONG STDMETHODCALLTYPE Release() noexcept override { return outerUnknown_->Release(); }

 private:
  IUnknown* outerUnknown_;  // not counted: the outer object owns the aggregate
};

template <class T>
class CComAggObject : public IUnknown, public HeapObject {
 public:
  explicit CComAggObject(IUnknown* outer) noexcept : contained_(outer) {}
  virtual ~CComAggObject() = default;

  bool IsConstructed() const noexcept { return contained_.IsConstructed(); }

  // IID_IUnknown: the aggregate's own IUnknown; anything else from the
  // contained object's table (its pointers count on the outer object).
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) noexcept override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown)) return contained_.InternalQueryInterface(riid, object);
    AddRef();
    *object = static_cast<IUnknown*>(this);
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() noexcept override { return refCount_.Add(); }
  ULONG STDMETHODCALLTYPE Release() noexcept override { return refCount_.Release(this); }

 private:
  ApartmentRefCount refCount_;
  CComContainedObject<T> contained_;
};

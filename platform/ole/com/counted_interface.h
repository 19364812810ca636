// The IUnknown of a platform object that offers one interface besides
// IUnknown and may be used from any thread: an interlocked reference count
// that starts at one, and deletion when it reaches zero. An object derives
// from CountedInterface<ITypeInfo, &IID_ITypeInfo> and implements the rest.
#pragma once

#include "objbase.h"
#include "winbase.h"

namespace glimmark::ole {

template <class Interface, const IID* kInterfaceId>
class CountedInterface : public Interface {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) noexcept override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, *kInterfaceId)) return E_NOINTERFACE;
    *object = static_cast<Interface*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() noexcept override {
    return static_cast<ULONG>(InterlockedIncrement(&references_));
  }
  ULONG STDMETHODCALLTYPE Release() noexcept override {
    const LONG count = InterlockedDecrement(&references_);
    if (count == 0) delete this;
    return static_cast<ULONG>(count);
  }

 protected:
  CountedInterface() = default;
  virtual ~CountedInterface() = default;

 private:
  LONG references_ = 1;
};

}  // namespace glimmark::ole

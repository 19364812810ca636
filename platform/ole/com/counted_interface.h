// The IUnknown of a platform object that offers one interface besides
// IUnknown and may be used from any thread: an interlocked reference count
// that starts at one, and deletion when it reaches zero (LastReleased). An object derives
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
    if (count == 0) LastReleased();
    return static_cast<ULONG>(count);
  }

 protected:
  CountedInterface() = default;
  virtual ~CountedInterface() = default;

  // Runs when the count reaches zero. An object that a table lists without
  // holding a reference takes itself off the table here before it goes.
  virtual void LastReleased() noexcept { delete this; }

  // AddRef for such a table: false, and no reference, once the count has
  // reached zero (the object is on its way out and must not be handed out).
  bool AddRefUnlessReleased() noexcept {
    LONG count = __atomic_load_n(&references_, __ATOMIC_ACQUIRE);
    while (count > 0) {
      if (__atomic_compare_exchange_n(&references_, &count, count + 1, true, __ATOMIC_ACQ_REL,
                                      __ATOMIC_ACQUIRE)) {
        return true;
      }
    }
    return false;
  }

 private:
  LONG references_ = 1;
};

}  // namespace glimmark::ole

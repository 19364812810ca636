// The stand-alone object wrapper: CComObject<T> gives a class T that has an
// interface table (T::InternalQueryInterface) its IUnknown: a plain reference
// count (the object lives in one apartment, so no interlocked operations) and
// destruction at the last Release.
#pragma once

#include <new>

#include <windows.h>
#include <ole2.h>

// Count set at destruction so that references taken and dropped during
// teardown cannot bring it to zero a second time.
constexpr LONG kDestructionRefCount = static_cast<LONG>(0xC0000001u);

template <class T>
class CComObject : public T {
 public:
  // Makes an object with a count of 0. E_OUTOFMEMORY when memory or the
  // object's own construction fails.
  static HRESULT CreateInstance(CComObject** object) noexcept {
    if (object == nullptr) return E_POINTER;
    *object = new (std::nothrow) CComObject();
    if (*object == nullptr) return E_OUTOFMEMORY;
    if (!(*object)->IsConstructed()) {
      delete *object;
      *object = nullptr;
      return E_OUTOFMEMORY;
    }
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) noexcept override {
    return this->InternalQueryInterface(riid, object);
  }
  ULONG STDMETHODCALLTYPE AddRef() noexcept override { return static_cast<ULONG>(++refCount); }
  ULONG STDMETHODCALLTYPE Release() noexcept override {
    const LONG count = --refCount;
    if (count == 0) {
      refCount = kDestructionRefCount;
      delete this;
    }
    return static_cast<ULONG>(count);
  }

 private:
  CComObject() = default;
  LONG refCount = 0;
};

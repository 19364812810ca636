// COM objects for tests that only count their references, so a test can check
// that variants, arrays and calls take and give back exactly the references
// they own. The four IDispatch entries answer E_NOTIMPL; a derived test object
// adds its own interface's methods.
#pragma once

#include <objbase.h>

template <class Interface = IDispatch>
class CountedDispatch : public Interface {
 public:
  // `ownInterface`: the IID of Interface when it is not IDispatch itself.
  explicit CountedDispatch(const IID* ownInterface = nullptr) : ownInterface_(ownInterface) {}

  ULONG references = 1;  // the test's own reference
  bool answersDispatch = true;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) noexcept override {
    const bool ours = riid == IID_IDispatch || (ownInterface_ != nullptr && riid == *ownInterface_);
    if (riid == IID_IUnknown || (answersDispatch && ours)) {
      *out = static_cast<Interface*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() noexcept override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() noexcept override { return --references; }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) noexcept override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) noexcept override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID,
                                          DISPID*) noexcept override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                   UINT*) noexcept override {
    return E_NOTIMPL;
  }

 private:
  const IID* ownInterface_;
};

// A plain counted IDispatch.
using CountedObject = CountedDispatch<>;

#include "ole/com/global_interface_table.h"

#include <atomic>
#include <map>
#include <mutex>

namespace glimmark::ole {
namespace {

class StandardGlobalInterfaceTable final : public IGlobalInterfaceTable {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) noexcept override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IGlobalInterfaceTable)) {
      return E_NOINTERFACE;
    }
    *object = static_cast<IGlobalInterfaceTable*>(this);
    AddRef();
    return S_OK;
  }
  // The table lives as long as the process, so no count frees it; the counts
  // are kept all the same, so that a holder who forgets a reference shows.
  ULONG STDMETHODCALLTYPE AddRef() noexcept override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() noexcept override { return --references_; }

  HRESULT STDMETHODCALLTYPE RegisterInterfaceInGlobal(IUnknown* pUnk, REFIID riid,
                                                      DWORD* pdwCookie) noexcept override {
    if (pdwCookie == nullptr) return E_INVALIDARG;
    *pdwCookie = 0;
    if (pUnk == nullptr) return E_INVALIDARG;
    IUnknown* held = nullptr;
    const HRESULT hr = pUnk->QueryInterface(riid, reinterpret_cast<void**>(&held));
    if (FAILED(hr)) return hr;
    std::lock_guard<std::mutex> guard(lock_);
    try {
      entries_.emplace(++lastCookie_, held);
    } catch (...) {
      held->Release();
      return E_OUTOFMEMORY;
    }
    *pdwCookie = lastCookie_;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE RevokeInterfaceFromGlobal(DWORD dwCookie) noexcept override {
    IUnknown* released = nullptr;
    {
      std::lock_guard<std::mutex> guard(lock_);
      auto found = entries_.find(dwCookie);
      if (found == entries_.end()) return E_INVALIDARG;
      released = found->second;
      entries_.erase(found);
    }
    released->Release();  // outside the lock: the object's teardown may call back
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE GetInterfaceFromGlobal(DWORD dwCookie, REFIID riid,
                                                   void** ppv) noexcept override {
    if (ppv == nullptr) return E_INVALIDARG;
    *ppv = nullptr;
    IUnknown* object = nullptr;
    {
      std::lock_guard<std::mutex> guard(lock_);
      auto found = entries_.find(dwCookie);
      if (found == entries_.end()) return E_INVALIDARG;
      object = found->second;
      object->AddRef();
    }
    const HRESULT hr = object->QueryInterface(riid, ppv);
    object->Release();
    return hr;
  }

 private:
  std::atomic<ULONG> references_{1};  // the process's own
  std::mutex lock_;
  std::map<DWORD, IUnknown*> entries_;  // each holds one reference
  DWORD lastCookie_ = 0;
};

}  // namespace

HRESULT GetStandardGlobalInterfaceTable(REFIID riid, void** object) noexcept {
  static StandardGlobalInterfaceTable* const table = new StandardGlobalInterfaceTable;
  return table->QueryInterface(riid, object);
}

}  // namespace glimmark::ole

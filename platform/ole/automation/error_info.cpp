// Error information: the object CreateErrorInfo makes (ICreateErrorInfo to
// fill it, IErrorInfo to read it) and the calling thread's current error
// information. SetErrorInfo replaces the thread's object; GetErrorInfo hands it
// over to the caller and clears it, so each report is read once.
#include <new>

#include "kernel/fail_once.h"
#include "oleauto.h"
#include "winbase.h"
#ifdef GLIMMARK_TEST_SEAMS
#include "glimmark_test_seams.h"
#endif  // GLIMMARK_TEST_SEAMS

namespace {

kernel::FailOnce failNextCreation;  // GlimmarkTest_FailNextErrorInfoCreation

// Frees the strings it holds; copies are made with SysAllocString.
class ErrorInfoObject final : public ICreateErrorInfo, public IErrorInfo {
 public:
  ErrorInfoObject() = default;
  ErrorInfoObject(const ErrorInfoObject&) = delete;
  ErrorInfoObject& operator=(const ErrorInfoObject&) = delete;

  // IUnknown, reached through either interface.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) noexcept override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_ICreateErrorInfo)) {
      *object = static_cast<ICreateErrorInfo*>(this);
    } else if (IsEqualIID(riid, IID_IErrorInfo)) {
      *object = static_cast<IErrorInfo*>(this);
    } else {
      return E_NOINTERFACE;
    }
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

  // ICreateErrorInfo
  HRESULT STDMETHODCALLTYPE SetGUID(REFGUID rguid) noexcept override {
    guid_ = rguid;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetSource(LPOLESTR text) noexcept override {
    return Replace(&source_, text);
  }
  HRESULT STDMETHODCALLTYPE SetDescription(LPOLESTR text) noexcept override {
    return Replace(&description_, text);
  }
  HRESULT STDMETHODCALLTYPE SetHelpFile(LPOLESTR text) noexcept override {
    return Replace(&helpFile_, text);
  }
  HRESULT STDMETHODCALLTYPE SetHelpContext(DWORD context) noexcept override {
    helpContext_ = context;
    return S_OK;
  }

  // IErrorInfo: each string is a new copy that belongs to the caller.
  HRESULT STDMETHODCALLTYPE GetGUID(GUID* out) noexcept override {
    if (out == nullptr) return E_INVALIDARG;
    *out = guid_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetSource(BSTR* out) noexcept override { return Copy(source_, out); }
  HRESULT STDMETHODCALLTYPE GetDescription(BSTR* out) noexcept override {
    return Copy(description_, out);
  }
  HRESULT STDMETHODCALLTYPE GetHelpFile(BSTR* out) noexcept override {
    return Copy(helpFile_, out);
  }
  HRESULT STDMETHODCALLTYPE GetHelpContext(DWORD* out) noexcept override {
    if (out == nullptr) return E_INVALIDARG;
    *out = helpContext_;
    return S_OK;
  }

 private:
  ~ErrorInfoObject() {
    SysFreeString(source_);
    SysFreeString(description_);
    SysFreeString(helpFile_);
  }

  static HRESULT Replace(BSTR* field, LPOLESTR text) {
    BSTR copy = nullptr;
    if (text != nullptr) {
      copy = SysAllocString(text);
      if (copy == nullptr) return E_OUTOFMEMORY;
    }
    SysFreeString(*field);
    *field = copy;
    return S_OK;
  }

  static HRESULT Copy(BSTR field, BSTR* out) {
    if (out == nullptr) return E_INVALIDARG;
    *out = nullptr;
    if (field == nullptr) return S_OK;
    *out = SysAllocStringLen(field, SysStringLen(field));
    return *out != nullptr ? S_OK : E_OUTOFMEMORY;
  }

  LONG references_ = 1;
  GUID guid_{};
  BSTR source_ = nullptr;
  BSTR description_ = nullptr;
  BSTR helpFile_ = nullptr;
  DWORD helpContext_ = 0;
};

// The calling thread's error information, released when the thread ends.
struct ThreadErrorInfo {
  IErrorInfo* current = nullptr;
  ~ThreadErrorInfo() {
    if (current != nullptr) current->Release();
  }
};
thread_local ThreadErrorInfo threadErrorInfo;

}  // namespace

EXTERN_C HRESULT WINAPI CreateErrorInfo(ICreateErrorInfo** errorInfo) {
  if (errorInfo == nullptr) return E_INVALIDARG;
  *errorInfo = failNextCreation.Fires() ? nullptr : new (std::nothrow) ErrorInfoObject();
  return *errorInfo != nullptr ? S_OK : E_OUTOFMEMORY;
}

EXTERN_C HRESULT WINAPI SetErrorInfo(ULONG reserved, IErrorInfo* errorInfo) {
  if (reserved != 0) return E_INVALIDARG;
  if (errorInfo != nullptr) errorInfo->AddRef();
  IErrorInfo* previous = threadErrorInfo.current;
  threadErrorInfo.current = errorInfo;
  if (previous != nullptr) previous->Release();
  return S_OK;
}

EXTERN_C HRESULT WINAPI GetErrorInfo(ULONG reserved, IErrorInfo** errorInfo) {
  if (reserved != 0 || errorInfo == nullptr) return E_INVALIDARG;
  *errorInfo = threadErrorInfo.current;  // the thread's reference passes to the caller
  threadErrorInfo.current = nullptr;
  return *errorInfo != nullptr ? S_OK : S_FALSE;
}

#ifdef GLIMMARK_TEST_SEAMS
EXTERN_C void GlimmarkTest_FailNextErrorInfoCreation(void) { failNextCreation.Arm(); }
#endif  // GLIMMARK_TEST_SEAMS

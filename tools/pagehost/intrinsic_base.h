// Building blocks for objects that play the ASP intrinsic objects (asptlb.h):
// a reference-counted IUnknown/IDispatch base, and for each interface a class
// that answers E_NOTIMPL from every method, so that an implementation (the
// page host's HTTP objects, the tests' recording doubles) overrides only what
// it serves. Objects live on the heap and delete themselves at the last
// Release; the creator holds the first reference.
#pragma once

#include <asptlb.h>
#include <ole2.h>
#include <windows.h>

#include <atomic>

template <typename Interface, const IID& kInterfaceId>
class IntrinsicObject : public Interface {
 public:
  IntrinsicObject() = default;
  IntrinsicObject(const IntrinsicObject&) = delete;
  IntrinsicObject& operator=(const IntrinsicObject&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) noexcept override {
    if (object == nullptr) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == kInterfaceId) {
      *object = static_cast<Interface*>(this);
      this->AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() noexcept override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() noexcept override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

  // No type information: these objects are called through their vtables.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) noexcept override {
    if (pctinfo == nullptr) return E_POINTER;
    *pctinfo = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) noexcept override {
    if (ppTInfo != nullptr) *ppTInfo = nullptr;
    return DISP_E_BADINDEX;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID,
                                          DISPID*) noexcept override {
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                   UINT*) noexcept override {
    return DISP_E_MEMBERNOTFOUND;
  }

  // The current count, for owners and tests that check references come back.
  ULONG References() const { return references_; }

 protected:
  virtual ~IntrinsicObject() = default;

 private:
  std::atomic<ULONG> references_{1};
};

class RequestDefaults : public IntrinsicObject<IRequest, IID_IRequest> {
 public:
  HRESULT STDMETHODCALLTYPE get_Item(BSTR, IDispatch**) noexcept override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_QueryString(IRequestDictionary**) noexcept override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE get_Form(IRequestDictionary**) noexcept override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Body(IRequestDictionary**) noexcept override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_ServerVariables(IRequestDictionary**) noexcept override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE get_ClientCertificate(IRequestDictionary**) noexcept override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE get_Cookies(IRequestDictionary**) noexcept override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE get_TotalBytes(LONG*) noexcept override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE BinaryRead(VARIANT*, VARIANT*) noexcept override { return E_NOTIMPL; }
};

class ResponseDefaults : public IntrinsicObject<IResponse, IID_IResponse> {
 public:
  HRESULT STDMETHODCALLTYPE get_Buffer(VARIANT_BOOL*) noexcept override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_Buffer(VARIANT_BOOL) noexcept override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_ContentType(BSTR*) noexcept override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_ContentType(BSTR) noexcept override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Expires(VARIANT*) noexcept override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_Expires(LONG) noexcept override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_ExpiresAbsolute(VARIANT*) noexcept override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_ExpiresAbsolute(DATE) noexcept override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Cookies(IRequestDictionary**) noexcept override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE get_Status(BSTR*) noexcept override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_Status(BSTR) noexcept override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Add(BSTR, BSTR) noexcept override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE AddHeader(BSTR, BSTR) noexcept override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE AppendToLog(BSTR) noexcept override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE BinaryWrite(VARIANT) noexcept override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Clear() noexcept override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE End() noexcept override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Flush() noexcept override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Redirect(BSTR) noexcept override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Write(VARIANT) noexcept override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE WriteBlock(short) noexcept override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE IsClientConnected(VARIANT_BOOL*) noexcept override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_CharSet(BSTR*) noexcept override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_CharSet(BSTR) noexcept override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Pics(BSTR) noexcept override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_CacheControl(BSTR*) noexcept override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_CacheControl(BSTR) noexcept override { return E_NOTIMPL; }
};

class SessionDefaults : public IntrinsicObject<ISessionObject, IID_ISessionObject> {
 public:
  HRESULT STDMETHODCALLTYPE get_SessionID(BSTR*) noexcept override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Value(BSTR, VARIANT*) noexcept override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_Value(BSTR, VARIANT) noexcept override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE putref_Value(BSTR, VARIANT) noexcept override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Timeout(LONG*) noexcept override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_Timeout(LONG) noexcept override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Abandon() noexcept override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_CodePage(LONG*) noexcept override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_CodePage(LONG) noexcept override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_LCID(LONG*) noexcept override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_LCID(LONG) noexcept override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_StaticObjects(IVariantDictionary**) noexcept override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE get_Contents(IVariantDictionary**) noexcept override {
    return E_NOTIMPL;
  }
};

class ApplicationDefaults : public IntrinsicObject<IApplicationObject, IID_IApplicationObject> {
 public:
  HRESULT STDMETHODCALLTYPE get_Value(BSTR, VARIANT*) noexcept override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_Value(BSTR, VARIANT) noexcept override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE putref_Value(BSTR, VARIANT) noexcept override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Lock() noexcept override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE UnLock() noexcept override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_StaticObjects(IVariantDictionary**) noexcept override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE get_Contents(IVariantDictionary**) noexcept override {
    return E_NOTIMPL;
  }
};

class ServerDefaults : public IntrinsicObject<IServer, IID_IServer> {
 public:
  HRESULT STDMETHODCALLTYPE get_ScriptTimeout(LONG*) noexcept override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_ScriptTimeout(LONG) noexcept override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE CreateObject(BSTR, IDispatch**) noexcept override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE HTMLEncode(BSTR, BSTR*) noexcept override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE MapPath(BSTR, BSTR*) noexcept override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE URLEncode(BSTR, BSTR*) noexcept override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE URLPathEncode(BSTR, BSTR*) noexcept override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Execute(BSTR) noexcept override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Transfer(BSTR) noexcept override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetLastError(IASPError**) noexcept override { return E_NOTIMPL; }
};

class ScriptingContextDefaults : public IntrinsicObject<IScriptingContext, IID_IScriptingContext> {
 public:
  HRESULT STDMETHODCALLTYPE get_Request(IRequest**) noexcept override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Response(IResponse**) noexcept override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Server(IServer**) noexcept override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Session(ISessionObject**) noexcept override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Application(IApplicationObject**) noexcept override {
    return E_NOTIMPL;
  }
};

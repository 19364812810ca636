// The ASP intrinsic objects a page hands to the components it creates: the
// scripting context and the request, response, server, session and
// application objects it gives out. Each interface keeps the published IID and
// method order, so a component compiled against these declarations calls the
// right slot of a real host's objects. The collections they return (request
// dictionaries, cookies, variant dictionaries, ASP errors) are named only.
// As with the Windows SDK, the IIDs are declared here and defined by the
// code that uses them (component/asp_guids.cpp, which the page host and the
// tests link); hosts implement the interfaces (tools/pagehost), components
// only call them.
#pragma once

#include "oaidl.h"
#include "oleauto.h"

struct IRequestDictionary;
struct IVariantDictionary;
struct IASPError;

EXTERN_C const IID IID_IRequest;
EXTERN_C const IID IID_IResponse;
EXTERN_C const IID IID_ISessionObject;
EXTERN_C const IID IID_IApplicationObject;
EXTERN_C const IID IID_IServer;
EXTERN_C const IID IID_IScriptingContext;

// The page's request: query string, form, cookies, server variables and the
// raw body.
MIDL_INTERFACE("D97A6DA0-A861-11CF-93AE-00A0C90C2BD8")
IRequest : public IDispatch {
 public:
  virtual HRESULT STDMETHODCALLTYPE get_Item(BSTR bstrVar, IDispatch * *ppObjReturn) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_QueryString(IRequestDictionary * *ppDictReturn) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Form(IRequestDictionary * *ppDictReturn) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Body(IRequestDictionary * *ppDictReturn) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_ServerVariables(IRequestDictionary * *ppDictReturn) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_ClientCertificate(IRequestDictionary * *ppDictReturn) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Cookies(IRequestDictionary * *ppDictReturn) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_TotalBytes(LONG * pcbTotal) = 0;
  virtual HRESULT STDMETHODCALLTYPE BinaryRead(VARIANT * pvarCountToRead, VARIANT * pvarReturn) = 0;
};

// The page's response: headers, status, buffering and the body.
MIDL_INTERFACE("D97A6DA0-A864-11CF-83BE-00A0C90C2BD8")
IResponse : public IDispatch {
 public:
  virtual HRESULT STDMETHODCALLTYPE get_Buffer(VARIANT_BOOL * fIsBuffering) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Buffer(VARIANT_BOOL fIsBuffering) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_ContentType(BSTR * pbstrContentTypeRet) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_ContentType(BSTR bstrContentType) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Expires(VARIANT * pvarExpiresMinutesRet) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Expires(LONG lExpiresMinutes) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_ExpiresAbsolute(VARIANT * pvarExpiresRet) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_ExpiresAbsolute(DATE dtExpires) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Cookies(IRequestDictionary * *ppCookies) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Status(BSTR * pbstrStatusRet) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Status(BSTR bstrStatus) = 0;
  virtual HRESULT STDMETHODCALLTYPE Add(BSTR bstrHeaderValue, BSTR bstrHeaderName) = 0;
  virtual HRESULT STDMETHODCALLTYPE AddHeader(BSTR bstrHeaderName, BSTR bstrHeaderValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE AppendToLog(BSTR bstrLogEntry) = 0;
  virtual HRESULT STDMETHODCALLTYPE BinaryWrite(VARIANT varInput) = 0;
  virtual HRESULT STDMETHODCALLTYPE Clear() = 0;
  virtual HRESULT STDMETHODCALLTYPE End() = 0;
  virtual HRESULT STDMETHODCALLTYPE Flush() = 0;
  virtual HRESULT STDMETHODCALLTYPE Redirect(BSTR bstrURL) = 0;
  virtual HRESULT STDMETHODCALLTYPE Write(VARIANT varText) = 0;
  virtual HRESULT STDMETHODCALLTYPE WriteBlock(short iBlockNumber) = 0;
  virtual HRESULT STDMETHODCALLTYPE IsClientConnected(VARIANT_BOOL * pfIsClientConnected) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_CharSet(BSTR * pbstrCharSetRet) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_CharSet(BSTR bstrCharSet) = 0;
  virtual HRESULT STDMETHODCALLTYPE Pics(BSTR bstrHeaderValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_CacheControl(BSTR * pbstrCacheControl) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_CacheControl(BSTR bstrCacheControl) = 0;
};

// The visitor's session: named values kept between the pages of one visitor.
MIDL_INTERFACE("D97A6DA0-A865-11CF-83AF-00A0C90C2BD8")
ISessionObject : public IDispatch {
 public:
  virtual HRESULT STDMETHODCALLTYPE get_SessionID(BSTR * pbstrRet) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Value(BSTR bstrValue, VARIANT * pvar) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Value(BSTR bstrValue, VARIANT var) = 0;
  virtual HRESULT STDMETHODCALLTYPE putref_Value(BSTR bstrValue, VARIANT var) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Timeout(LONG * plvar) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Timeout(LONG lvar) = 0;
  virtual HRESULT STDMETHODCALLTYPE Abandon() = 0;
  virtual HRESULT STDMETHODCALLTYPE get_CodePage(LONG * plvar) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_CodePage(LONG lvar) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_LCID(LONG * plvar) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_LCID(LONG lvar) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_StaticObjects(IVariantDictionary * *ppTaggedObjects) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Contents(IVariantDictionary * *ppProperties) = 0;
};

// The application: named values shared by every page of the site.
MIDL_INTERFACE("D97A6DA0-A866-11CF-83AE-10A0C90C2BD8")
IApplicationObject : public IDispatch {
 public:
  virtual HRESULT STDMETHODCALLTYPE get_Value(BSTR bstrValue, VARIANT * pvar) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Value(BSTR bstrValue, VARIANT var) = 0;
  virtual HRESULT STDMETHODCALLTYPE putref_Value(BSTR bstrValue, VARIANT var) = 0;
  virtual HRESULT STDMETHODCALLTYPE Lock() = 0;
  virtual HRESULT STDMETHODCALLTYPE UnLock() = 0;
  virtual HRESULT STDMETHODCALLTYPE get_StaticObjects(IVariantDictionary * *ppProperties) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Contents(IVariantDictionary * *ppProperties) = 0;
};

// The server: object creation, encodings and path mapping for the page.
MIDL_INTERFACE("D97A6DA0-A867-11CF-83AE-01A0C90C2BD8")
IServer : public IDispatch {
 public:
  virtual HRESULT STDMETHODCALLTYPE get_ScriptTimeout(LONG * plTimeoutSeconds) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_ScriptTimeout(LONG lTimeoutSeconds) = 0;
  virtual HRESULT STDMETHODCALLTYPE CreateObject(BSTR bstrProgID, IDispatch * *ppDispObject) = 0;
  virtual HRESULT STDMETHODCALLTYPE HTMLEncode(BSTR bstrIn, BSTR * pbstrEncoded) = 0;
  virtual HRESULT STDMETHODCALLTYPE MapPath(BSTR bstrLogicalPath, BSTR * pbstrPhysicalPath) = 0;
  virtual HRESULT STDMETHODCALLTYPE URLEncode(BSTR bstrIn, BSTR * pbstrEncoded) = 0;
  virtual HRESULT STDMETHODCALLTYPE URLPathEncode(BSTR bstrIn, BSTR * pbstrEncoded) = 0;
  virtual HRESULT STDMETHODCALLTYPE Execute(BSTR bstrLogicalPath) = 0;
  virtual HRESULT STDMETHODCALLTYPE Transfer(BSTR bstrLogicalPath) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetLastError(IASPError * *ppASPErrorObject) = 0;
};

// What OnStartPage receives: hands out the five objects of the current page,
// each with a reference added for the caller.
MIDL_INTERFACE("D97A6DA0-A868-11CF-83AE-00B0C90C2BD8")
IScriptingContext : public IDispatch {
 public:
  virtual HRESULT STDMETHODCALLTYPE get_Request(IRequest * *ppRequest) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Response(IResponse * *ppResponse) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Server(IServer * *ppServer) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Session(ISessionObject * *ppSession) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Application(IApplicationObject * *ppApplication) = 0;
};

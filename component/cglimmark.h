// CGlimmark: the captcha object that a page script creates (ProgID
// "tolvek.Glimmark"). It owns one ChallengeSettings record and implements the
// sixteen operations of IGlimmark, and ISupportErrorInfo; reference counting
// and QueryInterface come from the object wrapper that makes it
// (server/object_creation.h: alone or as the inner part of an aggregate).
//
// Where each operation lives:
//   settings_operations.cpp  SetLines, SetSize, SetColor, SetOutputFormat
//   text_operations.cpp      SetRandomText, Text get/put
//   token_operations.cpp     SetPassword, EncryptedText get/put, EncryptionAge
//   output_operations.cpp    SaveToFile, SaveToVar
//   page_operations.cpp      OnStartPage, OnEndPage, Send
//   dispatch_operations.cpp  the four IDispatch entries
#pragma once

#include "component/glimmark_interface.h"
#include "state/challenge_settings.h"

struct IRequest;
struct IResponse;
struct ISessionObject;
struct IServer;
struct IApplicationObject;

class CGlimmark : public IGlimmark, public ISupportErrorInfo {
 public:
  // Starts the graphics library for this object, seeds the calling thread's
  // random source from the clock and allocates the settings with their
  // defaults. When that allocation fails the object is not usable:
  // IsConstructed() says so and the maker must fail with E_OUTOFMEMORY.
  CGlimmark() noexcept;
  // Frees the font and the record, shuts the graphics library down, gives
  // back the module lock its making took and releases the page objects
  // still held (Application, Server, Session, Response, Request).
  virtual ~CGlimmark();

  CGlimmark(const CGlimmark&) = delete;
  CGlimmark& operator=(const CGlimmark&) = delete;

  bool IsConstructed() const { return settings != nullptr; }

  // The interface table: IUnknown, IGlimmark and IDispatch all answer with the
  // IGlimmark pointer, ISupportErrorInfo with its own, one reference added
  // through the wrapper; anything else is E_NOINTERFACE with *object null.
  HRESULT InternalQueryInterface(REFIID riid, void** object) noexcept;

  // ISupportErrorInfo: S_OK for IID_IGlimmark, whose output operations post
  // error information; S_FALSE for any other interface.
  HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) noexcept override;

  // The record, for the text, render and output code and for tests.
  ChallengeSettings* Settings() { return settings; }

  // IDispatch
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) noexcept override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT iTInfo, LCID lcid,
                                        ITypeInfo** ppTInfo) noexcept override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid,
                                          DISPID* rgDispId) noexcept override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags,
                                   DISPPARAMS* pDispParams, VARIANT* pVarResult,
                                   EXCEPINFO* pExcepInfo, UINT* puArgErr) noexcept override;

  // IGlimmark
  HRESULT STDMETHODCALLTYPE OnStartPage(IUnknown* piUnk) noexcept override;
  HRESULT STDMETHODCALLTYPE OnEndPage() noexcept override;
  HRESULT STDMETHODCALLTYPE SaveToFile(BSTR FileName) noexcept override;
  HRESULT STDMETHODCALLTYPE SaveToVar(VARIANT* Dest) noexcept override;
  HRESULT STDMETHODCALLTYPE SetRandomText(LONG Min, LONG Max) noexcept override;
  HRESULT STDMETHODCALLTYPE SetPassword(BSTR Password) noexcept override;
  HRESULT STDMETHODCALLTYPE get_Text(BSTR* pVal) noexcept override;
  HRESULT STDMETHODCALLTYPE put_Text(BSTR newVal) noexcept override;
  HRESULT STDMETHODCALLTYPE get_EncryptedText(BSTR* pVal) noexcept override;
  HRESULT STDMETHODCALLTYPE put_EncryptedText(BSTR newVal) noexcept override;
  HRESULT STDMETHODCALLTYPE SetLines(LONG Amount, LONG Width) noexcept override;
  HRESULT STDMETHODCALLTYPE SetSize(LONG Width, LONG Height) noexcept override;
  HRESULT STDMETHODCALLTYPE SetColor(OLE_COLOR FontColor,
                                     OLE_COLOR BackgroundColor) noexcept override;
  HRESULT STDMETHODCALLTYPE SetOutputFormat(LONG FormatID, LONG JPEGQuality) noexcept override;
  HRESULT STDMETHODCALLTYPE Send() noexcept override;
  HRESULT STDMETHODCALLTYPE get_EncryptionAge(LONG* pVal) noexcept override;

 private:
  // Page objects, held from OnStartPage to OnEndPage; only the response is used.
  IRequest* request_ = nullptr;
  IResponse* response_ = nullptr;
  ISessionObject* session_ = nullptr;
  IServer* server_ = nullptr;
  IApplicationObject* application_ = nullptr;
  BOOL pageStarted = FALSE;
  ULONG_PTR gdiplusToken = 0;
  ChallengeSettings* settings = nullptr;  // owned
};

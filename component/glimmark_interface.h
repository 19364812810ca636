// The component's interface as C++ sees it: IGlimmark in vtable order and the
// GUIDs of the type library, the class and the interface. Mirrors
// glimmark.idl, which the type library is compiled from; a test reads the
// compiled library and checks GUIDs, version, DISPIDs and vtable slots here
// against it.
#pragma once

#include <windows.h>
#include <ole2.h>
#include <ocidl.h>

// {80F6FE80-9F2D-43E4-8591-09A0EDEDC8F5}
EXTERN_C const IID LIBID_GlimmarkPrjLib;
// Version of the type library (its IDL's version attribute).
constexpr WORD kGlimmarkLibraryMajorVersion = 1;
constexpr WORD kGlimmarkLibraryMinorVersion = 0;
// Locale of the type library (its IDL's lcid attribute), which registration
// files it under.
constexpr LCID kGlimmarkLibraryLocale = 0x0409;
// {0F29AA7F-55FD-4FF4-B18E-5A333AA8235A}
EXTERN_C const CLSID CLSID_Glimmark;
// {F8E5AACD-9582-4760-A04A-D455BF7621E2}
EXTERN_C const IID IID_IGlimmark;

// DISPIDs of the interface's members.
enum GlimmarkDispId : DISPID {
  kDispIdOnStartPage = 0x60020000,
  kDispIdOnEndPage = 0x60020001,
  kDispIdSaveToFile = 1,
  kDispIdSaveToVar = 2,
  kDispIdSetRandomText = 3,
  kDispIdSetPassword = 4,
  kDispIdText = 5,
  kDispIdEncryptedText = 6,
  kDispIdSetLines = 9,
  kDispIdSetSize = 10,
  kDispIdSetColor = 11,
  kDispIdSetOutputFormat = 12,
  kDispIdSend = 13,
  kDispIdEncryptionAge = 14,
};

MIDL_INTERFACE("F8E5AACD-9582-4760-A04A-D455BF7621E2")
IGlimmark : public IDispatch {
 public:
  virtual HRESULT STDMETHODCALLTYPE OnStartPage(IUnknown * piUnk) = 0;
  virtual HRESULT STDMETHODCALLTYPE OnEndPage() = 0;
  virtual HRESULT STDMETHODCALLTYPE SaveToFile(BSTR FileName) = 0;
  virtual HRESULT STDMETHODCALLTYPE SaveToVar(VARIANT * Dest) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetRandomText(LONG Min, LONG Max) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetPassword(BSTR Password) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Text(BSTR * pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Text(BSTR newVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_EncryptedText(BSTR * pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_EncryptedText(BSTR newVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetLines(LONG Amount, LONG Width) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetSize(LONG Width, LONG Height) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetColor(OLE_COLOR FontColor, OLE_COLOR BackgroundColor) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetOutputFormat(LONG FormatID, LONG JPEGQuality) = 0;
  virtual HRESULT STDMETHODCALLTYPE Send() = 0;
  virtual HRESULT STDMETHODCALLTYPE get_EncryptionAge(LONG * pVal) = 0;
};

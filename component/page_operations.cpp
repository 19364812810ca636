// Page events and delivery through the page's response object. OnStartPage
// takes the five page objects from the scripting context, OnEndPage gives them
// back, Send writes a freshly encoded picture into the held response.
#include "component/cglimmark.h"
#include "component/error_report.h"
#include "output/image_encoding.h"

// clang-format off
#include <asptlb.h>  // after the OLE headers above, which the Windows SDK's builds on
// clang-format on

namespace {

// Send's message when no response is held: OnStartPage was never called,
// failed, or OnEndPage already gave the response back.
const OLECHAR kMessageNoResponse[] = OLESTR("No page response: call OnStartPage first");
// Send's message when the content type's string cannot be made.
const OLECHAR kMessageNoContentType[] = OLESTR("Cannot create the content type");

const OLECHAR kContentTypeGif[] = OLESTR("image/gif");
const OLECHAR kContentTypeJpeg[] = OLESTR("image/jpeg");

template <typename Interface>
void ReleaseAndClear(Interface*& reference) {
  if (reference == nullptr) return;
  reference->Release();
  reference = nullptr;
}

// The five page objects taken from one scripting context. On any exit the
// references still here are released, Request first; Hand() moves them out.
struct PageObjects {
  IRequest* request = nullptr;
  IResponse* response = nullptr;
  IServer* server = nullptr;
  ISessionObject* session = nullptr;
  IApplicationObject* application = nullptr;

  PageObjects() = default;
  PageObjects(const PageObjects&) = delete;
  PageObjects& operator=(const PageObjects&) = delete;
  ~PageObjects() { Release(); }

  // Releases what is still here, Request first.
  void Release() {
    ReleaseAndClear(request);
    ReleaseAndClear(response);
    ReleaseAndClear(server);
    ReleaseAndClear(session);
    ReleaseAndClear(application);
  }

  // Calls the context's five getters in page order; stops at the first
  // failure and returns its result.
  HRESULT TakeFrom(IScriptingContext* context) {
    HRESULT hr = context->get_Request(&request);
    if (SUCCEEDED(hr)) hr = context->get_Response(&response);
    if (SUCCEEDED(hr)) hr = context->get_Server(&server);
    if (SUCCEEDED(hr)) hr = context->get_Session(&session);
    if (SUCCEEDED(hr)) hr = context->get_Application(&application);
    return hr;
  }
};

template <typename Interface>
void MoveReference(Interface*& from, Interface*& to) {
  to = from;
  from = nullptr;
}

}  // namespace

HRESULT CGlimmark::OnStartPage(IUnknown* piUnk) noexcept {
  if (piUnk == nullptr) return E_POINTER;
  IScriptingContext* context = nullptr;
  HRESULT hr = piUnk->QueryInterface(IID_IScriptingContext, reinterpret_cast<void**>(&context));
  if (FAILED(hr)) {
    ReleaseAndClear(context);
    return hr;
  }
  // The new objects are collected apart from the held ones, so a failure
  // leaves whatever an earlier page start holds untouched.
  PageObjects taken;
  hr = taken.TakeFrom(context);
  // On a failure the page objects already taken go back before the context
  // that gave them.
  if (FAILED(hr)) taken.Release();
  context->Release();
  if (FAILED(hr)) return hr;
  // A second start without an end in between gives the earlier objects back
  // before holding the new ones: nothing leaks.
  OnEndPage();
  MoveReference(taken.request, request_);
  MoveReference(taken.response, response_);
  MoveReference(taken.server, server_);
  MoveReference(taken.session, session_);
  MoveReference(taken.application, application_);
  pageStarted = TRUE;
  return S_OK;
}

HRESULT CGlimmark::OnEndPage() noexcept {
  pageStarted = FALSE;
  ReleaseAndClear(request_);
  ReleaseAndClear(response_);
  ReleaseAndClear(server_);
  ReleaseAndClear(session_);
  ReleaseAndClear(application_);
  return S_OK;
}

HRESULT CGlimmark::Send() noexcept {
  // Without a response there is nowhere to write: fail before rendering.
  if (response_ == nullptr) {
    CopyBoundedText(settings->errorMessage, kMessageNoResponse);
    return ReportFailure(settings);
  }
  VARIANT picture;
  VariantInit(&picture);
  if (EncodeToBytes(settings, &picture) != 0) return ReportFailure(settings);
  const bool gif = settings->outputFormat == kOutputFormatGif;
  BSTR contentType = SysAllocString(gif ? kContentTypeGif : kContentTypeJpeg);
  if (contentType == nullptr) {  // reported like every other failure of Send
    VariantClear(&picture);
    CopyBoundedText(settings->errorMessage, kMessageNoContentType);
    return ReportFailure(settings);
  }
  // The response's own failures are its host's affair; Send reports only its
  // own.
  response_->put_ContentType(contentType);
  response_->BinaryWrite(picture);
  SysFreeString(contentType);
  VariantClear(&picture);
  return S_OK;
}

#include "component/cglimmark.h"

// The graphics headers need the OLE types declared first.
#include <gdiplus.h>
#include <ole2.h>

#include "render/font_selection.h"
#include "server/module.h"
#include "text/random_source.h"

namespace {

// Releases a held page object. The page interfaces are only declared here;
// every COM interface pointer is an IUnknown pointer by the binary standard
// (the IUnknown slots come first in a singly derived interface).
template <class PageInterface>
void ReleasePageObject(PageInterface*& held) noexcept {
  if (held == nullptr) return;
  reinterpret_cast<IUnknown*>(held)->Release();
  held = nullptr;
}

}  // namespace

CGlimmark::CGlimmark() noexcept {
  const Gdiplus::GdiplusStartupInput startupInput;
  Gdiplus::GdiplusStartup(&gdiplusToken, &startupInput, nullptr);  // status deliberately unread
  SeedRandomSourceFromClock();
  settings =
      static_cast<ChallengeSettings*>(HeapAlloc(GetProcessHeap(), 0, sizeof(ChallengeSettings)));
  if (settings != nullptr) InitializeChallengeSettings(settings);
}

CGlimmark::~CGlimmark() {
  if (settings != nullptr) ReleaseFont(settings);  // before the graphics library goes down
  HeapFree(GetProcessHeap(), 0, settings);
  settings = nullptr;
  Gdiplus::GdiplusShutdown(gdiplusToken);
  UnlockModule();
  ReleasePageObject(application_);
  ReleasePageObject(server_);
  ReleasePageObject(session_);
  ReleasePageObject(response_);
  ReleasePageObject(request_);
}

HRESULT CGlimmark::InternalQueryInterface(REFIID riid, void** object) noexcept {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  IUnknown* found = nullptr;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IGlimmark) ||
      IsEqualIID(riid, IID_IDispatch)) {
    found = static_cast<IGlimmark*>(this);
  } else if (IsEqualIID(riid, IID_ISupportErrorInfo)) {
    found = static_cast<ISupportErrorInfo*>(this);
  } else {
    return E_NOINTERFACE;
  }
  found->AddRef();
  *object = found;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CGlimmark::InterfaceSupportsErrorInfo(REFIID riid) noexcept {
  return IsEqualIID(riid, IID_IGlimmark) ? S_OK : S_FALSE;
}

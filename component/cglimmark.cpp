#include "component/cglimmark.h"

// The graphics headers need the OLE types declared first.
#include <ole2.h>

#include <gdiplus.h>

#include <new>

#include "render/font_selection.h"
#include "text/random_source.h"

CGlimmark::CGlimmark() noexcept {
  const Gdiplus::GdiplusStartupInput startupInput;
  Gdiplus::GdiplusStartup(&gdiplusToken, &startupInput, nullptr);  // status deliberately unread
  SeedRandomSourceFromClock();
  settings = new (std::nothrow) ChallengeSettings;
  if (settings != nullptr) InitializeChallengeSettings(settings);
}

CGlimmark::~CGlimmark() {
  if (settings != nullptr) ReleaseFont(settings);  // before the graphics library goes down
  delete settings;
  settings = nullptr;
  Gdiplus::GdiplusShutdown(gdiplusToken);
}

HRESULT CGlimmark::InternalQueryInterface(REFIID riid, void** object) noexcept {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IGlimmark) &&
      !IsEqualIID(riid, IID_IDispatch)) {
    return E_NOINTERFACE;
  }
  IGlimmark* self = this;
  self->AddRef();
  *object = self;
  return S_OK;
}

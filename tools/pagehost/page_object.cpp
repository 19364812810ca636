#include "tools/pagehost/page_object.h"

const OLECHAR kCaptchaProgId[] = OLESTR("tolvek.Glimmark");

HRESULT CreateCaptchaObject(IDispatch** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  CLSID clsid;
  const HRESULT hr = CLSIDFromProgID(kCaptchaProgId, &clsid);
  if (FAILED(hr)) return hr;
  return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                          reinterpret_cast<void**>(object));
}

// The component is registered for the single-threaded apartment: each page
// thread is one, and its objects are used on it alone.
void EnterPageApartment() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
void LeavePageApartment() { CoUninitialize(); }

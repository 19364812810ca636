#include "tools/pagehost/page_object.h"

#include "tools/pagehost/dispatch_caller.h"

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

HRESULT ProbeCaptchaObject() {
  IDispatch* object = nullptr;
  HRESULT hr = CreateCaptchaObject(&object);
  if (FAILED(hr)) return hr;
  ScriptValue picture;
  hr = DispatchCaller(object).Call(u"SaveToVar", {}, &picture.value);
  object->Release();
  if (FAILED(hr)) return hr;
  const bool drawn = picture.value.vt == (VT_ARRAY | VT_UI1) && picture.value.parray != nullptr &&
                     picture.value.parray->rgsabound[0].cElements > 0;
  return drawn ? S_OK : E_FAIL;
}

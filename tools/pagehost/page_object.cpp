#include "tools/pagehost/page_object.h"

#include "component/cglimmark.h"
#include "server/com_object.h"

const OLECHAR kCaptchaProgId[] = OLESTR("tolvek.Glimmark");

// The platform has no CLSIDFromProgID/CoCreateInstance yet: until it does, the
// object is made in this process the way the class factory will make it.
HRESULT CreateCaptchaObject(IDispatch** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  CComObject<CGlimmark>* made = nullptr;
  const HRESULT hr = CComObject<CGlimmark>::CreateInstance(&made);
  if (FAILED(hr)) return hr;
  return made->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(object));
}

// The platform offers no apartments yet; the thread's one-object-at-a-time use
// of its objects already keeps them single-threaded.
void EnterPageApartment() {}
void LeavePageApartment() {}

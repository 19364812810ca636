// Making captcha objects as a COM client does: the class factory from the
// component's DllGetClassObject (linked statically into tests, benchmarks and
// fuzz targets), then IClassFactory::CreateInstance. Header-only and free of
// test frameworks, so that benchmarks and fuzz targets use it too.
#pragma once

#include <ole2.h>
#include <windows.h>

#include "component/cglimmark.h"
#include "dll/exports.h"

// One new object's IGlimmark with one reference for the caller; the
// factory's or the object's failure otherwise, *object null.
inline HRESULT CreateGlimmark(IGlimmark** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  IClassFactory* factory = nullptr;
  HRESULT hr =
      DllGetClassObject(CLSID_Glimmark, IID_IClassFactory, reinterpret_cast<void**>(&factory));
  if (FAILED(hr)) return hr;
  hr = factory->CreateInstance(nullptr, IID_IGlimmark, reinterpret_cast<void**>(object));
  factory->Release();
  return hr;
}

// The C++ object behind an IGlimmark that CreateGlimmark made, for tests and
// benchmarks that look at its record.
inline CGlimmark* Implementation(IGlimmark* object) { return static_cast<CGlimmark*>(object); }

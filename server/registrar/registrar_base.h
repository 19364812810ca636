// IRegistrarBase: the interface through which self-registration hands its
// script variables to the registrar (CRegObject, reg_object.h). The registrar
// is not reference-counted; the slots keep the IUnknown layout only.
#pragma once

#include <ole2.h>
#include <windows.h>

struct IRegistrarBase : public IUnknown {
  // Appends private copies of `key` and `item` to the variable table.
  // E_INVALIDARG when either is null, E_OUTOFMEMORY when copying fails.
  virtual HRESULT STDMETHODCALLTYPE DefineVariable(LPCOLESTR key, LPCOLESTR item) = 0;
  // Empties the variable table. Always S_OK.
  virtual HRESULT STDMETHODCALLTYPE ClearVariables() = 0;
};

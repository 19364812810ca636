// The registrar object.
#include "server/registrar/reg_object.h"

#include "server/registrar/registry_script_expansion.h"
#include "server/registrar/registry_script_walker.h"

bool perUserRegistration = false;

CRegObject::~CRegObject() { ClearVariables(); }

HRESULT STDMETHODCALLTYPE CRegObject::QueryInterface(REFIID /*riid*/, void** ppvObject) noexcept {
  if (ppvObject != nullptr) *ppvObject = nullptr;
  return E_NOTIMPL;
}

ULONG STDMETHODCALLTYPE CRegObject::AddRef() noexcept { return 1; }

ULONG STDMETHODCALLTYPE CRegObject::Release() noexcept { return 0; }

HRESULT STDMETHODCALLTYPE CRegObject::DefineVariable(LPCOLESTR key, LPCOLESTR item) noexcept {
  return variables_.Define(key, item);
}

HRESULT STDMETHODCALLTYPE CRegObject::ClearVariables() noexcept {
  variables_.Clear();
  return S_OK;
}

HRESULT CRegObject::ApplyScript(LPCOLESTR text, BOOL registering) noexcept {
  if (text == nullptr) return E_INVALIDARG;
  ScriptString expanded;
  const HRESULT hr = ExpandRegistryScript(text, variables_, perUserRegistration, &expanded);
  if (FAILED(hr)) return hr;
  return WalkRegistryScript(expanded.c_str(), registering != FALSE);
}

// CRegObject: the registrar that self-registration makes for one call. It
// keeps the script variables, expands a registry script and walks it to
// create or remove keys (registry_script_expansion.h, registry_script_walker.h).
// It is not reference-counted: its maker destroys it at the end of the call.
#pragma once

#include "server/registrar/registrar_base.h"
#include "server/registrar/registry_variables.h"

// Process-wide: when set, classes-root blocks of every script applied from
// then on go beneath HKEY_CURRENT_USER\Software\Classes. Set by the per-user
// installation; registration does not run concurrently with itself.
extern bool perUserRegistration;

class CRegObject : public IRegistrarBase {
 public:
  CRegObject() = default;
  virtual ~CRegObject();
  CRegObject(const CRegObject&) = delete;
  CRegObject& operator=(const CRegObject&) = delete;

  // Not a counted COM object: no interfaces are handed out (E_NOTIMPL, the
  // out pointer set to null) and the counts are constants.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) noexcept override;
  ULONG STDMETHODCALLTYPE AddRef() noexcept override;
  ULONG STDMETHODCALLTYPE Release() noexcept override;
  HRESULT STDMETHODCALLTYPE DefineVariable(LPCOLESTR key, LPCOLESTR item) noexcept override;
  HRESULT STDMETHODCALLTYPE ClearVariables() noexcept override;

  // Expands `text` with the variables (and the per-user rewrite when
  // perUserRegistration is set) and applies it: `registering` TRUE creates,
  // FALSE removes. S_OK or the first failure; E_INVALIDARG for null text.
  // The expanded text is freed on every path.
  HRESULT ApplyScript(LPCOLESTR text, BOOL registering) noexcept;

 private:
  RegistryVariableTable variables_;
};

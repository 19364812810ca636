// The registrar's variable table: (name, value) pairs in definition order,
// as defined through IRegistrarBase::DefineVariable and read by the script
// expansion (registry_script_expansion.h).
#pragma once

#include <utility>
#include <vector>

#include "server/registrar/registry_script_text.h"

class RegistryVariableTable {
 public:
  // Appends copies of both texts (the same name may come more than once).
  // E_INVALIDARG for a null text, E_OUTOFMEMORY when copying fails.
  HRESULT Define(LPCOLESTR name, LPCOLESTR value) noexcept;
  void Clear() noexcept;
  // The value of the first pair whose name equals the `length` units at
  // `name` without regard to case; null when there is none. Cost: linear.
  const ScriptString* Find(const WCHAR* name, size_t length) const noexcept;

 private:
  std::vector<std::pair<ScriptString, ScriptString>> pairs_;
};

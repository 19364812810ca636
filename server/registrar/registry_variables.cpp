// Variable table of the registrar.
#include "server/registrar/registry_variables.h"

#include <new>

HRESULT RegistryVariableTable::Define(LPCOLESTR name, LPCOLESTR value) noexcept {
  if (name == nullptr || value == nullptr) return E_INVALIDARG;
  try {
    pairs_.emplace_back(ScriptString(name), ScriptString(value));
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

void RegistryVariableTable::Clear() noexcept {
  std::vector<std::pair<ScriptString, ScriptString>>().swap(pairs_);
}

const ScriptString* RegistryVariableTable::Find(const WCHAR* name, size_t length) const noexcept {
  for (const auto& pair : pairs_) {
    if (pair.first.size() == length && EqualsIgnoringCase(name, length, pair.first.c_str())) {
      return &pair.second;
    }
  }
  return nullptr;
}

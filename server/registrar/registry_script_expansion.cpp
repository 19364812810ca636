// Variable expansion and the per-user rewrite of classes-root blocks.
#include "server/registrar/registry_script_expansion.h"

#include <new>

namespace {

constexpr WCHAR kPercent = '%';
constexpr WCHAR kQuote = '\'';
constexpr WCHAR kOpenBrace = '{';
constexpr WCHAR kCloseBrace = '}';

// The classes root as it is spelled for the rewrite (exact case only), the
// text that replaces it, and the text put before the block's closing brace.
const WCHAR kClassesRootName[] = OLESTR("HKCR");
constexpr size_t kClassesRootNameUnits = 4;
const WCHAR kUserClassesOpening[] = OLESTR("HKCU\r\n{\tSoftware\r\n\t{\r\n\t\tClasses");
const WCHAR kUserClassesClosing[] = OLESTR("\r\n\t}\r\n}\r\n");

bool StartsWith(const WCHAR* text, const WCHAR* prefix, size_t length) {
  for (size_t i = 0; i < length; ++i) {
    if (text[i] != prefix[i]) return false;
  }
  return true;
}

class Expansion {
 public:
  Expansion(const RegistryVariableTable& variables, bool perUser, ScriptString* out)
      : variables_(variables), perUser_(perUser), out_(*out) {}

  HRESULT Run(const WCHAR* text) {
    out_.clear();
    const WCHAR* position = text;
    while (*position != 0) {
      const HRESULT hr = Step(&position);
      if (FAILED(hr)) return hr;
      if (out_.size() > kMaxExpandedScriptUnits) return E_OUTOFMEMORY;
    }
    return S_OK;
  }

 private:
  // Handles the unit (or sequence) at *position and moves past it.
  HRESULT Step(const WCHAR** position) {
    const WCHAR* at = *position;
    if (*at == kPercent) return Variable(position);
    if (perUser_ && level_ == 0 && StartsWith(at, kClassesRootName, kClassesRootNameUnits)) {
      out_ += kUserClassesOpening;
      redirected_ = true;
      *position += kClassesRootNameUnits;
      return S_OK;
    }
    if (*at == kQuote && insideQuotes_ && at[1] == kQuote) {
      // A doubled quote inside quoted text stands for one and does not end it.
      out_.append(at, 2);
      *position += 2;
      return S_OK;
    }
    if (*at == kQuote) insideQuotes_ = !insideQuotes_;
    if (*at == kOpenBrace && !insideQuotes_) ++level_;
    if (*at == kCloseBrace && !insideQuotes_ && level_ > 0) {
      --level_;
      if (level_ == 0 && redirected_) {
        out_ += kUserClassesClosing;
        redirected_ = false;
      }
    }
    out_ += *at;
    ++*position;
    return S_OK;
  }

  HRESULT Variable(const WCHAR** position) {
    const WCHAR* name = *position + 1;
    if (*name == kPercent) {  // "%%"
      out_ += kPercent;
      *position += 2;
      return S_OK;
    }
    const WCHAR* end = name;
    while (*end != 0 && *end != kPercent) ++end;
    if (*end == 0) return DISP_E_EXCEPTION;
    const size_t length = static_cast<size_t>(end - name);
    if (length >= kMaxVariableNameUnits) return E_FAIL;
    const ScriptString* value = variables_.Find(name, length);
    if (value == nullptr) return DISP_E_EXCEPTION;
    out_ += *value;
    *position = end + 1;
    return S_OK;
  }

  const RegistryVariableTable& variables_;
  const bool perUser_;
  ScriptString& out_;
  size_t level_ = 0;
  bool insideQuotes_ = false;
  bool redirected_ = false;  // a rewritten "HKCR" block is open
};

}  // namespace

HRESULT ExpandRegistryScript(const WCHAR* text, const RegistryVariableTable& variables,
                             bool perUser, ScriptString* expanded) noexcept {
  if (text == nullptr || expanded == nullptr) return E_INVALIDARG;
  try {
    return Expansion(variables, perUser, expanded).Run(text);
  } catch (...) {
    expanded->clear();
    return E_OUTOFMEMORY;
  }
}

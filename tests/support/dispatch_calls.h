// Calling an object by name as a script host does: GetIDsOfNames for the
// member, then Invoke with the arguments right to left. Tests of dispatch by
// name and of clients that create objects by ProgID share it.
#pragma once

#include <ole2.h>
#include <windows.h>

#include <initializer_list>
#include <string>
#include <vector>

// One argument as a script passes it. Owns its VARIANT.
struct ScriptArgument {
  ScriptArgument(LONG value) : v(Make(VT_I4)) { v.lVal = value; }
  ScriptArgument(SHORT value) : v(Make(VT_I2)) { v.iVal = value; }
  ScriptArgument(double value) : v(Make(VT_R8)) { v.dblVal = value; }
  ScriptArgument(const char16_t* text) : v(Make(VT_BSTR)) { v.bstrVal = SysAllocString(text); }
  ScriptArgument(const ScriptArgument& other) : v(Make(VT_EMPTY)) { VariantCopy(&v, &other.v); }
  ScriptArgument& operator=(const ScriptArgument&) = delete;
  ~ScriptArgument() { VariantClear(&v); }
  static VARIANT Make(VARTYPE type) {
    VARIANT made;
    VariantInit(&made);
    made.vt = type;
    return made;
  }
  VARIANT v;
};

// What one late-bound call gave back.
struct ScriptCall {
  HRESULT result = E_FAIL;
  VARIANT value;          // the call's value (cleared by the destructor)
  EXCEPINFO exception{};  // filled on DISP_E_EXCEPTION (strings freed by the destructor)
  UINT argumentError = ~0u;
  ScriptCall() { VariantInit(&value); }
  ~ScriptCall() {
    VariantClear(&value);
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
  }
  ScriptCall(const ScriptCall&) = delete;
  ScriptCall& operator=(const ScriptCall&) = delete;
};

// The DISPID of `name`, or DISPID_UNKNOWN with the look-up's failure in *hr.
inline DISPID DispIdOf(IDispatch* object, const char16_t* name, HRESULT* hr = nullptr) {
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  DISPID id = DISPID_UNKNOWN;
  const IID none = {};
  const HRESULT looked = object->GetIDsOfNames(none, names, 1, LOCALE_USER_DEFAULT, &id);
  if (hr != nullptr) *hr = looked;
  return id;
}

// Invokes `name` with `flags` and `arguments` in script order (the call
// reverses them as Invoke wants). A property put passes its one value with
// the named argument DISPID_PROPERTYPUT.
inline void CallByName(IDispatch* object, const char16_t* name, WORD flags,
                       std::initializer_list<ScriptArgument> arguments, ScriptCall* call) {
  HRESULT hr = S_OK;
  const DISPID id = DispIdOf(object, name, &hr);
  if (FAILED(hr)) {
    call->result = hr;
    return;
  }
  std::vector<VARIANT> reversed;
  for (auto it = std::rbegin(arguments); it != std::rend(arguments); ++it)
    reversed.push_back(it->v);
  DISPID putId = DISPID_PROPERTYPUT;
  DISPPARAMS params = {reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
  if (flags & DISPATCH_PROPERTYPUT) {
    params.rgdispidNamedArgs = &putId;
    params.cNamedArgs = 1;
  }
  const IID none = {};
  call->result = object->Invoke(id, none, LOCALE_USER_DEFAULT, flags, &params, &call->value,
                                &call->exception, &call->argumentError);
}

#include "tools/dispatch_caller/dispatch_caller.h"

#include <iterator>
#include <vector>

namespace {

const IID kNoInterface = {};  // IID_NULL: the only value Invoke accepts here

}  // namespace

ScriptValue::ScriptValue(LONG number) {
  VariantInit(&value);
  value.vt = VT_I4;
  value.lVal = number;
}

ScriptValue::ScriptValue(SHORT number) {
  VariantInit(&value);
  value.vt = VT_I2;
  value.iVal = number;
}

ScriptValue::ScriptValue(double number) {
  VariantInit(&value);
  value.vt = VT_R8;
  value.dblVal = number;
}

ScriptValue::ScriptValue(const char16_t* text) {
  VariantInit(&value);
  value.bstrVal = SysAllocString(text);
  if (value.bstrVal != nullptr) value.vt = VT_BSTR;
}

ScriptValue::ScriptValue(const std::u16string& text) {
  VariantInit(&value);
  value.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  if (value.bstrVal != nullptr) value.vt = VT_BSTR;
}

ScriptValue::ScriptValue(IUnknown* object) {
  VariantInit(&value);
  value.vt = VT_UNKNOWN;
  value.punkVal = object;
  if (object != nullptr) object->AddRef();
}

ScriptValue::ScriptValue(const VARIANT& other) {
  VariantInit(&value);
  VariantCopy(&value, &other);
}

std::u16string ScriptValue::Text() const {
  if (value.vt != VT_BSTR || value.bstrVal == nullptr) return std::u16string();
  return std::u16string(value.bstrVal, SysStringLen(value.bstrVal));
}

ScriptCall::~ScriptCall() {
  VariantClear(&value);
  SysFreeString(exception.bstrSource);
  SysFreeString(exception.bstrDescription);
  SysFreeString(exception.bstrHelpFile);
}

DISPID DispIdOf(IDispatch* object, const char16_t* name, HRESULT* hr) {
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  DISPID id = DISPID_UNKNOWN;
  const HRESULT looked = object->GetIDsOfNames(kNoInterface, names, 1, LOCALE_USER_DEFAULT, &id);
  if (hr != nullptr) *hr = looked;
  return id;
}

void CallByName(IDispatch* object, const char16_t* name, WORD flags,
                std::initializer_list<ScriptValue> arguments, ScriptCall* call) {
  HRESULT hr = S_OK;
  const DISPID id = DispIdOf(object, name, &hr);
  if (FAILED(hr)) {
    call->result = hr;
    return;
  }
  // Invoke takes the arguments last first; they stay owned by `arguments`.
  std::vector<VARIANT> reversed;
  for (auto it = std::rbegin(arguments); it != std::rend(arguments); ++it) {
    reversed.push_back(it->value);
  }
  DISPID putId = DISPID_PROPERTYPUT;
  DISPPARAMS parameters = {reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
  if ((flags & DISPATCH_PROPERTYPUT) != 0) {
    parameters.rgdispidNamedArgs = &putId;
    parameters.cNamedArgs = 1;
  }
  call->result = object->Invoke(id, kNoInterface, LOCALE_USER_DEFAULT, flags, &parameters,
                                &call->value, &call->exception, &call->argumentError);
}

HRESULT DispatchCaller::Invoke(const char16_t* name, WORD flags,
                               std::initializer_list<ScriptValue> arguments, VARIANT* result) {
  ScriptCall call;
  CallByName(object_, name, flags, arguments, &call);
  const BSTR description = call.exception.bstrDescription;
  exception_.assign(description != nullptr ? description : u"",
                    description != nullptr ? SysStringLen(description) : 0);
  if (result != nullptr) {
    *result = call.value;  // handed over: the call's value is not cleared
    VariantInit(&call.value);
  }
  return call.result;
}

HRESULT DispatchCaller::Call(const char16_t* name, std::initializer_list<ScriptValue> arguments,
                             VARIANT* result) {
  return Invoke(name, DISPATCH_METHOD, arguments, result);
}

HRESULT DispatchCaller::Get(const char16_t* name, VARIANT* result) {
  return Invoke(name, DISPATCH_PROPERTYGET, {}, result);
}

HRESULT DispatchCaller::Put(const char16_t* name, const VARIANT& value) {
  return Invoke(name, DISPATCH_PROPERTYPUT, {ScriptValue(value)}, nullptr);
}

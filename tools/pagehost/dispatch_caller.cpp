#include "tools/pagehost/dispatch_caller.h"

#include <iterator>
#include <vector>

namespace {

const IID kNoInterface = {};  // IID_NULL: the only value Invoke accepts here

void TakeException(EXCEPINFO& info, std::u16string& description) {
  if (info.bstrDescription != nullptr) {
    description.assign(info.bstrDescription, SysStringLen(info.bstrDescription));
  }
  SysFreeString(info.bstrSource);
  SysFreeString(info.bstrDescription);
  SysFreeString(info.bstrHelpFile);
}

}  // namespace

ScriptValue::ScriptValue(LONG number) {
  VariantInit(&value);
  value.vt = VT_I4;
  value.lVal = number;
}

ScriptValue::ScriptValue(double number) {
  VariantInit(&value);
  value.vt = VT_R8;
  value.dblVal = number;
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

std::u16string ScriptValue::Text() const {
  if (value.vt != VT_BSTR || value.bstrVal == nullptr) return std::u16string();
  return std::u16string(value.bstrVal, SysStringLen(value.bstrVal));
}

HRESULT DispatchCaller::Invoke(const char16_t* name, WORD flags,
                               std::initializer_list<VARIANT> arguments, VARIANT* result) {
  exception_.clear();
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  DISPID id = 0;
  HRESULT hr = object_->GetIDsOfNames(kNoInterface, names, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(hr)) return hr;
  // Invoke takes the arguments last first.
  std::vector<VARIANT> ordered(std::rbegin(arguments), std::rend(arguments));
  DISPID putId = DISPID_PROPERTYPUT;
  DISPPARAMS parameters = {ordered.data(), nullptr, static_cast<UINT>(ordered.size()), 0};
  if (flags == DISPATCH_PROPERTYPUT) {
    parameters.rgdispidNamedArgs = &putId;
    parameters.cNamedArgs = 1;
  }
  EXCEPINFO exception = {};
  UINT argumentError = 0;
  hr = object_->Invoke(id, kNoInterface, LOCALE_USER_DEFAULT, flags, &parameters, result,
                       &exception, &argumentError);
  TakeException(exception, exception_);
  return hr;
}

HRESULT DispatchCaller::Call(const char16_t* name, std::initializer_list<VARIANT> arguments,
                             VARIANT* result) {
  return Invoke(name, DISPATCH_METHOD, arguments, result);
}

HRESULT DispatchCaller::Get(const char16_t* name, VARIANT* result) {
  return Invoke(name, DISPATCH_PROPERTYGET, {}, result);
}

HRESULT DispatchCaller::Put(const char16_t* name, const VARIANT& value) {
  return Invoke(name, DISPATCH_PROPERTYPUT, {value}, nullptr);
}

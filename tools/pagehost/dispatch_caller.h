// Calls an automation object by member name, the way a script engine does:
// GetIDsOfNames for the name, then Invoke with the arguments in reverse order
// (and DISPID_PROPERTYPUT for a property put). Pages use nothing else to
// talk to the captcha object.
#pragma once

#include <ole2.h>
#include <windows.h>

#include <initializer_list>
#include <string>

// One owned VARIANT: cleared when it goes.
class ScriptValue {
 public:
  ScriptValue() { VariantInit(&value); }
  explicit ScriptValue(LONG number);
  // VT_R8: how a script passes a whole number above 2^31 - 1, such as an
  // opaque ARGB colour (VBScript's &HFF000000 is a negative Long, which the
  // unsigned OLE_COLOR parameter refuses with DISP_E_OVERFLOW).
  explicit ScriptValue(double number);
  explicit ScriptValue(const std::u16string& text);  // VT_BSTR; VT_EMPTY when memory runs out
  explicit ScriptValue(IUnknown* object);            // VT_UNKNOWN, a reference added
  ~ScriptValue() { VariantClear(&value); }
  ScriptValue(const ScriptValue&) = delete;
  ScriptValue& operator=(const ScriptValue&) = delete;

  // The string of a VT_BSTR value, empty otherwise.
  std::u16string Text() const;

  VARIANT value;
};

class DispatchCaller {
 public:
  explicit DispatchCaller(IDispatch* object) : object_(object) {}  // not owned

  // A method call; `result` (may be null) receives the return value.
  HRESULT Call(const char16_t* name, std::initializer_list<VARIANT> arguments,
               VARIANT* result = nullptr);
  HRESULT Get(const char16_t* name, VARIANT* result);
  HRESULT Put(const char16_t* name, const VARIANT& value);

  // The description of the last call's exception, empty when there was none.
  const std::u16string& LastException() const { return exception_; }

 private:
  HRESULT Invoke(const char16_t* name, WORD flags, std::initializer_list<VARIANT> arguments,
                 VARIANT* result);

  IDispatch* object_;
  std::u16string exception_;
};

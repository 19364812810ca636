// Calls an automation object by member name, the way a script engine does:
// GetIDsOfNames for the name, then Invoke with the arguments in reverse order
// (and DISPID_PROPERTYPUT for a property put). The page host's pages use
// nothing else to talk to the captcha object; tests of dispatch by name use
// the same call, with everything it gave back (ScriptCall).
#pragma once

#include <ole2.h>
#include <windows.h>

#include <initializer_list>
#include <string>

// One owned VARIANT: cleared when it goes. Made from what a script passes.
class ScriptValue {
 public:
  ScriptValue() { VariantInit(&value); }
  ScriptValue(LONG number);
  ScriptValue(SHORT number);
  // VT_R8: how a script passes a whole number above 2^31 - 1, such as an
  // opaque ARGB colour (VBScript's &HFF000000 is a negative Long, which the
  // unsigned OLE_COLOR parameter refuses with DISP_E_OVERFLOW).
  ScriptValue(double number);
  ScriptValue(const char16_t* text);        // VT_BSTR; VT_EMPTY when memory runs out
  ScriptValue(const std::u16string& text);  // the same
  ScriptValue(IUnknown* object);            // VT_UNKNOWN, a reference added
  ScriptValue(const VARIANT& other);        // a copy (VariantCopy); VT_EMPTY when that fails
  ScriptValue(const ScriptValue& other) : ScriptValue(other.value) {}
  ~ScriptValue() { VariantClear(&value); }
  ScriptValue& operator=(const ScriptValue&) = delete;

  // The string of a VT_BSTR value, empty otherwise.
  std::u16string Text() const;

  VARIANT value;
};

// Everything one late-bound call gave back.
struct ScriptCall {
  HRESULT result = E_FAIL;
  VARIANT value;          // the call's value (cleared by the destructor)
  EXCEPINFO exception{};  // filled on DISP_E_EXCEPTION (strings freed by the destructor)
  UINT argumentError = ~0u;
  ScriptCall() { VariantInit(&value); }
  ~ScriptCall();
  ScriptCall(const ScriptCall&) = delete;
  ScriptCall& operator=(const ScriptCall&) = delete;
};

// The DISPID of `name`, or DISPID_UNKNOWN with the look-up's failure in *hr.
DISPID DispIdOf(IDispatch* object, const char16_t* name, HRESULT* hr = nullptr);

// Invokes `name` with `flags` and `arguments` in script order (the call
// reverses them as Invoke wants). A property put passes its one value with
// the named argument DISPID_PROPERTYPUT. `call` must be fresh.
void CallByName(IDispatch* object, const char16_t* name, WORD flags,
                std::initializer_list<ScriptValue> arguments, ScriptCall* call);

// The page's view: one call at a time, its exception's description kept.
class DispatchCaller {
 public:
  explicit DispatchCaller(IDispatch* object) : object_(object) {}  // not owned

  // A method call; `result` (may be null) receives the return value.
  HRESULT Call(const char16_t* name, std::initializer_list<ScriptValue> arguments,
               VARIANT* result = nullptr);
  HRESULT Get(const char16_t* name, VARIANT* result);
  HRESULT Put(const char16_t* name, const VARIANT& value);

  // The description of the last call's exception, empty when there was none.
  const std::u16string& LastException() const { return exception_; }

 private:
  HRESULT Invoke(const char16_t* name, WORD flags, std::initializer_list<ScriptValue> arguments,
                 VARIANT* result);

  IDispatch* object_;
  std::u16string exception_;
};

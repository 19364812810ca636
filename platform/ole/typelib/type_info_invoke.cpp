// ITypeInfo::Invoke as oleaut32 does it for a vtable interface: find the
// function by member id and invoke kind, match DISPPARAMS to its parameters
// (positional arguments right to left, named ones by parameter position,
// a property put's value as DISPID_PROPERTYPUT), coerce each argument with
// VariantChangeType, call the vtable slot, and hand the [out, retval] value
// to pVarResult. A failed HRESULT becomes DISP_E_EXCEPTION with EXCEPINFO
// taken from the thread's error information.
#include <algorithm>
#include <array>
#include <cstring>

#include "ole/typelib/type_library_objects.h"
#include "ole/typelib/vtable_call.h"
#include "oleauto.h"

namespace glimmark::ole {
namespace {

// Locale passed to an [lcid] parameter: the user's default.
constexpr LCID kCallLocale = LOCALE_USER_DEFAULT;

bool IsMissing(const VARIANT& argument) {
  return argument.vt == VT_ERROR && argument.scode == DISP_E_PARAMNOTFOUND;
}

// One entry per parameter of a function, in room for the most any function
// has (the type library reader refuses more): a call allocates nothing.
template <typename T>
using PerParameter = std::array<T, kMaxParams>;

// Holds the variants made for one call and frees them afterwards.
class Temporaries {
 public:
  // Zeroed whole, not only typed empty: a [retval] value is typed before
  // the call and must read as nothing (a null BSTR, a null interface) if
  // the callee leaves it unwritten.
  explicit Temporaries(size_t count) : count_(count) {
    for (size_t i = 0; i < count_; ++i) {
      values_[i] = VARIANT{};
      VariantInit(&values_[i]);
    }
  }
  ~Temporaries() {
    for (size_t i = 0; i < count_; ++i) VariantClear(&values_[i]);
  }
  Temporaries(const Temporaries&) = delete;
  Temporaries& operator=(const Temporaries&) = delete;
  VARIANT& operator[](size_t i) { return values_[i]; }

 private:
  size_t count_;
  PerParameter<VARIANT> values_;
};

// Where a scalar of type `vt` lives inside a VARIANT (what a pointer to it
// must point at).
void* ValueAddress(VARIANT& value, VARTYPE vt) {
  return vt == VT_VARIANT ? static_cast<void*>(&value) : static_cast<void*>(&value.llVal);
}

// Adds a by-value argument of type `vt` held in `value` to the frame.
HRESULT AddByValue(CallFrame& frame, const VARIANT& value, VARTYPE vt) {
  switch (vt) {
    case VT_I1:
      frame.AddInteger(
          static_cast<uint64_t>(static_cast<int64_t>(static_cast<int8_t>(value.cVal))));
      return S_OK;
    case VT_I2:
    case VT_BOOL:
      frame.AddInteger(static_cast<uint64_t>(static_cast<int64_t>(value.iVal)));
      return S_OK;
    case VT_I4:
    case VT_INT:
    case VT_ERROR:
      frame.AddInteger(static_cast<uint64_t>(static_cast<int64_t>(value.lVal)));
      return S_OK;
    case VT_UI1:
      frame.AddInteger(value.bVal);
      return S_OK;
    case VT_UI2:
      frame.AddInteger(value.uiVal);
      return S_OK;
    case VT_UI4:
    case VT_UINT:
      frame.AddInteger(value.ulVal);
      return S_OK;
    case VT_I8:
    case VT_UI8:
    case VT_CY:
      frame.AddInteger(value.ullVal);
      return S_OK;
    case VT_BSTR:
    case VT_UNKNOWN:
    case VT_DISPATCH:
      frame.AddInteger(reinterpret_cast<uint64_t>(value.byref));
      return S_OK;
    case VT_R4: {
      uint32_t bits = 0;
      std::memcpy(&bits, &value.fltVal, sizeof(bits));
      frame.AddFloat(bits);
      return S_OK;
    }
    case VT_R8:
    case VT_DATE:
      frame.AddFloat(value.ullVal);
      return S_OK;
    case VT_VARIANT:
      frame.AddMemory(&value, sizeof(VARIANT));
      return S_OK;
    default:
      return DISP_E_BADVARTYPE;  // DECIMAL, records, arrays by value: not supported
  }
}

class Invocation {
 public:
  Invocation(const TypeInfoObject& info, const FunctionData& function, DISPPARAMS& params,
             WORD flags)
      : info_(info),
        function_(function),
        params_(params),
        flags_(flags),
        temporaries_(function.params.size()) {}

  // Matches arguments to parameters and loads the frame. On failure
  // *argumentError names the offending entry of rgvarg where there is one.
  HRESULT Prepare(UINT* argumentError) {
    HRESULT hr = MapArguments(argumentError);
    if (FAILED(hr)) return hr;
    for (size_t p = 0; p < function_.params.size(); ++p) {
      hr = AddParameter(p, argumentError);
      if (FAILED(hr)) return hr;
    }
    return frame_.ok() ? S_OK : DISP_E_BADPARAMCOUNT;
  }

  HRESULT Call(void* instance, size_t slot) { return frame_.CallMethod(instance, slot); }

  // Moves the [retval] value to `result` (or frees it when result is null).
  void TakeResult(VARIANT* result) {
    if (retval_ == kNone) {
      if (result != nullptr) VariantInit(result);
      return;
    }
    VARIANT& value = temporaries_[retval_];
    if (result == nullptr) return;  // the temporaries free it
    VariantInit(result);
    *result = value;
    value.vt = VT_EMPTY;
  }

 private:
  static constexpr size_t kNone = static_cast<size_t>(-1);

  bool TakesArgument(const ParamData& param) const {
    return !(param.flags & (PARAMFLAG_FRETVAL | PARAMFLAG_FLCID));
  }

  HRESULT MapArguments(UINT* argumentError) {
    PerParameter<size_t> argumentParams;  // indices of parameters that take arguments
    size_t argumentCount = 0;
    for (size_t p = 0; p < function_.params.size(); ++p) {
      if (TakesArgument(function_.params[p])) argumentParams[argumentCount++] = p;
    }
    std::fill_n(sources_.begin(), function_.params.size(), kNone);
    std::fill_n(optional_.begin(), function_.params.size(), false);
    const UINT named = params_.cNamedArgs;
    const UINT positional = params_.cArgs - named;
    if (params_.cArgs > argumentCount) return DISP_E_BADPARAMCOUNT;
    const bool put = (flags_ & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
    for (UINT i = 0; i < positional; ++i) sources_[argumentParams[i]] = params_.cArgs - 1 - i;
    for (UINT j = 0; j < named; ++j) {
      const DISPID id = params_.rgdispidNamedArgs[j];
      size_t target = kNone;
      if (id == DISPID_PROPERTYPUT) {
        if (!put || argumentCount == 0) return NamedError(j, DISP_E_PARAMNOTFOUND, argumentError);
        target = argumentParams[argumentCount - 1];
      } else if (put) {
        return NamedError(j, DISP_E_NONAMEDARGS, argumentError);
      } else if (id >= 0 && static_cast<size_t>(id) < function_.params.size() &&
                 TakesArgument(function_.params[static_cast<size_t>(id)])) {
        target = static_cast<size_t>(id);
      }
      if (target == kNone || sources_[target] != kNone) {
        return NamedError(j, DISP_E_PARAMNOTFOUND, argumentError);
      }
      sources_[target] = j;
    }
    const size_t required = argumentCount - static_cast<size_t>(function_.optionalCount);
    for (size_t k = 0; k < argumentCount; ++k) {
      const bool optional =
          (function_.params[argumentParams[k]].flags & PARAMFLAG_FOPT) || k >= required;
      optional_[argumentParams[k]] = optional;
      if (sources_[argumentParams[k]] == kNone && !optional) {
        return params_.cArgs < required ? DISP_E_BADPARAMCOUNT : DISP_E_PARAMNOTOPTIONAL;
      }
    }
    return S_OK;
  }

  static HRESULT NamedError(UINT index, HRESULT hr, UINT* argumentError) {
    if (argumentError != nullptr) *argumentError = index;
    return hr;
  }

  HRESULT AddParameter(size_t p, UINT* argumentError) {
    const ParamData& param = function_.params[p];
    const TypeRef type = info_.Resolve(param.type);
    if (param.flags & PARAMFLAG_FLCID) {
      frame_.AddInteger(kCallLocale);
      return S_OK;
    }
    if (param.flags & PARAMFLAG_FRETVAL) return AddRetval(p, type);
    const size_t source = sources_[p];
    if (source == kNone) {  // an optional argument left out
      VARIANT& missing = temporaries_[p];
      missing.vt = VT_ERROR;
      missing.scode = DISP_E_PARAMNOTFOUND;
      return AddConverted(missing, type, p, param, nullptr);
    }
    VARIANT& argument = params_.rgvarg[source];
    const HRESULT hr = AddConverted(argument, type, p, param, argumentError);
    if (FAILED(hr) && argumentError != nullptr) *argumentError = static_cast<UINT>(source);
    return hr;
  }

  HRESULT AddRetval(size_t p, const TypeRef& type) {
    if (type.Outer() != VT_PTR || type.depth != 2) return DISP_E_BADVARTYPE;
    const VARTYPE vt = type.Base();
    if (vt != VT_VARIANT && AddByValueCheck(vt) != S_OK) return DISP_E_BADVARTYPE;
    VARIANT& value = temporaries_[p];
    value.vt = vt;  // filled by the callee; zero until then
    retval_ = p;
    frame_.AddInteger(reinterpret_cast<uint64_t>(ValueAddress(value, vt)));
    return S_OK;
  }

  // S_OK when a value of `vt` can cross the call by value.
  static HRESULT AddByValueCheck(VARTYPE vt) {
    CallFrame probe;
    VARIANT zero{};
    return AddByValue(probe, zero, vt);
  }

  HRESULT AddConverted(VARIANT& argument, const TypeRef& type, size_t p, const ParamData& param,
                       UINT*) {
    if (IsMissing(argument) && !optional_[p]) return DISP_E_PARAMNOTOPTIONAL;
    if (type.Outer() == VT_PTR) return AddPointer(argument, type.Pointee(), p, param);
    if (type.depth != 1) return DISP_E_BADVARTYPE;
    const VARTYPE vt = type.Base();
    if (vt == VT_VARIANT) {
      const VARIANT& passed = argument.vt == (VT_BYREF | VT_VARIANT) && argument.pvarVal != nullptr
                                  ? *argument.pvarVal
                                  : argument;
      return AddByValue(frame_, passed, VT_VARIANT);
    }
    if (argument.vt == vt) return AddByValue(frame_, argument, vt);
    return AddCoerced(argument, vt, p);
  }

  HRESULT AddCoerced(const VARIANT& argument, VARTYPE vt, size_t p) {
    if (AddByValueCheck(vt) != S_OK) return DISP_E_BADVARTYPE;
    VARIANT& converted = temporaries_[p];
    const HRESULT hr = VariantChangeType(&converted, &argument, 0, vt);
    if (hr == DISP_E_OVERFLOW) return hr;
    if (FAILED(hr)) return DISP_E_TYPEMISMATCH;
    return AddByValue(frame_, converted, vt);
  }

  HRESULT AddPointer(VARIANT& argument, const TypeRef& target, size_t p, const ParamData& param) {
    if (target.depth != 1) return DISP_E_BADVARTYPE;
    const VARTYPE vt = target.Base();
    if (vt == VT_VARIANT) {
      VARIANT* pointer = argument.vt == (VT_BYREF | VT_VARIANT) ? argument.pvarVal : &argument;
      if (pointer == nullptr) return DISP_E_TYPEMISMATCH;
      frame_.AddInteger(reinterpret_cast<uint64_t>(pointer));
      return S_OK;
    }
    if (argument.vt == (VT_BYREF | vt)) {
      if (argument.byref == nullptr) return DISP_E_TYPEMISMATCH;
      frame_.AddInteger(reinterpret_cast<uint64_t>(argument.byref));
      return S_OK;
    }
    // An [in]-only pointer may take a value: it points at a coerced copy.
    if (param.flags & PARAMFLAG_FOUT) return DISP_E_TYPEMISMATCH;
    if (AddByValueCheck(vt) != S_OK) return DISP_E_BADVARTYPE;
    VARIANT& converted = temporaries_[p];
    const HRESULT hr = VariantChangeType(&converted, &argument, 0, vt);
    if (FAILED(hr)) return hr == DISP_E_OVERFLOW ? hr : DISP_E_TYPEMISMATCH;
    frame_.AddInteger(reinterpret_cast<uint64_t>(ValueAddress(converted, vt)));
    return S_OK;
  }

  const TypeInfoObject& info_;
  const FunctionData& function_;
  DISPPARAMS& params_;
  WORD flags_;
  Temporaries temporaries_;
  PerParameter<size_t> sources_;  // per parameter: its rgvarg index, or kNone
  PerParameter<bool> optional_;   // per parameter: may be left out
  size_t retval_ = kNone;
  CallFrame frame_;
};

INVOKEKIND WantedKind(WORD flags, const FunctionData& function) {
  if ((flags & DISPATCH_METHOD) && function.invokeKind == INVOKE_FUNC) return INVOKE_FUNC;
  if ((flags & DISPATCH_PROPERTYGET) && function.invokeKind == INVOKE_PROPERTYGET) {
    return INVOKE_PROPERTYGET;
  }
  if ((flags & DISPATCH_PROPERTYPUT) && function.invokeKind == INVOKE_PROPERTYPUT) {
    return INVOKE_PROPERTYPUT;
  }
  if ((flags & DISPATCH_PROPERTYPUTREF) && function.invokeKind == INVOKE_PROPERTYPUTREF) {
    return INVOKE_PROPERTYPUTREF;
  }
  return static_cast<INVOKEKIND>(0);
}

// The vtable-form function with this id that answers one of `flags`.
const FunctionData* FindFunction(const TypeData& type, MEMBERID memid, WORD flags) {
  for (const FunctionData& function : type.functions) {
    if (function.memid == memid && WantedKind(flags, function) != 0) return &function;
  }
  return nullptr;
}

void FillException(HRESULT failure, EXCEPINFO* exception) {
  if (exception == nullptr) return;
  std::memset(exception, 0, sizeof(*exception));
  exception->scode = failure;
  IErrorInfo* error = nullptr;
  if (GetErrorInfo(0, &error) != S_OK || error == nullptr) return;
  error->GetSource(&exception->bstrSource);
  error->GetDescription(&exception->bstrDescription);
  error->GetHelpFile(&exception->bstrHelpFile);
  error->GetHelpContext(&exception->dwHelpContext);
  error->Release();
}

HRESULT CheckParams(const DISPPARAMS* params) {
  if (params == nullptr) return E_INVALIDARG;
  if (params->cNamedArgs > params->cArgs) return E_INVALIDARG;
  if (params->cArgs > 0 && params->rgvarg == nullptr) return E_INVALIDARG;
  if (params->cNamedArgs > 0 && params->rgdispidNamedArgs == nullptr) return E_INVALIDARG;
  if (params->cArgs > kMaxParams) return DISP_E_BADPARAMCOUNT;
  return S_OK;
}

}  // namespace

HRESULT InvokeThroughVtable(const TypeInfoObject& info, void* instance, MEMBERID memid, WORD flags,
                            DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                            UINT* argumentError) noexcept {
  if (instance == nullptr) return E_INVALIDARG;
  HRESULT hr = CheckParams(params);
  if (FAILED(hr)) return hr;
  const TypeData& type = info.type();
  if (type.kind != TKIND_INTERFACE && type.kind != TKIND_DISPATCH) return TYPE_E_BADMODULEKIND;
  const FunctionData* function = FindFunction(type, memid, flags);
  if (function == nullptr) return DISP_E_MEMBERNOTFOUND;
  if (function->funcKind == FUNC_DISPATCH) {  // a dispinterface: the object dispatches itself
    const IID none{};
    return static_cast<IDispatch*>(instance)->Invoke(memid, none, 0, flags, params, result,
                                                     exception, argumentError);
  }
  if (function->returnType.Outer() != VT_HRESULT) return DISP_E_BADCALLEE;
  if (function->params.size() > kMaxParams) return DISP_E_BADPARAMCOUNT;
  const size_t slot = static_cast<size_t>(function->vtableOffset) / info.PointerSize();
  try {
    Invocation invocation(info, *function, *params, flags);
    hr = invocation.Prepare(argumentError);
    if (FAILED(hr)) return hr;
    SetErrorInfo(0, nullptr);  // a failure must not report an older call's error
    const HRESULT called = invocation.Call(instance, slot);
    if (FAILED(called)) {
      FillException(called, exception);
      return DISP_E_EXCEPTION;
    }
    invocation.TakeResult(result);
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

}  // namespace glimmark::ole

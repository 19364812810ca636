// The C++ side of typelib_probe.idl: ITypelibProbe in vtable order and a
// plain object implementing it that records what each call received, for
// the Invoke tests, the fuzz target and the benchmark.
#pragma once

#include <oleauto.h>

#include <string>

#include "testing/counted_dispatch.h"

// {5C1B7E2A-3F4D-4B8E-9A61-2D7C0E4F8B13}
inline constexpr IID kIidTypelibProbe = {
    0x5C1B7E2A, 0x3F4D, 0x4B8E, {0x9A, 0x61, 0x2D, 0x7C, 0x0E, 0x4F, 0x8B, 0x13}};
// {9E4A2C71-6B3D-4F05-8C2E-71A5D3B9E640}
inline constexpr GUID kLibidTypelibProbe = {
    0x9E4A2C71, 0x6B3D, 0x4F05, {0x8C, 0x2E, 0x71, 0xA5, 0xD3, 0xB9, 0xE6, 0x40}};
// {2B7D9F14-8E6A-4C3B-A5D1-0F9E3C7A2B58}
inline constexpr GUID kClsidTypelibProbe = {
    0x2B7D9F14, 0x8E6A, 0x4C3B, {0xA5, 0xD1, 0x0F, 0x9E, 0x3C, 0x7A, 0x2B, 0x58}};

struct ITypelibProbe : public IDispatch {
  virtual HRESULT STDMETHODCALLTYPE Add(LONG Left, LONG Right, LONG* Sum) = 0;
  virtual HRESULT STDMETHODCALLTYPE Concat(BSTR First, BSTR Second, BSTR* Joined) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Name(BSTR* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Name(BSTR newVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE Scale(DOUBLE Factor, FLOAT Weight, DOUBLE* Result) = 0;
  virtual HRESULT STDMETHODCALLTYPE Echo(VARIANT Value, VARIANT* Copy) = 0;
  virtual HRESULT STDMETHODCALLTYPE Fail(LONG Code) = 0;
  virtual HRESULT STDMETHODCALLTYPE Paint(DWORD Color, VARIANT_BOOL Flag) = 0;
  virtual HRESULT STDMETHODCALLTYPE Take(IUnknown* piUnk) = 0;
  virtual HRESULT STDMETHODCALLTYPE Bump(LONG* Counter) = 0;
  virtual HRESULT STDMETHODCALLTYPE Many(LONG A, LONG B, LONG C, LONG D, LONG E, LONG F, DOUBLE G,
                                         VARIANT H, LONG I, LONG* Total) = 0;
  virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
};

// Lives on the stack of a test; reference counts are only counted.
class ProbeObject final : public CountedDispatch<ITypelibProbe> {
 public:
  ProbeObject() : CountedDispatch(&kIidTypelibProbe) {}
  ~ProbeObject() { SysFreeString(name); }

  HRESULT STDMETHODCALLTYPE Add(LONG left, LONG right, LONG* sum) noexcept override {
    *sum = static_cast<LONG>(static_cast<uint32_t>(left) + static_cast<uint32_t>(right));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Concat(BSTR first, BSTR second, BSTR* joined) noexcept override {
    std::u16string text(first != nullptr ? first : u"");
    text += second != nullptr ? second : u"";
    *joined = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_Name(BSTR* value) noexcept override {
    if (leaveNameUnwritten) return S_OK;  // a careless callee
    *value = SysAllocString(name != nullptr ? name : u"");
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_Name(BSTR value) noexcept override {
    SysFreeString(name);
    name = SysAllocString(value);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Scale(DOUBLE factor, FLOAT weight, DOUBLE* result) noexcept override {
    *result = factor * weight;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Echo(VARIANT value, VARIANT* copy) noexcept override {
    return VariantCopy(copy, &value);
  }
  HRESULT STDMETHODCALLTYPE Fail(LONG code) noexcept override {
    ICreateErrorInfo* create = nullptr;
    if (SUCCEEDED(CreateErrorInfo(&create))) {
      create->SetSource(const_cast<LPOLESTR>(u"Probe"));
      create->SetDescription(const_cast<LPOLESTR>(u"It failed on purpose"));
      IErrorInfo* info = nullptr;
      create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info));
      SetErrorInfo(0, info);
      info->Release();
      create->Release();
    }
    return static_cast<HRESULT>(code);
  }
  HRESULT STDMETHODCALLTYPE Paint(DWORD color, VARIANT_BOOL flag) noexcept override {
    lastColor = color;
    lastFlag = flag;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Take(IUnknown* unknown) noexcept override {
    lastUnknown = unknown;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Bump(LONG* counter) noexcept override {
    *counter += 1;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Many(LONG a, LONG b, LONG c, LONG d, LONG e, LONG f, DOUBLE g,
                                 VARIANT h, LONG i, LONG* total) noexcept override {
    // Each argument weighed by its position, so a swapped or lost one shows;
    // wrapping arithmetic, as the fuzz target passes any values.
    const uint32_t weighed[] = {
        static_cast<uint32_t>(a),
        static_cast<uint32_t>(b) * 2,
        static_cast<uint32_t>(c) * 3,
        static_cast<uint32_t>(d) * 4,
        static_cast<uint32_t>(e) * 5,
        static_cast<uint32_t>(f) * 6,
        g > -1e6 && g < 1e6 ? static_cast<uint32_t>(static_cast<LONG>(g * 7)) : 0,
        h.vt == VT_I4 ? static_cast<uint32_t>(h.lVal) * 8 : 0xFFFFFC18u,
        static_cast<uint32_t>(i) * 9};
    uint32_t sum = 0;
    for (uint32_t term : weighed) sum += term;
    *total = static_cast<LONG>(sum);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Reset() noexcept override {
    ++resets;
    return S_OK;
  }

  BSTR name = nullptr;
  bool leaveNameUnwritten = false;  // get_Name returns S_OK without writing
  DWORD lastColor = 0;
  VARIANT_BOOL lastFlag = 0;
  IUnknown* lastUnknown = nullptr;
  int resets = 0;
};

// The probe interface's type information from the library compiled at
// `path`: loaded on the first call and kept for the life of the process
// (later calls' paths are not looked at); null when it cannot be loaded.
inline ITypeInfo* ProbeTypeInfoFrom(const char16_t* path) {
  static ITypeInfo* const info = [path] {
    ITypeLib* library = nullptr;
    ITypeInfo* found = nullptr;
    if (SUCCEEDED(LoadTypeLib(path, &library))) {
      library->GetTypeInfoOfGuid(kIidTypelibProbe, &found);
      library->Release();
    }
    return found;
  }();
  return info;
}

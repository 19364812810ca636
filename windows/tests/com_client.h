// Small helpers of the Windows test program: an apartment per test, counted
// and string references released at scope end, late-bound calls with their
// argument error, and pictures decoded by the system's GDI+.
#pragma once

#include <gdiplus.h>

#include <cstdint>
#include <string>
#include <vector>

#include "component/glimmark_interface.h"

// One counted reference, released when the holder ends.
template <typename Interface>
class Held {
 public:
  Held() = default;
  ~Held() { Reset(); }
  Held(const Held&) = delete;
  Held& operator=(const Held&) = delete;
  Interface* operator->() const { return pointer_; }
  Interface* get() const { return pointer_; }
  void** out() { return reinterpret_cast<void**>(&pointer_); }
  Interface** typed() { return &pointer_; }
  void Reset() {
    if (pointer_ != nullptr) pointer_->Release();
    pointer_ = nullptr;
  }

 private:
  Interface* pointer_ = nullptr;
};

// An automation string freed at scope end.
class Bstr {
 public:
  explicit Bstr(const OLECHAR* text = nullptr) : value(text ? SysAllocString(text) : nullptr) {}
  ~Bstr() { SysFreeString(value); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  BSTR* out() { return &value; }
  std::string Narrow() const;

  BSTR value;
};

// The arguments of one late-bound call, in call order (they are passed in
// reverse, as IDispatch wants), and what came back.
struct DispatchCall {
  HRESULT result = S_OK;
  UINT argumentError = 0xFFFFFFFFu;
  VARIANT value{};
  EXCEPINFO exception{};
  ~DispatchCall();
};
VARIANT Long(LONG value);
VARIANT Double(double value);
VARIANT Text(const OLECHAR* text);  // owns a new BSTR; the call frees it

// Invokes `member` of `object` with `arguments` (freed afterwards). A
// property put passes DISPID_PROPERTYPUT as the one named argument.
void Invoke(IDispatch* object, DISPID member, WORD flags, std::vector<VARIANT> arguments,
            DispatchCall& call);

// The bytes of a VT_ARRAY | VT_UI1 variant; empty for anything else.
std::vector<uint8_t> BytesOf(const VARIANT& value);

// A picture decoded by GDI+: its size and how many pixels are dark.
struct DecodedPicture {
  Gdiplus::GpStatus status = Gdiplus::GenericError;
  UINT width = 0;
  UINT height = 0;
  UINT darkPixels = 0;
};
DecodedPicture Decode(const std::vector<uint8_t>& bytes);

// GDI+ started for one scope.
class GdiplusScope {
 public:
  GdiplusScope();
  ~GdiplusScope();
  GdiplusScope(const GdiplusScope&) = delete;
  GdiplusScope& operator=(const GdiplusScope&) = delete;

 private:
  ULONG_PTR token_ = 0;
};

// The message of the error information the calling thread holds, as
// "source: description", or "" when it holds none.
std::string ThreadErrorInfo();

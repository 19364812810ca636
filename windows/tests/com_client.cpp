#include "com_client.h"

using namespace Gdiplus;
using namespace Gdiplus::DllExports;

namespace {

// What counts as ink in a picture drawn dark on light.
constexpr BYTE kDarkLevel = 96;

}  // namespace

std::string Bstr::Narrow() const {
  std::string text;
  for (UINT i = 0; value != nullptr && i < SysStringLen(value); ++i) {
    text.push_back(value[i] < 0x80 ? static_cast<char>(value[i]) : '?');
  }
  return text;
}

DispatchCall::~DispatchCall() {
  VariantClear(&value);
  SysFreeString(exception.bstrSource);
  SysFreeString(exception.bstrDescription);
  SysFreeString(exception.bstrHelpFile);
}

VARIANT Long(LONG value) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_I4;
  v.lVal = value;
  return v;
}

VARIANT Double(double value) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_R8;
  v.dblVal = value;
  return v;
}

VARIANT Text(const OLECHAR* text) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BSTR;
  v.bstrVal = SysAllocString(text);
  return v;
}

void Invoke(IDispatch* object, DISPID member, WORD flags, std::vector<VARIANT> arguments,
            DispatchCall& call) {
  std::vector<VARIANT> reversed(arguments.rbegin(), arguments.rend());
  DISPID putName = DISPID_PROPERTYPUT;
  DISPPARAMS parameters = {reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
  if (flags == DISPATCH_PROPERTYPUT) {
    parameters.rgdispidNamedArgs = &putName;
    parameters.cNamedArgs = 1;
  }
  call.result = object->Invoke(member, IID_NULL, LOCALE_USER_DEFAULT, flags, &parameters,
                               &call.value, &call.exception, &call.argumentError);
  for (VARIANT& argument : reversed) VariantClear(&argument);
}

std::vector<uint8_t> BytesOf(const VARIANT& value) {
  std::vector<uint8_t> bytes;
  if (value.vt != (VT_ARRAY | VT_UI1) || value.parray == nullptr) return bytes;
  LONG lower = 0, upper = -1;
  SafeArrayGetLBound(value.parray, 1, &lower);
  SafeArrayGetUBound(value.parray, 1, &upper);
  void* data = nullptr;
  if (FAILED(SafeArrayAccessData(value.parray, &data))) return bytes;
  const auto* first = static_cast<const uint8_t*>(data);
  bytes.assign(first, first + (upper - lower + 1));
  SafeArrayUnaccessData(value.parray);
  return bytes;
}

DecodedPicture Decode(const std::vector<uint8_t>& bytes) {
  DecodedPicture picture;
  IStream* stream = nullptr;
  if (FAILED(CreateStreamOnHGlobal(nullptr, TRUE, &stream))) return picture;
  ULONG written = 0;
  stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written);
  LARGE_INTEGER start{};
  stream->Seek(start, STREAM_SEEK_SET, nullptr);
  GpBitmap* bitmap = nullptr;
  picture.status = GdipCreateBitmapFromStream(stream, &bitmap);
  if (picture.status == Ok) {
    GdipGetImageWidth(bitmap, &picture.width);
    GdipGetImageHeight(bitmap, &picture.height);
    for (UINT y = 0; y < picture.height; ++y) {
      for (UINT x = 0; x < picture.width; ++x) {
        ARGB pixel = 0;
        GdipBitmapGetPixel(bitmap, static_cast<INT>(x), static_cast<INT>(y), &pixel);
        const BYTE green = static_cast<BYTE>(pixel >> 8);
        picture.darkPixels += green < kDarkLevel;
      }
    }
    GdipDisposeImage(bitmap);
  }
  stream->Release();
  return picture;
}

GdiplusScope::GdiplusScope() {
  GdiplusStartupInput input{};
  input.GdiplusVersion = 1;
  GdiplusStartup(&token_, &input, nullptr);
}

GdiplusScope::~GdiplusScope() { GdiplusShutdown(token_); }

std::string ThreadErrorInfo() {
  Held<IErrorInfo> info;
  if (GetErrorInfo(0, info.typed()) != S_OK || info.get() == nullptr) return "";
  Bstr source, description;
  info->GetSource(source.out());
  info->GetDescription(description.out());
  return source.Narrow() + ": " + description.Narrow();
}

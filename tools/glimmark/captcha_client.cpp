#include "tools/glimmark/captcha_client.h"

#include <cstdio>
#include <memory>

#include "component/glimmark_interface.h"
#include "dll/exports.h"

namespace {

struct BstrDeleter {
  void operator()(OLECHAR* text) const { SysFreeString(text); }
};
using OwnedBstr = std::unique_ptr<OLECHAR, BstrDeleter>;

OwnedBstr MakeBstr(const std::u16string& text) {
  return OwnedBstr(SysAllocStringLen(text.data(), static_cast<UINT>(text.size())));
}

// Calls a string-taking operation with a fresh automation string.
template <typename Call>
HRESULT WithBstr(const std::u16string& text, Call call) {
  OwnedBstr value = MakeBstr(text);
  if (value == nullptr) return E_OUTOFMEMORY;
  return call(value.get());
}

// Calls a string-returning operation and takes the string over.
template <typename Call>
HRESULT ReadBstr(std::u16string& text, Call call) {
  BSTR raw = nullptr;
  const HRESULT hr = call(&raw);
  OwnedBstr value(raw);
  if (FAILED(hr)) return hr;
  if (value == nullptr) return E_OUTOFMEMORY;  // the component's answer to a failed allocation
  text.assign(value.get(), SysStringLen(value.get()));
  return S_OK;
}

}  // namespace

CaptchaClient::CaptchaClient() {
  // As a COM client: the class factory from the component's entry point
  // (linked into the tool), then a new object from it.
  IClassFactory* factory = nullptr;
  creation_ =
      DllGetClassObject(CLSID_Glimmark, IID_IClassFactory, reinterpret_cast<void**>(&factory));
  if (FAILED(creation_)) return;
  creation_ = factory->CreateInstance(nullptr, IID_IGlimmark, reinterpret_cast<void**>(&object_));
  factory->Release();
}

CaptchaClient::~CaptchaClient() {
  if (object_ != nullptr) object_->Release();
}

HRESULT CaptchaClient::SetPassword(const std::u16string& password) {
  return WithBstr(password, [this](BSTR value) { return object_->SetPassword(value); });
}

HRESULT CaptchaClient::PutText(const std::u16string& text) {
  return WithBstr(text, [this](BSTR value) { return object_->put_Text(value); });
}

HRESULT CaptchaClient::GetText(std::u16string& text) {
  return ReadBstr(text, [this](BSTR* value) { return object_->get_Text(value); });
}

HRESULT CaptchaClient::GetEncryptedText(std::u16string& token) {
  return ReadBstr(token, [this](BSTR* value) { return object_->get_EncryptedText(value); });
}

HRESULT CaptchaClient::PutEncryptedText(const std::u16string& token) {
  return WithBstr(token, [this](BSTR value) { return object_->put_EncryptedText(value); });
}

HRESULT CaptchaClient::GetEncryptionAge(LONG& age) { return object_->get_EncryptionAge(&age); }

HRESULT CaptchaClient::SaveToFile(const std::u16string& fileName) {
  return WithBstr(fileName, [this](BSTR value) { return object_->SaveToFile(value); });
}

HRESULT CaptchaClient::SaveToBytes(std::vector<uint8_t>& bytes) {
  VARIANT result;
  VariantInit(&result);
  const HRESULT hr = object_->SaveToVar(&result);
  if (FAILED(hr)) return hr;
  if (result.vt != (VT_ARRAY | VT_UI1)) {
    VariantClear(&result);
    return DISP_E_TYPEMISMATCH;
  }
  void* data = nullptr;
  LONG upper = -1;
  SafeArrayGetUBound(result.parray, 1, &upper);
  if (SUCCEEDED(SafeArrayAccessData(result.parray, &data))) {
    const auto* begin = static_cast<const uint8_t*>(data);
    bytes.assign(begin, begin + (upper + 1));
    SafeArrayUnaccessData(result.parray);
  }
  VariantClear(&result);
  return S_OK;
}

std::u16string CaptchaClient::TakeErrorDescription() {
  IErrorInfo* info = nullptr;
  if (GetErrorInfo(0, &info) != S_OK || info == nullptr) return std::u16string();
  std::u16string description;
  ReadBstr(description, [info](BSTR* value) { return info->GetDescription(value); });
  info->Release();
  return description;
}

std::string ResultText(HRESULT hr) {
  char code[16];
  std::snprintf(code, sizeof(code), "0x%08X", static_cast<unsigned>(hr));
  return code;
}

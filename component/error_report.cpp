#include "component/error_report.h"

namespace {

const OLECHAR kErrorSource[] = OLESTR("Glimmark");

// Owns an automation string.
struct OwnedString {
  BSTR text;
  explicit OwnedString(const OLECHAR* source) : text(SysAllocString(source)) {}
  ~OwnedString() { SysFreeString(text); }
};

}  // namespace

HRESULT ReportFailure(const ChallengeSettings* settings) noexcept {
  ICreateErrorInfo* createInfo = nullptr;
  if (FAILED(CreateErrorInfo(&createInfo)) || createInfo == nullptr) return kOutputFailure;
  const OwnedString description(settings->errorMessage);
  const OwnedString source(kErrorSource);
  if (description.text == nullptr || source.text == nullptr) {
    createInfo->Release();
    return E_OUTOFMEMORY;
  }
  createInfo->SetDescription(description.text);
  createInfo->SetSource(source.text);
  IErrorInfo* errorInfo = nullptr;
  if (SUCCEEDED(createInfo->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&errorInfo))) &&
      errorInfo != nullptr) {
    SetErrorInfo(0, errorInfo);
    errorInfo->Release();
  }
  createInfo->Release();
  return kOutputFailure;
}

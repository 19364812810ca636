// The encrypted, time-stamped token of the challenge text.
#include "component/cglimmark.h"

HRESULT CGlimmark::SetPassword(BSTR) noexcept { return E_NOTIMPL; }

HRESULT CGlimmark::get_EncryptedText(BSTR* pVal) noexcept {
  if (pVal == nullptr) return E_POINTER;
  *pVal = nullptr;
  return E_NOTIMPL;
}

HRESULT CGlimmark::put_EncryptedText(BSTR) noexcept { return E_NOTIMPL; }

HRESULT CGlimmark::get_EncryptionAge(LONG* pVal) noexcept {
  if (pVal == nullptr) return E_POINTER;
  *pVal = settings->encryptionAge;
  return S_OK;
}

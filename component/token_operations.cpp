// The encrypted, time-stamped token of the challenge text (format in
// text/token.h). Keys and age start at zero with the record: the all-zero
// round keys are exactly the schedule of the empty password, so an object that
// never had SetPassword behaves as if the empty password had been set.
#include "component/cglimmark.h"
#include "text/system_clock.h"
#include "text/token.h"

HRESULT CGlimmark::SetPassword(BSTR Password) noexcept {
  SetTokenPassword(settings, Password, SysStringLen(Password));
  return S_OK;
}

HRESULT CGlimmark::get_EncryptedText(BSTR* pVal) noexcept {
  if (pVal == nullptr) return E_POINTER;
  const int digits = MakeToken(settings, ReadSystemClock().seconds);
  *pVal =
      SysAllocStringLen(settings->tokenText, static_cast<UINT>(digits));  // null if out of memory
  return S_OK;
}

HRESULT CGlimmark::put_EncryptedText(BSTR newVal) noexcept {
  RestoreToken(settings, newVal, SysStringLen(newVal), ReadSystemClock().seconds);
  return S_OK;
}

HRESULT CGlimmark::get_EncryptionAge(LONG* pVal) noexcept {
  if (pVal == nullptr) return E_POINTER;
  *pVal = settings->encryptionAge;
  return S_OK;
}

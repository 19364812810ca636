// The encrypted, time-stamped token of the challenge text (format in
// crypto/token.h). Keys and age start at zero with the record: the all-zero
// round keys are exactly the schedule of the empty password, so an object that
// never had SetPassword behaves as if the empty password had been set.
#include "component/cglimmark.h"
#include "crypto/token.h"
#include "text/system_clock.h"

static_assert(kTextCapacity == kTokenTextUnits, "the token carries the whole text buffer");
static_assert(kTokenDigitsUnits <= kTokenTextCapacity, "the longest token fits tokenText");
static_assert(kDesRoundKeyWords == kDesScheduleWords, "record and cipher agree on key size");

HRESULT CGlimmark::SetPassword(BSTR Password) noexcept {
  SetTokenPassword(Password, SysStringLen(Password), settings->encryptKeys, settings->decryptKeys);
  return S_OK;
}

HRESULT CGlimmark::get_EncryptedText(BSTR* pVal) noexcept {
  if (pVal == nullptr) return E_POINTER;
  const int digits = MakeToken(settings->text, settings->encryptKeys, ReadSystemClock().seconds,
                               settings->tokenText);
  *pVal =
      SysAllocStringLen(settings->tokenText, static_cast<UINT>(digits));  // null if out of memory
  return S_OK;
}

HRESULT CGlimmark::put_EncryptedText(BSTR newVal) noexcept {
  settings->encryptionAge = RestoreToken(settings->decryptKeys, newVal, SysStringLen(newVal),
                                         ReadSystemClock().seconds, settings->text);
  return S_OK;
}

HRESULT CGlimmark::get_EncryptionAge(LONG* pVal) noexcept {
  if (pVal == nullptr) return E_POINTER;
  *pVal = settings->encryptionAge;
  return S_OK;
}

// The challenge text: drawing a random one, reading it, assigning it.
#include "component/cglimmark.h"
#include "text/random_text.h"

HRESULT CGlimmark::SetRandomText(LONG Min, LONG Max) noexcept {
  GenerateRandomText(settings->text, Min, Max);
  return S_OK;
}

HRESULT CGlimmark::get_Text(BSTR* pVal) noexcept {
  if (pVal == nullptr) return E_POINTER;
  *pVal = SysAllocString(settings->text);  // null when memory runs out; still S_OK
  return S_OK;
}

HRESULT CGlimmark::put_Text(BSTR newVal) noexcept {
  CopyBoundedText(settings->text, newVal);
  return S_OK;
}

// Stand-in for VarUI4FromStr until the full OLE Automation conversions land:
// unsigned decimal numbers and "&H" hexadecimal, surrounded by optional
// spaces. Enough for the registry scripts' DWORD values.
#include "oleauto.h"

namespace {

bool IsBlank(OLECHAR unit) { return unit == u' ' || unit == u'\t'; }

int DigitValue(OLECHAR unit, int base) {
  int value = base;
  if (unit >= u'0' && unit <= u'9') value = unit - u'0';
  if (unit >= u'a' && unit <= u'f') value = unit - u'a' + 10;
  if (unit >= u'A' && unit <= u'F') value = unit - u'A' + 10;
  return value < base ? value : -1;
}

}  // namespace

EXTERN_C HRESULT WINAPI VarUI4FromStr(LPCOLESTR text, LCID /*lcid*/, ULONG /*flags*/,
                                      ULONG* result) {
  if (text == nullptr || result == nullptr) return E_INVALIDARG;
  while (IsBlank(*text)) ++text;
  int base = 10;
  bool negative = false;
  if (text[0] == u'&' && (text[1] == u'H' || text[1] == u'h')) {
    base = 16;
    text += 2;
  } else if (*text == u'+' || *text == u'-') {
    negative = *text == u'-';
    ++text;
  }
  uint64_t value = 0;
  bool digits = false;
  for (int digit; (digit = DigitValue(*text, base)) >= 0; ++text) {
    digits = true;
    value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
    if (value > 0xFFFFFFFFu) return DISP_E_OVERFLOW;
  }
  while (IsBlank(*text)) ++text;
  if (!digits || *text != 0) return DISP_E_TYPEMISMATCH;
  if (negative && value != 0) return DISP_E_OVERFLOW;
  *result = static_cast<ULONG>(value);
  return S_OK;
}

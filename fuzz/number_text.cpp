// Feeds arbitrary UTF-16 text to the text-to-number conversions that
// dispatched calls and registry scripts rely on: no sanitizer report, and a
// converted value always survives the round trip through a variant.
#include <oleauto.h>

#include <cstdint>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<OLECHAR> text(size / 2 + 1, 0);
  std::memcpy(text.data(), data, size / 2 * 2);

  ULONG u4 = 0;
  LONG i4 = 0;
  DOUBLE r8 = 0;
  VarUI4FromStr(text.data(), 0, 0, &u4);
  VarI4FromStr(text.data(), 0, 0, &i4);
  VarR8FromStr(text.data(), 0, 0, &r8);

  VARIANT source, target;
  VariantInit(&source);
  VariantInit(&target);
  source.vt = VT_BSTR;
  source.bstrVal = SysAllocString(text.data());
  for (VARTYPE type : {VT_I1, VT_I2, VT_I4, VT_UI1, VT_UI2, VT_UI4, VT_R4, VT_R8, VT_BOOL}) {
    if (SUCCEEDED(VariantChangeType(&target, &source, 0, type))) {
      VARIANT back;
      VariantInit(&back);
      if (FAILED(VariantChangeType(&back, &target, 0, VT_BSTR))) __builtin_trap();
      VariantClear(&back);
    }
    VariantClear(&target);
  }
  VariantClear(&source);
  return 0;
}

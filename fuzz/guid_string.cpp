// Feeds arbitrary UTF-16 text (the input bytes, low byte first) to
// CLSIDFromString. Whatever it accepts must be written back by StringFromGUID2
// as the same text up to the case of its hex digits, and read again as the
// same GUID; whatever it refuses must leave the null GUID.
#include <objbase.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr int kGuidTextUnits = 39;  // braces, 32 digits, four hyphens, terminator

void Check(bool condition) {
  if (!condition) std::abort();
}

OLECHAR Upper(OLECHAR unit) { return unit >= u'a' && unit <= u'f' ? unit - u'a' + u'A' : unit; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<OLECHAR> text(size / 2 + 1, 0);
  for (size_t i = 0; i < size / 2; ++i) {
    text[i] = static_cast<OLECHAR>(data[2 * i] | (data[2 * i + 1] << 8));
  }
  CLSID parsed;
  std::memset(&parsed, 0xA5, sizeof(parsed));
  const HRESULT hr = CLSIDFromString(text.data(), &parsed);
  if (FAILED(hr)) {
    Check(hr == CO_E_CLASSSTRING);
    Check(IsEqualGUID(parsed, GUID{}));
    return 0;
  }
  OLECHAR written[kGuidTextUnits + 1];
  Check(StringFromGUID2(parsed, written, kGuidTextUnits) == kGuidTextUnits);
  for (int i = 0; i < kGuidTextUnits; ++i) Check(written[i] == Upper(text[i]));
  CLSID again;
  Check(CLSIDFromString(written, &again) == S_OK && IsEqualGUID(parsed, again));
  Check(StringFromGUID2(parsed, written, kGuidTextUnits - 1) == 0);  // one unit short
  return 0;
}

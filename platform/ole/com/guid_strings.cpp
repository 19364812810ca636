// GUIDs as text in registry form: "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}",
// upper case when written, either case when read.
#include <cstring>

#include "objbase.h"

namespace {

// Characters of the registry form, braces included, without the terminator.
constexpr int kGuidTextLength = 38;
// The registry form: X marks a hex digit, every other character stands for itself.
constexpr const char* kTemplate = "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}";

// The GUID's 16 bytes in text order: Data1..Data3 big-endian, then Data4.
void BytesInTextOrder(const GUID& guid, uint8_t bytes[16]) {
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<uint8_t>(guid.Data1 >> (24 - 8 * i));
  for (int i = 0; i < 2; ++i) bytes[4 + i] = static_cast<uint8_t>(guid.Data2 >> (8 - 8 * i));
  for (int i = 0; i < 2; ++i) bytes[6 + i] = static_cast<uint8_t>(guid.Data3 >> (8 - 8 * i));
  std::memcpy(bytes + 8, guid.Data4, 8);
}

GUID GuidFromTextOrder(const uint8_t bytes[16]) {
  GUID guid;
  guid.Data1 =
      uint32_t{bytes[0]} << 24 | uint32_t{bytes[1]} << 16 | uint32_t{bytes[2]} << 8 | bytes[3];
  guid.Data2 = static_cast<uint16_t>(bytes[4] << 8 | bytes[5]);
  guid.Data3 = static_cast<uint16_t>(bytes[6] << 8 | bytes[7]);
  std::memcpy(guid.Data4, bytes + 8, 8);
  return guid;
}

int HexValue(OLECHAR c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  return -1;
}

// Reads the registry form exactly (nothing before or after it).
bool ParseGuid(LPCOLESTR text, GUID* guid) {
  uint8_t bytes[16] = {};
  int nibble = 0;
  for (int i = 0; i < kGuidTextLength; ++i) {
    const OLECHAR c = text[i];
    if (kTemplate[i] != 'X') {
      if (c != static_cast<OLECHAR>(kTemplate[i])) return false;
      continue;
    }
    const int value = HexValue(c);
    if (value < 0) return false;
    bytes[nibble / 2] = static_cast<uint8_t>(bytes[nibble / 2] << 4 | value);
    ++nibble;
  }
  if (text[kGuidTextLength] != 0) return false;
  *guid = GuidFromTextOrder(bytes);
  return true;
}

}  // namespace

// Returns the characters written including the terminator (39), or 0 when
// `text` is null or `capacity` is below 39 (nothing is written then).
EXTERN_C HRESULT WINAPI StringFromGUID2(REFGUID guid, LPOLESTR text, int capacity) {
  if (text == nullptr || capacity <= kGuidTextLength) return 0;
  static constexpr char kHexDigits[] = "0123456789ABCDEF";
  uint8_t bytes[16];
  BytesInTextOrder(guid, bytes);
  int nibble = 0;
  for (int i = 0; i < kGuidTextLength; ++i) {
    if (kTemplate[i] != 'X') {
      text[i] = static_cast<OLECHAR>(kTemplate[i]);
      continue;
    }
    const uint8_t byte = bytes[nibble / 2];
    text[i] = static_cast<OLECHAR>(kHexDigits[nibble % 2 == 0 ? byte >> 4 : byte & 0xF]);
    ++nibble;
  }
  text[kGuidTextLength] = 0;
  return kGuidTextLength + 1;
}

// Null text gives the null GUID, as on Windows. Malformed text (ProgIDs are
// not looked up here) gives CO_E_CLASSSTRING and a null GUID.
EXTERN_C HRESULT WINAPI CLSIDFromString(LPCOLESTR text, LPCLSID clsid) {
  if (clsid == nullptr) return E_INVALIDARG;
  *clsid = GUID{};
  if (text == nullptr) return S_OK;
  return ParseGuid(text, clsid) ? S_OK : CO_E_CLASSSTRING;
}

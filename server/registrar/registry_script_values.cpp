// Conversion of registry-script value texts to registry data.
#include "server/registrar/registry_script_values.h"

#include <oleauto.h>

#include <cstring>
#include <new>

namespace {

constexpr WCHAR kBackslash = '\\';

void AppendUnits(const WCHAR* units, size_t count, std::vector<BYTE>* bytes) {
  const size_t start = bytes->size();
  bytes->resize(start + count * sizeof(WCHAR));
  if (count != 0) std::memcpy(bytes->data() + start, units, count * sizeof(WCHAR));
}

void ConvertString(const WCHAR* text, size_t length, RegistryValueData* value) {
  value->type = REG_SZ;
  const ScriptString terminated(text, length);
  AppendUnits(terminated.c_str(), length + 1, &value->bytes);
}

// The list runs up to and including its first empty string.
void ConvertMultiString(const WCHAR* text, size_t length, RegistryValueData* value) {
  value->type = REG_MULTI_SZ;
  ScriptString units;
  units.reserve(length + 2);
  for (size_t i = 0; i < length; ++i) {
    if (text[i] == kBackslash && i + 1 < length && text[i + 1] == '0') {
      units.push_back(0);
      ++i;
    } else {
      units.push_back(text[i]);
    }
  }
  units.push_back(0);
  units.push_back(0);
  size_t end = 0;
  while (!(units[end] == 0 && (end == 0 || units[end - 1] == 0))) ++end;
  AppendUnits(units.data(), end + 1, &value->bytes);
}

HRESULT ConvertNumber(const WCHAR* text, size_t length, RegistryValueData* value) {
  // A writable copy: some SDKs declare the text parameter without const.
  ScriptString terminated(text, length);
  ULONG number = 0;
  const HRESULT hr = VarUI4FromStr(terminated.data(), 0, 0, &number);
  if (FAILED(hr)) return hr;
  value->type = REG_DWORD;
  const DWORD dword = static_cast<DWORD>(number);
  value->bytes.resize(sizeof(dword));
  std::memcpy(value->bytes.data(), &dword, sizeof(dword));
  return S_OK;
}

BYTE NibbleOf(WCHAR digit) {
  if (digit >= '0' && digit <= '9') return static_cast<BYTE>(digit - '0');
  if (digit >= 'a' && digit <= 'f') return static_cast<BYTE>(digit - 'a' + 10);
  if (digit >= 'A' && digit <= 'F') return static_cast<BYTE>(digit - 'A' + 10);
  return 0;
}

HRESULT ConvertBinary(const WCHAR* text, size_t length, RegistryValueData* value) {
  if (length % 2 != 0) return E_FAIL;
  value->type = REG_BINARY;
  value->bytes.resize(length / 2);
  for (size_t i = 0; i < length / 2; ++i) {
    value->bytes[i] = static_cast<BYTE>((NibbleOf(text[2 * i]) << 4) | NibbleOf(text[2 * i + 1]));
  }
  return S_OK;
}

}  // namespace

bool IsRegistryValueTypeLetter(const WCHAR* letter, size_t length) noexcept {
  if (length != 1) return false;
  const WCHAR folded = FoldScriptUnit(letter[0]);
  return folded == 's' || folded == 'm' || folded == 'd' || folded == 'b';
}

HRESULT ConvertRegistryValue(WCHAR letter, const WCHAR* text, size_t length,
                             RegistryValueData* value) noexcept {
  value->type = REG_NONE;
  value->bytes.clear();
  try {
    switch (FoldScriptUnit(letter)) {
      case 's':
        ConvertString(text, length, value);
        return S_OK;
      case 'm':
        ConvertMultiString(text, length, value);
        return S_OK;
      case 'd':
        return ConvertNumber(text, length, value);
      case 'b':
        return ConvertBinary(text, length, value);
      default:
        return DISP_E_EXCEPTION;
    }
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

// The value types of registry scripts (S, M, D, B) and the conversion of a
// value text into the bytes that RegSetValueExW stores.
#pragma once

#include <vector>

#include "server/registrar/registry_script_text.h"

struct RegistryValueData {
  DWORD type = REG_NONE;
  std::vector<BYTE> bytes;
};

// True when `letter` (one unit, without regard to case) names a value type.
bool IsRegistryValueTypeLetter(const WCHAR* letter, size_t length) noexcept;

// Converts `text` by the type letter: S gives the text with its terminator;
// M the text with each backslash-zero made a separator, ended by an empty
// string; D the number VarUI4FromStr reads (its failure is returned, nothing
// is converted); B hexadecimal digit pairs, high nibble first, a unit that is
// not a hexadecimal digit counting as 0. E_FAIL for an odd number of B
// digits, DISP_E_EXCEPTION for an unknown letter, E_OUTOFMEMORY.
HRESULT ConvertRegistryValue(WCHAR letter, const WCHAR* text, size_t length,
                             RegistryValueData* value) noexcept;

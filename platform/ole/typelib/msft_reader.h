// Decodes an MSFT type library held in memory into LibraryData. The bytes are
// untrusted: every offset and count is checked (one bounded reader, the
// limits of type_library_data.h) and a malformed file yields an HRESULT.
#pragma once

#include <cstdint>
#include <span>

#include "ole/typelib/type_library_data.h"

namespace glimmark::ole {

// True when `bytes` start with the MSFT signature.
bool LooksLikeMsft(std::span<const uint8_t> bytes);

// Fills `library` from `bytes`. S_OK; TYPE_E_UNSUPFORMAT for a file that is
// not MSFT; TYPE_E_INVDATAREAD for one whose offsets, counts or records do not
// hold together; E_OUTOFMEMORY. Imported references must name stdole2's
// types or be left for GetRefTypeInfo to resolve through the registry.
HRESULT ReadMsft(std::span<const uint8_t> bytes, LibraryData* library) noexcept;

}  // namespace glimmark::ole

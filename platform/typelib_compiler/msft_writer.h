// Turns an IdlFile into the bytes of an MSFT type library (64-bit system
// kind) as oleaut32 reads it. The layout mirrors what MIDL and widl write, so
// Windows tools open the file too; see platform/ole/msft_format.h.
#pragma once

#include <cstdint>
#include <vector>

#include "idl_model.h"
#include "idl_reader.h"

namespace glimmark::idl {

// Throws IdlError when the file refers to something the format cannot hold
// (an OLE_COLOR without importlib("stdole2.tlb"), a name over 255 chars...).
std::vector<uint8_t> WriteMsft(const IdlFile& file);

}  // namespace glimmark::idl

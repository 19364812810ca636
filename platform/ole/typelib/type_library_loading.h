// How LoadTypeLib gets a library's bytes: a .tlb file is read whole; any
// other file is a module whose resource "TYPELIB" 1 holds the library.
// Internal to the platform's type-library code.
#pragma once

#include <cstdint>
#include <span>

#include "oaidl.h"

namespace glimmark::ole {

// Makes an ITypeLib from the bytes of an MSFT library (a .tlb file's whole
// content or a module's TYPELIB resource). TYPE_E_UNSUPFORMAT for bytes
// that are not MSFT, TYPE_E_INVDATAREAD for a malformed library.
HRESULT LoadTypeLibFromBytes(std::span<const uint8_t> bytes, ITypeLib** out) noexcept;

// Loads the library from resource "TYPELIB" 1 of the module at `path`, the
// module opened as a data file. TYPE_E_CANTLOADLIBRARY when the file is no
// module or carries no such resource; the decoder's result otherwise.
HRESULT LoadTypeLibFromModuleResource(LPCOLESTR path, ITypeLib** out) noexcept;

}  // namespace glimmark::ole

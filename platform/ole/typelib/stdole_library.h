// The platform's built-in standard OLE library (stdole2.tlb): the types our
// libraries import from it (IUnknown, IDispatch, OLE_COLOR and the records
// their methods take), so imported references resolve without Wine's file.
#pragma once

#include <vector>

#include "ole/typelib/type_library_data.h"

namespace glimmark::ole {

// The library, made once per process and never freed.
const LibraryData& BuiltInStdole();

// IUnknown's and IDispatch's seven methods in IDispatch form, restricted, as
// a dual interface's dispatch view lists them before its own.
const std::vector<FunctionData>& DispatchBaseFunctions();

}  // namespace glimmark::ole

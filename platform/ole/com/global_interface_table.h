// The standard global interface table: one per process, made on first
// request and never destroyed. Without marshalling (every apartment here is
// in one process and calls run on the caller's thread), a registered pointer
// is kept with one reference and handed back with another.
#pragma once

#include "objbase.h"

namespace glimmark::ole {

// The table's IUnknown-derived object, for CoGetClassObject's class list.
HRESULT GetStandardGlobalInterfaceTable(REFIID riid, void** object) noexcept;

}  // namespace glimmark::ole

// The load steps of this library and what they make, once per process: the
// instance record, the object map with its one class (CGlimmark) and the
// module object, in that order (and torn down in the reverse order at
// unload). A step that cannot create its lock sets loadFailed, and DllMain
// then refuses the load.
#pragma once

#include <windows.h>

#include "server/module.h"
#include "server/object_map.h"

// Set by a failed load step; read by DllMain at process attach.
extern bool loadFailed;

// The fixed AppID of this server, as the "APPID" script variable.
extern const OLECHAR kModuleAppId[];

// This library's own module handle (null when the first load step failed).
HINSTANCE ServerInstance() noexcept;
CObjectMap& ServerObjectMap() noexcept;
CGlimmarkPrjModule& ServerModule() noexcept;

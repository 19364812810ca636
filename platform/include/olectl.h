// Control types, and the self-registration entry points that every
// in-process server library exports (not the platform).
#pragma once
#include "ocidl.h"

STDAPI DllRegisterServer(void);
STDAPI DllUnregisterServer(void);

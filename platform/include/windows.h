// Umbrella header of the platform layer's Windows API subset, named as the
// Windows SDK names it so that the component compiles unchanged on both.
#pragma once

#include "windef.h"
#include "winerror.h"
#include "guiddef.h"
#include "winbase.h"
#include "winreg.h"
#ifndef WIN32_LEAN_AND_MEAN
#include "ole2.h"
#endif

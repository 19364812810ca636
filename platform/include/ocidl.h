// Control types: OLE_COLOR, the automation colour type (32 bits).
#pragma once
#include "oaidl.h"
typedef DWORD OLE_COLOR;

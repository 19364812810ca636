// The count a COM object's reference count is set to when its destruction
// starts, so that references taken and dropped during teardown cannot bring
// it to zero a second time: minus half the largest signed 32-bit value.
// Used by every object wrapper (com_object.h, com_agg_object.h,
// com_object_cached.h).
#pragma once

#include <windows.h>

constexpr LONG kDestructionRefCount = static_cast<LONG>(0xC0000001u);

// Inside the graphics layer: whether the library is started. Not part of the
// GDI+ API; the layer's own functions consult it, tests read the count.
#pragma once

#include "windef.h"

namespace Gdiplus {

// Number of start-ups not yet shut down.
PLATFORM_API int GdiplusStartupCount();

}  // namespace Gdiplus

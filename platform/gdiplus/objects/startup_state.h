// Inside the graphics layer: whether the library is started. Not part of the
// GDI+ API; the layer's own functions consult it, tests read the count.
#pragma once

#include "windef.h"

namespace Gdiplus {

// Number of start-ups not yet shut down.
PLATFORM_API int GdiplusStartupCount();

// True while at least one start-up is live. Functions that make objects
// answer GdiplusNotInitialized otherwise; deleting and reading still work, so
// objects made before the last shutdown can be released cleanly.
inline bool GdiplusIsStarted() { return GdiplusStartupCount() > 0; }

}  // namespace Gdiplus

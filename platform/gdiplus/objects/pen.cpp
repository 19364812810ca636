// Pen objects.
#include "gdiplus/objects/pen.h"

#include <new>

#include "gdiplus/objects/matrix.h"
#include "gdiplus/objects/startup_state.h"

namespace Gdiplus::DllExports {
using namespace Gdiplus::Internal;
extern "C" {

// World and pixel units are the same here; other units are not offered.
GpStatus WINGDIPAPI GdipCreatePen1(ARGB color, REAL width, GpUnit unit, GpPen** pen) {
  if (pen == nullptr) return InvalidParameter;
  *pen = nullptr;
  if (!IsFinite(width)) return InvalidParameter;
  if (unit != UnitWorld && unit != UnitPixel) {
    return unit < UnitWorld || unit > UnitMillimeter ? InvalidParameter : NotImplemented;
  }
  if (!GdiplusIsStarted()) return GdiplusNotInitialized;
  return Publish(new (std::nothrow) PenObject(color, width), pen);
}

GpStatus WINGDIPAPI GdipSetPenWidth(GpPen* pen, REAL width) {
  PenObject* object = LookUp<PenObject>(pen);
  if (object == nullptr || !IsFinite(width)) return InvalidParameter;
  object->width = width;
  return Ok;
}

GpStatus WINGDIPAPI GdipDeletePen(GpPen* pen) { return Destroy<PenObject>(pen); }

}  // extern "C"
}  // namespace Gdiplus::DllExports

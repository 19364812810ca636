// Solid brushes and filling rectangles with them.
#include "gdiplus/objects/brush.h"

#include <algorithm>
#include <new>

#include "gdiplus/objects/graphics.h"
#include "gdiplus/objects/matrix.h"
#include "gdiplus/objects/startup_state.h"
#include "gdiplus/raster/span_painter.h"

namespace Gdiplus::Internal {

void SetSourceColor(cairo_t* cr, ARGB color) noexcept {
  auto channel = [color](int shift) { return ((color >> shift) & 0xFF) / 255.0; };
  cairo_set_source_rgba(cr, channel(16), channel(8), channel(0), channel(24));
}

}  // namespace Gdiplus::Internal

namespace Gdiplus::DllExports {
using namespace Gdiplus::Internal;
extern "C" {

GpStatus WINGDIPAPI GdipCreateSolidFill(ARGB color, GpSolidFill** brush) {
  if (brush == nullptr) return InvalidParameter;
  *brush = nullptr;
  if (!GdiplusIsStarted()) return GdiplusNotInitialized;
  return Publish(new (std::nothrow) SolidBrushObject(color), brush);
}

GpStatus WINGDIPAPI GdipDeleteBrush(GpBrush* brush) { return Destroy<SolidBrushObject>(brush); }

// Fills source-over: a colour with alpha below 255 blends with the opaque
// pixels beneath, as GDI+ does on a 24-bit bitmap. Empty and negative
// rectangles fill nothing. Without a world transform the rectangle covers
// whole pixels and is painted straight into the rows; otherwise cairo fills
// the transformed shape.
GpStatus WINGDIPAPI GdipFillRectangleI(GpGraphics* graphics, GpBrush* brush, INT x, INT y,
                                       INT width, INT height) {
  GraphicsObject* context = LookUp<GraphicsObject>(graphics);
  const SolidBrushObject* fill = LookUp<SolidBrushObject>(brush);
  if (context == nullptr || fill == nullptr) return InvalidParameter;
  if (width <= 0 || height <= 0) return Ok;
  if (IsIdentity(context->world)) {
    constexpr ARGB kOpaque = 0xFF000000u;
    if ((fill->color & kOpaque) == kOpaque &&
        CoversSurface(context->surface, Rect(x, y, width, height))) {
      ForgetPendingClear(context->surface);  // every pixel is about to be replaced
    }
    const SurfacePixels target(context->surface);
    SpanPainter painter(target, fill->color);
    const int64_t top = std::max<int64_t>(y, 0);
    const int64_t bottom = std::min<int64_t>(int64_t{y} + height, target.height);
    if (painter.FillsWholeRows(x, width) && top < bottom) {
      painter.FillRows(top, bottom);  // one fill over rows that follow one another in memory
    } else {
      for (int64_t row = top; row < bottom; ++row) {
        painter.Paint(row, x, int64_t{x} + width, kFullCoverage);
      }
    }
    painter.Finish();
    return Ok;
  }
  cairo_t* cr = context->BeginWorldPath();
  if (cr == nullptr) return OutOfMemory;
  cairo_rectangle(cr, x, y, width, height);
  SetSourceColor(cr, fill->color);
  cairo_fill(cr);
  return Ok;
}

}  // extern "C"
}  // namespace Gdiplus::DllExports

// Stroking cubic Bezier curves with a pen.
#include <cairo.h>

#include "gdiplus/brush.h"
#include "gdiplus/graphics.h"
#include "gdiplus/pen.h"

namespace Gdiplus::Internal {
namespace {

// A pen of width 0 or below strokes a line one device pixel wide whatever
// the transform, as GDI+ does for width 0; a negative width is taken as that
// same thinnest line rather than as nothing, so a curve asked for never
// vanishes.
constexpr double kThinnestLineWidth = 1.0;

void SetStrokeWidth(cairo_t* cr, REAL penWidth) {
  if (penWidth > 0) {
    cairo_set_line_width(cr, penWidth);
    return;
  }
  // The path is already in device space; a width set under the identity
  // matrix is measured in device pixels.
  cairo_identity_matrix(cr);
  cairo_set_line_width(cr, kThinnestLineWidth);
}

}  // namespace
}  // namespace Gdiplus::Internal

namespace Gdiplus::DllExports {
using namespace Gdiplus::Internal;
extern "C" {

GpStatus WINGDIPAPI GdipDrawBezierI(GpGraphics* graphics, GpPen* pen, INT x1, INT y1, INT x2,
                                    INT y2, INT x3, INT y3, INT x4, INT y4) {
  GraphicsObject* context = LookUp<GraphicsObject>(graphics);
  const PenObject* stroke = LookUp<PenObject>(pen);
  if (context == nullptr || stroke == nullptr) return InvalidParameter;
  cairo_t* cr = context->BeginWorldPath();
  if (cr == nullptr) return OutOfMemory;
  cairo_move_to(cr, x1, y1);
  cairo_curve_to(cr, x2, y2, x3, y3, x4, y4);
  SetStrokeWidth(cr, stroke->width);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_MITER);
  SetSourceColor(cr, stroke->color);
  cairo_stroke(cr);
  return Ok;
}

}  // extern "C"
}  // namespace Gdiplus::DllExports

// Stroking cubic Bezier curves with a pen: without a world transform the
// pen is swept by the coverage raster straight into the rows; with one,
// cairo strokes the transformed curve.
#include <cairo.h>

#include <algorithm>

#include "gdiplus/objects/bitmap.h"
#include "gdiplus/objects/brush.h"
#include "gdiplus/objects/graphics.h"
#include "gdiplus/objects/matrix.h"
#include "gdiplus/objects/pen.h"
#include "gdiplus/raster/coverage_painting.h"
#include "gdiplus/raster/stroke_outline.h"

namespace Gdiplus::Internal {
namespace {

// A pen of width 0 or below strokes a line one device pixel wide whatever
// the transform, as GDI+ does for width 0; a negative width is taken as that
// same thinnest line rather than as nothing, so a curve asked for never
// vanishes.
constexpr double kThinnestLineWidth = 1.0;
// Pens wider than this (or not a number) are left to cairo: no surface is that
// large, and the sweep's arithmetic stays far from overflow below it.
constexpr double kWidestSweptPen = 1 << 16;

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

// Smoothing modes that antialias; the others draw each pixel in or out.
bool Antialiases(SmoothingMode mode) {
  return mode == SmoothingModeAntiAlias || mode == SmoothingModeAntiAlias8x8 ||
         mode == SmoothingModeHighQuality;
}

// The curve swept by the pen in device pixels (no world transform) into the
// rows of the context's surface.
GpStatus SweepCurve(const GraphicsObject& context, const PenObject& pen, const CubicCurve& curve,
                    double width) {
  const SurfacePixels target(context.surface);
  const StrokeBounds bounds = CubicStrokeBounds(curve, width);
  const double left = std::max(bounds.left, 0.0), top = std::max(bounds.top, 0.0);
  const double right = std::min(bounds.right, double(target.width));
  const double bottom = std::min(bounds.bottom, double(target.height));
  if (!(left < right && top < bottom)) return Ok;  // wholly outside
  CoverageRaster& raster = ThreadCoverageRaster();
  if (!raster.Begin(int64_t(left), int64_t(top), int(right - left), int(bottom - top))) {
    return OutOfMemory;
  }
  AddCubicStroke(raster, curve, width);
  SpanPainter painter(target, pen.color);
  PaintingSink sink(
      painter, Antialiases(context.smoothing) ? CoverageLevels::Grey : CoverageLevels::InOrOut);
  raster.Finish(sink);
  painter.Finish();
  return Ok;
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
  const double sweptWidth = stroke->width > 0 ? stroke->width : kThinnestLineWidth;
  if (IsIdentity(context->world) && sweptWidth <= kWidestSweptPen) {
    const CubicCurve curve = {{double(x1), double(y1)},
                              {double(x2), double(y2)},
                              {double(x3), double(y3)},
                              {double(x4), double(y4)}};
    return SweepCurve(*context, *stroke, curve, sweptWidth);
  }
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

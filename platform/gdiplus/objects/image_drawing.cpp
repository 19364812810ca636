// Drawing one bitmap onto another: at natural size (GdipDrawImageI) or with
// a source rectangle stretched onto a target one (GdipDrawImageRectRectI).
// Bitmaps are opaque, so drawing one replaces the pixels it covers.
#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "gdiplus/objects/bitmap.h"
#include "gdiplus/objects/graphics.h"
#include "gdiplus/objects/matrix.h"
#include "gdiplus/resample/resampler.h"

namespace Gdiplus::Internal {
namespace {

// Coordinates and sizes beyond ±2^24 pixels are refused with ValueOverflow:
// no bitmap is that large, and the arithmetic below stays far from overflow.
constexpr int64_t kMaxCoordinate = int64_t{1} << 24;

bool WithinCoordinateRange(std::initializer_list<INT> values) {
  return std::all_of(values.begin(), values.end(),
                     [](INT v) { return v >= -kMaxCoordinate && v <= kMaxCoordinate; });
}

// Copies `source` whole with its top left at (x, y), clipped to the target;
// memmove, since source and target may be the same surface.
void CopyAtNaturalSize(const SurfacePixels& source, const SurfacePixels& target, INT x, INT y) {
  const INT x0 = std::max(x, 0), y0 = std::max(y, 0);
  const INT x1 = std::min(x + source.width, target.width);
  const INT y1 = std::min(y + source.height, target.height);
  if (x0 >= x1 || y0 >= y1) return;
  const bool upwards = source.surface == target.surface && y > 0;
  for (INT step = 0; step < y1 - y0; ++step) {
    const INT row = upwards ? y1 - 1 - step : y0 + step;
    std::memmove(target.Row(row) + x0, source.Row(row - y) + (x0 - x),
                 size_t(x1 - x0) * sizeof(uint32_t));
  }
  target.MarkDirty(x0, y0, x1 - x0, y1 - y0);
}

// Draws through cairo when the world transform is not the identity: the
// source rectangle, edges padded so no black creeps in, mapped onto `to`.
// OutOfMemory when cairo cannot make its context.
GpStatus DrawTransformed(GraphicsObject& context, cairo_surface_t* image, const Rect& from,
                         const Rect& to, cairo_filter_t filter) {
  cairo_t* cr = context.BeginWorldPath();
  if (cr == nullptr) return OutOfMemory;
  SettlePendingClear(image);
  cairo_surface_t* part =
      cairo_surface_create_for_rectangle(image, from.X, from.Y, from.Width, from.Height);
  cairo_pattern_t* pattern = cairo_pattern_create_for_surface(part);
  cairo_matrix_t placement;  // target space -> source rectangle space
  cairo_matrix_init_translate(&placement, to.X, to.Y);
  cairo_matrix_scale(&placement, double(to.Width) / from.Width, double(to.Height) / from.Height);
  cairo_matrix_invert(&placement);
  cairo_pattern_set_matrix(pattern, &placement);
  cairo_pattern_set_extend(pattern, CAIRO_EXTEND_PAD);
  cairo_pattern_set_filter(pattern, filter);
  cairo_rectangle(cr, to.X, to.Y, to.Width, to.Height);
  cairo_set_source(cr, pattern);
  cairo_fill(cr);
  cairo_pattern_destroy(pattern);
  cairo_surface_destroy(part);
  return Ok;
}

// Shrinks `from` to the part inside the image and `to` in proportion.
// Returns false when nothing of `from` lies inside.
bool ClipSourceToImage(const BitmapObject& image, Rect& from, Rect& to) {
  const int64_t left = std::max<int64_t>(from.X, 0);
  const int64_t top = std::max<int64_t>(from.Y, 0);
  const int64_t right = std::min<int64_t>(int64_t{from.X} + from.Width, image.Width());
  const int64_t bottom = std::min<int64_t>(int64_t{from.Y} + from.Height, image.Height());
  if (left >= right || top >= bottom) return false;
  const double scaleX = double(to.Width) / from.Width, scaleY = double(to.Height) / from.Height;
  const Rect clipped(INT(left), INT(top), INT(right - left), INT(bottom - top));
  const INT x0 = to.X + INT(std::lround((left - from.X) * scaleX));
  const INT y0 = to.Y + INT(std::lround((top - from.Y) * scaleY));
  const INT x1 = to.X + INT(std::lround((right - from.X) * scaleX));
  const INT y1 = to.Y + INT(std::lround((bottom - from.Y) * scaleY));
  if (x0 >= x1 || y0 >= y1) return false;
  from = clipped;
  to = Rect(x0, y0, x1 - x0, y1 - y0);
  return true;
}

}  // namespace
}  // namespace Gdiplus::Internal

namespace Gdiplus::DllExports {
using namespace Gdiplus::Internal;
extern "C" {

GpStatus WINGDIPAPI GdipDrawImageI(GpGraphics* graphics, GpImage* image, INT x, INT y) {
  GraphicsObject* context = LookUp<GraphicsObject>(graphics);
  BitmapObject* bitmap = LookUpBitmap(image);
  if (context == nullptr || bitmap == nullptr) return InvalidParameter;
  if (!WithinCoordinateRange({x, y})) return ValueOverflow;
  if (IsIdentity(context->world)) {
    CopyAtNaturalSize(SurfacePixels(bitmap->surface), SurfacePixels(context->surface), x, y);
    return Ok;
  }
  const Rect whole(0, 0, bitmap->Width(), bitmap->Height());
  return DrawTransformed(*context, bitmap->surface, whole, Rect(x, y, whole.Width, whole.Height),
                         CAIRO_FILTER_GOOD);
}

// Every interpolation mode but nearest-neighbour resamples with the bicubic
// filter of resampler.h. Empty or negative rectangles draw nothing; image
// attributes are not offered (no call makes them), so a non-null one is
// refused. Only pixel units are taken for the source rectangle.
GpStatus WINGDIPAPI GdipDrawImageRectRectI(GpGraphics* graphics, GpImage* image, INT dstx, INT dsty,
                                           INT dstwidth, INT dstheight, INT srcx, INT srcy,
                                           INT srcwidth, INT srcheight, GpUnit srcUnit,
                                           GDIPCONST GpImageAttributes* attributes,
                                           DrawImageAbort callback, VOID* callbackData) {
  (void)callback;
  (void)callbackData;
  GraphicsObject* context = LookUp<GraphicsObject>(graphics);
  BitmapObject* bitmap = LookUpBitmap(image);
  if (context == nullptr || bitmap == nullptr || attributes != nullptr) return InvalidParameter;
  if (srcUnit != UnitPixel) return NotImplemented;
  if (!WithinCoordinateRange({dstx, dsty, dstwidth, dstheight, srcx, srcy, srcwidth, srcheight})) {
    return ValueOverflow;
  }
  if (dstwidth <= 0 || dstheight <= 0 || srcwidth <= 0 || srcheight <= 0) return Ok;
  Rect from(srcx, srcy, srcwidth, srcheight), to(dstx, dsty, dstwidth, dstheight);
  if (!ClipSourceToImage(*bitmap, from, to)) return Ok;
  const bool nearest = context->interpolation == InterpolationModeNearestNeighbor;
  if (!IsIdentity(context->world)) {
    return DrawTransformed(*context, bitmap->surface, from, to,
                           nearest ? CAIRO_FILTER_NEAREST : CAIRO_FILTER_GOOD);
  }
  // The stretch writes every target pixel it covers, or none when it fails.
  const bool replacesAll = bitmap->surface != context->surface &&
                           CoversSurface(context->surface, to) &&
                           ForgetPendingClear(context->surface);
  const bool drawn = Resample(SurfacePixels(bitmap->surface), from, SurfacePixels(context->surface),
                              to, nearest ? ResampleFilter::Nearest : ResampleFilter::Bicubic);
  if (!drawn && replacesAll) MarkPendingClear(context->surface);
  return drawn ? Ok : OutOfMemory;
}

}  // extern "C"
}  // namespace Gdiplus::DllExports

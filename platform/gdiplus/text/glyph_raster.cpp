// Glyph outlines through the world transform into coverage: grey glyphs by
// our coverage raster, one-bit glyphs by FreeType's monochrome rasteriser.
#include "gdiplus/text/glyph_raster.h"

#include FT_OUTLINE_H

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <vector>

#include "gdiplus/raster/coverage_painting.h"
#ifdef GLIMMARK_TEST_SEAMS
#include "glimmark_test_seams.h"
#endif  // GLIMMARK_TEST_SEAMS

namespace Gdiplus::Internal {
namespace {

constexpr double kFixed16Dot16 = 65536.0;
constexpr double kFixed26Dot6 = 64.0;
// Largest factor of the transform FreeType's 16.16 matrix can carry.
constexpr double kMaxTransformFactor = 32767.0;
// Device coordinates beyond this cannot land on any bitmap; such glyphs are skipped.
constexpr double kMaxDeviceCoordinate = 1 << 24;
// Largest raster drawn for one glyph: 16 Mi pixels.
constexpr double kMaxGlyphRasterPixels = 16.0 * 1024 * 1024;

#ifdef GLIMMARK_TEST_SEAMS
// Set by tests to draw grey glyphs the way one-bit glyphs are drawn: loaded
// and transformed by FreeType on every draw, bypassing the outline cache.
std::atomic<bool> loadEveryGlyph{false};
// Set by tests to draw grey glyphs with FreeType's grey rasteriser, the
// reference our coverage raster is compared with.
std::atomic<bool> freeTypeGrey{false};
#else
constexpr bool loadEveryGlyph = false;
constexpr bool freeTypeGrey = false;
#endif  // GLIMMARK_TEST_SEAMS

bool TransformFits(const cairo_matrix_t& m) {
  for (double v : {m.xx, m.yx, m.xy, m.yy}) {
    if (!(std::fabs(v) <= kMaxTransformFactor)) return false;
  }
  return true;
}

FT_Fixed ToFixed16(double value) {
  return static_cast<FT_Fixed>(std::lround(value * kFixed16Dot16));
}

// Where the glyph's outline origin lands: device pixel (originX, originY)
// holds the outline's point (0, 0) at its top left corner. FreeType counts
// rows upwards, so outline row y is device row originY - 1 - y.
struct GlyphPlacement {
  SpanPainter* painter;
  int64_t originX;
  int64_t originY;
};

// FreeType's callback for the grey rasteriser's runs of equal coverage.
void PaintGreySpans(int y, int count, const FT_Span* spans, void* user) {
  const auto* place = static_cast<const GlyphPlacement*>(user);
  uint32_t* pixels = place->painter->RowOrNull(place->originY - 1 - y);
  if (pixels == nullptr) return;
  for (int i = 0; i < count; ++i) {
    const int64_t x0 = place->originX + spans[i].x;
    place->painter->PaintInRow(pixels, x0, x0 + spans[i].len, spans[i].coverage);
  }
}

// Renders the outline with FreeType's grey rasteriser straight into the
// painter (the tests' reference). The clip box (in whole pixels, the
// outline's own axes) keeps the rasteriser to the rows and columns of the
// target.
void RenderFreeTypeGrey(FT_Library library, FT_Outline& outline, const GlyphPlacement& place,
                        const SurfacePixels& target) {
  FT_Raster_Params params = {};
  params.flags = FT_RASTER_FLAG_AA | FT_RASTER_FLAG_DIRECT | FT_RASTER_FLAG_CLIP;
  params.gray_spans = PaintGreySpans;
  params.user = const_cast<GlyphPlacement*>(&place);
  params.clip_box.xMin = FT_Pos(-place.originX);
  params.clip_box.xMax = FT_Pos(target.width - place.originX);
  params.clip_box.yMin = FT_Pos(place.originY - target.height);
  params.clip_box.yMax = FT_Pos(place.originY);
  FT_Outline_Render(library, &outline, &params);
}

// Feeds one contour of a FreeType outline to the raster: on-curve points,
// quadratic control points (two in a row imply the on-curve point midway)
// and pairs of cubic control points, closing back to the start. `device`
// maps a 26.6 outline point to device pixels.
template <typename ToDevice>
void AddContour(const FT_Outline& outline, int first, int last, ToDevice device,
                CoverageRaster& raster) {
  auto tag = [&outline](int i) { return FT_CURVE_TAG(outline.tags[i]); };
  auto point = [&](int i) { return device(outline.points[i]); };
  auto midway = [](DevicePoint a, DevicePoint b) {
    return DevicePoint{(a.x + b.x) / 2, (a.y + b.y) / 2};
  };
  // Start on an on-curve point; a contour of control points only is taken
  // as quadratic and starts midway between its last and first.
  int start = first;
  while (start <= last && tag(start) != FT_CURVE_TAG_ON) ++start;
  const bool allControls = start > last;
  const DevicePoint startPoint = allControls ? midway(point(last), point(first)) : point(start);
  raster.MoveTo(startPoint);
  // Visit every point after the start once, cyclically, then the start again.
  const int count = last - first + 1;
  const int offset = allControls ? -1 : start - first;
  const int steps = allControls ? count + 1 : count;
  DevicePoint controls[2];
  int pending = 0;  // control points waiting for their curve's end
  bool cubic = false;
  // The point at offset + step, cyclically, counted on rather than found by
  // a division at every point.
  int at = (offset + 1) % count;
  for (int step = 1; step <= steps; ++step, at = at + 1 == count ? 0 : at + 1) {
    const bool closing = step == steps;
    const int kind = closing ? FT_CURVE_TAG_ON : tag(first + at);
    const DevicePoint here = closing ? startPoint : point(first + at);
    if (kind == FT_CURVE_TAG_ON) {
      if (pending == 0) {
        raster.LineTo(here);
      } else if (cubic && pending == 2) {
        raster.CubicTo(controls[0], controls[1], here);
      } else {
        raster.ConicTo(controls[0], here);  // also a lone cubic control: malformed
      }
      pending = 0;
    } else if (kind == FT_CURVE_TAG_CUBIC) {
      if (pending == 2 || !cubic) pending = 0;  // malformed: start the pair anew
      cubic = true;
      controls[pending++] = here;
    } else {
      if (pending > 0 && !cubic) raster.ConicTo(controls[0], midway(controls[0], here));
      cubic = false;
      controls[0] = here;
      pending = 1;
    }
  }
}

// Renders the outline with the coverage raster, its window the outline's
// control box (`box`, 26.6) clipped to the target.
void RenderGrey(const FT_Outline& outline, const FT_BBox& box, const GlyphPlacement& place,
                const SurfacePixels& target) {
  // Outline x grows to the right from originX, outline y upwards from originY.
  const int64_t left = std::max<int64_t>(0, place.originX + (box.xMin >> 6));
  const int64_t right = std::min<int64_t>(target.width, place.originX + ((box.xMax + 63) >> 6));
  const int64_t top = std::max<int64_t>(0, place.originY - ((box.yMax + 63) >> 6));
  const int64_t bottom = std::min<int64_t>(target.height, place.originY - (box.yMin >> 6));
  if (left >= right || top >= bottom) return;
  CoverageRaster& raster = ThreadCoverageRaster();
  if (!raster.Begin(left, top, int(right - left), int(bottom - top))) return;
  const double originX = double(place.originX), originY = double(place.originY);
  auto device = [originX, originY](const FT_Vector& p) {
    return DevicePoint{originX + double(p.x) / kFixed26Dot6, originY - double(p.y) / kFixed26Dot6};
  };
  int first = 0;
  for (int contour = 0; contour < outline.n_contours; ++contour) {
    const int last = outline.contours[contour];
    if (last >= first && last < outline.n_points) AddContour(outline, first, last, device, raster);
    first = last + 1;
  }
  PaintingSink sink(*place.painter, CoverageLevels::Grey);
  raster.Finish(sink);
}

// Renders a one-bit glyph bitmap and paints its runs of set bits.
void RenderOneBit(FT_GlyphSlot slot, const GlyphPlacement& place) {
  if (FT_Render_Glyph(slot, FT_RENDER_MODE_MONO) != 0) return;
  const FT_Bitmap& bitmap = slot->bitmap;
  const int64_t left = place.originX + slot->bitmap_left;
  const int64_t top = place.originY - slot->bitmap_top;
  for (unsigned row = 0; row < bitmap.rows; ++row) {
    const unsigned char* bits = bitmap.buffer + ptrdiff_t(row) * bitmap.pitch;
    auto set = [bits](unsigned column) {
      return (bits[column >> 3] & (0x80 >> (column & 7))) != 0;
    };
    for (unsigned column = 0; column < bitmap.width;) {
      if (!set(column)) {
        ++column;
        continue;
      }
      const unsigned start = column;
      while (column < bitmap.width && set(column)) ++column;
      place.painter->Paint(top + row, left + start, left + column, kFullCoverage);
    }
  }
}

// Glyph `index` loaded by FreeType through the face's transform, in the
// face's slot; null when loading fails or the glyph is no outline.
FT_Outline* LoadTransformed(FontFace& face, FT_UInt index, FT_Matrix& matrix, FT_Vector& delta,
                            GlyphCoverage coverage) {
  FT_Set_Transform(face.face, &matrix, &delta);
  const FT_Int32 target =
      coverage == GlyphCoverage::OneBit ? FT_LOAD_TARGET_MONO : FT_LOAD_TARGET_NORMAL;
  if (FT_Load_Glyph(face.face, index, FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP | target) != 0) {
    return nullptr;
  }
  const FT_GlyphSlot slot = face.face->glyph;
  return slot->format == FT_GLYPH_FORMAT_OUTLINE ? &slot->outline : nullptr;
}

// The calling thread's scratch points for one transformed outline.
std::vector<FT_Vector>& ThreadTransformedPoints() {
  thread_local std::vector<FT_Vector> points;
  return points;
}

// FreeType's FT_MulFix: a × b / 65536, rounded to nearest with halves away
// from zero.
FT_Pos MulFix(FT_Pos a, FT_Fixed b) {
  const int64_t product = int64_t(a) * int64_t(b);
  return FT_Pos((product + 0x8000 - (product < 0)) >> 16);
}

// The face's cached outline of glyph `index` with its points transformed
// into the thread's scratch points, exactly as FreeType transforms a loaded
// glyph (FT_Vector_Transform's products by the matrix, then the delta) but
// in one pass with no call per point; `work` borrows the cached contours
// and tags, which stay as they are while the face lives. Null when the
// outline is unavailable or memory runs out.
FT_Outline* TransformCached(FontFace& face, FT_UInt index, const FT_Matrix& matrix,
                            const FT_Vector& delta, FT_Outline& work) {
  const FT_Outline* cached = face.Outline(index);
  if (cached == nullptr) return nullptr;
  std::vector<FT_Vector>& points = ThreadTransformedPoints();
  try {
    points.resize(cached->n_points > 0 ? size_t(cached->n_points) : 0);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  for (size_t i = 0; i < points.size(); ++i) {
    const FT_Vector p = cached->points[i];
    points[i] = {MulFix(p.x, matrix.xx) + MulFix(p.y, matrix.xy) + delta.x,
                 MulFix(p.x, matrix.yx) + MulFix(p.y, matrix.yy) + delta.y};
  }
  work = *cached;
  work.points = points.data();
  work.flags &= ~FT_OUTLINE_OWNER;
  return &work;
}

bool RasterTooLarge(const FT_BBox& box) {
  const double rasterPixels = (double(box.xMax - box.xMin) / kFixed26Dot6 + 2) *
                              (double(box.yMax - box.yMin) / kFixed26Dot6 + 2);
  return rasterPixels > kMaxGlyphRasterPixels;
}

}  // namespace

void DrawGlyph(FontFace& face, std::unique_lock<std::mutex>& faceLock, FT_UInt index,
               const cairo_matrix_t& world, double x, double y, GlyphCoverage coverage,
               SpanPainter& painter) {
  if (!TransformFits(world)) return;
  double deviceX = x, deviceY = y;
  cairo_matrix_transform_point(&world, &deviceX, &deviceY);
  if (!(std::fabs(deviceX) < kMaxDeviceCoordinate && std::fabs(deviceY) < kMaxDeviceCoordinate)) {
    return;
  }
  const double originX = std::floor(deviceX);
  const double originY = std::floor(deviceY);
  // FreeType works y-up: negate the terms that mix x and y, and the y offset.
  FT_Matrix matrix = {ToFixed16(world.xx), ToFixed16(-world.xy), ToFixed16(-world.yx),
                      ToFixed16(world.yy)};
  FT_Vector delta = {std::lround((deviceX - originX) * kFixed26Dot6),
                     -std::lround((deviceY - originY) * kFixed26Dot6)};
  const bool oneBit = coverage == GlyphCoverage::OneBit;
  // Only FreeType's own paths use the face's glyph slot and library to the
  // end; ours needs the face only to find the cached outline.
  const bool ownRaster = !oneBit && !loadEveryGlyph && !freeTypeGrey;
  if (!faceLock.owns_lock()) faceLock.lock();
  FT_Outline work;
  FT_Outline* outline = ownRaster ? TransformCached(face, index, matrix, delta, work)
                                  : LoadTransformed(face, index, matrix, delta, coverage);
  if (ownRaster) faceLock.unlock();
  if (outline == nullptr || outline->n_points == 0) return;
  FT_BBox box;
  FT_Outline_Get_CBox(outline, &box);
  if (RasterTooLarge(box)) return;
  const GlyphPlacement place{&painter, int64_t(originX), int64_t(originY)};
  if (oneBit) {
    RenderOneBit(face.face->glyph, place);
  } else if (freeTypeGrey) {
    RenderFreeTypeGrey(face.face->glyph->library, *outline, place, painter.Target());
  } else {
    RenderGrey(*outline, box, place, painter.Target());
  }
}

}  // namespace Gdiplus::Internal

#ifdef GLIMMARK_TEST_SEAMS
EXTERN_C void GlimmarkTest_LoadEveryGlyph(bool load) { Gdiplus::Internal::loadEveryGlyph = load; }

EXTERN_C void GlimmarkTest_UseFreeTypeGreyRaster(bool use) {
  Gdiplus::Internal::freeTypeGrey = use;
}
#endif  // GLIMMARK_TEST_SEAMS

// FreeType rasterisation and coverage compositing.
#include "gdiplus/glyph_raster.h"

#include FT_OUTLINE_H

#include <algorithm>
#include <cmath>
#include <cstring>

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

bool TransformFits(const cairo_matrix_t& m) {
  for (double v : {m.xx, m.yx, m.xy, m.yy}) {
    if (!(std::fabs(v) <= kMaxTransformFactor)) return false;
  }
  return true;
}

FT_Fixed ToFixed16(double value) {
  return static_cast<FT_Fixed>(std::lround(value * kFixed16Dot16));
}

// x / 255 rounded to nearest, exact for x in 0..255*255 (two channels at
// once when they sit in bits 0-7 and 16-23).
inline uint32_t DivideBy255(uint32_t x) {
  return (x + 0x00800080u + ((x + 0x00800080u) >> 8 & 0x00FF00FFu)) >> 8;
}

// Blends `alpha` (0..255) of `color` onto one opaque pixel, source-over:
// red and blue together in one word, green alone.
inline uint32_t BlendPixel(uint32_t destination, uint32_t color, uint32_t alpha) {
  const uint32_t keep = 255 - alpha;
  const uint32_t redBlue =
      DivideBy255((color & 0x00FF00FFu) * alpha + (destination & 0x00FF00FFu) * keep) & 0x00FF00FFu;
  const uint32_t green =
      DivideBy255((color >> 8 & 0xFFu) * alpha + (destination >> 8 & 0xFFu) * keep) & 0xFFu;
  return 0xFF000000u | redBlue | green << 8;
}

inline uint32_t CoverageAt(const FT_Bitmap& bitmap, const unsigned char* row, unsigned column) {
  if (bitmap.pixel_mode == FT_PIXEL_MODE_MONO) {
    return (row[column >> 3] & (0x80 >> (column & 7))) ? 255 : 0;
  }
  return row[column];
}

// Glyph rasters are mostly empty around the outline: grey coverage is
// skipped eight bytes at a time where it is all zero.
constexpr INT kSkipRun = 8;
inline bool IsClearRun(const unsigned char* coverage) {
  uint64_t run;
  std::memcpy(&run, coverage, sizeof run);
  return run == 0;
}

void Composite(const FT_Bitmap& bitmap, INT left, INT top, ARGB color, const SurfacePixels& target,
               DirtyArea& dirty) {
  const INT x0 = std::max(left, 0);
  const INT y0 = std::max(top, 0);
  const INT x1 = static_cast<INT>(std::min<int64_t>(int64_t{left} + bitmap.width, target.width));
  const INT y1 = static_cast<INT>(std::min<int64_t>(int64_t{top} + bitmap.rows, target.height));
  if (x0 >= x1 || y0 >= y1) return;
  const uint32_t colorAlpha = color >> 24;
  const uint32_t solid = 0xFF000000u | color;
  const bool grey = bitmap.pixel_mode == FT_PIXEL_MODE_GRAY;
  for (INT y = y0; y < y1; ++y) {
    const unsigned char* row = bitmap.buffer + ptrdiff_t{y - top} * bitmap.pitch;
    uint32_t* pixels = target.Row(y);
    for (INT x = x0; x < x1; ++x) {
      if (grey && x + kSkipRun <= x1 && IsClearRun(row + (x - left))) {
        x += kSkipRun - 1;  // the loop's ++x completes the run
        continue;
      }
      const uint32_t cover = CoverageAt(bitmap, row, static_cast<unsigned>(x - left));
      if (cover == 0) continue;
      const uint32_t alpha = colorAlpha == 255 ? cover : DivideBy255(cover * colorAlpha) & 0xFFu;
      pixels[x] = alpha == 255 ? solid : BlendPixel(pixels[x], color, alpha);
    }
  }
  dirty.Add(x0, y0, x1, y1);
}

}  // namespace

void DirtyArea::Add(INT x0, INT y0, INT x1, INT y1) {
  if (!any) {
    *this = {x0, y0, x1, y1, true};
    return;
  }
  left = std::min(left, x0);
  top = std::min(top, y0);
  right = std::max(right, x1);
  bottom = std::max(bottom, y1);
}

void DrawGlyph(FontFace& face, FT_UInt index, const cairo_matrix_t& world, double x, double y,
               ARGB color, GlyphCoverage coverage, const SurfacePixels& target, DirtyArea& dirty) {
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
  FT_Set_Transform(face.face, &matrix, &delta);
  const bool oneBit = coverage == GlyphCoverage::OneBit;
  const FT_Int32 loadFlags = FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP |
                             (oneBit ? FT_LOAD_TARGET_MONO : FT_LOAD_TARGET_NORMAL);
  if (FT_Load_Glyph(face.face, index, loadFlags) != 0) return;
  FT_GlyphSlot slot = face.face->glyph;
  if (slot->format != FT_GLYPH_FORMAT_OUTLINE || slot->outline.n_points == 0) return;
  FT_BBox box;
  FT_Outline_Get_CBox(&slot->outline, &box);
  const double rasterPixels = (double(box.xMax - box.xMin) / kFixed26Dot6 + 2) *
                              (double(box.yMax - box.yMin) / kFixed26Dot6 + 2);
  if (rasterPixels > kMaxGlyphRasterPixels) return;
  if (FT_Render_Glyph(slot, oneBit ? FT_RENDER_MODE_MONO : FT_RENDER_MODE_NORMAL) != 0) return;
  Composite(slot->bitmap, static_cast<INT>(originX) + slot->bitmap_left,
            static_cast<INT>(originY) - slot->bitmap_top, color, target, dirty);
}

}  // namespace Gdiplus::Internal

// Rasterising one glyph through the world transform with FreeType and
// compositing its coverage onto a bitmap in a brush colour. Rotated text thus
// costs one outline load and one raster per glyph, with no cache to miss.
#pragma once

#include <cairo.h>

#include "gdiplus.h"
#include "gdiplus/bitmap.h"
#include "gdiplus/font_cache.h"

namespace Gdiplus::Internal {

// Device-pixel rectangle that drawing touched, for cairo's dirty marking.
struct DirtyArea {
  INT left = 0, top = 0, right = 0, bottom = 0;  // right, bottom exclusive
  bool any = false;
  void Add(INT x0, INT y0, INT x1, INT y1);
};

enum class GlyphCoverage {
  Grey,    // 256 levels of coverage: antialiased edges
  OneBit,  // each pixel in or out
};

// Draws glyph `index` of `face` (mutex held by the caller) with its pen at
// world point (x, y): the outline goes through `world`, is rasterised by
// FreeType and blended source-over in `color` onto `target`, clipped to it.
// Glyphs whose raster would be absurdly large (a huge transform) are skipped.
void DrawGlyph(FontFace& face, FT_UInt index, const cairo_matrix_t& world, double x, double y,
               ARGB color, GlyphCoverage coverage, const SurfacePixels& target, DirtyArea& dirty);

}  // namespace Gdiplus::Internal

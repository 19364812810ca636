// Rasterising one glyph through the world transform with FreeType and
// painting its coverage onto a bitmap in a brush colour. Rotated text thus
// costs one outline load and one raster per glyph, with no cache to miss.
#pragma once

#include <cairo.h>

#include "gdiplus.h"
#include "gdiplus/bitmap.h"
#include "gdiplus/font_cache.h"
#include "gdiplus/span_painter.h"

namespace Gdiplus::Internal {

enum class GlyphCoverage {
  Grey,    // 256 levels of coverage: antialiased edges
  OneBit,  // each pixel in or out
};

// Draws glyph `index` of `face` (mutex held by the caller) with its pen at
// world point (x, y): the outline goes through `world` and is rasterised by
// FreeType; grey coverage comes as runs straight from the rasteriser into
// `painter` (no intermediate bitmap), one-bit coverage through a glyph bitmap.
// Glyphs whose raster would be absurdly large (a huge transform) are skipped.
void DrawGlyph(FontFace& face, FT_UInt index, const cairo_matrix_t& world, double x, double y,
               GlyphCoverage coverage, SpanPainter& painter);

}  // namespace Gdiplus::Internal

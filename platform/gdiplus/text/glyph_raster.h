// Rasterising one glyph through the world transform and painting its
// coverage onto a bitmap in a brush colour: grey glyphs by our coverage
// raster (coverage_raster.h), one-bit glyphs by FreeType. Rotated text thus
// costs one outline transform and one raster per glyph, with no cache to miss.
#pragma once

#include <cairo.h>

#include <mutex>

#include "gdiplus.h"
#include "gdiplus/objects/bitmap.h"
#include "gdiplus/raster/span_painter.h"
#include "gdiplus/text/font_cache.h"

namespace Gdiplus::Internal {

enum class GlyphCoverage {
  Grey,    // 256 levels of coverage: antialiased edges
  OneBit,  // each pixel in or out
};

// Draws glyph `index` of `face` with its pen at world point (x, y): the
// outline goes through `world`; grey coverage is summed by the calling
// thread's coverage raster over the outline's box on the target and painted
// row by row into `painter`, one-bit coverage comes through a FreeType glyph
// bitmap. Glyphs whose raster would be absurdly large (a huge transform) are
// skipped. `faceLock` is the caller's lock of the face's mutex: taken again
// when the caller does not hold it, and let go once a grey glyph's outline
// is copied out (the raster and the painting need no face), so that threads
// drawing with one font rasterise at once.
void DrawGlyph(FontFace& face, std::unique_lock<std::mutex>& faceLock, FT_UInt index,
               const cairo_matrix_t& world, double x, double y, GlyphCoverage coverage,
               SpanPainter& painter);

}  // namespace Gdiplus::Internal

// Painting horizontal runs of pixels in one ARGB colour onto an opaque
// surface, source-over, straight into its rows: the common end of solid
// fills (brush.cpp) and rasterised glyphs (glyph_raster.cpp, rows of
// per-pixel coverage). Runs are clipped
// to the surface; the painter tells cairo once, at the end, that the surface
// changed (Finish).
#pragma once

#include <algorithm>
#include <cstdint>

#include "gdiplus.h"
#include "gdiplus/bitmap.h"

namespace Gdiplus::Internal {

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

// Coverage of a pixel wholly inside a shape.
constexpr uint32_t kFullCoverage = 255;

class SpanPainter {
 public:
  SpanPainter(const SurfacePixels& target, ARGB color)
      : target_(target), color_(color), colorAlpha_(color >> 24), solid_(0xFF000000u | color) {}
  SpanPainter(const SpanPainter&) = delete;
  SpanPainter& operator=(const SpanPainter&) = delete;

  // Paints [x0, x1) of row y at `coverage` (0..255) of the colour. Cost:
  // one store per pixel where the result is opaque, a blend elsewhere.
  void Paint(int64_t y, int64_t x0, int64_t x1, uint32_t coverage) {
    if (uint32_t* pixels = RowOrNull(y)) PaintInRow(pixels, x0, x1, coverage);
  }

  // The pixels of row y, or null for a row outside the surface.
  uint32_t* RowOrNull(int64_t y) const {
    return y >= 0 && y < target_.height ? target_.Row(INT(y)) : nullptr;
  }

  // Paint on a row already looked up: for runs that share their row.
  void PaintInRow(uint32_t* pixels, int64_t x0, int64_t x1, uint32_t coverage) {
    x0 = std::max<int64_t>(x0, 0);
    x1 = std::min<int64_t>(x1, target_.width);
    if (x0 >= x1 || coverage == 0) return;
    const uint32_t alpha =
        colorAlpha_ == 255 ? coverage : DivideBy255(coverage * colorAlpha_) & 0xFFu;
    if (alpha == 0) return;
    if (alpha == 255) {
      std::fill(pixels + x0, pixels + x1, solid_);
    } else {
      for (int64_t x = x0; x < x1; ++x) pixels[x] = BlendPixel(pixels[x], color_, alpha);
    }
    painted_ = true;
  }

  // Paints pixels [x, x + count) of a row already looked up, each at its own
  // coverage[i] (0..255), clipped to the surface: runs of no coverage are
  // skipped, full coverage stored, the rest blended. The result is exactly
  // PaintInRow's pixel by pixel.
  void PaintCoverage(uint32_t* pixels, int64_t x, const uint8_t* coverage, int count) {
    int64_t begin = std::max<int64_t>(0, -x);
    const int64_t end = std::min<int64_t>(count, target_.width - x);
    while (begin < end) {
      const uint8_t value = coverage[begin];
      int64_t runEnd = begin + 1;
      while (runEnd < end && coverage[runEnd] == value) ++runEnd;
      PaintInRow(pixels, x + begin, x + runEnd, value);
      begin = runEnd;
    }
  }

  const SurfacePixels& Target() const { return target_; }

  // Tells cairo that the surface changed, when anything was painted; call
  // once, after the last Paint. (cairo keeps no finer record than "changed"
  // for image surfaces, so the whole surface is named.)
  void Finish() const {
    if (painted_) target_.MarkDirty(0, 0, target_.width, target_.height);
  }

 private:
  const SurfacePixels& target_;
  const ARGB color_;
  const uint32_t colorAlpha_;
  const uint32_t solid_;
  bool painted_ = false;
};

}  // namespace Gdiplus::Internal

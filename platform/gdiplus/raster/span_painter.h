// Painting horizontal runs of pixels in one ARGB colour onto an opaque
// surface, source-over, straight into its rows: the common end of solid
// fills (brush.cpp) and rasterised glyphs (glyph_raster.cpp, rows of
// per-pixel coverage). Runs are clipped
// to the surface; the painter tells cairo once, at the end, that the surface
// changed (Finish).
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <cwchar>

#include "gdiplus/raster/simd.h"

#if defined(GLIMMARK_SSE2)
#include <emmintrin.h>
#endif

#include "gdiplus.h"
#include "gdiplus/objects/bitmap.h"

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

// Sets pixels [first, last) to `value`. wchar_t is 32 bits here, and the C
// library's wmemset picks the widest stores the processor has (a compiled
// fill loop stays with the 16-byte stores every x86-64 runs): solid fills
// of whole surfaces take half the time.
inline void FillPixels(uint32_t* first, uint32_t* last, uint32_t value) {
  static_assert(sizeof(wchar_t) == sizeof(uint32_t));
  if (last > first) {
    std::wmemset(reinterpret_cast<wchar_t*>(first), static_cast<wchar_t>(value),
                 static_cast<size_t>(last - first));
  }
}

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

  // Whether a run [x, x + width) of full coverage fills each row it is in
  // with one opaque value, rows lying back to back in memory: then FillRows
  // may paint rows at once.
  bool FillsWholeRows(int64_t x, int64_t width) const {
    return x <= 0 && x + width >= target_.width && colorAlpha_ == 255 &&
           int64_t{target_.stride} == int64_t{target_.width} * int64_t{sizeof(uint32_t)};
  }
  // Rows [top, bottom) (inside the surface) wholly in the colour; only when
  // FillsWholeRows holds.
  void FillRows(int64_t top, int64_t bottom) {
    uint32_t* first = target_.Row(INT(top));
    FillPixels(first, first + (bottom - top) * target_.width, solid_);
    painted_ = true;
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
      FillPixels(pixels + x0, pixels + x1, solid_);
    } else {
      for (int64_t x = x0; x < x1; ++x) pixels[x] = BlendPixel(pixels[x], color_, alpha);
    }
    painted_ = true;
  }

  // Paints pixels [x, x + count) of a row already looked up, each at its own
  // coverage[i] (0..255), clipped to the surface: runs of no coverage are
  // skipped, runs of full coverage filled, the rest blended. The result is
  // exactly PaintInRow's, pixel by pixel.
  void PaintCoverage(uint32_t* pixels, int64_t x, const uint8_t* coverage, int count) {
    const int64_t end = std::min<int64_t>(count, target_.width - x);
    int64_t i = std::max<int64_t>(0, -x);
#if defined(GLIMMARK_SSE2)
    // Four pixels at a time: skipped when none is covered, filled when all
    // are (in an opaque colour), blended together otherwise. The colour is
    // held in locals: the pixels are 32-bit words like the members, so
    // every store to them would make the compiler read the members again.
    const FourBlend blend(color_, colorAlpha_);
    const uint32_t solid = solid_;
    const bool opaque = colorAlpha_ == 255;
    bool painted = false;
    for (; i + 4 <= end; i += 4) {
      uint32_t four;
      std::memcpy(&four, coverage + i, sizeof four);
      if (four == 0) continue;
      painted = true;
      if (four == 0xFFFFFFFFu && opaque) {
        std::fill(pixels + x + i, pixels + x + i + 4, solid);
      } else {
        blend.Apply(pixels + x + i, coverage + i);
      }
    }
    painted_ = painted_ || painted;
#endif
    for (; i < end; ++i) PaintInRow(pixels, x + i, x + i + 1, coverage[i]);
  }

  const SurfacePixels& Target() const { return target_; }

  // Tells cairo that the surface changed, when anything was painted; call
  // once, after the last Paint. (cairo keeps no finer record than "changed"
  // for image surfaces, so the whole surface is named.)
  void Finish() const {
    if (painted_) target_.MarkDirty(0, 0, target_.width, target_.height);
  }

 private:
#if defined(GLIMMARK_SSE2)
  // (x + 128 + ((x + 128) >> 8)) >> 8 in each 16-bit lane: DivideBy255's
  // rounding, exact for lanes up to 255 * 255.
  static __m128i DivideLanesBy255(__m128i x) {
    const __m128i rounded = _mm_add_epi16(x, _mm_set1_epi16(0x80));
    return _mm_srli_epi16(_mm_add_epi16(rounded, _mm_srli_epi16(rounded, 8)), 8);
  }

  // BlendPixel on four pixels at a time, each at its own coverage, with the
  // colour's lanes made once for all the groups of a row; pixels whose
  // coverage comes to no alpha are left as they were, as PaintInRow leaves
  // them.
  class FourBlend {
   public:
    FourBlend(uint32_t color, uint32_t colorAlpha)
        : color_(_mm_unpacklo_epi8(_mm_set1_epi32(int32_t(color)), _mm_setzero_si128())),
          colorAlpha_(_mm_set1_epi16(int16_t(colorAlpha))),
          translucent_(colorAlpha != 255) {}

    void Apply(uint32_t* pixels, const uint8_t* coverage) const {
      const __m128i zero = _mm_setzero_si128();
      int32_t fourCoverages;
      std::memcpy(&fourCoverages, coverage, sizeof fourCoverages);
      __m128i alpha = _mm_unpacklo_epi8(_mm_cvtsi32_si128(fourCoverages), zero);  // lanes 0-3
      if (translucent_) alpha = DivideLanesBy255(_mm_mullo_epi16(alpha, colorAlpha_));
      const __m128i alphaPairs = _mm_unpacklo_epi16(alpha, alpha);  // a0 a0 a1 a1 a2 a2 a3 a3
      const __m128i alpha01 = _mm_unpacklo_epi32(alphaPairs, alphaPairs);  // a0 x4, a1 x4
      const __m128i alpha23 = _mm_unpackhi_epi32(alphaPairs, alphaPairs);  // a2 x4, a3 x4
      const __m128i full = _mm_set1_epi16(255);
      const __m128i destination = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pixels));
      auto blendTwo = [&](__m128i behind, __m128i a) {
        return DivideLanesBy255(_mm_add_epi16(_mm_mullo_epi16(color_, a),
                                              _mm_mullo_epi16(behind, _mm_sub_epi16(full, a))));
      };
      const __m128i blended =
          _mm_or_si128(_mm_packus_epi16(blendTwo(_mm_unpacklo_epi8(destination, zero), alpha01),
                                        blendTwo(_mm_unpackhi_epi8(destination, zero), alpha23)),
                       _mm_set1_epi32(int32_t(0xFF000000u)));
      const __m128i untouched = _mm_cmpeq_epi32(_mm_unpacklo_epi16(alpha, zero), zero);
      const __m128i result =
          _mm_or_si128(_mm_and_si128(untouched, destination), _mm_andnot_si128(untouched, blended));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(pixels), result);
    }

   private:
    const __m128i color_;       // blue, green, red, alpha as 16-bit lanes, twice
    const __m128i colorAlpha_;  // the colour's alpha in every 16-bit lane
    const bool translucent_;    // coverage is scaled by the colour's alpha
  };
#endif

  const SurfacePixels& target_;
  const ARGB color_;
  const uint32_t colorAlpha_;
  const uint32_t solid_;
  bool painted_ = false;
};

}  // namespace Gdiplus::Internal

// Stretching one rectangle of opaque pixels onto another: a separable filter
// in 16-bit fixed point, rows first into a buffer of filtered rows, then
// columns. The bicubic kernel (Keys, a = -0.5) widens by the shrink factor
// when shrinking, so small targets average their sources instead of skipping
// them. Taps are clamped to the source rectangle, so its edges repeat instead
// of fading to black or to neighbouring pixels outside it. image_drawing.cpp
// uses it for GdipDrawImageRectRectI.
#pragma once

#include "gdiplus.h"
#include "gdiplus/objects/bitmap.h"

namespace Gdiplus::Internal {

enum class ResampleFilter {
  Bicubic,  // Keys cubic, widened when shrinking
  Nearest,  // the source pixel under each target pixel's centre
};

// Draws `from` (inside `source`, positive size) stretched onto `to` (positive
// size, may stick out of `target`, which clips it). `source` and `target`
// may be the same surface. Returns false when memory for the filter runs out
// (nothing drawn). Cost: a weight table per axis unless one made for the same
// sizes is still kept, then about (source rows × target width + target
// pixels) × taps / 2 multiply-adds, taps being 4 when enlarging and 4 × the
// factor when shrinking, done 8 to 16 channels at a time. Scratch memory and
// weight tables are kept per thread between calls.
bool Resample(const SurfacePixels& source, const Rect& from, const SurfacePixels& target,
              const Rect& to, ResampleFilter filter) noexcept;

// Weights are fractions of 1 << kResampleWeightBits; each target pixel's
// weights add up to exactly that, so a uniform area stays exactly uniform.
constexpr int kResampleWeightBits = 14;

}  // namespace Gdiplus::Internal

// Stretching one rectangle of opaque pixels onto another: a separable filter,
// rows first into a float buffer, then columns. The bicubic kernel (Keys,
// a = -0.5) widens by the shrink factor when shrinking, so small targets
// average their sources instead of skipping them. Taps are clamped to the
// source rectangle, so its edges repeat instead of fading to black or to
// neighbouring pixels outside it. image_drawing.cpp uses it for
// GdipDrawImageRectRectI.
#pragma once

#include "gdiplus.h"
#include "gdiplus/bitmap.h"

namespace Gdiplus::Internal {

enum class ResampleFilter {
  Bicubic,  // Keys cubic, widened when shrinking
  Nearest,  // the source pixel under each target pixel's centre
};

// Draws `from` (inside `source`, positive size) stretched onto `to` (positive
// size, may stick out of `target`, which clips it). `source` and `target`
// may be the same surface. Returns false when memory for the filter runs out
// or its intermediate image would pass 16 Mi pixels (nothing drawn then).
// Cost: about (source rows × target width + target pixels) × taps, taps being
// 4 when enlarging and 4 × the factor when shrinking.
bool Resample(const SurfacePixels& source, const Rect& from, const SurfacePixels& target,
              const Rect& to, ResampleFilter filter) noexcept;

}  // namespace Gdiplus::Internal

// Shared by the resampler tests: one stretch drawn onto a fresh grey target
// and read back whole, so runs can be compared pixel for pixel.
#pragma once

#include <vector>

#include "platform/gdiplus/gdiplus_test_support.h"

namespace gdiplus_test {

// Every pixel (row by row) of a targetWidth × targetHeight grey bitmap after
// `from` of `source` is stretched onto `to` of it in `mode`.
inline std::vector<Rgb> StretchedPixels(Canvas& source, Rect from, INT targetWidth,
                                        INT targetHeight, Rect to, InterpolationMode mode) {
  Canvas target(targetWidth, targetHeight);
  target.FillAll(0xFF808080);
  EXPECT_EQ(Stretch(target, source, to, from, mode), Ok);
  const Pixels pixels(target.bitmap());
  std::vector<Rgb> all;
  for (INT y = 0; y < pixels.height(); ++y) {
    for (INT x = 0; x < pixels.width(); ++x) all.push_back(pixels.At(x, y));
  }
  return all;
}

}  // namespace gdiplus_test

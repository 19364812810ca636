// Shared pieces of the graphics-layer tests: a fixture that starts the
// library, RAII holders for handles, and pixel read-back through
// GdipBitmapLockBits (so every pixel check also exercises locking).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "gdiplus.h"

namespace gdiplus_test {

using namespace Gdiplus;
using namespace Gdiplus::DllExports;

class GdiplusTest : public ::testing::Test {
 protected:
  void SetUp() override {
    GdiplusStartupInput input;
    ASSERT_EQ(GdiplusStartup(&token_, &input, nullptr), Ok);
  }
  void TearDown() override { GdiplusShutdown(token_); }
  ULONG_PTR token_ = 0;
};

struct Rgb {
  BYTE r, g, b;
  bool operator==(const Rgb& other) const { return r == other.r && g == other.g && b == other.b; }
};

inline Rgb RgbOf(ARGB color) { return {BYTE(color >> 16), BYTE(color >> 8), BYTE(color)}; }

// A bitmap with its drawing context; both released at scope end.
class Canvas {
 public:
  Canvas(INT width, INT height) {
    EXPECT_EQ(GdipCreateBitmapFromScan0(width, height, 0, PixelFormat24bppRGB, nullptr, &bitmap_),
              Ok);
    EXPECT_EQ(GdipGetImageGraphicsContext(bitmap_, &graphics_), Ok);
  }
  ~Canvas() {
    GdipDeleteGraphics(graphics_);
    GdipDisposeImage(bitmap_);
  }
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;

  GpBitmap* bitmap() const { return bitmap_; }
  GpGraphics* graphics() const { return graphics_; }

  void Fill(ARGB color, INT x, INT y, INT width, INT height) {
    GpSolidFill* brush = nullptr;
    ASSERT_EQ(GdipCreateSolidFill(color, &brush), Ok);
    EXPECT_EQ(GdipFillRectangleI(graphics_, brush, x, y, width, height), Ok);
    GdipDeleteBrush(brush);
  }
  void FillAll(ARGB color) { Fill(color, 0, 0, Width(), Height()); }

  INT Width() const {
    UINT w = 0;
    GdipGetImageWidth(bitmap_, &w);
    return INT(w);
  }
  INT Height() const {
    UINT h = 0;
    GdipGetImageHeight(bitmap_, &h);
    return INT(h);
  }

 private:
  GpBitmap* bitmap_ = nullptr;
  GpGraphics* graphics_ = nullptr;
};

// All pixels of a bitmap, read through a 24-bit read lock.
class Pixels {
 public:
  explicit Pixels(GpBitmap* bitmap) {
    BitmapData data{};
    EXPECT_EQ(GdipBitmapLockBits(bitmap, nullptr, ImageLockModeRead, PixelFormat24bppRGB, &data),
              Ok);
    width_ = INT(data.Width);
    height_ = INT(data.Height);
    rgb_.resize(size_t(width_) * height_);
    for (INT y = 0; y < height_; ++y) {
      const BYTE* row = static_cast<const BYTE*>(data.Scan0) + ptrdiff_t{y} * data.Stride;
      for (INT x = 0; x < width_; ++x) {
        rgb_[size_t(y) * width_ + x] = {row[3 * x + 2], row[3 * x + 1], row[3 * x]};
      }
    }
    EXPECT_EQ(GdipBitmapUnlockBits(bitmap, &data), Ok);
  }
  Rgb At(INT x, INT y) const { return rgb_[size_t(y) * width_ + x]; }
  INT width() const { return width_; }
  INT height() const { return height_; }

  // Pixels differing from `background`.
  int CountInk(Rgb background) const {
    int n = 0;
    for (const Rgb& p : rgb_) n += p == background ? 0 : 1;
    return n;
  }

  // Tight box of pixels differing from `background`; empty when none.
  struct Box {
    INT left = 0, top = 0, right = -1, bottom = -1;  // inclusive
    bool empty() const { return right < left; }
  };
  Box InkBox(Rgb background) const {
    Box box{width_, height_, -1, -1};
    for (INT y = 0; y < height_; ++y) {
      for (INT x = 0; x < width_; ++x) {
        if (At(x, y) == background) continue;
        box.left = std::min(box.left, x);
        box.top = std::min(box.top, y);
        box.right = std::max(box.right, x);
        box.bottom = std::max(box.bottom, y);
      }
    }
    if (box.right < 0) box = Box();
    return box;
  }

 private:
  INT width_ = 0, height_ = 0;
  std::vector<Rgb> rgb_;
};

// Writes a pixel pattern through a write lock: each pixel from `colour(x, y)`.
template <typename ColourAt>
void Paint(Canvas& canvas, ColourAt colour) {
  BitmapData data{};
  ASSERT_EQ(
      GdipBitmapLockBits(canvas.bitmap(), nullptr, ImageLockModeWrite, PixelFormat24bppRGB, &data),
      Ok);
  for (INT y = 0; y < INT(data.Height); ++y) {
    BYTE* row = static_cast<BYTE*>(data.Scan0) + y * data.Stride;
    for (INT x = 0; x < INT(data.Width); ++x) {
      const Rgb c = colour(x, y);
      row[3 * x] = c.b, row[3 * x + 1] = c.g, row[3 * x + 2] = c.r;
    }
  }
  ASSERT_EQ(GdipBitmapUnlockBits(canvas.bitmap(), &data), Ok);
}

// Draws `from` of `source` stretched onto `to` of `target` in `mode`.
inline GpStatus Stretch(Canvas& target, Canvas& source, Rect to, Rect from,
                        InterpolationMode mode = InterpolationModeHighQualityBicubic) {
  GdipSetInterpolationMode(target.graphics(), mode);
  return GdipDrawImageRectRectI(target.graphics(), source.bitmap(), to.X, to.Y, to.Width, to.Height,
                                from.X, from.Y, from.Width, from.Height, UnitPixel, nullptr,
                                nullptr, nullptr);
}

const Rgb kWhite{255, 255, 255};
constexpr ARGB kOpaqueWhite = 0xFFFFFFFF;
constexpr ARGB kOpaqueBlack = 0xFF000000;

}  // namespace gdiplus_test

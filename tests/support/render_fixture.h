// Helpers for tests that render: a settings record with the defaults, the
// graphics library started for the test's duration, and pixel access.
#pragma once

// The graphics headers need the OLE types declared first.
// clang-format off
#include <windows.h>
#include <ole2.h>
#include <gdiplus.h>
// clang-format on
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "render/font_selection.h"
#include "render/graphics_wrappers.h"
#include "state/challenge_settings.h"

struct Pixel {
  BYTE red, green, blue;
  bool operator==(const Pixel&) const = default;
};

class RenderFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  void SetText(const std::u16string& text) { CopyBoundedText(settings_.text, text.c_str()); }
  // Fills an image with one opaque colour.
  static void Fill(GraphicsImage& image, Gdiplus::ARGB color);
  // All pixels of an image, row by row, read with one lock.
  struct Pixels {
    INT width = 0, height = 0;
    std::vector<Pixel> pixels;
    Pixel At(INT x, INT y) const { return pixels[static_cast<size_t>(y) * width + x]; }
  };
  static Pixels ReadPixels(GraphicsImage& image);
  // Reads pixel (x, y) of an image.
  static Pixel PixelAt(GraphicsImage& image, INT x, INT y);
  static Pixel FromArgb(Gdiplus::ARGB color);

  ChallengeSettings settings_{};
  ULONG_PTR token_ = 0;
};

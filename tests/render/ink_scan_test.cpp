// The four ink-box scans against a plain model on hand-made pixel rows: every
// width from one pixel to several blocks (blocks, the overlapping last block
// and single pixels all take part), ink differing from the background in one
// channel only, and the rows' last byte at the end of the memory so a read
// past a row would be caught by the address sanitizer.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "render/glyph_cell.h"
#include "state/challenge_settings.h"

namespace {

struct InkPixel {
  INT x, y;
};

// A pixel block of one background colour with some ink pixels: 24-bit rows,
// or 32-bit ones whose fourth bytes hold noise the scans must not read as ink.
class PixelRows {
 public:
  PixelRows(INT width, INT height, const BYTE (&background)[3], int bytesPerPixel = 3)
      : bytesPerPixel_(bytesPerPixel),
        stride_((width * bytesPerPixel + 3) & ~3),
        bytes_(size_t(stride_) * (height - 1) + size_t(width) * bytesPerPixel) {
    for (INT y = 0; y < height; ++y) {
      for (INT x = 0; x < width; ++x) {
        std::copy(background, background + 3, At(x, y));
        if (bytesPerPixel == 4) At(x, y)[3] = BYTE(37 * x + 11 * y);
      }
    }
    data_.Width = UINT(width);
    data_.Height = UINT(height);
    data_.Stride = stride_;
    data_.PixelFormat = bytesPerPixel == 4 ? PixelFormat32bppRGB : PixelFormat24bppRGB;
    data_.Scan0 = bytes_.data();
  }
  BYTE* At(INT x, INT y) { return &bytes_[size_t(y) * stride_ + size_t(x) * bytesPerPixel_]; }
  const Gdiplus::BitmapData* Data() const { return &data_; }

 private:
  int bytesPerPixel_;
  INT stride_;
  std::vector<BYTE> bytes_;
  Gdiplus::BitmapData data_{};
};

struct Edges {
  INT top = 0, bottom = 0, left = 0, right = 0;
  bool operator==(const Edges&) const = default;
};

// What the scans must return: each edge of the ink's box, 0 without ink.
Edges ModelEdges(const std::vector<InkPixel>& ink) {
  if (ink.empty()) return {};
  Edges edges{ink[0].y, ink[0].y, ink[0].x, ink[0].x};
  for (const InkPixel& p : ink) {
    edges.top = std::min(edges.top, p.y);
    edges.bottom = std::max(edges.bottom, p.y);
    edges.left = std::min(edges.left, p.x);
    edges.right = std::max(edges.right, p.x);
  }
  return edges;
}

Edges ScannedEdges(const ChallengeSettings& settings, const Gdiplus::BitmapData* data) {
  return {FindInkTop(&settings, data), FindInkBottom(&settings, data), FindInkLeft(&settings, data),
          FindInkRight(&settings, data)};
}

TEST(InkScanTest, EdgesMatchTheModelForEveryWidthChannelAndPixelSize) {
  std::mt19937 random(11);
  ChallengeSettings settings{};
  for (const int bytesPerPixel : {3, 4})
    for (INT width = 1; width <= 53; ++width) {
      for (INT height : {1, 2, 5}) {
        for (int trial = 0; trial < 12; ++trial) {
          const DWORD argb = 0xFF000000u | (random() & 0xFFFFFFu);
          SetBackgroundColor(&settings, argb);
          const BYTE background[3] = {settings.backgroundBlue, settings.backgroundGreen,
                                      settings.backgroundRed};
          PixelRows rows(width, height, background, bytesPerPixel);
          std::vector<InkPixel> ink;
          const int inkCount = int(random() % 4);  // none at all is a case too
          for (int i = 0; i < inkCount; ++i) {
            const InkPixel p{INT(random() % width), INT(random() % height)};
            rows.At(p.x, p.y)[random() % 3] ^= BYTE(1 + random() % 255);  // one channel differs
            ink.push_back(p);
          }
          ASSERT_EQ(ScannedEdges(settings, rows.Data()), ModelEdges(ink))
              << width << "x" << height << " trial " << trial << ", " << bytesPerPixel * 8
              << "-bit";
        }
      }
    }
}

TEST(InkScanTest, InkAtTheOriginAndNoInkBothGiveZero) {
  ChallengeSettings settings{};
  SetBackgroundColor(&settings, 0xFFFFFFFF);
  const BYTE white[3] = {255, 255, 255};
  PixelRows blank(40, 3, white);
  EXPECT_EQ(ScannedEdges(settings, blank.Data()), Edges{});
  PixelRows corner(40, 3, white);
  corner.At(0, 0)[1] = 0;
  EXPECT_EQ(ScannedEdges(settings, corner.Data()), Edges{});
  // The alpha byte has no copy: a background with alpha below 255 compares
  // its colour bytes only.
  SetBackgroundColor(&settings, 0x10FFFFFF);
  EXPECT_EQ(ScannedEdges(settings, blank.Data()), Edges{});
}

}  // namespace

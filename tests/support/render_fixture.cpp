#include "render_fixture.h"

#include <vector>

void RenderFixture::SetUp() {
  const Gdiplus::GdiplusStartupInput input;
  ASSERT_EQ(Gdiplus::GdiplusStartup(&token_, &input, nullptr), Gdiplus::Ok);
  InitializeChallengeSettings(&settings_);
}

void RenderFixture::TearDown() {
  ReleaseFont(&settings_);
  Gdiplus::GdiplusShutdown(token_);
}

void RenderFixture::Fill(GraphicsImage& image, Gdiplus::ARGB color) {
  GraphicsContext context(image);
  GraphicsBrush brush(color);
  context.FillRectangle(brush, 0, 0, static_cast<INT>(image.Width()),
                        static_cast<INT>(image.Height()));
}

RenderFixture::Pixels RenderFixture::ReadPixels(GraphicsImage& image) {
  Pixels result;
  Gdiplus::BitmapData data{};
  if (image.LockForReading(&data) != Gdiplus::Ok) return result;
  result.width = static_cast<INT>(data.Width);
  result.height = static_cast<INT>(data.Height);
  for (INT y = 0; y < result.height; ++y) {
    const BYTE* row = static_cast<const BYTE*>(data.Scan0) + y * data.Stride;
    for (INT x = 0; x < result.width; ++x) {
      result.pixels.push_back(Pixel{row[3 * x + 2], row[3 * x + 1], row[3 * x]});
    }
  }
  image.Unlock(&data);
  return result;
}

Pixel RenderFixture::PixelAt(GraphicsImage& image, INT x, INT y) {
  Gdiplus::BitmapData data{};
  EXPECT_EQ(image.LockForReading(&data), Gdiplus::Ok);
  const BYTE* p = static_cast<const BYTE*>(data.Scan0) + y * data.Stride + 3 * x;
  const Pixel pixel{p[2], p[1], p[0]};
  image.Unlock(&data);
  return pixel;
}

Pixel RenderFixture::FromArgb(Gdiplus::ARGB color) {
  return Pixel{static_cast<BYTE>(color >> 16), static_cast<BYTE>(color >> 8),
               static_cast<BYTE>(color)};
}

// What the rendering puts on the picture: glyphs that fill their cells
// between the margins, curves in the font colour, borders left out, and
// nothing at all where nothing can be drawn.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "render/glyph_cell.h"
#include "render/render_image.h"
#include "support/render_fixture.h"
#include "text/random_source.h"

namespace {

constexpr Gdiplus::ARGB kWhite = 0xFFFFFFFF;
constexpr Gdiplus::ARGB kRed = 0xFFFF0000;
constexpr Gdiplus::ARGB kBlue = 0xFF0000FF;

class RenderPictureTest : public RenderFixture {
 protected:
  void MakeFont() {
    ChooseFontFamily(&settings_);
    KeepFont(&settings_, CreateFontWithFallback(settings_.fontName,
                                                static_cast<Gdiplus::REAL>(settings_.height),
                                                Gdiplus::FontStyleRegular, Gdiplus::UnitPixel));
  }
  bool IsBackground(const Pixel& p) { return p == FromArgb(settings_.backgroundColor); }
  int InkInRow(const Pixels& image, INT y) {
    int ink = 0;
    for (INT x = 0; x < image.width; ++x) ink += !IsBackground(image.At(x, y));
    return ink;
  }
  int InkInColumn(const Pixels& image, INT x) {
    int ink = 0;
    for (INT y = 0; y < image.height; ++y) ink += !IsBackground(image.At(x, y));
    return ink;
  }
  int InkInRow(GraphicsImage& image, INT y) { return InkInRow(ReadPixels(image), y); }
  int InkInColumn(GraphicsImage& image, INT x) { return InkInColumn(ReadPixels(image), x); }
};

TEST_F(RenderPictureTest, GlyphFillsItsCellWidthBetweenTheMargins) {
  for (uint32_t seed : {1u, 2u, 3u, 4u, 5u}) {
    SeedRandomSource(seed);
    MakeFont();
    // The margins this cell will draw: the angle comes first, then top and bottom.
    const uint32_t state = RandomSourceState();
    DrawRandomValue();
    const INT top = GlyphMargin(DrawRandomValue());
    const INT bottom = GlyphMargin(DrawRandomValue());
    SeedRandomSource(state);

    GraphicsImage cellImage(40, 70);
    DrawGlyphCell(&settings_, u"W", cellImage);
    const Pixels cell = ReadPixels(cellImage);
    EXPECT_GT(InkInColumn(cell, 0), 0) << seed;
    EXPECT_GT(InkInColumn(cell, 39), 0) << seed;
    for (INT y = 0; y < top; ++y) EXPECT_EQ(InkInRow(cell, y), 0) << "row " << y;
    for (INT y = 70 - bottom; y < 70; ++y) EXPECT_EQ(InkInRow(cell, y), 0) << "row " << y;
    EXPECT_GT(InkInRow(cell, top), 0);
    EXPECT_GT(InkInRow(cell, 70 - bottom - 1), 0);
  }
}

TEST_F(RenderPictureTest, SpaceLeavesItsCellInTheBackgroundAndStillDrawsThreeValues) {
  SeedRandomSource(9);
  MakeFont();
  GraphicsImage cell(30, 70);
  Fill(cell, kBlue);
  const uint32_t before = RandomSourceState();
  DrawGlyphCell(&settings_, u" ", cell);
  SeedRandomSource(before);
  for (int i = 0; i < 3; ++i) DrawRandomValue();
  const uint32_t afterThree = RandomSourceState();
  SeedRandomSource(before);
  DrawGlyphCell(&settings_, u" ", cell);
  EXPECT_EQ(RandomSourceState(), afterThree);
  for (INT x = 0; x < 30; ++x) EXPECT_EQ(InkInColumn(cell, x), 0);
}

TEST_F(RenderPictureTest, NoFontLeavesCellsInTheBackground) {
  SeedRandomSource(9);
  ReleaseFont(&settings_);  // no font at all
  GraphicsImage cell(30, 70);
  DrawGlyphCell(&settings_, u"A", cell);
  const Pixels pixels = ReadPixels(cell);
  for (INT x = 0; x < 30; ++x) EXPECT_EQ(InkInColumn(pixels, x), 0);
}

TEST_F(RenderPictureTest, LowCellsStillShowTheGlyph) {
  settings_.height = 12;
  for (uint32_t seed = 0; seed < 20; ++seed) {
    SeedRandomSource(seed);
    MakeFont();
    GraphicsImage cell(12, 12);
    DrawGlyphCell(&settings_, u"M", cell);
    const Pixels pixels = ReadPixels(cell);
    int ink = 0;
    for (INT y = 0; y < 12; ++y) ink += InkInRow(pixels, y);
    EXPECT_GT(ink, 0) << seed;
  }
  EXPECT_EQ(GlyphTarget(10, 12, 10, 10).Height, 2);
  EXPECT_EQ(GlyphTarget(10, 12, 10, 10).Y, 5);
  EXPECT_EQ(GlyphTarget(10, 70, 10, 10).Height, 50);
  EXPECT_EQ(GlyphTarget(10, 1, 3, 0).Height, 1);
}

TEST_F(RenderPictureTest, CanvasBorderNeverReachesTheOutput) {
  // A canvas whose outer ring is red and whose inside is white, stretched over
  // outputs larger and smaller than itself: no red may show.
  GraphicsImage canvas(50, 30);
  Fill(canvas, kRed);
  {
    GraphicsContext context(canvas);
    GraphicsBrush white(kWhite);
    context.FillRectangle(white, 1, 1, 48, 28);
  }
  for (auto [width, height] : {std::pair{200, 70}, std::pair{48, 28}, std::pair{20, 10}}) {
    GraphicsImage output(width, height);
    Fill(output, kBlue);
    ScaleOntoOutput(canvas, output);
    const Pixels pixels = ReadPixels(output);
    for (INT y = 0; y < height; ++y) {
      for (INT x = 0; x < width; ++x) {
        const Pixel p = pixels.At(x, y);
        ASSERT_GE(p.green, 250) << x << "," << y << " at " << width;  // no red fringe
        ASSERT_GE(p.blue, 250) << x << "," << y << " at " << width;
      }
    }
  }
}

TEST_F(RenderPictureTest, CurvesAreDrawnInTheFontColour) {
  settings_.fontColor = kRed;
  settings_.lineCount = 3;
  settings_.lineWidth = 4;
  SetText(u"    ");  // spaces: only the curves leave ink
  GraphicsImage output(200, 70);
  SeedRandomSource(21);
  RenderImage(&settings_, output);
  const Pixels pixels = ReadPixels(output);
  int red = 0;
  for (INT y = 0; y < 70; ++y) {
    for (INT x = 0; x < 200; ++x) {
      const Pixel p = pixels.At(x, y);
      // Every pixel lies between white and red.
      ASSERT_GE(p.red, 250) << x << "," << y;
      ASSERT_LE(std::abs(p.green - p.blue), 1) << x << "," << y;
      red += p.green < 64;
    }
  }
  EXPECT_GT(red, 50);
}

TEST_F(RenderPictureTest, WithoutCurvesSpacesLeaveThePictureBlank) {
  settings_.lineCount = 0;
  SetText(u"   ");
  GraphicsImage output(200, 70);
  SeedRandomSource(21);
  RenderImage(&settings_, output);
  const Pixels pixels = ReadPixels(output);
  for (INT y = 0; y < 70; ++y) EXPECT_EQ(InkInRow(pixels, y), 0);
}

TEST_F(RenderPictureTest, NothingDrawableLeavesTheOutputAsMade) {
  for (const std::u16string& text : {std::u16string(), std::u16string(60, u'x')}) {
    SetText(text);
    settings_.width = 50;  // 60 characters do not fit 50 pixels: cells of width 0
    GraphicsImage output(50, 70);
    Fill(output, kBlue);
    SeedRandomSource(4);
    RenderImage(&settings_, output);
    for (INT y = 0; y < 70; y += 7) {
      for (INT x = 0; x < 50; x += 5) ASSERT_EQ(PixelAt(output, x, y), FromArgb(kBlue));
    }
  }
}

TEST_F(RenderPictureTest, DefaultPictureHasInkAndTheBackground) {
  GraphicsImage output(200, 70);
  SeedRandomSource(1200000);
  RenderImage(&settings_, output);
  const Pixels pixels = ReadPixels(output);
  int ink = 0;
  for (INT y = 0; y < 70; ++y) ink += InkInRow(pixels, y);
  EXPECT_GT(ink, 200 * 70 / 20);
  EXPECT_LT(ink, 200 * 70 * 3 / 4);
}

}  // namespace

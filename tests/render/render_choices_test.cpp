// The random choices of a rendering: each at its place in the draw order and
// with a value worked out by hand for a chosen seed. The random source is the
// well-known linear congruential generator (state * 214013 + 2531011, bits
// 16..30), whose values from state 1 are 41, 18467, 6334, 26500, 19169, 15724,
// 11478, 29358, 26962, 24464, 5705, 28145, 23281, 16827, 9961, 491, 2995,
// 11942, ... (the 26th is 12382, the 50th 6868, the 66th 30106). The
// expectations below are those values put through the rules by hand, so a
// changed rounding, factor or order shows as a wrong number.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "render/font_selection.h"
#include "render/glyph_cell.h"
#include "render/noise_curve.h"
#include "render/render_image.h"
#include "support/render_fixture.h"
#include "text/random_source.h"

namespace {

// Seeds that make the first value the 1st, 2nd and 4th of the sequence above.
constexpr UINT32 kFirstIs41 = 1;
constexpr UINT32 kFirstIs18467 = 2745024;
constexpr UINT32 kFirstIs26500 = 415139642;

class RenderChoicesTest : public RenderFixture {};

TEST_F(RenderChoicesTest, FamilyBoundaries) {
  EXPECT_EQ(FontFamilyIndex(0), 0);
  EXPECT_EQ(FontFamilyIndex(8191), 0);
  EXPECT_EQ(FontFamilyIndex(8192), 1);
  EXPECT_EQ(FontFamilyIndex(24575), 1);
  EXPECT_EQ(FontFamilyIndex(24576), 2);
  EXPECT_EQ(FontFamilyIndex(32767), 2);
  EXPECT_EQ(std::u16string(FontFamilyName(0)), u"Arial");
  EXPECT_EQ(std::u16string(FontFamilyName(1)), u"Times New Roman");
  EXPECT_EQ(std::u16string(FontFamilyName(2)), u"Courier New");
}

TEST_F(RenderChoicesTest, CellWidthBoundaries) {
  EXPECT_EQ(CellWidth(0, 16), 18);  // widest: w / 8 + w
  EXPECT_EQ(CellWidth(4095, 16), 18);
  EXPECT_EQ(CellWidth(4096, 16), 17);
  EXPECT_EQ(CellWidth(32767, 16), 14);  // narrowest: w / 8 + w - q
  EXPECT_EQ(CellWidth(0, 40), 45);      // five characters at width 200
  EXPECT_EQ(CellWidth(32767, 40), 35);
}

TEST_F(RenderChoicesTest, AngleAndMarginBoundaries) {
  EXPECT_EQ(GlyphAngle(0), -30.0f);
  EXPECT_EQ(GlyphAngle(16383), -0.00091552734375f);
  EXPECT_EQ(GlyphAngle(16384), 0.00091552734375f);
  EXPECT_EQ(GlyphAngle(32767), 30.0f);
  for (int r = 0; r <= 32767; ++r) ASSERT_NE(GlyphAngle(r), 0.0f) << r;
  EXPECT_EQ(GlyphMargin(3276), 0);
  EXPECT_EQ(GlyphMargin(3277), 1);
  EXPECT_EQ(GlyphMargin(32766), 9);
  EXPECT_EQ(GlyphMargin(32767), 10);
}

TEST_F(RenderChoicesTest, CurveCoordinateBoundaries) {
  EXPECT_EQ(CurveCoordinate(0, 200), 0);
  EXPECT_EQ(CurveCoordinate(16384, 200), 100);
  EXPECT_EQ(CurveCoordinate(32767, 200), 200);
  EXPECT_EQ(CurveCoordinate(0, 70), 0);
  EXPECT_EQ(CurveCoordinate(16384, 70), 35);
  EXPECT_EQ(CurveCoordinate(32767, 70), 70);
}

// The value the source gives next: after a rendering it tells how many values
// the rendering drew.
int NextValue() { return DrawRandomValue(); }

TEST_F(RenderChoicesTest, FirstValuePicksTheFamily) {
  GraphicsImage output(200, 70);
  const std::pair<UINT32, std::u16string> cases[] = {
      {kFirstIs41, u"Arial"}, {kFirstIs18467, u"Times New Roman"}, {kFirstIs26500, u"Courier New"}};
  for (const auto& [seed, family] : cases) {
    SeedRandomSource(seed);
    RenderImage(&settings_, output);
    EXPECT_EQ(std::u16string(settings_.fontName), family) << seed;
  }
}

// "AB" at 200 x 70 with one curve from state 1, step by step:
//   font 41 -> Arial;
//   cells (base 100, quarter 25, 100 / 8 = 12): 18467 * 25 / 32767 = 14.09 -> 14,
//     width 12 - 14 + 100 = 98; 6334 -> 4.83 -> 5, width 107; canvas 205 wide;
//   'A': angle 26500 / 32767 * 60 - 30 = 18.5244, margins 19169 -> 5, 15724 -> 4;
//   'B': angle 11478 -> -8.9825, margins 29358 -> 8, 26962 -> 8;
//   curve: x of 205, y of 70: 24464 -> 153, 5705 -> 12, 28145 -> 176,
//     23281 -> 49, 16827 -> 105, 9961 -> 21, 491 -> 3, 2995 -> 6.
TEST_F(RenderChoicesTest, EachStepTakesItsValuesInOrder) {
  SetText(u"AB");
  SeedRandomSource(kFirstIs41);
  ChooseFontFamily(&settings_);
  EXPECT_EQ(std::u16string(settings_.fontName), u"Arial");

  const CellWidths cells = DrawCellWidths(settings_.text, 200);
  ASSERT_EQ(cells.count, 2);
  EXPECT_EQ(cells.widths[0], 98);
  EXPECT_EQ(cells.widths[1], 107);
  EXPECT_EQ(cells.Total(), 205);

  EXPECT_NEAR(GlyphAngle(DrawRandomValue()), 18.5244f, 1e-4f);
  EXPECT_EQ(GlyphMargin(DrawRandomValue()), 5);
  EXPECT_EQ(GlyphMargin(DrawRandomValue()), 4);
  EXPECT_NEAR(GlyphAngle(DrawRandomValue()), -8.9825f, 1e-4f);
  EXPECT_EQ(GlyphMargin(DrawRandomValue()), 8);
  EXPECT_EQ(GlyphMargin(DrawRandomValue()), 8);

  const int expected[8] = {153, 12, 176, 49, 105, 21, 3, 6};
  for (int p = 0; p < 8; ++p) {
    EXPECT_EQ(CurveCoordinate(DrawRandomValue(), p % 2 == 0 ? 205 : 70), expected[p]) << p;
  }
  EXPECT_EQ(NextValue(), 11942);  // the 18th: 17 values taken
}

// Whole renderings: one value for the font, one per cell, three per glyph,
// eight per curve, and nothing else.
TEST_F(RenderChoicesTest, RenderingDrawsOneValuePerChoice) {
  GraphicsImage output(200, 70);
  SeedRandomSource(kFirstIs41);
  RenderImage(&settings_, output);  // "Captcha Test", two curves: 1 + 12 + 36 + 16
  EXPECT_EQ(NextValue(), 30106);    // the 66th

  SetText(u"AB");
  settings_.lineCount = 1;
  SeedRandomSource(kFirstIs41);
  RenderImage(&settings_, output);  // 1 + 2 + 6 + 8
  EXPECT_EQ(NextValue(), 11942);    // the 18th
}

TEST_F(RenderChoicesTest, EmptyTextStillDrawsFontAndCurveValues) {
  SetText(u"");
  settings_.lineCount = 3;
  GraphicsImage output(200, 70);
  SeedRandomSource(kFirstIs41);
  RenderImage(&settings_, output);  // 1 + 24
  EXPECT_EQ(NextValue(), 12382);    // the 26th
}

TEST_F(RenderChoicesTest, NoCurveValuesWithoutCurves) {
  GraphicsImage output(200, 70);
  for (LONG lines : {0, -3}) {
    settings_.lineCount = lines;
    SeedRandomSource(kFirstIs41);
    RenderImage(&settings_, output);        // 1 + 12 + 36
    EXPECT_EQ(NextValue(), 6868) << lines;  // the 50th
  }
}

TEST_F(RenderChoicesTest, TwoRenderingsKeepOnlyTheSecondFont) {
  GraphicsImage output(200, 70);
  SeedRandomSource(1);
  RenderImage(&settings_, output);
  const GraphicsFont* first = settings_.font;
  ASSERT_NE(first, nullptr);
  RenderImage(&settings_, output);
  EXPECT_NE(settings_.font, nullptr);
  EXPECT_NE(settings_.font->Handle(), nullptr);
}

}  // namespace

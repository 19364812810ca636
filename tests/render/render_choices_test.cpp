// The random choices of a rendering: each at its place in the draw order and
// with the value that a model written here from the rules computes.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "render/font_selection.h"
#include "render/glyph_cell.h"
#include "render/noise_curve.h"
#include "render/render_image.h"
#include "support/render_fixture.h"
#include "text/random_source.h"

namespace {

// The rendering's choices, computed from a state by the documented rules.
struct ModelChoices {
  int family = 0;
  std::vector<int> cellWidths;
  std::vector<float> angles;
  std::vector<int> topMargins, bottomMargins;
  std::vector<std::array<int, 8>> curves;
  uint32_t stateAfter = 0;
};

ModelChoices Model(uint32_t state, const std::u16string& text, int width, int height, int lines) {
  auto next = [&state] {
    state = state * 214013u + 2531011u;
    return static_cast<int>((state >> 16) & 0x7FFF);
  };
  auto exactScale = [](int r, int k) {
    return static_cast<int>((2 * int64_t{r} * k + 32767) / 65534);
  };
  ModelChoices model;
  model.family = exactScale(next(), 2);
  const int n = static_cast<int>(text.size());
  int total = 0;
  if (n > 0) {
    const int w = width / n;
    for (int i = 0; i < n; ++i) {
      model.cellWidths.push_back(w / 8 - exactScale(next(), w / 4) + w);
      total += model.cellWidths.back();
    }
  }
  for (int i = 0; i < n; ++i) {
    model.angles.push_back(static_cast<float>(next()) / 32767.0f * 60.0f - 30.0f);
    model.topMargins.push_back(next() * 10 / 32767);
    model.bottomMargins.push_back(next() * 10 / 32767);
  }
  for (int c = 0; c < lines; ++c) {
    std::array<int, 8> points{};
    for (int p = 0; p < 8; ++p) points[p] = next() * (p % 2 == 0 ? total : height) / 32767;
    model.curves.push_back(points);
  }
  model.stateAfter = state;
  return model;
}

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

TEST_F(RenderChoicesTest, DefaultRenderingDrawsSixtyFiveValues) {
  GraphicsImage output(200, 70);
  for (uint32_t seed : {0u, 1u, 1200000u, 9989001u}) {
    SeedRandomSource(seed);
    RenderImage(&settings_, output);
    const ModelChoices model = Model(seed, u"Captcha Test", 200, 70, 2);
    EXPECT_EQ(RandomSourceState(), model.stateAfter) << seed;
    EXPECT_EQ(std::u16string(settings_.fontName), std::u16string(FontFamilyName(model.family)));
    for (int width : model.cellWidths) {
      EXPECT_GE(width, 14);
      EXPECT_LE(width, 18);
    }
  }
  uint32_t state = 7;
  for (int i = 0; i < 65; ++i) state = state * 214013u + 2531011u;
  EXPECT_EQ(Model(7, u"Captcha Test", 200, 70, 2).stateAfter, state);
}

TEST_F(RenderChoicesTest, EveryChoiceMatchesTheModel) {
  struct Case {
    std::u16string text;
    int width, height, lines;
  };
  const Case cases[] = {{u"Captcha Test", 200, 70, 2},
                        {u"fpj7e", 200, 70, 3},
                        {u"A", 120, 40, 1},
                        {u"Wide text 123", 300, 90, 0}};
  for (const Case& c : cases) {
    for (uint32_t seed : {3u, 4242u, 77777u}) {
      SetText(c.text);
      settings_.width = c.width;
      settings_.height = c.height;
      settings_.lineCount = c.lines;
      const ModelChoices model = Model(seed, c.text, c.width, c.height, c.lines);

      // Whole rendering: the family it keeps and the number of values it draws.
      GraphicsImage output(c.width, c.height);
      SeedRandomSource(seed);
      RenderImage(&settings_, output);
      EXPECT_EQ(std::u16string(settings_.fontName), std::u16string(FontFamilyName(model.family)));
      EXPECT_EQ(RandomSourceState(), model.stateAfter);

      // Each step's value, replayed from the state at its place in the order.
      SeedRandomSource(seed);
      DrawRandomValue();  // the font
      const CellWidths cells = DrawCellWidths(settings_.text, c.width);
      ASSERT_EQ(cells.count, static_cast<INT>(model.cellWidths.size()));
      int total = 0;
      for (INT i = 0; i < cells.count; ++i) {
        EXPECT_EQ(cells.widths[i], model.cellWidths[i]);
        total += cells.widths[i];
      }
      EXPECT_EQ(cells.Total(), total);
      for (size_t i = 0; i < c.text.size(); ++i) {
        EXPECT_EQ(GlyphAngle(DrawRandomValue()), model.angles[i]);
        EXPECT_EQ(GlyphMargin(DrawRandomValue()), model.topMargins[i]);
        EXPECT_EQ(GlyphMargin(DrawRandomValue()), model.bottomMargins[i]);
      }
      for (const auto& points : model.curves) {
        for (int p = 0; p < 8; ++p) {
          EXPECT_EQ(CurveCoordinate(DrawRandomValue(), p % 2 == 0 ? total : c.height), points[p]);
        }
      }
    }
  }
}

TEST_F(RenderChoicesTest, EmptyTextStillDrawsFontAndCurveValues) {
  SetText(u"");
  GraphicsImage output(200, 70);
  SeedRandomSource(11);
  RenderImage(&settings_, output);
  EXPECT_EQ(RandomSourceState(), Model(11, u"", 200, 70, 2).stateAfter);  // 1 + 16 values
}

TEST_F(RenderChoicesTest, NoCurveValuesWithoutCurves) {
  GraphicsImage output(200, 70);
  for (LONG lines : {0, -3}) {
    settings_.lineCount = lines;
    SeedRandomSource(5);
    RenderImage(&settings_, output);
    EXPECT_EQ(RandomSourceState(), Model(5, u"Captcha Test", 200, 70, 0).stateAfter);
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

// Font families, fonts, measuring and drawing text.
#include <cmath>
#include <string>
#include <thread>
#include <vector>

#include "glimmark_test_seams.h"
#include "platform/gdiplus/gdiplus_test_support.h"

namespace gdiplus_test {
namespace {

using FontTest = GdiplusTest;
using TextTest = GdiplusTest;

std::u16string InstalledName(GpFontFamily* family) {
  WCHAR name[32] = {};
  EXPECT_EQ(GdipGetFamilyName(family, name, 0), Ok);
  return name;
}

// A font of `family` at `em` pixels; null (with a failed expectation) if none.
GpFont* MakeFont(const WCHAR* familyName, REAL em) {
  GpFontFamily* family = nullptr;
  EXPECT_EQ(GdipCreateFontFamilyFromName(familyName, nullptr, &family), Ok);
  GpFont* font = nullptr;
  EXPECT_EQ(GdipCreateFont(family, em, FontStyleRegular, UnitPixel, &font), Ok);
  GdipDeleteFontFamily(family);
  return font;
}

TEST_F(FontTest, WindowsFamiliesResolveToTheirMetricTwins) {
  const std::pair<const WCHAR*, std::u16string> cases[] = {
      {u"Arial", u"Liberation Sans"},
      {u"Times New Roman", u"Liberation Serif"},
      {u"Courier New", u"Liberation Mono"},
      {u"courier new", u"Liberation Mono"},
      {u"Liberation Serif", u"Liberation Serif"},
  };
  for (const auto& [requested, installed] : cases) {
    GpFontFamily* family = nullptr;
    ASSERT_EQ(GdipCreateFontFamilyFromName(requested, nullptr, &family), Ok);
    EXPECT_EQ(InstalledName(family), installed);
    EXPECT_EQ(GdipDeleteFontFamily(family), Ok);
  }
}

TEST_F(FontTest, MissingFamiliesAreNotSubstituted) {
  for (const WCHAR* name : {u"No Such Family Anywhere", u"Wingdings", u"", u"Ari\xD800l"}) {
    GpFontFamily* family = reinterpret_cast<GpFontFamily*>(0x1);
    EXPECT_EQ(GdipCreateFontFamilyFromName(name, nullptr, &family), FontFamilyNotFound);
    EXPECT_EQ(family, nullptr);
  }
  std::u16string longName(5000, u'A');
  GpFontFamily* family = nullptr;
  EXPECT_EQ(GdipCreateFontFamilyFromName(longName.c_str(), nullptr, &family), FontFamilyNotFound);
  EXPECT_EQ(GdipCreateFontFamilyFromName(nullptr, nullptr, &family), InvalidParameter);
}

TEST_F(FontTest, GenericSansSerifIsOneLastingFamily) {
  GpFontFamily* first = nullptr;
  GpFontFamily* second = nullptr;
  ASSERT_EQ(GdipGetGenericFontFamilySansSerif(&first), Ok);
  ASSERT_EQ(GdipGetGenericFontFamilySansSerif(&second), Ok);
  EXPECT_EQ(first, second);
  EXPECT_EQ(InstalledName(first), u"Liberation Sans");
  EXPECT_EQ(GdipDeleteFontFamily(first), Ok);  // does not end it
  GpFont* font = nullptr;
  ASSERT_EQ(GdipCreateFont(second, 20, FontStyleRegular, UnitPixel, &font), Ok);
  EXPECT_EQ(GdipDeleteFont(font), Ok);
}

TEST_F(FontTest, FontArgumentsAreChecked) {
  GpFontFamily* family = nullptr;
  ASSERT_EQ(GdipCreateFontFamilyFromName(u"Arial", nullptr, &family), Ok);
  GpFont* font = nullptr;
  for (REAL em : {0.0f, -5.0f, NAN, INFINITY, 1e6f}) {
    EXPECT_EQ(GdipCreateFont(family, em, FontStyleRegular, UnitPixel, &font), InvalidParameter);
  }
  EXPECT_EQ(GdipCreateFont(family, 10, FontStyleRegular, UnitDisplay, &font), InvalidParameter);
  EXPECT_EQ(GdipCreateFont(family, 10, FontStyleBold, UnitPixel, &font), NotImplemented);
  EXPECT_EQ(GdipCreateFont(nullptr, 10, FontStyleRegular, UnitPixel, &font), InvalidParameter);
  EXPECT_EQ(font, nullptr);
  ASSERT_EQ(GdipCreateFont(family, 70, FontStyleRegular, UnitPixel, &font), Ok);
  EXPECT_EQ(GdipDeleteFontFamily(family), Ok);  // the font keeps what it needs
  Canvas canvas(100, 100);
  const RectF origin;
  RectF box;
  EXPECT_EQ(
      GdipMeasureString(canvas.graphics(), u"A", 1, font, &origin, nullptr, &box, nullptr, nullptr),
      Ok);
  EXPECT_GT(box.Width, 40);
  EXPECT_EQ(GdipDeleteFont(font), Ok);
}

TEST_F(FontTest, ConcurrentLookUpsAndMeasuresAgree) {
  std::vector<std::thread> threads;
  std::vector<REAL> widths(8);
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([t, &widths] {
      Canvas canvas(10, 10);
      for (int i = 0; i < 20; ++i) {
        GpFont* font = MakeFont(t % 2 ? u"Times New Roman" : u"Courier New", 33);
        const RectF origin;
        RectF box;
        GdipMeasureString(canvas.graphics(), u"W", 1, font, &origin, nullptr, &box, nullptr,
                          nullptr);
        GdipDrawString(canvas.graphics(), u"W", 1, font, &origin, nullptr, nullptr);
        widths[t] = box.Width;
        GdipDeleteFont(font);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int t = 2; t < 8; ++t) EXPECT_EQ(widths[t], widths[t % 2]);
}

// Draws `length` units of `text` with its layout corner at `origin`.
void DrawText(Canvas& canvas, GpFont* font, const WCHAR* text, INT length, ARGB color,
              RectF origin = RectF()) {
  GpSolidFill* brush = nullptr;
  ASSERT_EQ(GdipCreateSolidFill(color, &brush), Ok);
  EXPECT_EQ(GdipDrawString(canvas.graphics(), text, length, font, &origin, nullptr, brush), Ok);
  GdipDeleteBrush(brush);
}

// Draws `text` at `origin` and checks all ink lies inside the measured box,
// its size rounded as a caller making a bitmap of it rounds.
void ExpectInkInsideMeasuredBox(GpFont* font, WCHAR character, REAL em) {
  const RectF probe;
  RectF box;
  Canvas sizing(1, 1);
  ASSERT_EQ(GdipMeasureString(sizing.graphics(), &character, 1, font, &probe, nullptr, &box,
                              nullptr, nullptr),
            Ok);
  const INT width = INT(box.Width + 0.5), height = INT(box.Height + 0.5);
  const INT margin = INT(em) / 2 + 4;
  Canvas canvas(width + 2 * margin, height + 2 * margin);
  canvas.FillAll(kOpaqueWhite);
  GdipSetTextRenderingHint(canvas.graphics(), TextRenderingHintAntiAlias);
  DrawText(canvas, font, &character, 1, kOpaqueBlack, RectF(REAL(margin), REAL(margin), 0, 0));
  const Pixels::Box ink = Pixels(canvas.bitmap()).InkBox(kWhite);
  const std::string label = std::string("char ") + char(character) + " em " + std::to_string(em);
  if (character == u' ') {
    EXPECT_TRUE(ink.empty()) << label;
    EXPECT_GT(box.Width, em / 5) << label;
    return;
  }
  ASSERT_FALSE(ink.empty()) << label;
  EXPECT_GE(ink.left, margin) << label;
  EXPECT_GE(ink.top, margin) << label;
  EXPECT_LT(ink.right, margin + width) << label;
  EXPECT_LT(ink.bottom, margin + height) << label;
}

TEST_F(TextTest, MeasuredBoxHoldsAllInkForEveryFamilyAndSize) {
  const std::u16string characters = u"AQWjgy|@_%fi0 8MLrT7";
  for (const WCHAR* family : {u"Arial", u"Times New Roman", u"Courier New"}) {
    for (REAL em : {10.0f, 13.0f, 21.5f, 40.0f, 70.0f, 117.0f, 200.0f}) {
      GpFont* font = MakeFont(family, em);
      ASSERT_NE(font, nullptr);
      for (WCHAR c : characters) ExpectInkInsideMeasuredBox(font, c, em);
      GdipDeleteFont(font);
    }
  }
}

TEST_F(TextTest, DefaultLayoutPadsASixthOfAnEmEachSide) {
  GpFont* font = MakeFont(u"Courier New", 60);  // every advance is 0.6 em
  Canvas canvas(1, 1);
  const RectF origin;
  RectF one, three;
  ASSERT_EQ(
      GdipMeasureString(canvas.graphics(), u"x", 1, font, &origin, nullptr, &one, nullptr, nullptr),
      Ok);
  ASSERT_EQ(GdipMeasureString(canvas.graphics(), u"xxx", -1, font, &origin, nullptr, &three,
                              nullptr, nullptr),
            Ok);
  EXPECT_NEAR(one.Width, 0.6 * 60 + 2 * 60 / 6.0, 0.5);
  EXPECT_NEAR(three.Width - one.Width, 2 * 0.6 * 60, 0.5);
  EXPECT_NEAR(one.Height, 60 * 1.133, 1.0);  // the font's line spacing
  GdipDeleteFont(font);
}

TEST_F(TextTest, AntialiasedTextHasGreyEdgesAndOneBitTextHasNone) {
  GpFont* font = MakeFont(u"Arial", 50);
  auto greyPixels = [font](TextRenderingHint hint) {
    Canvas canvas(80, 80);
    canvas.FillAll(kOpaqueWhite);
    GdipSetTextRenderingHint(canvas.graphics(), hint);
    DrawText(canvas, font, u"O", 1, kOpaqueBlack);
    const Pixels pixels(canvas.bitmap());
    int grey = 0, black = 0;
    for (INT y = 0; y < 80; ++y) {
      for (INT x = 0; x < 80; ++x) {
        grey += pixels.At(x, y).r != 0 && pixels.At(x, y).r != 255;
        black += pixels.At(x, y).r == 0;
      }
    }
    EXPECT_GT(black, 100);
    return grey;
  };
  EXPECT_GT(greyPixels(TextRenderingHintAntiAlias), 40);
  EXPECT_EQ(greyPixels(TextRenderingHintSingleBitPerPixel), 0);
  GdipDeleteFont(font);
}

// Turns the canvas's world by `degrees` about (centreX, centreY), where the
// point (penX, penY) of what is drawn lands.
void TurnWorld(Canvas& canvas, REAL centreX, REAL centreY, REAL degrees, REAL penX, REAL penY) {
  GpMatrix* matrix = nullptr;
  GdipCreateMatrix(&matrix);
  GdipTranslateMatrix(matrix, centreX, centreY, MatrixOrderPrepend);
  GdipRotateMatrix(matrix, degrees, MatrixOrderPrepend);
  GdipTranslateMatrix(matrix, -penX, -penY, MatrixOrderPrepend);
  GdipMultiplyWorldTransform(canvas.graphics(), matrix, MatrixOrderPrepend);
  GdipDeleteMatrix(matrix);
}

TEST_F(TextTest, DrawingFollowsTheWorldTransform) {
  GpFont* font = MakeFont(u"Arial", 60);
  auto inkBox = [font](REAL degrees) {
    Canvas canvas(120, 120);
    canvas.FillAll(kOpaqueWhite);
    TurnWorld(canvas, 60, 60, degrees, 30, 35);
    DrawText(canvas, font, u"l", 1, kOpaqueBlack);
    return Pixels(canvas.bitmap()).InkBox(kWhite);
  };
  const Pixels::Box upright = inkBox(0);
  const Pixels::Box lying = inkBox(90);
  const Pixels::Box leaning = inkBox(30);
  ASSERT_FALSE(upright.empty() || lying.empty() || leaning.empty());
  // An "l" is a tall bar: a quarter turn lays it down.
  EXPECT_GT(upright.bottom - upright.top, 3 * (upright.right - upright.left));
  EXPECT_GT(lying.right - lying.left, 3 * (lying.bottom - lying.top));
  EXPECT_NEAR(lying.right - lying.left, upright.bottom - upright.top, 2);
  // At 30 degrees clockwise the bar's top leans right: wider than upright, less tall.
  EXPECT_GT(leaning.right - leaning.left, 2 * (upright.right - upright.left));
  EXPECT_LT(leaning.bottom - leaning.top, upright.bottom - upright.top);
  GdipDeleteFont(font);
}

// Drawing from the glyph outline cache must give the very pixels FreeType's
// own per-draw load and transform gives, at any angle, position and size,
// whether the cache is cold or warm.
TEST_F(TextTest, CachedGlyphOutlinesDrawTheSamePixelsAsFreshLoads) {
  auto draw = [](GpFont* font, const WCHAR* text, REAL degrees, REAL x) {
    Canvas canvas(160, 100);
    canvas.FillAll(kOpaqueWhite);
    TurnWorld(canvas, 80, 50, degrees, x, 40.3f);
    GpSolidFill* brush = nullptr;
    GdipCreateSolidFill(0xFF2040C0, &brush);
    const RectF origin;
    EXPECT_EQ(GdipDrawString(canvas.graphics(), text, -1, font, &origin, nullptr, brush), Ok);
    GdipDeleteBrush(brush);
    return Pixels(canvas.bitmap());
  };
  auto samePixels = [](const Pixels& a, const Pixels& b) {
    for (INT y = 0; y < a.height(); ++y) {
      for (INT x = 0; x < a.width(); ++x) {
        if (!(a.At(x, y) == b.At(x, y))) return false;
      }
    }
    return true;
  };
  const struct {
    const WCHAR* family;
    REAL em;
    const WCHAR* text;
  } cases[] = {
      {u"Times New Roman", 70, u"Qg"}, {u"Arial", 37.5f, u"W 8"}, {u"Courier New", 23, u"a@"}};
  for (const auto& c : cases) {
    GpFont* font = MakeFont(c.family, c.em);
    for (REAL degrees : {0.0f, -27.3f, 12.0f, 90.0f, 181.5f}) {
      for (REAL x : {30.0f, 30.4f, 31.77f}) {
        GlimmarkTest_LoadEveryGlyph(true);
        const Pixels loaded = draw(font, c.text, degrees, x);
        GlimmarkTest_LoadEveryGlyph(false);
        const Pixels cached = draw(font, c.text, degrees, x);
        EXPECT_GT(cached.CountInk(kWhite), 20);
        EXPECT_TRUE(samePixels(loaded, cached)) << degrees << " degrees, x " << x;
      }
    }
    GdipDeleteFont(font);
  }
}

// Threads drawing with one font share its face but rasterise at once: each
// must get exactly the pixels the same drawing gets alone.
TEST_F(TextTest, ThreadsDrawingWithOneFontGetThePixelsOfOneThreadAlone) {
  constexpr int kThreads = 4;
  constexpr int kRounds = 30;
  GpFont* font = MakeFont(u"Arial", 70);
  const REAL angles[kThreads] = {-25.5f, 0.0f, 13.0f, 29.0f};
  auto draw = [font](REAL degrees) {
    Canvas canvas(110, 110);
    canvas.FillAll(kOpaqueWhite);
    GdipSetTextRenderingHint(canvas.graphics(), TextRenderingHintAntiAlias);
    TurnWorld(canvas, 55, 55, degrees, 30, 45);
    DrawText(canvas, font, u"Qg", 2, kOpaqueBlack);
    const Pixels pixels(canvas.bitmap());
    std::vector<Rgb> all;
    for (INT y = 0; y < pixels.height(); ++y) {
      for (INT x = 0; x < pixels.width(); ++x) all.push_back(pixels.At(x, y));
    }
    return all;
  };
  std::vector<std::vector<Rgb>> alone;
  for (REAL degrees : angles) alone.push_back(draw(degrees));
  int differing[kThreads] = {};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < kRounds; ++round) {
        if (draw(angles[t]) != alone[size_t(t)]) ++differing[t];
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(differing[t], 0) << angles[t] << " degrees";
  GdipDeleteFont(font);
}

TEST_F(TextTest, TranslucentBrushBlendsText) {
  GpFont* font = MakeFont(u"Arial", 70);
  Canvas canvas(80, 90);
  canvas.FillAll(kOpaqueWhite);
  DrawText(canvas, font, u"I", 1, 0x80000000);
  const Pixels pixels(canvas.bitmap());
  int darkest = 255;
  for (INT y = 0; y < 90; ++y) {
    for (INT x = 0; x < 80; ++x) darkest = std::min<int>(darkest, pixels.At(x, y).r);
  }
  EXPECT_NEAR(darkest, 127, 1);
  GdipDeleteFont(font);
}

TEST_F(TextTest, BadTextArgumentsAreRefused) {
  GpFont* font = MakeFont(u"Arial", 20);
  Canvas canvas(10, 10);
  GpSolidFill* brush = nullptr;
  GdipCreateSolidFill(kOpaqueBlack, &brush);
  const RectF origin;
  RectF box;
  int fakeFormat = 0;
  auto* format = reinterpret_cast<GpStringFormat*>(&fakeFormat);
  EXPECT_EQ(GdipMeasureString(canvas.graphics(), nullptr, 1, font, &origin, nullptr, &box, nullptr,
                              nullptr),
            InvalidParameter);
  EXPECT_EQ(GdipMeasureString(canvas.graphics(), u"a", -2, font, &origin, nullptr, &box, nullptr,
                              nullptr),
            InvalidParameter);
  EXPECT_EQ(
      GdipMeasureString(canvas.graphics(), u"a", 1, font, &origin, format, &box, nullptr, nullptr),
      InvalidParameter);
  EXPECT_EQ(GdipMeasureString(canvas.graphics(), u"a", 1, nullptr, &origin, nullptr, &box, nullptr,
                              nullptr),
            InvalidParameter);
  EXPECT_EQ(GdipDrawString(canvas.graphics(), u"a", 1, font, nullptr, nullptr, brush),
            InvalidParameter);
  EXPECT_EQ(GdipDrawString(canvas.graphics(), u"a", 1, font, &origin, nullptr,
                           reinterpret_cast<GpBrush*>(font)),
            InvalidParameter);
  INT fitted = -1, lines = -1;
  EXPECT_EQ(
      GdipMeasureString(canvas.graphics(), u"", 0, font, &origin, nullptr, &box, &fitted, &lines),
      Ok);
  EXPECT_EQ(box.Width, 0);
  EXPECT_EQ(fitted, 0);
  EXPECT_EQ(lines, 0);
  GdipDeleteBrush(brush);
  GdipDeleteFont(font);
}

}  // namespace
}  // namespace gdiplus_test

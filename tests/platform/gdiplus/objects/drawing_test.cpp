// Fills, world transforms and Bezier strokes.
#include <cmath>
#include <numeric>
#include <vector>

#include "platform/gdiplus/gdiplus_test_support.h"

namespace gdiplus_test {
namespace {

using FillTest = GdiplusTest;
using TransformTest = GdiplusTest;
using BezierTest = GdiplusTest;

// GDI+'s source-over onto an opaque pixel, per channel.
BYTE Blend(BYTE source, BYTE destination, BYTE alpha) {
  return BYTE(std::lround((source * alpha + destination * (255.0 - alpha)) / 255.0));
}

void ExpectNear(Rgb actual, Rgb expected, int tolerance) {
  EXPECT_NEAR(actual.r, expected.r, tolerance);
  EXPECT_NEAR(actual.g, expected.g, tolerance);
  EXPECT_NEAR(actual.b, expected.b, tolerance);
}

TEST_F(FillTest, TranslucentColoursBlendOntoThePixelsBeneath) {
  const Rgb base{200, 40, 90};
  for (ARGB alpha : {0u, 1u, 64u, 128u, 200u, 254u, 255u}) {
    Canvas canvas(4, 4);
    canvas.FillAll(0xFF000000 | 200 << 16 | 40 << 8 | 90);
    const ARGB color = alpha << 24 | 0x10FF30;
    canvas.Fill(color, 0, 0, 4, 4);
    const Rgb expected{Blend(0x10, base.r, BYTE(alpha)), Blend(0xFF, base.g, BYTE(alpha)),
                       Blend(0x30, base.b, BYTE(alpha))};
    ExpectNear(Pixels(canvas.bitmap()).At(2, 2), expected, 1);
  }
}

TEST_F(FillTest, RectanglesAreClippedAndEmptyOnesFillNothing) {
  Canvas canvas(10, 10);
  canvas.FillAll(kOpaqueWhite);
  canvas.Fill(kOpaqueBlack, 0, 0, 0, 5);
  canvas.Fill(kOpaqueBlack, 0, 0, 5, -5);
  canvas.Fill(kOpaqueBlack, 3, 3, -2, -2);
  EXPECT_EQ(Pixels(canvas.bitmap()).CountInk(kWhite), 0);
  canvas.Fill(kOpaqueBlack, 8, -3, 100, 5);  // sticks out right and top
  Pixels pixels(canvas.bitmap());
  EXPECT_EQ(pixels.CountInk(kWhite), 2 * 2);
  EXPECT_EQ(pixels.At(9, 1), (Rgb{0, 0, 0}));
}

// Rectangles as wide as the bitmap or wider are filled as one band of rows:
// exactly their rows, clipped at the top and the bottom.
TEST_F(FillTest, BandsOfWholeRowsFillExactlyTheirRows) {
  Canvas canvas(7, 10);
  canvas.FillAll(kOpaqueWhite);
  canvas.Fill(kOpaqueBlack, -3, 2, 20, 3);  // rows 2-4
  canvas.Fill(0xFF0000FF, 0, 8, 7, 100);    // rows 8-9, clipped below
  canvas.Fill(0xFF00FF00, -1, -5, 8, 6);    // row 0, clipped above
  Pixels pixels(canvas.bitmap());
  for (int y = 0; y < 10; ++y) {
    const Rgb expected = y == 0             ? Rgb{0, 255, 0}
                         : y >= 2 && y <= 4 ? Rgb{0, 0, 0}
                         : y >= 8           ? Rgb{0, 0, 255}
                                            : kWhite;
    for (int x = 0; x < 7; ++x) EXPECT_EQ(pixels.At(x, y), expected) << x << "," << y;
  }
}

TEST_F(FillTest, BadHandlesAreRefused) {
  Canvas canvas(4, 4);
  GpSolidFill* brush = nullptr;
  ASSERT_EQ(GdipCreateSolidFill(kOpaqueBlack, &brush), Ok);
  EXPECT_EQ(GdipFillRectangleI(nullptr, brush, 0, 0, 1, 1), InvalidParameter);
  EXPECT_EQ(GdipFillRectangleI(canvas.graphics(), nullptr, 0, 0, 1, 1), InvalidParameter);
  EXPECT_EQ(GdipFillRectangleI(canvas.graphics(), reinterpret_cast<GpBrush*>(canvas.bitmap()), 0, 0,
                               1, 1),
            InvalidParameter);
  EXPECT_EQ(GdipDeleteBrush(brush), Ok);
  EXPECT_EQ(GdipDeleteBrush(brush), InvalidParameter);
  EXPECT_EQ(GdipCreateSolidFill(0, nullptr), InvalidParameter);
}

std::vector<REAL> ElementsOf(GpMatrix* matrix) {
  std::vector<REAL> elements(6);
  EXPECT_EQ(GdipGetMatrixElements(matrix, elements.data()), Ok);
  return elements;
}

TEST_F(TransformTest, StepsComposeInTheOrderAsked) {
  GpMatrix* prepend = nullptr;
  GpMatrix* append = nullptr;
  ASSERT_EQ(GdipCreateMatrix(&prepend), Ok);
  ASSERT_EQ(GdipCreateMatrix(&append), Ok);
  EXPECT_EQ(ElementsOf(prepend), (std::vector<REAL>{1, 0, 0, 1, 0, 0}));
  // Prepend: the rotation applies to points first, then the translation.
  ASSERT_EQ(GdipTranslateMatrix(prepend, 10, 20, MatrixOrderPrepend), Ok);
  ASSERT_EQ(GdipRotateMatrix(prepend, 90, MatrixOrderPrepend), Ok);
  EXPECT_EQ(ElementsOf(prepend), (std::vector<REAL>{0, 1, -1, 0, 10, 20}));
  // Append: the translation is applied first, then the turn, which moves it.
  ASSERT_EQ(GdipTranslateMatrix(append, 10, 20, MatrixOrderAppend), Ok);
  ASSERT_EQ(GdipRotateMatrix(append, 90, MatrixOrderAppend), Ok);
  EXPECT_EQ(ElementsOf(append), (std::vector<REAL>{0, 1, -1, 0, -20, 10}));
  EXPECT_EQ(GdipRotateMatrix(append, NAN, MatrixOrderAppend), InvalidParameter);
  EXPECT_EQ(GdipDeleteMatrix(prepend), Ok);
  EXPECT_EQ(GdipDeleteMatrix(append), Ok);
}

// Turns everything drawn on `canvas` by `degrees` about (cx, cy), as a
// rotated glyph is drawn: translate, rotate, translate back, all prepended.
void TurnAbout(Canvas& canvas, REAL degrees, REAL cx, REAL cy) {
  GpMatrix* matrix = nullptr;
  ASSERT_EQ(GdipCreateMatrix(&matrix), Ok);
  ASSERT_EQ(GdipTranslateMatrix(matrix, cx, cy, MatrixOrderPrepend), Ok);
  ASSERT_EQ(GdipRotateMatrix(matrix, degrees, MatrixOrderPrepend), Ok);
  ASSERT_EQ(GdipTranslateMatrix(matrix, -cx, -cy, MatrixOrderPrepend), Ok);
  ASSERT_EQ(GdipMultiplyWorldTransform(canvas.graphics(), matrix, MatrixOrderPrepend), Ok);
  GdipDeleteMatrix(matrix);
}

TEST_F(TransformTest, ShapeTurnsClockwiseAboutThePoint) {
  Canvas canvas(100, 100);
  canvas.FillAll(kOpaqueWhite);
  TurnAbout(canvas, 90, 50, 50);
  // A square right of the centre lands below it after a clockwise quarter turn.
  canvas.Fill(kOpaqueBlack, 70, 45, 10, 10);
  const Pixels::Box box = Pixels(canvas.bitmap()).InkBox(kWhite);
  EXPECT_EQ(box.left, 45);
  EXPECT_EQ(box.right, 54);
  EXPECT_EQ(box.top, 70);
  EXPECT_EQ(box.bottom, 79);
}

TEST_F(TransformTest, SmallAngleLeansTheShape) {
  Canvas canvas(100, 100);
  canvas.FillAll(kOpaqueWhite);
  TurnAbout(canvas, 30, 50, 50);
  canvas.Fill(kOpaqueBlack, 48, 10, 4, 40);  // a bar from the centre straight up
  const Pixels pixels(canvas.bitmap());
  // Its top end (50, 10), 40 above the centre, turns to (50 + 40 sin 30, 50 - 40 cos 30).
  const Pixels::Box box = pixels.InkBox(kWhite);
  EXPECT_NEAR(box.right, 50 + 20 + 2, 2);
  EXPECT_NEAR(box.top, 50 - 34.6, 2);
  EXPECT_NE(pixels.At(69, 17), kWhite);
  EXPECT_EQ(pixels.At(50, 12), kWhite);
}

TEST_F(BezierTest, AntialiasedCurveHasGreyEdgesAndWidthGrowsInk) {
  auto drawCurve = [](REAL width, SmoothingMode mode) {
    Canvas canvas(120, 80);
    canvas.FillAll(kOpaqueWhite);
    GpPen* pen = nullptr;
    EXPECT_EQ(GdipCreatePen1(kOpaqueBlack, 1.0f, UnitWorld, &pen), Ok);
    EXPECT_EQ(GdipSetPenWidth(pen, width), Ok);
    EXPECT_EQ(GdipSetSmoothingMode(canvas.graphics(), mode), Ok);
    EXPECT_EQ(GdipDrawBezierI(canvas.graphics(), pen, 10, 70, 40, 0, 80, 80, 110, 10), Ok);
    GdipDeletePen(pen);
    const Pixels pixels(canvas.bitmap());
    int ink = 0, grey = 0;
    for (INT y = 0; y < 80; ++y) {
      for (INT x = 0; x < 120; ++x) {
        const BYTE v = pixels.At(x, y).r;
        ink += v != 255;
        grey += v != 255 && v != 0;
      }
    }
    // The curve reaches its end points, and stays within its control polygon.
    const Pixels::Box box = pixels.InkBox(kWhite);
    EXPECT_NEAR(box.left, 10, 2);
    EXPECT_NEAR(box.right, 110, 2);
    EXPECT_GE(box.top, 8);
    EXPECT_LE(box.bottom, 72);
    return std::pair<int, int>(ink, grey);
  };
  const auto [thinInk, thinGrey] = drawCurve(1, SmoothingModeAntiAlias);
  const auto [thickInk, thickGrey] = drawCurve(4, SmoothingModeAntiAlias);
  EXPECT_GT(thinGrey, thinInk / 2);
  EXPECT_GT(thickInk, 2 * thinInk);
  const auto [hardInk, hardGrey] = drawCurve(4, SmoothingModeNone);
  EXPECT_EQ(hardGrey, 0);
  EXPECT_GT(hardInk, 0);
  // The finer antialiasing modes (more samples a pixel) cover the same
  // pixels, with grey edges too.
  for (const SmoothingMode fine : {SmoothingModeAntiAlias8x8, SmoothingModeHighQuality}) {
    const auto [fineInk, fineGrey] = drawCurve(4, fine);
    EXPECT_NEAR(fineInk, thickInk, thickInk / 10) << fine;
    EXPECT_GT(fineGrey, fineInk / 4) << fine;
  }
}

// Draws one curve in black on white with a pen `width` wide, antialiased,
// through `transform` (none: the identity) and returns the pixels' darkness.
std::vector<int> DrawDarkness(INT width, INT height, REAL penWidth, const INT (&points)[8],
                              GpMatrix* transform = nullptr) {
  Canvas canvas(width, height);
  canvas.FillAll(kOpaqueWhite);
  GpPen* pen = nullptr;
  EXPECT_EQ(GdipCreatePen1(kOpaqueBlack, penWidth, UnitWorld, &pen), Ok);
  GdipSetSmoothingMode(canvas.graphics(), SmoothingModeAntiAlias);
  if (transform != nullptr)
    GdipMultiplyWorldTransform(canvas.graphics(), transform, MatrixOrderPrepend);
  EXPECT_EQ(GdipDrawBezierI(canvas.graphics(), pen, points[0], points[1], points[2], points[3],
                            points[4], points[5], points[6], points[7]),
            Ok);
  GdipDeletePen(pen);
  const Pixels pixels(canvas.bitmap());
  std::vector<int> darkness;
  for (INT y = 0; y < height; ++y) {
    for (INT x = 0; x < width; ++x) darkness.push_back(255 - pixels.At(x, y).r);
  }
  return darkness;
}

// Darkness of the curve `c` swept without a world transform (the layer's own
// raster) and stroked by cairo (a translation sends the same curve there).
struct SweptAndStroked {
  std::vector<int> swept, stroked;
  long SweptInk() const { return std::accumulate(swept.begin(), swept.end(), 0L); }
  long StrokedInk() const { return std::accumulate(stroked.begin(), stroked.end(), 0L); }
  // Pixels that one leaves untouched and the other paints more than half dark.
  int SolidMismatches() const {
    int count = 0;
    for (size_t i = 0; i < swept.size(); ++i) {
      count += (swept[i] == 0 && stroked[i] > 128) || (stroked[i] == 0 && swept[i] > 128);
    }
    return count;
  }
};

SweptAndStroked DrawBothWays(const INT (&c)[8], REAL penWidth) {
  GpMatrix* shift = nullptr;
  EXPECT_EQ(GdipCreateMatrix(&shift), Ok);
  EXPECT_EQ(GdipTranslateMatrix(shift, 3, 2, MatrixOrderPrepend), Ok);
  const INT moved[8] = {c[0] - 3, c[1] - 2, c[2] - 3, c[3] - 2,
                        c[4] - 3, c[5] - 2, c[6] - 3, c[7] - 2};
  SweptAndStroked both{DrawDarkness(130, 80, penWidth, c),
                       DrawDarkness(130, 80, penWidth, moved, shift)};
  GdipDeleteMatrix(shift);
  return both;
}

// The two must agree: the same pixels inked, the same amount of ink.
TEST_F(BezierTest, SweptCurvesMatchCairosStrokes) {
  const INT curves[][8] = {{10, 70, 40, 0, 80, 80, 110, 10},
                           {5, 5, 150, 60, -40, 60, 110, 5},  // a loop
                           {0, 0, 130, 0, 0, 80, 130, 80}};
  for (const auto& c : curves) {
    for (REAL penWidth : {1.0f, 4.0f, 9.5f}) {
      const SweptAndStroked both = DrawBothWays(c, penWidth);
      EXPECT_NEAR(double(both.SweptInk()), double(both.StrokedInk()), 0.04 * both.StrokedInk())
          << c[0] << "," << c[1] << " width " << penWidth;
      EXPECT_EQ(both.SolidMismatches(), 0) << c[0] << "," << c[1] << " width " << penWidth;
    }
  }
}

// A curve running back over itself covers its partly covered pixels twice,
// and the sweep adds the two (up to full) where cairo takes their union: a
// little more ink, never less, and the same pixels but for the turn's tip.
TEST_F(BezierTest, CurvesRunningBackOverThemselvesAreNeverLighter) {
  const INT curves[][8] = {{20, 40, 120, 40, 0, 40, 100, 40}, {60, 10, 61, 70, 59, 70, 60, 10}};
  for (const auto& c : curves) {
    for (REAL penWidth : {1.0f, 4.0f, 9.5f}) {
      const SweptAndStroked both = DrawBothWays(c, penWidth);
      EXPECT_GE(both.SweptInk(), both.StrokedInk() * 98 / 100) << c[0] << " width " << penWidth;
      EXPECT_LE(both.SweptInk(), both.StrokedInk() * 16 / 10) << c[0] << " width " << penWidth;
      EXPECT_LE(both.SolidMismatches(), 16) << c[0] << " width " << penWidth;
    }
  }
}

// A straight curve on whole pixels covers exactly its rows and columns: the
// ends are cut flat at the end points, the sides run half the width off.
TEST_F(BezierTest, StraightCurveCoversExactlyItsPixels) {
  const INT straight[8] = {10, 20, 20, 20, 35, 20, 50, 20};
  const std::vector<int> darkness = DrawDarkness(60, 40, 4.0f, straight);
  for (INT y = 0; y < 40; ++y) {
    for (INT x = 0; x < 60; ++x) {
      const bool inside = x >= 10 && x < 50 && y >= 18 && y < 22;
      ASSERT_EQ(darkness[size_t(y) * 60 + x], inside ? 255 : 0) << x << "," << y;
    }
  }
}

// Overlapping pieces of a stroke add up to full coverage, never cancel: a
// tight loop and a cusp leave no hole along the curve.
TEST_F(BezierTest, LoopsAndCuspsLeaveNoHoles) {
  const INT shapes[][8] = {{10, 50, 90, 0, 10, 0, 90, 50},  // a loop
                           {10, 40, 90, 0, 10, 0, 90, 40},
                           {20, 60, 80, 0, 20, 0, 80, 60}};  // cusp-like
  for (const auto& c : shapes) {
    const std::vector<int> darkness = DrawDarkness(100, 70, 4.0f, c);
    for (int step = 1; step < 100; ++step) {
      const double t = step / 100.0, u = 1 - t;
      const double x =
          u * u * u * c[0] + 3 * u * u * t * c[2] + 3 * u * t * t * c[4] + t * t * t * c[6];
      const double y =
          u * u * u * c[1] + 3 * u * u * t * c[3] + 3 * u * t * t * c[5] + t * t * t * c[7];
      ASSERT_EQ(darkness[size_t(y) * 100 + size_t(x)], 255) << "t " << t;
    }
  }
}

TEST_F(BezierTest, SweptCurvesReachingFarOutsideStayInBounds) {
  const INT wild[8] = {INT32_MIN, INT32_MAX, 0, 0, INT32_MAX, INT32_MIN, 5, 5};
  const std::vector<int> darkness = DrawDarkness(30, 30, 4.0f, wild);
  EXPECT_EQ(darkness.size(), 900u);  // drawn without reading or writing outside
  const INT across[8] = {-50, 15, 0, 15, 30, 15, 80, 15};  // crosses the surface
  const std::vector<int> line = DrawDarkness(30, 30, 2.0f, across);
  for (INT x = 0; x < 30; ++x) EXPECT_EQ(line[size_t(14) * 30 + x], 255) << x;
}

// A width of 0 or below draws the thinnest line, one device pixel wide.
TEST_F(BezierTest, ZeroAndNegativeWidthsDrawAHairline) {
  for (REAL width : {0.0f, -3.0f}) {
    Canvas canvas(60, 20);
    canvas.FillAll(kOpaqueWhite);
    GpPen* pen = nullptr;
    ASSERT_EQ(GdipCreatePen1(kOpaqueBlack, 1.0f, UnitWorld, &pen), Ok);
    ASSERT_EQ(GdipSetPenWidth(pen, width), Ok);
    GdipSetSmoothingMode(canvas.graphics(), SmoothingModeAntiAlias);
    EXPECT_EQ(GdipDrawBezierI(canvas.graphics(), pen, 5, 10, 20, 10, 40, 10, 55, 10), Ok);
    GdipDeletePen(pen);
    const Pixels::Box box = Pixels(canvas.bitmap()).InkBox(kWhite);
    ASSERT_FALSE(box.empty()) << width;
    EXPECT_LE(box.bottom - box.top, 1) << width;
    EXPECT_GE(box.right - box.left, 48) << width;
  }
}

// Extreme pens and coordinates draw what they describe, or nothing, within
// the canvas: a pen a billion pixels wide along a line across the canvas
// covers all of it (it drew nothing once: cairo lost so wide a stroke); an
// infinite width is refused.
TEST_F(BezierTest, ExtremeArgumentsDrawWhatTheyDescribe) {
  Canvas canvas(30, 30);
  canvas.FillAll(kOpaqueWhite);
  GpPen* pen = nullptr;
  ASSERT_EQ(GdipCreatePen1(kOpaqueBlack, 1.0f, UnitWorld, &pen), Ok);
  EXPECT_EQ(GdipSetPenWidth(pen, INFINITY), InvalidParameter);
  ASSERT_EQ(GdipSetPenWidth(pen, 1e9f), Ok);
  EXPECT_EQ(GdipDrawBezierI(canvas.graphics(), pen, -100, 15, 0, 15, 30, 15, 130, 15), Ok);
  EXPECT_EQ(Pixels(canvas.bitmap()).CountInk(Rgb{0, 0, 0}), 0) << "every pixel lies under the pen";
  // Coordinates at the ends of the integers: the curve leaves the canvas
  // untouched or paints it with the pen's colour, nothing else.
  canvas.FillAll(kOpaqueWhite);
  EXPECT_EQ(GdipDrawBezierI(canvas.graphics(), pen, INT32_MIN, INT32_MAX, 0, 0, INT32_MAX,
                            INT32_MIN, 5, 5),
            Ok);
  const Pixels extreme(canvas.bitmap());
  EXPECT_EQ(extreme.CountInk(Rgb{0, 0, 0}) + extreme.CountInk(Rgb{255, 255, 255}), 900);
  EXPECT_EQ(GdipDrawBezierI(nullptr, pen, 0, 0, 1, 1, 2, 2, 3, 3), InvalidParameter);
  GpPen* other = nullptr;
  EXPECT_EQ(GdipCreatePen1(kOpaqueBlack, 1.0f, static_cast<Unit>(7), &other), InvalidParameter);
  EXPECT_EQ(other, nullptr);
  EXPECT_EQ(GdipDeletePen(pen), Ok);
  EXPECT_EQ(GdipDeletePen(pen), InvalidParameter);
}

}  // namespace
}  // namespace gdiplus_test

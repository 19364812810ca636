// Drawing bitmaps onto bitmaps: natural-size copies and bicubic stretching.
#include <cmath>

#include "platform/gdiplus/gdiplus_test_support.h"

namespace gdiplus_test {
namespace {

using ImageDrawingTest = GdiplusTest;

TEST_F(ImageDrawingTest, NaturalSizeCopyIsExactAndClipped) {
  Canvas source(5, 4);
  Paint(source, [](INT x, INT y) { return Rgb{BYTE(x * 40), BYTE(y * 60), 7}; });
  Canvas target(8, 6);
  target.FillAll(kOpaqueWhite);
  ASSERT_EQ(GdipDrawImageI(target.graphics(), source.bitmap(), 5, -1), Ok);
  const Pixels pixels(target.bitmap());
  for (INT y = 0; y < 6; ++y) {
    for (INT x = 0; x < 8; ++x) {
      const bool covered = x >= 5 && y <= 2;
      const Rgb expected = covered ? Rgb{BYTE((x - 5) * 40), BYTE((y + 1) * 60), 7} : kWhite;
      EXPECT_EQ(pixels.At(x, y), expected) << x << "," << y;
    }
  }
}

TEST_F(ImageDrawingTest, UniformSourceStaysUniformToTheEdges) {
  // A red square inside a green frame: only the red part is stretched, and
  // no green (nor black) may creep in at any edge, enlarging or shrinking.
  Canvas source(40, 30);
  Paint(source, [](INT x, INT y) {
    const bool inner = x >= 5 && x < 35 && y >= 5 && y < 25;
    return inner ? Rgb{220, 10, 10} : Rgb{0, 200, 0};
  });
  for (const Rect to : {Rect(0, 0, 97, 61), Rect(0, 0, 7, 5), Rect(0, 0, 30, 20)}) {
    Canvas target(to.Width, to.Height);
    target.FillAll(kOpaqueWhite);
    ASSERT_EQ(Stretch(target, source, to, Rect(5, 5, 30, 20)), Ok);
    EXPECT_EQ(Pixels(target.bitmap()).CountInk({220, 10, 10}), 0) << to.Width;
  }
}

// Bicubic filters reproduce a straight ramp; shrinking averages it.
TEST_F(ImageDrawingTest, RampsResampleToRamps) {
  Canvas source(64, 4);
  Paint(source, [](INT x, INT) { return Rgb{BYTE(x * 4), BYTE(x * 4), BYTE(x * 4)}; });
  Canvas enlarged(128, 4);
  ASSERT_EQ(Stretch(enlarged, source, Rect(0, 0, 128, 4), Rect(0, 0, 64, 4)), Ok);
  const Pixels big(enlarged.bitmap());
  for (INT x = 4; x < 124; ++x) {
    const double sourceX = (x + 0.5) / 2 - 0.5;
    EXPECT_NEAR(big.At(x, 2).r, sourceX * 4, 1.0) << x;
  }
  Canvas shrunk(8, 2);
  ASSERT_EQ(Stretch(shrunk, source, Rect(0, 0, 8, 2), Rect(0, 0, 64, 4)), Ok);
  const Pixels small(shrunk.bitmap());
  for (INT x = 1; x < 7; ++x) {
    const double mean = (8 * x + 3.5) * 4;  // mean of the 8 source columns it covers
    EXPECT_NEAR(small.At(x, 1).r, mean, 2.0) << x;
  }
}

TEST_F(ImageDrawingTest, EmptyOrNegativeRectanglesDrawNothing) {
  Canvas source(10, 10);
  source.FillAll(kOpaqueBlack);
  Canvas target(10, 10);
  target.FillAll(kOpaqueWhite);
  const Rect cases[][2] = {{Rect(0, 0, 0, 5), Rect(0, 0, 10, 10)},
                           {Rect(0, 0, 5, -5), Rect(0, 0, 10, 10)},
                           {Rect(0, 0, 5, 5), Rect(0, 0, -3, 10)},
                           {Rect(0, 0, 5, 5), Rect(2, 2, 10, 0)},
                           {Rect(0, 0, 5, 5), Rect(20, 20, 5, 5)}};
  for (const auto& [to, from] : cases) EXPECT_EQ(Stretch(target, source, to, from), Ok);
  EXPECT_EQ(Pixels(target.bitmap()).CountInk(kWhite), 0);
}

TEST_F(ImageDrawingTest, PartlyOutsideAndSelfDrawingStayInBounds) {
  Canvas canvas(20, 20);
  Paint(canvas, [](INT x, INT y) { return Rgb{BYTE(x * 10), BYTE(y * 10), 0}; });
  EXPECT_EQ(Stretch(canvas, canvas, Rect(-5, 3, 40, 40), Rect(10, 10, 30, 30)), Ok);
  EXPECT_EQ(GdipDrawImageI(canvas.graphics(), canvas.bitmap(), 3, 4), Ok);
  EXPECT_EQ(Stretch(canvas, canvas, Rect(0, 0, 1 << 25, 4), Rect(0, 0, 4, 4)), ValueOverflow);
  EXPECT_EQ(
      GdipDrawImageRectRectI(canvas.graphics(), canvas.bitmap(), 0, 0, 5, 5, 0, 0, 5, 5, UnitPixel,
                             reinterpret_cast<GpImageAttributes*>(&canvas), nullptr, nullptr),
      InvalidParameter);
  EXPECT_EQ(GdipDrawImageI(canvas.graphics(), nullptr, 0, 0), InvalidParameter);
}

TEST_F(ImageDrawingTest, NaturalSizeDrawingFollowsTheWorldTransform) {
  Canvas source(4, 4);
  source.FillAll(kOpaqueBlack);
  Canvas target(20, 20);
  target.FillAll(kOpaqueWhite);
  GpMatrix* matrix = nullptr;
  ASSERT_EQ(GdipCreateMatrix(&matrix), Ok);
  GdipTranslateMatrix(matrix, 10, 4, MatrixOrderPrepend);
  GdipRotateMatrix(matrix, 90, MatrixOrderPrepend);
  GdipMultiplyWorldTransform(target.graphics(), matrix, MatrixOrderPrepend);
  GdipDeleteMatrix(matrix);
  ASSERT_EQ(GdipDrawImageI(target.graphics(), source.bitmap(), 0, 0), Ok);
  // The square at (0..3, 0..3) turns a quarter clockwise about the origin,
  // onto x -4..-1, then moves by (10, 4).
  const Pixels::Box box = Pixels(target.bitmap()).InkBox(kWhite);
  EXPECT_EQ(box.left, 6);
  EXPECT_EQ(box.right, 9);
  EXPECT_EQ(box.top, 4);
  EXPECT_EQ(box.bottom, 7);
}

TEST_F(ImageDrawingTest, SelfCopyShiftsLikeACopyFromASnapshot) {
  Canvas canvas(6, 6);
  Paint(canvas, [](INT x, INT y) { return Rgb{BYTE(x * 30), BYTE(y * 30), 9}; });
  ASSERT_EQ(GdipDrawImageI(canvas.graphics(), canvas.bitmap(), 2, 1), Ok);
  const Pixels pixels(canvas.bitmap());
  EXPECT_EQ(pixels.At(5, 5), (Rgb{3 * 30, 4 * 30, 9}));
  EXPECT_EQ(pixels.At(2, 1), (Rgb{0, 0, 9}));
}

}  // namespace
}  // namespace gdiplus_test

// The coverage raster behind grey glyphs. Polygons are checked against a
// plainly written reference (each polygon clipped to each pixel's square and
// its area measured), curves against finely sampled polygons, and whole
// glyphs drawn through the API against FreeType's own grey rasteriser.
#include "gdiplus/raster/coverage_raster.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "glimmark_test_seams.h"
#include "platform/gdiplus/gdiplus_test_support.h"

namespace gdiplus_test {
namespace {

using Gdiplus::Internal::CoverageRaster;
using Gdiplus::Internal::CoverageRowSink;
using Gdiplus::Internal::DevicePoint;
using Polygon = std::vector<DevicePoint>;

// A window of device pixels.
struct Window {
  int64_t left, top;
  int width, height;
};

// Everything the raster reports for one window, as a dense picture; checks
// the reporting rules as it goes.
class CoverageRecorder final : public CoverageRowSink {
 public:
  explicit CoverageRecorder(Window window)
      : window_(window), coverage_(size_t(window.width) * window.height, 0) {}

  void Row(int64_t y, int64_t x, const uint8_t* coverage, int count) override {
    ++rows_;
    EXPECT_GT(y, lastRow_) << "rows come top to bottom, once each";
    lastRow_ = y;
    ASSERT_GT(count, 0);
    ASSERT_GE(y, window_.top);
    ASSERT_LT(y, window_.top + window_.height);
    ASSERT_GE(x, window_.left);
    ASSERT_LE(x + count, window_.left + window_.width);
    std::copy(coverage, coverage + count, &coverage_[Index(x, y)]);
  }

  int At(int64_t x, int64_t y) const { return coverage_[Index(x, y)]; }
  int rows() const { return rows_; }
  int64_t Total() const {
    int64_t total = 0;
    for (uint8_t c : coverage_) total += c;
    return total;
  }

 private:
  size_t Index(int64_t x, int64_t y) const {
    return size_t(y - window_.top) * window_.width + size_t(x - window_.left);
  }
  Window window_;
  std::vector<uint8_t> coverage_;
  int rows_ = 0;
  int64_t lastRow_ = std::numeric_limits<int64_t>::min();
};

CoverageRecorder Rasterise(const std::vector<Polygon>& polygons, Window window) {
  CoverageRecorder recorder(window);
  CoverageRaster& raster = Gdiplus::Internal::ThreadCoverageRaster();
  EXPECT_TRUE(raster.Begin(window.left, window.top, window.width, window.height));
  for (const Polygon& polygon : polygons) {
    raster.MoveTo(polygon[0]);
    for (size_t i = 1; i < polygon.size(); ++i) raster.LineTo(polygon[i]);
  }
  raster.Finish(recorder);
  return recorder;
}

// The reference: the polygon clipped to one half-plane at a time
// (Sutherland-Hodgman; exact for a convex clip region), then the shoelace
// formula. Signed: positive for clockwise on screen.
double SignedAreaInPixel(const Polygon& polygon, int64_t px, int64_t py) {
  const double x0 = double(px), x1 = x0 + 1, y0 = double(py), y1 = y0 + 1;
  auto leftOf = [](DevicePoint a, DevicePoint b) { return a.x < b.x; };
  auto above = [](DevicePoint a, DevicePoint b) { return a.y < b.y; };
  if (std::min_element(polygon.begin(), polygon.end(), leftOf)->x >= x1 ||
      std::max_element(polygon.begin(), polygon.end(), leftOf)->x <= x0 ||
      std::min_element(polygon.begin(), polygon.end(), above)->y >= y1 ||
      std::max_element(polygon.begin(), polygon.end(), above)->y <= y0) {
    return 0;  // quick out for pixels beside the polygon's box
  }
  Polygon shape = polygon;
  auto clip = [&shape](auto inside, auto cross) {
    Polygon out;
    for (size_t i = 0; i < shape.size(); ++i) {
      const DevicePoint a = shape[i], b = shape[(i + 1) % shape.size()];
      if (inside(a)) out.push_back(a);
      if (inside(a) != inside(b)) out.push_back(cross(a, b));
    }
    shape = out;
  };
  auto atX = [](double x) {
    return [x](DevicePoint a, DevicePoint b) {
      return DevicePoint{x, a.y + (b.y - a.y) * (x - a.x) / (b.x - a.x)};
    };
  };
  auto atY = [](double y) {
    return [y](DevicePoint a, DevicePoint b) {
      return DevicePoint{a.x + (b.x - a.x) * (y - a.y) / (b.y - a.y), y};
    };
  };
  clip([x0](DevicePoint p) { return p.x >= x0; }, atX(x0));
  clip([x1](DevicePoint p) { return p.x <= x1; }, atX(x1));
  clip([y0](DevicePoint p) { return p.y >= y0; }, atY(y0));
  clip([y1](DevicePoint p) { return p.y <= y1; }, atY(y1));
  double twiceArea = 0;
  for (size_t i = 0; i < shape.size(); ++i) {
    const DevicePoint a = shape[i], b = shape[(i + 1) % shape.size()];
    twiceArea += a.x * b.y - b.x * a.y;
  }
  return twiceArea / 2;
}

int ReferenceCoverage(const std::vector<Polygon>& polygons, int64_t x, int64_t y) {
  double area = 0;
  for (const Polygon& polygon : polygons) area += SignedAreaInPixel(polygon, x, y);
  return int(std::lround(std::min(1.0, std::fabs(area)) * 255));
}

// Largest per-pixel difference between the raster and the reference.
int WorstDifference(const std::vector<Polygon>& polygons, Window window) {
  const CoverageRecorder recorded = Rasterise(polygons, window);
  int worst = 0;
  for (int64_t y = window.top; y < window.top + window.height; ++y) {
    for (int64_t x = window.left; x < window.left + window.width; ++x) {
      worst = std::max(worst, std::abs(recorded.At(x, y) - ReferenceCoverage(polygons, x, y)));
    }
  }
  return worst;
}

// A simple polygon: points at increasing angles round a centre, at random
// distances; turning either way.
Polygon RandomStar(std::mt19937& random, DevicePoint centre, double radius) {
  std::uniform_int_distribution<int> corners(3, 12);
  std::uniform_real_distribution<double> unit(0, 1);
  std::vector<double> angles(size_t(corners(random)));
  for (double& a : angles) a = unit(random) * 2 * M_PI;
  std::sort(angles.begin(), angles.end());
  Polygon star;
  for (double a : angles) {
    const double r = radius * (0.2 + 0.8 * unit(random));
    star.push_back({centre.x + r * std::cos(a), centre.y + r * std::sin(a)});
  }
  if (unit(random) < 0.5) std::reverse(star.begin(), star.end());
  return star;
}

Polygon Square(double left, double top, double side, bool clockwise = true) {
  Polygon square{{left, top}, {left + side, top}, {left + side, top + side}, {left, top + side}};
  if (!clockwise) std::reverse(square.begin(), square.end());
  return square;
}

TEST(CoverageRasterTest, PolygonsGetTheirExactAreaInEachPixel) {
  std::mt19937 random(1234);
  const Window window{-7, 5, 40, 30};  // not at the device origin
  std::uniform_real_distribution<double> x(-20, 53), y(-10, 45), size(0.2, 30);
  for (int i = 0; i < 200; ++i) {
    const Polygon star = RandomStar(random, {x(random), y(random)}, size(random));
    ASSERT_LE(WorstDifference({star}, window), 1) << "polygon " << i;
  }
}

TEST(CoverageRasterTest, EdgesBeyondTheWindowStillCountInside) {
  const Window window{100, -50, 20, 15};
  // Corners far off on every side: the window lies wholly inside.
  const Polygon huge{{-1e6, -1e6}, {1e6, -1e6}, {0, 1e6}};
  const CoverageRecorder covered = Rasterise({huge}, window);
  EXPECT_EQ(covered.Total(), 255 * 20 * 15);
  // Thin slivers crossing the window at shallow angles from far outside.
  const Polygon slivers[] = {
      {{-500, -45.3}, {700, -40.1}, {700, -39.6}},
      {{110.5, -3000}, {111.7, 3000}, {109.2, 3000}},
      {{-1e5, -100}, {119.5, -36.25}, {1e5, -100}},
  };
  for (const Polygon& sliver : slivers) EXPECT_LE(WorstDifference({sliver}, window), 1);
  // Wholly outside: left, right, above, below.
  for (const Polygon& outside :
       {Square(50, -40, 30), Square(130, -40, 5), Square(105, -90, 20), Square(105, -34.9, 20)}) {
    EXPECT_EQ(Rasterise({outside}, window).Total(), 0);
  }
}

TEST(CoverageRasterTest, ShapesOnTheWindowsLastCellsStayInsideItsBuffer) {
  // Each on a thread of its own, whose raster's buffer is then made for
  // this window alone: a cell written past its end is caught by
  // AddressSanitizer. An upright edge on the right boundary in the last row
  // makes the raster's rightmost deposits.
  const Window window{0, 0, 6, 3};
  for (bool clockwise : {true, false}) {
    int64_t total = -1;
    std::thread([&] { total = Rasterise({Square(2, 1, 4, clockwise)}, window).Total(); }).join();
    EXPECT_EQ(total, 255 * 4 * 2) << "the square's part inside: 4 by 2 pixels";
  }
  const Polygon slanted{{6, 1}, {6, 9}, {0.5, 9}};
  int worst = -1;
  std::thread([&] { worst = WorstDifference({slanted}, window); }).join();
  EXPECT_LE(worst, 1);
}

TEST(CoverageRasterTest, OverlapSaturatesAndOppositeTurnsCutHoles) {
  const Window window{0, 0, 24, 24};
  const Polygon outer = Square(2.5, 2.5, 19), sameTurn = Square(8.25, 8.25, 6);
  const CoverageRecorder once = Rasterise({outer}, window),
                         twice = Rasterise({outer, outer}, window);
  for (int64_t y = 0; y < 24; ++y) {
    for (int64_t x = 0; x < 24; ++x) {
      ASSERT_NEAR(twice.At(x, y), std::min(255, 2 * once.At(x, y)), 1) << x << "," << y;
    }
  }
  EXPECT_EQ(once.At(2, 2), 64);  // a quarter of the corner pixel
  EXPECT_EQ(twice.At(2, 2), 128);
  EXPECT_EQ(twice.At(10, 10), 255);
  // A contour inside turning the same way adds nothing; turning the other
  // way it leaves a hole, partly covered where its edges cut pixels.
  const CoverageRecorder nested = Rasterise({outer, sameTurn}, window);
  const CoverageRecorder ring = Rasterise({outer, Square(8.25, 8.25, 6, false)}, window);
  EXPECT_EQ(nested.At(10, 10), 255);
  EXPECT_EQ(ring.At(10, 10), 0);
  EXPECT_EQ(ring.At(8, 10), 64);  // a quarter outside the hole
  EXPECT_EQ(ring.At(14, 10), 191);
  EXPECT_EQ(ring.At(7, 10), 255);
  EXPECT_NEAR(ring.Total(), once.Total() - 36 * 255, 28);  // rounding of the hole's rim
}

TEST(CoverageRasterTest, ShapesWithoutAreaReportNothing) {
  const Window window{0, 0, 16, 16};
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const std::vector<Polygon> empty[] = {
      {},
      {{{3, 3}}},
      {{{1, 1}, {9, 9}, {5, 5}}},   // collinear: encloses nothing
      {{{1, 4}, {12, 4}, {2, 4}}},  // level
      {{{nan, 2}, {8, 8}, {2, nan}}},
      {{{inf, 2}, {8, -inf}, {2, 9}}},
  };
  CoverageRaster& raster = Gdiplus::Internal::ThreadCoverageRaster();
  for (const std::vector<Polygon>& shape : empty) {
    CoverageRecorder recorder(window);
    ASSERT_TRUE(raster.Begin(0, 0, 16, 16));
    for (const Polygon& polygon : shape) {
      raster.MoveTo(polygon[0]);
      for (const DevicePoint& p : polygon) raster.LineTo(p);
    }
    raster.Finish(recorder);
    EXPECT_EQ(recorder.Total(), 0);
  }
  // No window: nothing to draw into, and the contour that follows is ignored.
  CoverageRecorder recorder(window);
  EXPECT_FALSE(raster.Begin(0, 0, 0, 16));
  EXPECT_FALSE(raster.Begin(0, 0, 16, -1));
  raster.MoveTo({1, 1});
  raster.LineTo({9, 1});
  raster.LineTo({9, 9});
  raster.Finish(recorder);
  EXPECT_EQ(recorder.rows(), 0);
}

TEST(CoverageRasterTest, UnfinishedShapeLeavesNothingBehind) {
  CoverageRaster& raster = Gdiplus::Internal::ThreadCoverageRaster();
  ASSERT_TRUE(raster.Begin(0, 0, 30, 30));
  raster.MoveTo({2.5, 2.5});
  raster.LineTo({27.5, 4.5});
  raster.LineTo({12.5, 26});
  // Dropped by the next Begin: the next shape, a smaller one, is exact.
  const Window window{3, 2, 12, 9};
  EXPECT_LE(WorstDifference({Square(4.75, 3.5, 5)}, window), 1);
  // A window too big to keep between shapes, then a small one again.
  const Window big{0, 0, 2000, 1000};
  EXPECT_EQ(Rasterise({Square(10, 10, 100)}, big).Total(), 255 * 100 * 100);
  EXPECT_LE(WorstDifference({Square(4.75, 3.5, 5)}, window), 1);
}

// A circle of radius r round (cx, cy) from quadratic or cubic arcs, drawn by
// the raster and, finely sampled, as the reference polygon.
struct Arc {
  DevicePoint start, control1, control2, end;
};

DevicePoint OnArc(const Arc& arc, bool cubic, double t) {
  const double u = 1 - t;
  if (!cubic) {
    return {u * u * arc.start.x + 2 * u * t * arc.control1.x + t * t * arc.end.x,
            u * u * arc.start.y + 2 * u * t * arc.control1.y + t * t * arc.end.y};
  }
  return {u * u * u * arc.start.x + 3 * u * u * t * arc.control1.x +
              3 * u * t * t * arc.control2.x + t * t * t * arc.end.x,
          u * u * u * arc.start.y + 3 * u * u * t * arc.control1.y +
              3 * u * t * t * arc.control2.y + t * t * t * arc.end.y};
}

std::vector<Arc> CircleArcs(double cx, double cy, double r, bool cubic) {
  // Quadratic: eight 45-degree arcs; cubic: four quarter arcs.
  const int count = cubic ? 4 : 8;
  const double step = 2 * M_PI / count;
  std::vector<Arc> arcs;
  for (int i = 0; i < count; ++i) {
    const double a0 = i * step, a1 = a0 + step;
    const DevicePoint p0{cx + r * std::cos(a0), cy + r * std::sin(a0)};
    const DevicePoint p3{cx + r * std::cos(a1), cy + r * std::sin(a1)};
    if (cubic) {
      const double k = 4.0 / 3 * std::tan(step / 4) * r;
      arcs.push_back({p0,
                      {p0.x - k * std::sin(a0), p0.y + k * std::cos(a0)},
                      {p3.x + k * std::sin(a1), p3.y - k * std::cos(a1)},
                      p3});
    } else {
      const double d = r / std::cos(step / 2);
      const DevicePoint c{cx + d * std::cos(a0 + step / 2), cy + d * std::sin(a0 + step / 2)};
      arcs.push_back({p0, c, c, p3});
    }
  }
  return arcs;
}

TEST(CoverageRasterTest, CurvesStayWithinFlatnessOfTheTrueCurve) {
  const Window window{0, 0, 64, 64};
  for (bool cubic : {false, true}) {
    for (double r : {1.7, 9.3, 30.6}) {
      const std::vector<Arc> arcs = CircleArcs(32.3, 31.8, r, cubic);
      CoverageRaster& raster = Gdiplus::Internal::ThreadCoverageRaster();
      ASSERT_TRUE(raster.Begin(0, 0, 64, 64));
      raster.MoveTo(arcs[0].start);
      Polygon sampled;
      for (const Arc& arc : arcs) {
        cubic ? raster.CubicTo(arc.control1, arc.control2, arc.end)
              : raster.ConicTo(arc.control1, arc.end);
        for (int i = 0; i < 64; ++i) sampled.push_back(OnArc(arc, cubic, i / 64.0));
      }
      CoverageRecorder recorder(window);
      raster.Finish(recorder);
      int worst = 0;
      double total = 0;
      for (int64_t y = 0; y < 64; ++y) {
        for (int64_t x = 0; x < 64; ++x) {
          // Pixels more than a pixel inside or outside need no clipping.
          const double fromCentre = std::hypot(x + 0.5 - 32.3, y + 0.5 - 31.8);
          const int expected = fromCentre < r - 1   ? 255
                               : fromCentre > r + 1 ? 0
                                                    : ReferenceCoverage({sampled}, x, y);
          worst = std::max(worst, std::abs(recorder.At(x, y) - expected));
          total += expected;
        }
      }
      const std::string label = (cubic ? "cubic r " : "quadratic r ") + std::to_string(r);
      // Between a line and its arc lies at most 2/3 of the line's length
      // (in a pixel: up to the square root of 2) times the arc's distance
      // (at most the flatness along either axis: up to root 2 times that).
      EXPECT_LE(worst, int(255 * 4.0 / 3 * CoverageRaster::kFlatness) + 2) << label;
      // The lines cut inside the arcs: about (2/3) flatness times the
      // perimeter of area lost, under 1% here.
      EXPECT_NEAR(double(recorder.Total()), total, total * 0.01 + 255) << label;
      EXPECT_NEAR(total / 255, M_PI * r * r, M_PI * r * r * 0.01) << label;  // a true circle
    }
  }
}

// Grey glyphs drawn through the API: our raster against FreeType's.
class GlyphCoverageTest : public GdiplusTest {
 protected:
  void TearDown() override {
    GlimmarkTest_UseFreeTypeGreyRaster(false);
    GdiplusTest::TearDown();
  }
};

// Coverage (0..255) of every pixel of a canvas after drawing one character
// in black on white, turned by `angle` degrees about (centreX, centreY).
struct GlyphPicture {
  INT width, height;
  std::vector<int> coverage;

  int At(INT x, INT y) const { return coverage[size_t(y) * width + x]; }
};

// A font of `familyName` at `em` pixels, released at scope end.
class TestFont {
 public:
  TestFont(const WCHAR* familyName, REAL em) {
    EXPECT_EQ(GdipCreateFontFamilyFromName(familyName, nullptr, &family_), Ok);
    EXPECT_EQ(GdipCreateFont(family_, em, FontStyleRegular, UnitPixel, &font_), Ok);
  }
  ~TestFont() {
    GdipDeleteFont(font_);
    GdipDeleteFontFamily(family_);
  }
  TestFont(const TestFont&) = delete;
  TestFont& operator=(const TestFont&) = delete;
  GpFont* get() const { return font_; }

 private:
  GpFontFamily* family_ = nullptr;
  GpFont* font_ = nullptr;
};

// Draws `character` of an `em`-pixel font antialiased in `color` on
// `canvas`, turned by `angle` degrees about (centreX, centreY).
void DrawTurnedOn(Canvas& canvas, GpFont* font, WCHAR character, REAL em, REAL angle, REAL centreX,
                  REAL centreY, ARGB color) {
  GdipSetTextRenderingHint(canvas.graphics(), TextRenderingHintAntiAlias);
  GpMatrix* matrix = nullptr;
  ASSERT_EQ(GdipCreateMatrix(&matrix), Ok);
  GdipTranslateMatrix(matrix, centreX, centreY, MatrixOrderPrepend);
  GdipRotateMatrix(matrix, angle, MatrixOrderPrepend);
  GdipTranslateMatrix(matrix, -em / 2, -em * 0.6f, MatrixOrderPrepend);
  EXPECT_EQ(GdipMultiplyWorldTransform(canvas.graphics(), matrix, MatrixOrderPrepend), Ok);
  GdipDeleteMatrix(matrix);
  GpSolidFill* brush = nullptr;
  ASSERT_EQ(GdipCreateSolidFill(color, &brush), Ok);
  const RectF origin;
  EXPECT_EQ(GdipDrawString(canvas.graphics(), &character, 1, font, &origin, nullptr, brush), Ok);
  GdipDeleteBrush(brush);
}

GlyphPicture DrawTurned(GpFont* font, WCHAR character, REAL em, REAL angle, INT width, INT height,
                        REAL centreX, REAL centreY, bool freeType) {
  GlimmarkTest_UseFreeTypeGreyRaster(freeType);
  Canvas canvas(width, height);
  canvas.FillAll(kOpaqueWhite);
  DrawTurnedOn(canvas, font, character, em, angle, centreX, centreY, kOpaqueBlack);
  GlimmarkTest_UseFreeTypeGreyRaster(false);
  const Pixels pixels(canvas.bitmap());
  GlyphPicture picture{width, height, {}};
  int notGrey = 0;
  for (INT y = 0; y < height; ++y) {
    for (INT x = 0; x < width; ++x) {
      const Rgb p = pixels.At(x, y);
      notGrey += !(p.r == p.g && p.g == p.b);
      picture.coverage.push_back(255 - p.r);
    }
  }
  EXPECT_EQ(notGrey, 0);
  return picture;
}

Pixels::Box InkBox(const GlyphPicture& picture) {
  Pixels::Box box{picture.width, picture.height, -1, -1};
  for (INT y = 0; y < picture.height; ++y) {
    for (INT x = 0; x < picture.width; ++x) {
      if (picture.At(x, y) == 0) continue;
      box = {std::min(box.left, x), std::min(box.top, y), std::max(box.right, x),
             std::max(box.bottom, y)};
    }
  }
  return box;
}

// Per-pixel tolerances against FreeType. Both measure exact areas, but
// FreeType rounds points to 1/256 pixel, so straight edges differ by a level
// or two; and it flattens some curves more coarsely than we do (by up to
// about 1/8 pixel: 26 levels seen where a large 'O' crosses a pixel).
constexpr int kStraightEdgeDifference = 2;
constexpr int kCurveDifference = 32;

void ExpectLikeFreeType(const GlyphPicture& ours, const GlyphPicture& reference,
                        const std::string& label, int mostPixelDifference = kCurveDifference) {
  const Pixels::Box a = InkBox(ours), b = InkBox(reference);
  ASSERT_EQ(a.empty(), b.empty()) << label;
  EXPECT_LE(std::abs(a.left - b.left), 1) << label;
  EXPECT_LE(std::abs(a.right - b.right), 1) << label;
  EXPECT_LE(std::abs(a.top - b.top), 1) << label;
  EXPECT_LE(std::abs(a.bottom - b.bottom), 1) << label;
  int worst = 0;
  int64_t difference = 0, ourTotal = 0, theirTotal = 0;
  for (size_t i = 0; i < ours.coverage.size(); ++i) {
    worst = std::max(worst, std::abs(ours.coverage[i] - reference.coverage[i]));
    difference += std::abs(ours.coverage[i] - reference.coverage[i]);
    ourTotal += ours.coverage[i];
    theirTotal += reference.coverage[i];
  }
  EXPECT_LE(worst, mostPixelDifference) << label;
  if (b.empty()) return;
  const double inkPixels = double(b.right - b.left + 1) * (b.bottom - b.top + 1);
  EXPECT_LT(double(difference) / inkPixels, 1.0) << label;  // mean over the ink box
  EXPECT_NEAR(double(ourTotal), double(theirTotal), double(theirTotal) * 0.01) << label;
}

TEST_F(GlyphCoverageTest, TurnedGlyphsMatchFreeTypeGreyRasteriser) {
  const std::u16string straight = u"AH4", curved = u"gO@8%";
  for (const WCHAR* familyName : {u"Arial", u"Times New Roman", u"Courier New"}) {
    for (REAL em : {10.0f, 70.0f, 200.0f}) {
      const TestFont font(familyName, em);
      const INT side = INT(em * 2) + 8;
      for (REAL angle : {-30.0f, -7.3f, 0.0f, 12.0f, 30.0f}) {
        // The centre off the pixel grid, differently for each angle.
        const REAL centre = REAL(side) / 2 + angle / 97;
        for (WCHAR c : straight + curved) {
          const std::string label = "char " + std::string(1, char(c)) + " em " +
                                    std::to_string(em) + " angle " + std::to_string(angle);
          auto draw = [&](bool freeType) {
            return DrawTurned(font.get(), c, em, angle, side, side, centre, centre, freeType);
          };
          ExpectLikeFreeType(draw(false), draw(true), label,
                             straight.find(c) != std::u16string::npos ? kStraightEdgeDifference
                                                                      : kCurveDifference);
        }
      }
    }
  }
}

TEST_F(GlyphCoverageTest, GlyphsPartlyOffTheBitmapPaintOnlyInside) {
  const TestFont font(u"Times New Roman", 90);
  // Glyph centres beyond each side and corner of a 40 x 30 bitmap, close
  // enough that part of the glyph lands on it; and one wholly off it.
  const REAL centres[][2] = {{-10, 15}, {52, 15}, {20, -12}, {20, 44},
                             {-8, -9},  {47, 38}, {300, 300}};
  for (const auto& centre : centres) {
    const std::string label =
        "centre " + std::to_string(centre[0]) + "," + std::to_string(centre[1]);
    auto draw = [&](bool freeType) {
      return DrawTurned(font.get(), u'W', 90, 17, 40, 30, centre[0], centre[1], freeType);
    };
    const GlyphPicture ours = draw(false);
    ExpectLikeFreeType(ours, draw(true), label);
    EXPECT_EQ(InkBox(ours).empty(), centre[0] == 300) << label;
  }
}

// A pixel under `alpha` (0..255) of `color`, as a plainly written
// source-over blend on an opaque pixel, each channel rounded to nearest.
Rgb Blend(Rgb under, ARGB color, int alpha) {
  auto channel = [alpha](int over, int behind) {
    return BYTE(std::lround((over * alpha + behind * (255 - alpha)) / 255.0));
  };
  const Rgb over = RgbOf(color);
  return {channel(over.r, under.r), channel(over.g, under.g), channel(over.b, under.b)};
}

TEST_F(GlyphCoverageTest, EachPixelBlendsAtItsOwnCoverage) {
  const TestFont font(u"Times New Roman", 45);
  // Odd sizes: rows of coverage end at every offset from a group of four.
  const INT width = 61, height = 57;
  const GlyphPicture coverage =
      DrawTurned(font.get(), u'@', 45, 21, width, height, 30.3f, 28.6f, false);
  auto background = [](INT x, INT y) {
    return Rgb{BYTE(x * 37 + y * 11), BYTE(x * 5 + y * 71), BYTE(x * y + 3)};
  };
  for (ARGB color : {0xFF2060A0u, 0x80C01040u, 0x25FFFFFFu, 0x01000000u}) {
    Canvas canvas(width, height);
    Paint(canvas, background);
    DrawTurnedOn(canvas, font.get(), u'@', 45, 21, 30.3f, 28.6f, color);
    const Pixels pixels(canvas.bitmap());
    int mismatches = 0;
    for (INT y = 0; y < height; ++y) {
      for (INT x = 0; x < width; ++x) {
        const int alpha = int(std::lround(coverage.At(x, y) * double(color >> 24) / 255));
        mismatches += !(pixels.At(x, y) == Blend(background(x, y), color, alpha));
      }
    }
    EXPECT_EQ(mismatches, 0) << std::hex << color;
  }
}

TEST_F(GlyphCoverageTest, BlankGlyphsPaintNothing) {
  const TestFont font(u"Arial", 40);
  for (WCHAR blank : {u' ', u'\u00A0'}) {
    const GlyphPicture picture = DrawTurned(font.get(), blank, 40, 12, 100, 100, 50, 50, false);
    EXPECT_TRUE(InkBox(picture).empty());
  }
}

}  // namespace
}  // namespace gdiplus_test

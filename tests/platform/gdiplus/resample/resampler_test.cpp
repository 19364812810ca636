// The fixed-point resampler behind GdipDrawImageRectRectI against a slow,
// plainly written reference: the same bicubic kernel evaluated in double
// precision for every target pixel, with taps clamped to the source rectangle.
#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "resampler_test_support.h"

namespace gdiplus_test {
namespace {

using ResamplerTest = GdiplusTest;

double Keys(double x) {
  const double a = -0.5;
  x = std::fabs(x);
  if (x < 1) return (a + 2) * x * x * x - (a + 3) * x * x + 1;
  if (x < 2) return a * x * x * x - 5 * a * x * x + 8 * a * x - 4 * a;
  return 0;
}

struct Tap {
  INT source;  // inside the source rectangle, relative to it
  double weight;
};

// Target position `i` of `targetLength` over `sourceLength` source positions:
// the kernel widened by the shrink factor, centred on the mapped position.
std::vector<Tap> ReferenceTaps(INT sourceLength, INT targetLength, INT i) {
  const double scale = double(sourceLength) / targetLength;
  const double widen = std::max(1.0, scale);
  const double centre = (i + 0.5) * scale - 0.5;
  std::vector<Tap> taps;
  double total = 0;
  for (INT s = INT(std::floor(centre - 2 * widen)); s <= INT(std::ceil(centre + 2 * widen)); ++s) {
    const double w = Keys((s - centre) / widen);
    if (w == 0) continue;
    taps.push_back({std::clamp(s, 0, sourceLength - 1), w});
    total += w;
  }
  for (Tap& tap : taps) tap.weight /= total;
  return taps;
}

BYTE ChannelOf(const Rgb& c, int channel) { return channel == 0 ? c.r : channel == 1 ? c.g : c.b; }

// The reference picture of `from` (of `source`) stretched onto `to`,
// indexed by target position relative to `to`.
std::vector<Rgb> ReferenceStretch(const Pixels& source, Rect from, Rect to) {
  std::vector<Rgb> out(size_t(to.Width) * to.Height);
  for (INT y = 0; y < to.Height; ++y) {
    const std::vector<Tap> rows = ReferenceTaps(from.Height, to.Height, y);
    for (INT x = 0; x < to.Width; ++x) {
      const std::vector<Tap> columns = ReferenceTaps(from.Width, to.Width, x);
      BYTE channels[3];
      for (int c = 0; c < 3; ++c) {
        double sum = 0;
        for (const Tap& row : rows) {
          for (const Tap& column : columns) {
            const Rgb p = source.At(from.X + column.source, from.Y + row.source);
            sum += row.weight * column.weight * ChannelOf(p, c);
          }
        }
        channels[c] = BYTE(std::clamp(std::lround(sum), 0L, 255L));
      }
      out[size_t(y) * to.Width + x] = {channels[0], channels[1], channels[2]};
    }
  }
  return out;
}

struct StretchCase {
  INT sourceWidth, sourceHeight;
  Rect from;
  INT targetWidth, targetHeight;
  Rect to;
};

// Enlarging, shrinking by small and large factors (up to kernels of dozens
// of taps), sources narrower than the kernel, odd widths, targets partly
// outside the bitmap, and the two stretches of a captcha picture.
const StretchCase kCases[] = {
    {192, 70, Rect(1, 1, 190, 68), 200, 70, Rect(0, 0, 200, 70)},  // final scaling
    {62, 81, Rect(6, 9, 48, 60), 16, 70, Rect(0, 7, 16, 58)},      // glyph into a cell
    {7, 5, Rect(0, 0, 7, 5), 97, 61, Rect(0, 0, 97, 61)},
    {64, 40, Rect(0, 0, 64, 40), 5, 3, Rect(0, 0, 5, 3)},
    {33, 29, Rect(2, 3, 29, 23), 11, 31, Rect(0, 0, 11, 31)},
    {1, 1, Rect(0, 0, 1, 1), 9, 4, Rect(0, 0, 9, 4)},
    {3, 2, Rect(0, 0, 3, 1), 2, 7, Rect(0, 0, 2, 7)},
    {25, 18, Rect(3, 2, 17, 13), 20, 15, Rect(-5, -3, 31, 22)},
    {40, 12, Rect(0, 0, 40, 12), 9, 9, Rect(4, 2, 13, 8)},
    {1, 30, Rect(0, 0, 1, 30), 7, 5, Rect(0, 0, 7, 5)},        // one column
    {45, 1, Rect(0, 0, 45, 1), 3, 9, Rect(0, 0, 3, 9)},        // one row
    {300, 40, Rect(2, 1, 296, 37), 3, 2, Rect(0, 0, 3, 2)},    // shrunk ~100 times across
    {23, 250, Rect(0, 3, 23, 240), 5, 3, Rect(0, 0, 5, 3)},    // ... and down
    {61, 77, Rect(3, 5, 57, 70), 17, 69, Rect(1, 0, 15, 67)},  // odd cell widths
    {70, 60, Rect(9, 2, 53, 55), 7, 51, Rect(0, -2, 7, 53)},
};

// Every pixel of `canvas` a random colour.
void PaintNoise(Canvas& canvas, std::mt19937& random) {
  std::uniform_int_distribution<int> byte(0, 255);
  Paint(canvas, [&](INT, INT) {
    return Rgb{BYTE(byte(random)), BYTE(byte(random)), BYTE(byte(random))};
  });
}

TEST_F(ResamplerTest, BicubicMatchesTheDoublePrecisionReference) {
  std::mt19937 random(20240611);
  for (const StretchCase& test : kCases) {
    Canvas source(test.sourceWidth, test.sourceHeight);
    PaintNoise(source, random);
    Canvas target(test.targetWidth, test.targetHeight);
    target.FillAll(0xFF123456);
    ASSERT_EQ(Stretch(target, source, test.to, test.from), Ok);
    const std::vector<Rgb> expected = ReferenceStretch(Pixels(source.bitmap()), test.from, test.to);
    const Pixels actual(target.bitmap());
    int worst = 0;
    for (INT y = 0; y < test.targetHeight; ++y) {
      for (INT x = 0; x < test.targetWidth; ++x) {
        const INT rx = x - test.to.X, ry = y - test.to.Y;
        const bool covered = rx >= 0 && ry >= 0 && rx < test.to.Width && ry < test.to.Height;
        if (!covered) {
          ASSERT_EQ(actual.At(x, y), RgbOf(0xFF123456)) << "drawn outside at " << x << "," << y;
          continue;
        }
        const Rgb want = expected[size_t(ry) * test.to.Width + rx];
        for (int c = 0; c < 3; ++c) {
          worst = std::max(worst, std::abs(ChannelOf(actual.At(x, y), c) - ChannelOf(want, c)));
        }
      }
    }
    EXPECT_LE(worst, 1) << test.from.Width << "x" << test.from.Height << " onto " << test.to.Width
                        << "x" << test.to.Height;
  }
}

// Weight tables are kept between stretches: a stretch must give the same
// pixels whether its tables are freshly made or found among many kept ones
// for other sizes, offsets and filters.
TEST_F(ResamplerTest, KeptWeightTablesGiveTheSamePixelsAsFreshOnes) {
  Canvas source(64, 80);
  std::mt19937 random(77);
  Paint(source, [&](INT, INT) { return Rgb{BYTE(random()), BYTE(random()), BYTE(random())}; });
  struct Job {
    Rect from, to;
    InterpolationMode mode;
  };
  std::vector<Job> jobs;
  for (INT i = 0; i < 50; ++i) {
    const INT width = 5 + i % 17, height = 7 + (i * 5) % 23;
    jobs.push_back(
        {Rect(i % 3, i % 4, 40 + i % 20, 50 + i % 25), Rect(i % 5 - 2, 1, width, height),
         i % 7 == 0 ? InterpolationModeNearestNeighbor : InterpolationModeHighQualityBicubic});
  }
  auto run = [&](const Job& job) {
    return StretchedPixels(source, job.from, 24, 32, job.to, job.mode);
  };
  std::vector<std::vector<Rgb>> first;
  for (const Job& job : jobs) first.push_back(run(job));
  for (size_t i = jobs.size(); i-- > 0;) {
    EXPECT_TRUE(run(jobs[i]) == first[i]) << "stretch " << i;
  }
}

TEST_F(ResamplerTest, NearestNeighbourPicksThePixelUnderEachCentre) {
  std::mt19937 random(7);
  for (const StretchCase& test : kCases) {
    Canvas source(test.sourceWidth, test.sourceHeight);
    PaintNoise(source, random);
    Canvas target(test.targetWidth, test.targetHeight);
    ASSERT_EQ(Stretch(target, source, test.to, test.from, InterpolationModeNearestNeighbor), Ok);
    const Pixels from(source.bitmap()), actual(target.bitmap());
    for (INT y = std::max(0, test.to.Y);
         y < std::min(test.targetHeight, test.to.Y + test.to.Height); ++y) {
      for (INT x = std::max(0, test.to.X);
           x < std::min(test.targetWidth, test.to.X + test.to.Width); ++x) {
        const INT sx = std::min(INT((x - test.to.X + 0.5) * test.from.Width / test.to.Width),
                                test.from.Width - 1);
        const INT sy = std::min(INT((y - test.to.Y + 0.5) * test.from.Height / test.to.Height),
                                test.from.Height - 1);
        ASSERT_EQ(actual.At(x, y), from.At(test.from.X + sx, test.from.Y + sy)) << x << "," << y;
      }
    }
  }
}

// A uniform area comes out exactly uniform whatever the factor, including
// the extreme channel values that the kernel's overshoot would clip, and
// nothing of the differently coloured frame around it leaks in.
TEST_F(ResamplerTest, UniformAreasStayExactlyUniformAtEveryFactor) {
  const Rgb colours[] = {{0, 255, 128}, {1, 254, 77}, {200, 3, 99}};
  for (const Rgb colour : colours) {
    Canvas source(50, 37);
    Paint(source, [&](INT x, INT y) {
      const bool inside = x >= 4 && x < 46 && y >= 3 && y < 34;
      return inside ? colour : Rgb{BYTE(~colour.r), BYTE(~colour.g), BYTE(~colour.b)};
    });
    for (INT width : {1, 2, 5, 13, 41, 42, 43, 90, 301}) {
      for (INT height : {1, 3, 30, 31, 64, 200}) {
        Canvas target(width, height);
        ASSERT_EQ(Stretch(target, source, Rect(0, 0, width, height), Rect(4, 3, 42, 31)), Ok);
        const Pixels pixels(target.bitmap());
        ASSERT_EQ(pixels.CountInk(colour), 0) << width << "x" << height;
      }
    }
  }
}

// Short kernels down the columns are summed in 16 bits with every product
// cut; longer ones in 32 bits. Heights from no shrinking to a factor of five
// cover kernels of 4 to 20 rows, across the switch: every one stays within a
// level of the reference, and a uniform area (extreme channels included)
// stays exactly uniform.
TEST_F(ResamplerTest, EveryRowKernelLengthKeepsPrecisionAndUniformity) {
  std::mt19937 random(5);
  Canvas noise(7, 120);
  Paint(noise, [&](INT, INT) { return Rgb{BYTE(random()), BYTE(random()), BYTE(random())}; });
  const Rgb colour{0, 255, 1};
  Canvas uniform(7, 120);
  Paint(uniform, [&](INT, INT) { return colour; });
  for (INT height = 120; height >= 24; height -= 5) {
    const Rect from(0, 0, 7, 120), to(0, 0, 5, height);
    Canvas target(5, height);
    ASSERT_EQ(Stretch(target, noise, to, from), Ok);
    const std::vector<Rgb> expected = ReferenceStretch(Pixels(noise.bitmap()), from, to);
    const Pixels actual(target.bitmap());
    for (INT y = 0; y < height; ++y) {
      for (INT x = 0; x < 5; ++x) {
        for (int c = 0; c < 3; ++c) {
          ASSERT_LE(
              std::abs(ChannelOf(actual.At(x, y), c) - ChannelOf(expected[size_t(y) * 5 + x], c)),
              1)
              << "height " << height << " at " << x << "," << y;
        }
      }
    }
    ASSERT_EQ(Stretch(target, uniform, to, from), Ok);
    ASSERT_EQ(Pixels(target.bitmap()).CountInk(colour), 0) << "height " << height;
  }
}

}  // namespace
}  // namespace gdiplus_test

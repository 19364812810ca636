// The resampler's run-time choices: the AVX2 passes against the baseline
// ones, and kept weight tables against freshly made ones, over many random
// stretches (odd widths, one-pixel sources, shrinking by up to ~100 times,
// targets sticking out of their bitmap).
#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "glimmark_test_seams.h"
#include "resampler_test_support.h"

namespace gdiplus_test {
namespace {

class ResamplerVersionsTest : public GdiplusTest {
 protected:
  void TearDown() override {
    GlimmarkTest_UseBaselineInstructionsOnly(false);
    GdiplusTest::TearDown();
  }
};

struct Job {
  INT sourceWidth, sourceHeight;
  Rect from;
  INT targetWidth, targetHeight;
  Rect to;
  InterpolationMode mode;
};

// A random stretch: sources from 1 pixel to a few hundred across, targets
// from 1 pixel, partly outside their bitmap now and then.
Job RandomJob(std::mt19937& random) {
  auto between = [&](INT low, INT high) {
    return std::uniform_int_distribution<INT>(low, high)(random);
  };
  Job job{};
  job.sourceWidth = between(0, 3) == 0 ? between(1, 3) : between(1, 300);
  job.sourceHeight = between(0, 3) == 0 ? between(1, 3) : between(1, 90);
  const INT fromWidth = between(1, job.sourceWidth), fromHeight = between(1, job.sourceHeight);
  job.from = Rect(between(0, job.sourceWidth - fromWidth),
                  between(0, job.sourceHeight - fromHeight), fromWidth, fromHeight);
  job.targetWidth = between(1, 120);
  job.targetHeight = between(1, 60);
  job.to = Rect(between(-5, job.targetWidth / 2), between(-5, job.targetHeight / 2),
                between(1, job.targetWidth + 7), between(1, job.targetHeight + 7));
  job.mode =
      between(0, 5) == 0 ? InterpolationModeNearestNeighbor : InterpolationModeHighQualityBicubic;
  return job;
}

void PaintRandomly(Canvas& canvas, unsigned seed) {
  std::mt19937 random(seed);
  Paint(canvas, [&](INT, INT) { return Rgb{BYTE(random()), BYTE(random()), BYTE(random())}; });
}

std::vector<Rgb> StretchedPixels(Canvas& source, const Job& job) {
  return StretchedPixels(source, job.from, job.targetWidth, job.targetHeight, job.to, job.mode);
}

std::string Describe(const Job& job) {
  return std::to_string(job.from.Width) + "x" + std::to_string(job.from.Height) + " at " +
         std::to_string(job.from.X) + "," + std::to_string(job.from.Y) + " onto " +
         std::to_string(job.to.Width) + "x" + std::to_string(job.to.Height) + " at " +
         std::to_string(job.to.X) + "," + std::to_string(job.to.Y) +
         (job.mode == InterpolationModeNearestNeighbor ? " nearest" : " bicubic");
}

// The random jobs, then strong shrinking, as glyph cells and thumbnails
// have it, at the widths that leave one to three pixels after the last
// group of four: both ways, and across only (short row kernels, as grey
// sources need for their own passes).
std::vector<Job> VersionJobs() {
  std::mt19937 random(4242);
  std::vector<Job> jobs;
  for (int i = 0; i < 150; ++i) jobs.push_back(RandomJob(random));
  for (INT width : {1, 2, 3, 5, 6, 7, 13, 14, 15}) {
    jobs.push_back({300, 80, Rect(1, 2, 297, 77), 16, 16, Rect(0, 0, width, 3),
                    InterpolationModeHighQualityBicubic});
    jobs.push_back({300, 80, Rect(1, 2, 297, 77), 16, 80, Rect(0, 0, width, 70),
                    InterpolationModeHighQualityBicubic});
  }
  return jobs;
}

// Each job's source painted by paint(source, job, index), stretched with the
// fastest passes and with the baseline ones: the pixels must agree.
template <class PaintSource>
void ExpectFastPassesGiveTheBaselinePixels(PaintSource paint) {
  const std::vector<Job> jobs = VersionJobs();
  for (size_t i = 0; i < jobs.size(); ++i) {
    Canvas source(jobs[i].sourceWidth, jobs[i].sourceHeight);
    paint(source, jobs[i], unsigned(i));
    GlimmarkTest_UseBaselineInstructionsOnly(false);
    const std::vector<Rgb> fast = StretchedPixels(source, jobs[i]);
    GlimmarkTest_UseBaselineInstructionsOnly(true);
    const std::vector<Rgb> baseline = StretchedPixels(source, jobs[i]);
    ASSERT_TRUE(fast == baseline) << Describe(jobs[i]);
  }
}

TEST_F(ResamplerVersionsTest, FastPassesGiveExactlyTheBaselinePixels) {
  if (!GlimmarkTest_UseBaselineInstructionsOnly(false))
    GTEST_SKIP() << "nothing beyond SSE2 on this processor";
  ExpectFastPassesGiveTheBaselinePixels(
      [](Canvas& source, const Job&, unsigned seed) { PaintRandomly(source, seed); });
}

// Grey sources take one-channel passes where the processor has them. Also
// with one coloured pixel: inside the stretched rectangle, on its last row or
// column (the whole stretch must fall back to all channels, even after grey
// rows were filtered), or just outside it (read in place past the row's end,
// weighing nothing, so the stretch stays grey).
TEST_F(ResamplerVersionsTest, GreySourcesGiveExactlyTheBaselinePixels) {
  if (!GlimmarkTest_UseBaselineInstructionsOnly(false))
    GTEST_SKIP() << "nothing beyond SSE2 on this processor";
  enum class Stain { None, LastRow, LastColumn, PastTheRow };
  for (const Stain stain : {Stain::None, Stain::LastRow, Stain::LastColumn, Stain::PastTheRow}) {
    SCOPED_TRACE(int(stain));
    ExpectFastPassesGiveTheBaselinePixels([&](Canvas& source, const Job& job, unsigned seed) {
      const Rect& f = job.from;
      INT x = f.X + INT(seed) % f.Width, y = f.Y + f.Height - 1;
      if (stain == Stain::None) x = -1;
      if (stain == Stain::LastColumn) x = f.X + f.Width - 1, y = f.Y + INT(seed) % f.Height;
      if (stain == Stain::PastTheRow) x = f.X + f.Width, y = f.Y;
      std::mt19937 random(seed);
      Paint(source, [&](INT px, INT py) {
        const BYTE level = BYTE(random());
        return px == x && py == y ? Rgb{200, 40, level} : Rgb{level, level, level};
      });
    });
  }
}

// A glyph-like stretch drawn whole, and the same stretch drawn partly off a
// target cut to the visible part: the weight tables differ (the cut one
// starts further in) though their lengths agree.
struct ClippedJob {
  Job whole, clipped;
};

ClippedJob GlyphLikeJob(INT i) {
  const Rect ink(i % 4, i % 3, 20 + (i * 7) % 61, 30 + (i * 3) % 47);
  const INT width = 14 + i % 5, height = 50 + i % 21, left = 1 + i % 3, top = 1 + (i / 3) % 4;
  return {
      {80, 80, ink, width, height, Rect(0, 0, width, height), InterpolationModeHighQualityBicubic},
      {80, 80, ink, width - left, height - top, Rect(-left, -top, width, height),
       InterpolationModeHighQualityBicubic}};
}

// Whether `clipped` is `whole` without its first `left` columns and `top`
// rows.
bool IsCutFrom(const std::vector<Rgb>& clipped, const std::vector<Rgb>& whole, INT width, INT left,
               INT top) {
  const INT clippedWidth = width - left;
  for (size_t n = 0; n < clipped.size(); ++n) {
    const INT x = INT(n % size_t(clippedWidth)) + left, y = INT(n / size_t(clippedWidth)) + top;
    if (!(clipped[n] == whole[size_t(y) * width + x])) return false;
  }
  return true;
}

// More sizes than the weight tables kept per axis, then half of them again
// in another order, each stretch drawn whole and clipped: whichever table a stretch
// finds (made for it just now, kept from earlier, or made again after being
// pushed out), its pixels are the same as the first time and the clipped
// ones are the whole ones cut.
TEST_F(ResamplerVersionsTest, KeptTablesStayRightWhileManySizesRotateThrough) {
  Canvas source(80, 80);
  PaintRandomly(source, 7);
  constexpr INT kJobs = 600;  // well over a thousand tables per axis
  std::vector<std::vector<Rgb>> first;
  auto check = [&](INT i) {
    const ClippedJob job = GlyphLikeJob(i);
    const std::vector<Rgb> whole = StretchedPixels(source, job.whole);
    const std::vector<Rgb> clipped = StretchedPixels(source, job.clipped);
    if (first.size() == size_t(i)) first.push_back(whole);
    EXPECT_TRUE(whole == first[size_t(i)]) << Describe(job.whole);
    EXPECT_TRUE(IsCutFrom(clipped, whole, job.whole.to.Width, -job.clipped.to.X, -job.clipped.to.Y))
        << Describe(job.clipped);
  };
  for (INT i = 0; i < kJobs; ++i) check(i);
  std::vector<INT> order(kJobs);
  for (INT i = 0; i < kJobs; ++i) order[size_t(i)] = i;
  std::shuffle(order.begin(), order.end(), std::mt19937(99));
  order.resize(kJobs / 2);
  for (const INT i : order) check(i);
}

}  // namespace
}  // namespace gdiplus_test

// The random source against the published sequence of the recurrence and the
// scaled draw against exact arithmetic.
#include "text/random_source.h"

#include <gtest/gtest.h>

#include <climits>
#include <thread>
#include <vector>

namespace {

std::vector<int> Draw(UINT32 seed, int count) {
  SeedRandomSource(seed);
  std::vector<int> values;
  for (int i = 0; i < count; ++i) values.push_back(DrawRandomValue());
  return values;
}

// trunc(r * k / 32767 + 0.5) toward zero, in exact integer arithmetic.
int ExactScaledDraw(int r, int k) {
  const int64_t numerator = 2 * static_cast<int64_t>(r) * k + 32767;
  return static_cast<int>(numerator / 65534);  // C++ division truncates toward zero
}

TEST(RandomSource, KnownSequencesFromStatesOneAndZero) {
  EXPECT_EQ(Draw(1, 6), (std::vector<int>{41, 18467, 6334, 26500, 19169, 15724}));
  EXPECT_EQ(Draw(0, 4), (std::vector<int>{38, 7719, 21238, 2437}));
}

TEST(RandomSource, UnseededThreadStartsAtOne) {
  int first = -1;
  std::thread([&] { first = DrawRandomValue(); }).join();
  EXPECT_EQ(first, 41);
}

TEST(RandomSource, EachThreadHasItsOwnState) {
  SeedRandomSource(0);
  std::thread([] { SeedRandomSource(12345); DrawRandomValue(); }).join();
  EXPECT_EQ(DrawRandomValue(), 38);
}

TEST(RandomSource, ClockSeedIsSecondsModTenThousandTimesMilliseconds) {
  // 12:00:00.250 UTC on 7 December 2026.
  EXPECT_EQ(ClockSeed(1796644800, 250), 1200000u);
  EXPECT_EQ(ClockSeed(1796644800, 0), 0u);
  EXPECT_EQ(ClockSeed(9999, 999), 9989001u);  // the largest seed
  EXPECT_EQ(ClockSeed(1796644800 + 10000, 250), ClockSeed(1796644800, 250));
}

TEST(ScaledDraw, EqualsExactArithmeticForEveryFactorAndValue) {
  int mismatches = 0;
  for (int k = -200; k <= 200; ++k) {
    for (int r = 0; r <= kRandomValueMax; ++r) {
      if (ScaleRandomValue(r, k) != ExactScaledDraw(r, k)) ++mismatches;
    }
  }
  EXPECT_EQ(mismatches, 0);
}

TEST(ScaledDraw, EndValuesAreHalfAsLikelyAsInnerOnes) {
  std::vector<int> counts(5, 0);
  for (int r = 0; r <= kRandomValueMax; ++r) ++counts[ScaleRandomValue(r, 4)];
  EXPECT_EQ(counts, (std::vector<int>{4096, 8192, 8192, 8192, 4096}));
}

TEST(ScaledDraw, LargeFactorsFollowTheSinglePrecisionSteps) {
  // Here the float product and quotient round up past the exact value
  // (583210.4...), so exact or double arithmetic would give 583210.
  EXPECT_EQ(ScaleRandomValue(19110, 1000003), 583211);
  EXPECT_EQ(ScaleRandomValue(292, 123456789), 1100174);
}

TEST(ScaledDraw, OutOfRangeQuotientGivesIntegerIndefinite) {
  EXPECT_EQ(ScaleRandomValue(kRandomValueMax, INT_MAX), INT32_MIN);
  EXPECT_EQ(TruncateToInt32(-2147483648.9), INT32_MIN);
  EXPECT_EQ(TruncateToInt32(2147483647.9), INT32_MAX);
  EXPECT_EQ(TruncateToInt32(-2.5), -2);
}

TEST(ScaledDraw, ScaledDrawConsumesExactlyOneValue) {
  SeedRandomSource(77);
  const int r = DrawRandomValue();
  const UINT32 afterOne = RandomSourceState();
  SeedRandomSource(77);
  EXPECT_EQ(ScaledDraw(25), ScaleRandomValue(r, 25));
  EXPECT_EQ(RandomSourceState(), afterOne);
}

}  // namespace

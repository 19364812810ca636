// The random text generator against the documented examples and against a
// reference model written here from the rules in plain integer arithmetic.
#include "text/random_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>

#include "text/random_source.h"

namespace {

// The scaled draw in exact arithmetic (equal to the float steps for |k| <= 200).
int ExactScale(int r, int k) { return static_cast<int>((2 * int64_t{r} * k + 32767) / 65534); }

// Reference: its own copy of the generator's recurrence and rules.
struct ReferenceGenerator {
  uint32_t state;
  int Next() {
    state = state * 214013u + 2531011u;
    return static_cast<int>((state >> 16) & 0x7FFF);
  }
  std::u16string Text(int min, int max) {
    int n = min + ExactScale(Next(), max - min);
    n = std::clamp(n, 0, 97);
    std::u16string text;
    for (int i = 0; i < n; ++i) {
      const int cls = ExactScale(Next(), 4);
      char16_t c = cls <= 1   ? u'A' + ExactScale(Next(), 25)
                   : cls <= 3 ? u'a' + ExactScale(Next(), 25)
                              : u'0' + ExactScale(Next(), 9);
      const std::map<char16_t, char16_t> lookAlikes{
          {u'I', u'i'}, {u'l', u'L'}, {u'0', u'1'}, {u'O', u'P'}, {u'o', u'p'}};
      if (auto it = lookAlikes.find(c); it != lookAlikes.end()) c = it->second;
      text += c;
    }
    return text;
  }
};

struct Generated {
  std::u16string text;
  UINT32 stateAfter;
};

Generated Generate(UINT32 seed, LONG min, LONG max) {
  OLECHAR buffer[kTextCapacity];
  std::fill(std::begin(buffer), std::end(buffer), u'#');
  SeedRandomSource(seed);
  GenerateRandomText(buffer, min, max);
  return {std::u16string(buffer), RandomSourceState()};
}

UINT32 StateAfterDraws(UINT32 seed, int draws) {
  SeedRandomSource(seed);
  for (int i = 0; i < draws; ++i) DrawRandomValue();
  return RandomSourceState();
}

TEST(RandomText, DocumentedExamples) {
  const Generated fiveFromOne = Generate(1, 5, 5);
  EXPECT_EQ(fiveFromOne.text, u"fpj7e");
  EXPECT_EQ(fiveFromOne.stateAfter, StateAfterDraws(1, 11));
  EXPECT_EQ(Generate(1, 4, 6).text, u"fpj7");
  EXPECT_EQ(Generate(0, 4, 6).text, u"QHG3");
}

TEST(RandomText, EmptyRangeDrawsOneValueAndLeavesEmptyText) {
  const Generated empty = Generate(99, 0, 0);
  EXPECT_EQ(empty.text, u"");
  EXPECT_EQ(empty.stateAfter, StateAfterDraws(99, 1));
}

// Counts how many of all 32768 first draws give each length.
std::map<int, int> LengthCounts(LONG min, LONG max) {
  std::map<int, int> counts;
  for (int r0 = 0; r0 <= kRandomValueMax; ++r0) ++counts[DrawnTextLength(r0, min, max)];
  return counts;
}

TEST(RandomText, LengthProbabilitiesOverAllFirstDraws) {
  EXPECT_EQ(LengthCounts(4, 6), (std::map<int, int>{{4, 8192}, {5, 16384}, {6, 8192}}));
  EXPECT_EQ(DrawnTextLength(8191, 4, 6), 4);
  EXPECT_EQ(DrawnTextLength(8192, 4, 6), 5);
  EXPECT_EQ(DrawnTextLength(24575, 4, 6), 5);
  EXPECT_EQ(DrawnTextLength(24576, 4, 6), 6);

  // Bounds given the wrong way round are not swapped.
  EXPECT_EQ(LengthCounts(6, 4), (std::map<int, int>{{5, 8192}, {6, 24576}}));
  EXPECT_EQ(DrawnTextLength(24575, 6, 4), 6);
  EXPECT_EQ(DrawnTextLength(24576, 6, 4), 5);

  const std::map<int, int> oneToTen = LengthCounts(1, 10);
  EXPECT_EQ(oneToTen.size(), 10u);
  EXPECT_NEAR(oneToTen.at(1) / 32768.0, 1.0 / 18, 0.001);
  EXPECT_NEAR(oneToTen.at(10) / 32768.0, 1.0 / 18, 0.001);
  for (int n = 2; n <= 9; ++n) EXPECT_NEAR(oneToTen.at(n) / 32768.0, 1.0 / 9, 0.001) << n;
}

TEST(RandomText, MatchesReferenceModelAndNeverShowsLookAlikes) {
  const std::pair<LONG, LONG> ranges[] = {{4, 6}, {1, 10}, {6, 4}, {0, 97}, {12, 12}, {30, 60}};
  for (UINT32 seed = 0; seed < 3000; ++seed) {
    for (const auto& [min, max] : ranges) {
      const uint32_t mixedSeed = seed * 2654435761u;
      ReferenceGenerator reference{mixedSeed};
      const std::u16string expected = reference.Text(min, max);
      const Generated actual = Generate(mixedSeed, min, max);
      ASSERT_EQ(actual.text, expected) << "seed " << mixedSeed << " range " << min << ".." << max;
      ASSERT_EQ(actual.stateAfter, reference.state);
      ASSERT_EQ(actual.text.find_first_of(u"IOlo0"), std::u16string::npos);
    }
  }
}

TEST(RandomText, EveryCharacterComesFromTheAlphabet) {
  const std::u16string alphabet =
      u"ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnpqrstuvwxyz123456789";
  SeedRandomSource(4242);
  for (int i = 0; i < 200; ++i) {
    OLECHAR buffer[kTextCapacity];
    GenerateRandomText(buffer, 97, 97);
    for (const char16_t c : std::u16string(buffer)) ASSERT_NE(alphabet.find(c), std::u16string::npos);
  }
}

TEST(RandomText, LengthsOutsideTheBufferAreBoundedWithoutWritingPastTheText) {
  // Drawn length above 97: cut to 97; the units after the terminator keep their values.
  OLECHAR buffer[kTextCapacity];
  std::fill(std::begin(buffer), std::end(buffer), u'#');
  SeedRandomSource(5);
  GenerateRandomText(buffer, 1000, 1000);
  EXPECT_EQ(std::u16string(buffer).size(), 97u);
  EXPECT_EQ(buffer[98], u'#');
  EXPECT_EQ(buffer[99], u'#');
  EXPECT_EQ(RandomSourceState(), StateAfterDraws(5, 1 + 2 * 97));

  // A negative length gives the empty text after one draw.
  EXPECT_EQ(Generate(5, -10, -3).text, u"");
  EXPECT_EQ(Generate(5, -10, -3).stateAfter, StateAfterDraws(5, 1));

  // Extreme bounds whose difference wraps around in 32 bits.
  EXPECT_EQ(Generate(7, INT32_MIN, INT32_MAX).text.size() <= 97u, true);
  EXPECT_EQ(Generate(7, INT32_MAX, INT32_MIN).text.size() <= 97u, true);
}

}  // namespace

#include <glimmark_test_seams.h>
#include <gtest/gtest.h>
#include <windows.h>

namespace {

uint64_t FileTimeNow() {
  FILETIME time;
  GetSystemTimeAsFileTime(&time);
  return uint64_t{time.dwHighDateTime} << 32 | time.dwLowDateTime;
}

TEST(Clock, PinnedInstantGivesTheMatchingFileTime) {
  // 12:00:00.250 UTC on 7 December 2026.
  GlimmarkTest_PinClock(1796644800, 250);
  constexpr uint64_t kSecondsFrom1601To1970 = 11644473600;
  EXPECT_EQ(FileTimeNow(), (1796644800 + kSecondsFrom1601To1970) * 10'000'000 + 250 * 10'000);
  EXPECT_EQ(FileTimeNow(), 134411184002500000u);
  GlimmarkTest_UnpinClock();
}

TEST(Clock, UnpinnedClockMovesOnFromThePresent) {
  GlimmarkTest_PinClock(0, 0);
  EXPECT_EQ(FileTimeNow(), 116444736000000000u);  // 1970-01-01 itself
  GlimmarkTest_UnpinClock();
  const uint64_t first = FileTimeNow();
  EXPECT_GT(first, 132223104000000000u);  // after 2020-01-01
  EXPECT_GE(FileTimeNow(), first);
}

}  // namespace

// The system clock. Builds with tests add the seams that pin it: a call for
// tests in the same process, an environment variable for tests that run a
// tool; a release build has neither and always reads the system's clock.
#include <atomic>
#include <chrono>
#include <cstdlib>

#include "winbase.h"
#ifdef GLIMMARK_TEST_SEAMS
#include "glimmark_test_seams.h"
#endif  // GLIMMARK_TEST_SEAMS

namespace {

// Seconds from 1601-01-01 (the FILETIME epoch) to 1970-01-01.
constexpr int64_t kUnixEpochInFileTimeSeconds = 11644473600;
constexpr int64_t kFileTimeTicksPerSecond = 10'000'000;
constexpr int64_t kFileTimeTicksPerMillisecond = 10'000;

int64_t SystemMilliseconds() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

#ifdef GLIMMARK_TEST_SEAMS
// Pinned instant in milliseconds since 1970, or kNotPinned.
constexpr int64_t kNotPinned = INT64_MIN;
std::atomic<int64_t> pinnedMilliseconds{kNotPinned};

// FOR TESTING ONLY: whole seconds since 1970 that pin the clock of a process
// started by a test; read once, ignored unless it is a whole decimal number.
constexpr const char* kPinnedClockVariable = "GLIMMARK_TEST_SEAM_PINNED_CLOCK";
constexpr int64_t kLargestPinnedSeconds = INT64_MAX / 1000 - 1;

int64_t PinnedByEnvironment() {
  const char* text = std::getenv(kPinnedClockVariable);
  if (text == nullptr || *text == 0) return kNotPinned;
  char* end = nullptr;
  const long long seconds = std::strtoll(text, &end, 10);
  if (*end != 0 || seconds < -kLargestPinnedSeconds || seconds > kLargestPinnedSeconds) {
    return kNotPinned;
  }
  return static_cast<int64_t>(seconds) * 1000;
}

int64_t NowInMilliseconds() {
  const int64_t pinned = pinnedMilliseconds.load(std::memory_order_relaxed);
  if (pinned != kNotPinned) return pinned;
  static const int64_t environmentPin = PinnedByEnvironment();
  if (environmentPin != kNotPinned) return environmentPin;
  return SystemMilliseconds();
}
#else
int64_t NowInMilliseconds() { return SystemMilliseconds(); }
#endif  // GLIMMARK_TEST_SEAMS

}  // namespace

EXTERN_C void WINAPI GetSystemTimeAsFileTime(LPFILETIME time) {
  if (time == nullptr) return;
  const int64_t ms = NowInMilliseconds();
  const int64_t seconds = ms >= 0 ? ms / 1000 : (ms - 999) / 1000;
  const int64_t millis = ms - seconds * 1000;
  const uint64_t ticks =
      static_cast<uint64_t>(seconds + kUnixEpochInFileTimeSeconds) * kFileTimeTicksPerSecond +
      static_cast<uint64_t>(millis) * kFileTimeTicksPerMillisecond;
  time->dwLowDateTime = static_cast<DWORD>(ticks);
  time->dwHighDateTime = static_cast<DWORD>(ticks >> 32);
}

#ifdef GLIMMARK_TEST_SEAMS
EXTERN_C void GlimmarkTest_PinClock(int64_t seconds, int milliseconds) {
  pinnedMilliseconds.store(seconds * 1000 + milliseconds, std::memory_order_relaxed);
}

EXTERN_C void GlimmarkTest_UnpinClock(void) {
  pinnedMilliseconds.store(kNotPinned, std::memory_order_relaxed);
}
#endif  // GLIMMARK_TEST_SEAMS

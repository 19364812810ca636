// The system clock, with the test seam that pins it.
#include <atomic>
#include <chrono>

#include "glimmark_test_seams.h"
#include "winbase.h"

namespace {

// Seconds from 1601-01-01 (the FILETIME epoch) to 1970-01-01.
constexpr int64_t kUnixEpochInFileTimeSeconds = 11644473600;
constexpr int64_t kFileTimeTicksPerSecond = 10'000'000;
constexpr int64_t kFileTimeTicksPerMillisecond = 10'000;

// Pinned instant in milliseconds since 1970, or kNotPinned.
constexpr int64_t kNotPinned = INT64_MIN;
std::atomic<int64_t> pinnedMilliseconds{kNotPinned};

int64_t NowInMilliseconds() {
  const int64_t pinned = pinnedMilliseconds.load(std::memory_order_relaxed);
  if (pinned != kNotPinned) return pinned;
  using namespace std::chrono;
  return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

}  // namespace

EXTERN_C void WINAPI GetSystemTimeAsFileTime(LPFILETIME time) {
  if (time == nullptr) return;
  const int64_t ms = NowInMilliseconds();
  const int64_t seconds = ms >= 0 ? ms / 1000 : (ms - 999) / 1000;
  const int64_t millis = ms - seconds * 1000;
  const uint64_t ticks = static_cast<uint64_t>(seconds + kUnixEpochInFileTimeSeconds) *
                             kFileTimeTicksPerSecond +
                         static_cast<uint64_t>(millis) * kFileTimeTicksPerMillisecond;
  time->dwLowDateTime = static_cast<DWORD>(ticks);
  time->dwHighDateTime = static_cast<DWORD>(ticks >> 32);
}

EXTERN_C void GlimmarkTest_PinClock(int64_t seconds, int milliseconds) {
  pinnedMilliseconds.store(seconds * 1000 + milliseconds, std::memory_order_relaxed);
}

EXTERN_C void GlimmarkTest_UnpinClock(void) {
  pinnedMilliseconds.store(kNotPinned, std::memory_order_relaxed);
}

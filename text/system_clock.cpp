#include "text/system_clock.h"

namespace {

// FILETIME counts 100-ns ticks from 1601-01-01; 1970 is this many seconds later.
constexpr ULONGLONG kUnixEpochInFileTimeSeconds = 11644473600ULL;
constexpr ULONGLONG kTicksPerMillisecond = 10000ULL;
constexpr ULONGLONG kMillisecondsPerSecond = 1000ULL;

}  // namespace

ClockReading ReadSystemClock() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  const ULONGLONG ticks = (static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
  const ULONGLONG millisecondsSince1601 = ticks / kTicksPerMillisecond;
  const LONGLONG millisecondsSince1970 =
      static_cast<LONGLONG>(millisecondsSince1601) -
      static_cast<LONGLONG>(kUnixEpochInFileTimeSeconds * kMillisecondsPerSecond);
  ClockReading reading;
  reading.seconds = millisecondsSince1970 / 1000;
  reading.milliseconds = static_cast<int>(millisecondsSince1970 % 1000);
  if (reading.milliseconds < 0) {  // before 1970: floor, not truncation
    reading.milliseconds += 1000;
    reading.seconds -= 1;
  }
  return reading;
}

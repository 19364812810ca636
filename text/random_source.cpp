#include "text/random_source.h"

#include <climits>
#include <cstdint>

#include "text/system_clock.h"

namespace {

constexpr UINT32 kMultiplier = 214013;
constexpr UINT32 kIncrement = 2531011;
constexpr UINT32 kUnseededState = 1;
constexpr LONGLONG kSeedSecondsModulus = 10000;

thread_local UINT32 state = kUnseededState;

}  // namespace

void SeedRandomSource(UINT32 seed) { state = seed; }

UINT32 ClockSeed(LONGLONG secondsSince1970, int milliseconds) {
  LONGLONG secondsPart = secondsSince1970 % kSeedSecondsModulus;
  if (secondsPart < 0) secondsPart += kSeedSecondsModulus;
  return static_cast<UINT32>(secondsPart) * static_cast<UINT32>(milliseconds);
}

void SeedRandomSourceFromClock() {
  const ClockReading now = ReadSystemClock();
  SeedRandomSource(ClockSeed(now.seconds, now.milliseconds));
}

int DrawRandomValue() {
  state = state * kMultiplier + kIncrement;  // modulo 2^32 by unsigned wrap-around
  return static_cast<int>((state >> 16) & 0x7FFF);
}

UINT32 RandomSourceState() { return state; }

INT32 TruncateToInt32(double value) {
  // Anything whose truncation does not fit (and NaN) is the "integer indefinite".
  if (!(value > -2147483649.0 && value < 2147483648.0)) return INT32_MIN;
  return static_cast<INT32>(value);
}

int ScaleRandomValue(int r, LONG k) {
  const float product = static_cast<float>(r) * static_cast<float>(k);
  const float quotient = product / static_cast<float>(kRandomValueMax);
  return TruncateToInt32(static_cast<double>(quotient) + 0.5);
}

int ScaledDraw(LONG k) { return ScaleRandomValue(DrawRandomValue(), k); }

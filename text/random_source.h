// The component's one pseudo-random generator: a 32-bit linear congruential
// generator, one state per thread, the same recurrence as the Windows C
// run-time's rand(). The challenge text and every random choice of rendering
// draw from it in a fixed order, so a picture is reproducible from the seed.
// See random_text.h for the text generator built on it.
#pragma once

#include <windows.h>

constexpr int kRandomValueMax = 32767;  // draws lie in 0..kRandomValueMax

// Makes `seed` the calling thread's state. A thread that never seeded starts at 1.
void SeedRandomSource(UINT32 seed);

// Seeds the calling thread from the clock as each new captcha object does:
// (seconds since 1970 modulo 10000) times the milliseconds of that second.
void SeedRandomSourceFromClock();

// The seed SeedRandomSourceFromClock uses for a given instant.
UINT32 ClockSeed(LONGLONG secondsSince1970, int milliseconds);

// Advances the calling thread's state and returns the next value, 0..32767.
int DrawRandomValue();

// The calling thread's state, for observers that count draws.
UINT32 RandomSourceState();

// The scaled draw of a value `r` (0..32767) with factor `k`: r * k and the
// division by 32767 in single precision, then widened, plus 0.5, truncated
// toward zero. For k > 0 the result lies in 0..k. A quotient outside the
// 32-bit range gives INT32_MIN, as the processor's truncating conversion does.
int ScaleRandomValue(int r, LONG k);

// Draws one value and scales it by `k`.
int ScaledDraw(LONG k);

// Truncates a double toward zero to 32 bits the way the x86 conversion
// instruction does: out-of-range values and NaN give INT32_MIN.
INT32 TruncateToInt32(double value);

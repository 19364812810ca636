// The component's one reading of the system clock: whole seconds since
// 1970-01-01 UTC and the milliseconds within that second. Seeding the random
// source and stamping tokens both read it here.
#pragma once

#include <windows.h>

struct ClockReading {
  LONGLONG seconds;  // since 1970-01-01 00:00:00 UTC
  int milliseconds;  // 0..999
};

ClockReading ReadSystemClock();

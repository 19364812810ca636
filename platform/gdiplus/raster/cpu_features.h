// Which vector instructions the graphics layer's hot loops may use beyond the
// SSE2 that every x86-64 processor has. Each loop keeps an SSE2 form giving
// the same results; tests switch to it to compare the two.
#pragma once

namespace Gdiplus::Internal {

// True when the processor runs SSSE3 and tests have not asked for the
// baseline. Cost: one relaxed atomic load after the first call.
bool UseSsse3() noexcept;
// The same for AVX2.
bool UseAvx2() noexcept;

}  // namespace Gdiplus::Internal

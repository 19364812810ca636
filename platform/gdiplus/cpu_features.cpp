// Processor feature checks, made once per process.
#include "gdiplus/cpu_features.h"

#include <atomic>

#include "glimmark_test_seams.h"

namespace Gdiplus::Internal {
namespace {

std::atomic<bool> baselineOnly{false};

bool ProcessorHasSsse3() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_cpu_init();
  return __builtin_cpu_supports("ssse3");
#else
  return false;
#endif
}

}  // namespace

bool UseSsse3() noexcept {
  static const bool has = ProcessorHasSsse3();
  return has && !baselineOnly.load(std::memory_order_relaxed);
}

}  // namespace Gdiplus::Internal

EXTERN_C void GlimmarkTest_UseBaselineInstructionsOnly(bool baseline) {
  Gdiplus::Internal::baselineOnly = baseline;
}

// Processor feature checks, made once per process.
#include "gdiplus/raster/cpu_features.h"

#include <atomic>

#include "gdiplus/raster/simd.h"
#include "glimmark_test_seams.h"

namespace Gdiplus::Internal {
namespace {

std::atomic<bool> baselineOnly{false};

struct Features {
  bool ssse3 = false;
  bool avx2 = false;
};

const Features& ProcessorFeatures() {
  static const Features features = [] {
    Features found;
// The portable build uses no vector instructions, whatever the processor has.
#if (defined(__x86_64__) || defined(__i386__)) && defined(GLIMMARK_SSE2)
    __builtin_cpu_init();
    found.ssse3 = __builtin_cpu_supports("ssse3");
    found.avx2 = __builtin_cpu_supports("avx2");
#endif
    return found;
  }();
  return features;
}

bool Allowed() { return !baselineOnly.load(std::memory_order_relaxed); }

}  // namespace

bool UseSsse3() noexcept { return ProcessorFeatures().ssse3 && Allowed(); }
bool UseAvx2() noexcept { return ProcessorFeatures().avx2 && Allowed(); }

}  // namespace Gdiplus::Internal

EXTERN_C bool GlimmarkTest_UseBaselineInstructionsOnly(bool baseline) {
  Gdiplus::Internal::baselineOnly = baseline;
  const auto& features = Gdiplus::Internal::ProcessorFeatures();
  return features.ssse3 || features.avx2;
}

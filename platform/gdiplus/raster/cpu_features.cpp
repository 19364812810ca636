// Processor feature checks, made once per process.
#include "gdiplus/raster/cpu_features.h"

#include <atomic>

#include "gdiplus/raster/simd.h"
#ifdef GLIMMARK_TEST_SEAMS
#include "glimmark_test_seams.h"
#endif  // GLIMMARK_TEST_SEAMS

namespace Gdiplus::Internal {
namespace {

#ifdef GLIMMARK_TEST_SEAMS
std::atomic<bool> baselineOnly{false};  // set by the test seam
#else
constexpr bool baselineOnly = false;
#endif  // GLIMMARK_TEST_SEAMS

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

bool Allowed() { return !baselineOnly; }

}  // namespace

bool UseSsse3() noexcept { return ProcessorFeatures().ssse3 && Allowed(); }
bool UseAvx2() noexcept { return ProcessorFeatures().avx2 && Allowed(); }

}  // namespace Gdiplus::Internal

#ifdef GLIMMARK_TEST_SEAMS
EXTERN_C bool GlimmarkTest_UseBaselineInstructionsOnly(bool baseline) {
  Gdiplus::Internal::baselineOnly = baseline;
  const auto& features = Gdiplus::Internal::ProcessorFeatures();
  return features.ssse3 || features.avx2;
}
#endif  // GLIMMARK_TEST_SEAMS

// Start-up and shutdown of the graphics library: a count of live start-ups.
// Each start-up hands out a distinct nonzero token; shutting down an unknown
// or already used token does nothing.
#include <atomic>
#include <mutex>
#include <set>

#include "gdiplus.h"
#include "gdiplus/objects/pixel_memory.h"
#include "gdiplus/objects/startup_state.h"

namespace Gdiplus {
namespace {

struct StartupRegistry {
  std::mutex lock;
  std::set<ULONG_PTR> liveTokens;
  ULONG_PTR nextToken = 1;
  // liveTokens.size(), written under `lock` and read without it: every
  // object the library makes asks whether it is started, and threads
  // drawing at once would otherwise pass this lock's line back and forth.
  std::atomic<int> liveCount{0};

  void Recount() { liveCount.store(int(liveTokens.size()), std::memory_order_release); }
};

StartupRegistry& Registry() {
  static StartupRegistry* registry = new StartupRegistry();  // lives to process exit
  return *registry;
}

}  // namespace

extern "C" GpStatus WINGDIPAPI GdiplusStartup(ULONG_PTR* token, const GdiplusStartupInput* input,
                                              GdiplusStartupOutput* output) {
  if (token == nullptr || input == nullptr) return InvalidParameter;
  if (input->GdiplusVersion != 1) return UnsupportedGdiplusVersion;
  if (input->SuppressBackgroundThread && output == nullptr) return InvalidParameter;
  StartupRegistry& registry = Registry();
  std::lock_guard<std::mutex> guard(registry.lock);
  *token = registry.nextToken++;
  registry.liveTokens.insert(*token);
  registry.Recount();
  if (output != nullptr) *output = GdiplusStartupOutput();
  return Ok;
}

extern "C" VOID WINGDIPAPI GdiplusShutdown(ULONG_PTR token) {
  StartupRegistry& registry = Registry();
  std::lock_guard<std::mutex> guard(registry.lock);
  registry.liveTokens.erase(token);
  registry.Recount();
  Internal::ReleaseKeptPixelMemory();
}

int GdiplusStartupCount() { return Registry().liveCount.load(std::memory_order_acquire); }

}  // namespace Gdiplus

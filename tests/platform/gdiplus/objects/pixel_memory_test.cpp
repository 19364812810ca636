// The per-thread cache of pixel blocks: released blocks come back for
// requests they can hold, never for larger ones, every byte asked for is
// usable (the address sanitizer checks the ends), and blocks given back on
// another thread or left in a cache at thread end are freed (the leak
// checker would report them).
#include "gdiplus/objects/pixel_memory.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

namespace gdiplus_test {
namespace {

using namespace Gdiplus::Internal;

void* AcquireWritten(size_t bytes) {
  void* memory = AcquirePixelMemory(bytes);
  EXPECT_NE(memory, nullptr);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(memory) % 16, 0u);
  if (memory != nullptr) std::memset(memory, 0xA5, bytes);
  return memory;
}

TEST(PixelMemoryTest, ReleasedBlocksServeRequestsTheyCanHold) {
  ReleaseKeptPixelMemory();  // earlier tests' blocks
  void* block = AcquireWritten(22000);
  ReleasePixelMemory(block);
  void* again = AcquireWritten(21000);  // same page count: the same block
  EXPECT_EQ(again, block);
  ReleasePixelMemory(again);
  void* larger = AcquireWritten(40000);  // too large for the kept block
  EXPECT_NE(larger, block);
  void* smaller = AcquireWritten(100);  // fits the kept block
  EXPECT_EQ(smaller, block);
  ReleasePixelMemory(larger);
  ReleasePixelMemory(smaller);
  ReleasePixelMemory(nullptr);
}

TEST(PixelMemoryTest, ManyBlocksAndOddSizesStayUsable) {
  std::vector<void*> blocks;
  for (size_t bytes : {1u, 15u, 4096u, 4097u, 70000u, 300000u, 1u << 20}) {
    for (int i = 0; i < 6; ++i) blocks.push_back(AcquireWritten(bytes + size_t(i)));
  }
  for (void* block : blocks) ReleasePixelMemory(block);
  blocks.clear();
  for (int round = 0; round < 3; ++round) {
    for (size_t bytes = 3000; bytes < 200000; bytes += 17000)
      blocks.push_back(AcquireWritten(bytes));
    for (void* block : blocks) ReleasePixelMemory(block);
    blocks.clear();
  }
  EXPECT_EQ(AcquirePixelMemory(SIZE_MAX), nullptr);
  EXPECT_EQ(AcquirePixelMemory(SIZE_MAX - 8), nullptr);
}

TEST(PixelMemoryTest, BlocksMayBeGivenBackOnAnotherThread) {
  std::vector<void*> blocks;
  for (int i = 0; i < 12; ++i) blocks.push_back(AcquireWritten(5000 + 4096 * size_t(i)));
  std::thread other([&blocks] {
    for (void* block : blocks) ReleasePixelMemory(block);
    void* reused = AcquireWritten(5000);  // from that thread's own cache
    ReleasePixelMemory(reused);
  });
  other.join();
}

// A block given back after the thread's cache is gone (by a thread-local
// object made before the cache, so torn down after it) is freed, not lost
// in the dead cache (the leak checker would report it).
struct LateHolder {
  void* block = nullptr;
  ~LateHolder() { ReleasePixelMemory(block); }
};

TEST(PixelMemoryTest, BlocksGivenBackAfterTheCacheEndsAreFreed) {
  std::thread worker([] {
    thread_local LateHolder holder;  // made first: outlives the cache
    holder.block = AcquireWritten(5000);
  });
  worker.join();
}

}  // namespace
}  // namespace gdiplus_test

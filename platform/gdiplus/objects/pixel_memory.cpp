// The per-thread cache of pixel blocks.
#include "gdiplus/objects/pixel_memory.h"

#include <cstdint>
#include <cstdlib>

namespace Gdiplus::Internal {
namespace {

// Each block starts with its capacity, padded so the pixels stay 16-byte
// aligned.
struct alignas(16) BlockHeader {
  size_t capacity;
};
// Sizes are rounded up to whole pages so that images of nearby sizes (a
// picture's turned glyphs) share blocks.
constexpr size_t kGranule = 4096;
constexpr int kKeptBlocks = 8;

BlockHeader* HeaderOf(void* memory) { return static_cast<BlockHeader*>(memory) - 1; }

// Set when the thread's cache has been destroyed (at thread or process
// exit): blocks given back later, say by objects torn down after it, are
// freed at once. Trivially destructible, so it stays readable.
thread_local bool cacheGone = false;

class BlockCache {
 public:
  BlockCache() = default;
  BlockCache(const BlockCache&) = delete;
  BlockCache& operator=(const BlockCache&) = delete;
  ~BlockCache() {
    FreeAll();
    cacheGone = true;
  }

  void FreeAll() {
    for (BlockHeader*& block : kept_) {
      std::free(block);
      block = nullptr;
    }
  }

  // The smallest kept block holding `capacity` bytes, taken out; or null.
  BlockHeader* Take(size_t capacity) {
    BlockHeader** best = nullptr;
    for (BlockHeader*& block : kept_) {
      if (block == nullptr || block->capacity < capacity) continue;
      if (best == nullptr || block->capacity < (*best)->capacity) best = &block;
    }
    if (best == nullptr) return nullptr;
    BlockHeader* taken = *best;
    *best = nullptr;
    return taken;
  }

  // Keeps `block`, freeing the smallest kept one when every place is taken
  // (large blocks are the costly ones to make).
  void Keep(BlockHeader* block) {
    BlockHeader** place = nullptr;
    for (BlockHeader*& kept : kept_) {
      if (kept == nullptr) {
        place = &kept;
        break;
      }
      if (place == nullptr || kept->capacity < (*place)->capacity) place = &kept;
    }
    std::free(*place);
    *place = block;
  }

 private:
  BlockHeader* kept_[kKeptBlocks] = {};
};

BlockCache& ThreadCache() {
  thread_local BlockCache cache;
  return cache;
}

}  // namespace

void* AcquirePixelMemory(size_t bytes) noexcept {
  if (bytes > SIZE_MAX - kGranule - sizeof(BlockHeader)) return nullptr;
  const size_t capacity = (bytes + kGranule - 1) / kGranule * kGranule;
  BlockHeader* block =
      capacity <= kMaxKeptPixelBlock && !cacheGone ? ThreadCache().Take(capacity) : nullptr;
  if (block == nullptr) {
    block = static_cast<BlockHeader*>(std::malloc(sizeof(BlockHeader) + capacity));
    if (block == nullptr) return nullptr;
    block->capacity = capacity;
  }
  return block + 1;
}

void ReleasePixelMemory(void* memory) noexcept {
  if (memory == nullptr) return;
  BlockHeader* block = HeaderOf(memory);
  if (block->capacity > kMaxKeptPixelBlock || cacheGone) {
    std::free(block);
    return;
  }
  ThreadCache().Keep(block);
}

void ReleaseKeptPixelMemory() noexcept {
  if (!cacheGone) ThreadCache().FreeAll();
}

}  // namespace Gdiplus::Internal

// Memory for bitmap pixels and lock buffers, recycled per thread. A rendering
// makes and drops a scratch image, a cell and a lock buffer per character,
// tens of kilobytes each; handing recently freed blocks straight back out
// spares the allocator's large-block path and its consolidation passes.
// Blocks are owned by whoever acquired them until released; the cache owns
// the released ones it keeps and frees them when its thread ends.
#pragma once

#include <cstddef>

namespace Gdiplus::Internal {

// At least `bytes` bytes, 16-byte aligned, contents undefined; null when
// memory runs out. Cost: a look through a few kept blocks, else malloc.
void* AcquirePixelMemory(size_t bytes) noexcept;

// Gives back memory from AcquirePixelMemory (null is ignored), on any thread:
// kept for reuse by that thread when small enough and there is room, else freed.
void ReleasePixelMemory(void* memory) noexcept;

// Frees the blocks the calling thread's cache keeps (GdiplusShutdown does,
// so a thread that is done drawing holds no pixel memory).
void ReleaseKeptPixelMemory() noexcept;

struct PixelMemoryDeleter {
  void operator()(void* memory) const noexcept { ReleasePixelMemory(memory); }
};

// Blocks larger than this are never kept: only a rendering's small images
// repeat often enough to be worth it.
constexpr size_t kMaxKeptPixelBlock = size_t{256} << 10;

}  // namespace Gdiplus::Internal

// The graphics library's allocator, which callers use for their wrapper
// objects. Plain malloc underneath, with a cap so a wrong size fails cleanly.
#include <cstdlib>

#include "gdiplus.h"

namespace {

// Largest block GdipAlloc hands out: 256 MiB. Wrapper objects are tens of
// bytes; anything near this size is a caller's arithmetic gone wrong.
constexpr size_t kMaxAllocationBytes = size_t{256} * 1024 * 1024;

}  // namespace

namespace Gdiplus::DllExports {
extern "C" {

// Returns a block of at least `size` bytes, or null above the cap or when
// memory is short. Size 0 gives a distinct minimal block, which GdipFree takes.
VOID* WINGDIPAPI GdipAlloc(size_t size) {
  if (size > kMaxAllocationBytes) return nullptr;
  return std::malloc(size == 0 ? 1 : size);
}

VOID WINGDIPAPI GdipFree(VOID* block) { std::free(block); }

}  // extern "C"
}  // namespace Gdiplus::DllExports

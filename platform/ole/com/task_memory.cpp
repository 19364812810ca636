// COM task memory: the allocator for memory that crosses an interface and is
// freed by the other side. Plain heap memory below kMaxAutomationBytes.
#include <cstdlib>

#include "objbase.h"
#include "ole/automation/automation_limits.h"

using glimmark::ole::kMaxAutomationBytes;

// A zero-byte request still gives a distinct, freeable block, as on Windows.
EXTERN_C void* WINAPI CoTaskMemAlloc(SIZE_T size) {
  if (size > kMaxAutomationBytes) return nullptr;
  return std::malloc(size == 0 ? 1 : size);
}

// A null block allocates; a zero size frees the block and answers null. On
// failure the old block is untouched and still owned by the caller.
EXTERN_C void* WINAPI CoTaskMemRealloc(void* block, SIZE_T size) {
  if (block == nullptr) return CoTaskMemAlloc(size);
  if (size == 0) {
    std::free(block);
    return nullptr;
  }
  if (size > kMaxAutomationBytes) return nullptr;
  return std::realloc(block, size);
}

EXTERN_C void WINAPI CoTaskMemFree(void* block) { std::free(block); }

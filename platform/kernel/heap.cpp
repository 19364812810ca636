// The process heap over the C allocator, with the test seam that fails a
// chosen allocation.
#include <atomic>
#include <cstdlib>

#ifdef GLIMMARK_TEST_SEAMS
#include "glimmark_test_seams.h"
#endif  // GLIMMARK_TEST_SEAMS
#include "winbase.h"

namespace {

// Any non-null value names the one heap; callers only hand it back.
HANDLE const kProcessHeap = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x50484541));

#ifdef GLIMMARK_TEST_SEAMS
// Calls left until the seam's failing allocation; 0 when no failure is planned.
std::atomic<DWORD> allocationsUntilFailure{0};

bool SeamFailsThisAllocation() {
  DWORD left = allocationsUntilFailure.load(std::memory_order_relaxed);
  while (left != 0) {
    if (allocationsUntilFailure.compare_exchange_weak(left, left - 1)) return left == 1;
  }
  return false;
}
#else
constexpr bool SeamFailsThisAllocation() { return false; }
#endif  // GLIMMARK_TEST_SEAMS

}  // namespace

EXTERN_C HANDLE WINAPI GetProcessHeap(void) { return kProcessHeap; }

EXTERN_C LPVOID WINAPI HeapAlloc(HANDLE hHeap, DWORD dwFlags, SIZE_T dwBytes) {
  if (hHeap != kProcessHeap || SeamFailsThisAllocation()) return nullptr;
  const SIZE_T size = dwBytes == 0 ? 1 : dwBytes;
  return (dwFlags & HEAP_ZERO_MEMORY) != 0 ? std::calloc(1, size) : std::malloc(size);
}

EXTERN_C BOOL WINAPI HeapFree(HANDLE hHeap, DWORD, LPVOID lpMem) {
  if (hHeap != kProcessHeap) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  std::free(lpMem);
  return TRUE;
}

#ifdef GLIMMARK_TEST_SEAMS
EXTERN_C void GlimmarkTest_FailHeapAllocation(DWORD nth) {
  allocationsUntilFailure.store(nth, std::memory_order_relaxed);
}
#endif  // GLIMMARK_TEST_SEAMS

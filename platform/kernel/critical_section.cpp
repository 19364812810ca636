// Critical sections over a recursive mutex placed in the caller's storage.
#include <mutex>
#include <new>

#ifdef GLIMMARK_TEST_SEAMS
#include "glimmark_test_seams.h"
#endif  // GLIMMARK_TEST_SEAMS
#include "kernel/fail_once.h"
#include "winbase.h"

namespace {

kernel::FailOnce failNextLockCreation;  // GlimmarkTest_FailNextLockCreation

static_assert(sizeof(std::recursive_mutex) <= sizeof(CRITICAL_SECTION::opaque));
static_assert(alignof(std::recursive_mutex) <= alignof(CRITICAL_SECTION));

std::recursive_mutex* MutexOf(LPCRITICAL_SECTION section) {
  return std::launder(reinterpret_cast<std::recursive_mutex*>(section->opaque));
}

}  // namespace

EXTERN_C void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION section) {
  if (section != nullptr) new (section->opaque) std::recursive_mutex();
}

EXTERN_C BOOL WINAPI InitializeCriticalSectionAndSpinCount(LPCRITICAL_SECTION section, DWORD) {
  if (section == nullptr) return FALSE;
  if (failNextLockCreation.Fires()) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }
  InitializeCriticalSection(section);
  return TRUE;
}

EXTERN_C void WINAPI EnterCriticalSection(LPCRITICAL_SECTION section) {
  if (section != nullptr) MutexOf(section)->lock();
}

EXTERN_C BOOL WINAPI TryEnterCriticalSection(LPCRITICAL_SECTION section) {
  return section != nullptr && MutexOf(section)->try_lock() ? TRUE : FALSE;
}

EXTERN_C void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION section) {
  if (section != nullptr) MutexOf(section)->unlock();
}

EXTERN_C void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION section) {
  if (section != nullptr) MutexOf(section)->~recursive_mutex();
}

#ifdef GLIMMARK_TEST_SEAMS
EXTERN_C void GlimmarkTest_FailNextLockCreation(void) { failNextLockCreation.Arm(); }
#endif  // GLIMMARK_TEST_SEAMS

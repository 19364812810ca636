// Kernel services the component calls: last-error value, critical sections
// (recursive, as on Windows), interlocked counters and the system clock.
// Module and resource functions are declared in libloaderapi.h.
#pragma once

#include "windef.h"
#include "winerror.h"

EXTERN_C PLATFORM_API DWORD WINAPI GetLastError(void);
EXTERN_C PLATFORM_API void WINAPI SetLastError(DWORD error);

// A critical section is owned by whoever declares it; the storage holds the
// platform's recursive mutex. A thread that holds it may enter it again.
typedef struct _RTL_CRITICAL_SECTION {
  alignas(8) unsigned char opaque[48];
} CRITICAL_SECTION, *LPCRITICAL_SECTION, *PCRITICAL_SECTION;

EXTERN_C PLATFORM_API void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION section);
EXTERN_C PLATFORM_API BOOL WINAPI InitializeCriticalSectionAndSpinCount(LPCRITICAL_SECTION section,
                                                                       DWORD spinCount);
EXTERN_C PLATFORM_API void WINAPI EnterCriticalSection(LPCRITICAL_SECTION section);
EXTERN_C PLATFORM_API BOOL WINAPI TryEnterCriticalSection(LPCRITICAL_SECTION section);
EXTERN_C PLATFORM_API void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION section);
EXTERN_C PLATFORM_API void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION section);

// Interlocked operations: sequentially consistent, as the Windows ones are full
// barriers. Each returns the resulting value (Exchange: the previous one).
inline LONG InterlockedIncrement(LONG volatile* target) {
  return __atomic_add_fetch(target, 1, __ATOMIC_SEQ_CST);
}
inline LONG InterlockedDecrement(LONG volatile* target) {
  return __atomic_sub_fetch(target, 1, __ATOMIC_SEQ_CST);
}
inline LONG InterlockedExchange(LONG volatile* target, LONG value) {
  return __atomic_exchange_n(target, value, __ATOMIC_SEQ_CST);
}
inline LONG InterlockedExchangeAdd(LONG volatile* target, LONG value) {
  return __atomic_fetch_add(target, value, __ATOMIC_SEQ_CST);
}
inline LONG InterlockedCompareExchange(LONG volatile* target, LONG exchange, LONG comparand) {
  __atomic_compare_exchange_n(target, &comparand, exchange, false, __ATOMIC_SEQ_CST,
                              __ATOMIC_SEQ_CST);
  return comparand;
}
inline PVOID InterlockedCompareExchangePointer(PVOID volatile* target, PVOID exchange,
                                               PVOID comparand) {
  __atomic_compare_exchange_n(target, &comparand, exchange, false, __ATOMIC_SEQ_CST,
                              __ATOMIC_SEQ_CST);
  return comparand;
}
inline PVOID InterlockedExchangePointer(PVOID volatile* target, PVOID value) {
  return __atomic_exchange_n(target, value, __ATOMIC_SEQ_CST);
}

// The current time as 100-nanosecond intervals since 1601-01-01 UTC. Under
// the test seam (glimmark_test_seams.h) it answers the pinned instant.
EXTERN_C PLATFORM_API void WINAPI GetSystemTimeAsFileTime(LPFILETIME time);

#include "libloaderapi.h"

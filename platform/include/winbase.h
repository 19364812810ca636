// Kernel services the component calls: last-error value, critical sections
// (recursive, as on Windows), interlocked counters, the system clock, the
// process heap, the thread locale and ANSI-to-UTF-16 conversion. Module and
// resource functions are declared in libloaderapi.h.
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

// The process heap: one per process, never destroyed. HeapAlloc answers null
// when memory runs out (HEAP_ZERO_MEMORY zero-fills); HeapFree of null is
// TRUE. Under the test seam (glimmark_test_seams.h) a chosen call fails.
#define HEAP_ZERO_MEMORY 0x00000008
EXTERN_C PLATFORM_API HANDLE WINAPI GetProcessHeap(void);
EXTERN_C PLATFORM_API LPVOID WINAPI HeapAlloc(HANDLE hHeap, DWORD dwFlags, SIZE_T dwBytes);
EXTERN_C PLATFORM_API BOOL WINAPI HeapFree(HANDLE hHeap, DWORD dwFlags, LPVOID lpMem);

// The calling thread's locale. It starts as the user default (en-US, 0x0409);
// LOCALE_SYSTEM_DEFAULT and LOCALE_USER_DEFAULT are stored as that locale.
EXTERN_C PLATFORM_API LCID WINAPI GetThreadLocale(void);
EXTERN_C PLATFORM_API BOOL WINAPI SetThreadLocale(LCID Locale);
// The user's and the system's default locale: both en-US (0x0409) here.
EXTERN_C PLATFORM_API LCID WINAPI GetUserDefaultLCID(void);
EXTERN_C PLATFORM_API LCID WINAPI GetSystemDefaultLCID(void);

// Code pages. Every locale's ANSI code page here is Windows-1252, so CP_ACP
// and CP_THREAD_ACP convert as 1252; CP_UTF8 converts UTF-8 (invalid
// sequences become U+FFFD, or fail with MB_ERR_INVALID_CHARS).
#define CP_ACP 0
#define CP_THREAD_ACP 3
#define CP_UTF8 65001
#define MB_ERR_INVALID_CHARS 0x00000008
typedef const CHAR* LPCCH;
// Returns the UTF-16 units written (or needed, when cchWideChar is 0),
// counting the terminator when cbMultiByte is -1; 0 with the last error
// ERROR_INVALID_PARAMETER, ERROR_INSUFFICIENT_BUFFER or
// ERROR_NO_UNICODE_TRANSLATION on failure.
EXTERN_C PLATFORM_API int WINAPI MultiByteToWideChar(UINT CodePage, DWORD dwFlags,
                                                     LPCCH lpMultiByteStr, int cbMultiByte,
                                                     LPWSTR lpWideCharStr, int cchWideChar);

// UTF-16 to UTF-8: CodePage must be CP_UTF8 here, lpDefaultChar and
// lpUsedDefaultChar null (as Windows requires for UTF-8). Unpaired surrogates
// become U+FFFD, or fail with WC_ERR_INVALID_CHARS. Returns the bytes written
// (or needed, when cbMultiByte is 0), counting the terminator when
// cchWideChar is -1; 0 with the last error as MultiByteToWideChar's.
#define WC_ERR_INVALID_CHARS 0x00000080
typedef const WCHAR* LPCWCH;
EXTERN_C PLATFORM_API int WINAPI WideCharToMultiByte(UINT CodePage, DWORD dwFlags,
                                                     LPCWCH lpWideCharStr, int cchWideChar,
                                                     LPSTR lpMultiByteStr, int cbMultiByte,
                                                     LPCCH lpDefaultChar, LPBOOL lpUsedDefaultChar);

// Reasons a library's entry point (DllMain) is called for.
#define DLL_PROCESS_DETACH 0
#define DLL_PROCESS_ATTACH 1
#define DLL_THREAD_ATTACH 2
#define DLL_THREAD_DETACH 3

#include "libloaderapi.h"

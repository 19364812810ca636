// The calling thread's last-error value.
#include "winbase.h"

namespace {
thread_local DWORD lastError = ERROR_SUCCESS;
}

EXTERN_C DWORD WINAPI GetLastError(void) { return lastError; }
EXTERN_C void WINAPI SetLastError(DWORD error) { lastError = error; }

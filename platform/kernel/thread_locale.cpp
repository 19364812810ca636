// The calling thread's locale. There is one real locale here, en-US; the
// pseudo-locales for "system default" and "user default" stand for it.
#include "winbase.h"

namespace {

constexpr LCID kEnglishUnitedStates = 0x0409;

thread_local LCID threadLocale = kEnglishUnitedStates;

LCID Resolved(LCID locale) {
  return locale == LOCALE_SYSTEM_DEFAULT || locale == LOCALE_USER_DEFAULT ? kEnglishUnitedStates
                                                                          : locale;
}

}  // namespace

EXTERN_C LCID WINAPI GetThreadLocale(void) { return threadLocale; }

EXTERN_C LCID WINAPI GetUserDefaultLCID(void) { return kEnglishUnitedStates; }
EXTERN_C LCID WINAPI GetSystemDefaultLCID(void) { return kEnglishUnitedStates; }

EXTERN_C BOOL WINAPI SetThreadLocale(LCID Locale) {
  if (Locale == LOCALE_NEUTRAL) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  threadLocale = Resolved(Locale);
  return TRUE;
}

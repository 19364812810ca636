// FOR TESTING ONLY. Seams of the platform layer that let tests pin what the
// component cannot control: the clock, installed encoders, failing resources.
// Component code never includes this header.
#pragma once

#include "windef.h"

// Pins the system clock at `seconds` since 1970-01-01 UTC plus `milliseconds`
// (0..999); GetSystemTimeAsFileTime answers that instant until unpinned.
EXTERN_C PLATFORM_API void GlimmarkTest_PinClock(int64_t seconds, int milliseconds);
EXTERN_C PLATFORM_API void GlimmarkTest_UnpinClock(void);

// Hides the encoder with this MIME type (e.g. u"image/gif") from
// GdipGetImageEncodersSize/GdipGetImageEncoders and from saving, as if it
// were not installed, until GlimmarkTest_ShowAllEncoders.
EXTERN_C PLATFORM_API void GlimmarkTest_HideEncoder(const WCHAR* mimeType);
EXTERN_C PLATFORM_API void GlimmarkTest_ShowAllEncoders(void);

// Makes the next CreateStreamOnHGlobal fail with E_OUTOFMEMORY (once).
EXTERN_C PLATFORM_API void GlimmarkTest_FailNextStreamCreation(void);

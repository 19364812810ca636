// FOR TESTING ONLY. Seams of the platform layer that let tests pin what the
// component cannot control: the clock, installed encoders, failing resources.
// Component code never includes this header. The seams exist only in builds
// with tests, benchmarks or fuzz targets (GLIMMARK_TEST_SEAMS, set by the
// top CMakeLists.txt): a release build of the platform carries none of them.
#pragma once

#ifndef GLIMMARK_TEST_SEAMS
#error "test seams exist only in builds with tests, benchmarks or fuzz targets"
#endif

#include "windef.h"

// Pins the system clock at `seconds` since 1970-01-01 UTC plus `milliseconds`
// (0..999); GetSystemTimeAsFileTime answers that instant until unpinned.
EXTERN_C PLATFORM_API void GlimmarkTest_PinClock(int64_t seconds, int milliseconds);
EXTERN_C PLATFORM_API void GlimmarkTest_UnpinClock(void);
// For a test that runs a tool in its own process: the environment variable
// GLIMMARK_TEST_SEAM_PINNED_CLOCK, whole seconds since 1970-01-01 UTC, pins
// that process's clock from its first reading on (GlimmarkTest_PinClock still
// takes precedence). Anything but a whole decimal number is ignored.

// Hides the encoder with this MIME type (e.g. u"image/gif") from
// GdipGetImageEncodersSize/GdipGetImageEncoders and from saving, as if it
// were not installed, until GlimmarkTest_ShowAllEncoders.
EXTERN_C PLATFORM_API void GlimmarkTest_HideEncoder(const WCHAR* mimeType);
EXTERN_C PLATFORM_API void GlimmarkTest_ShowAllEncoders(void);

// Grey text: true makes every glyph drawn be loaded and transformed by
// FreeType, as without the glyph outline cache; false (the default) draws
// from the cache. Tests compare the two.
EXTERN_C PLATFORM_API void GlimmarkTest_LoadEveryGlyph(bool load);

// Grey text: true draws glyphs with FreeType's grey rasteriser instead of our
// coverage raster; false (the default) with ours. Tests compare the two.
EXTERN_C PLATFORM_API void GlimmarkTest_UseFreeTypeGreyRaster(bool use);

// Makes the `nth` HeapAlloc from now on (1: the very next) fail once, as if
// memory had run out; 0 cancels. Counts calls on every thread.
EXTERN_C PLATFORM_API void GlimmarkTest_FailHeapAllocation(DWORD nth);

// Makes the next InitializeCriticalSectionAndSpinCount answer FALSE with
// ERROR_NOT_ENOUGH_MEMORY (once), as a lock that cannot be created.
EXTERN_C PLATFORM_API void GlimmarkTest_FailNextLockCreation(void);

// Counters of the type-library layer since the process started: calls of
// ITypeInfo::GetIDsOfNames on any type information, and type libraries
// decoded (from a .tlb file or a module's TYPELIB resource). Tests tell from
// them whether a name was answered from a cache and how often a library loaded.
EXTERN_C PLATFORM_API LONG GlimmarkTest_TypeInfoNameLookups(void);
EXTERN_C PLATFORM_API LONG GlimmarkTest_TypeLibraryLoads(void);

// JPEG encodes since the process started that handed libjpeg the picture's
// grey bytes as raw samples (every pixel had blue == green == red) instead
// of its BGRX rows. Tests tell from it which way a picture went; the bytes
// are the same either way.
EXTERN_C PLATFORM_API LONG GlimmarkTest_GreyJpegEncodes(void);

// Makes the next CreateStreamOnHGlobal fail with E_OUTOFMEMORY (once).
EXTERN_C PLATFORM_API void GlimmarkTest_FailNextStreamCreation(void);
// Makes the next SysAllocString, SysAllocStringLen or SysAllocStringByteLen
// answer null (once), as if memory had run out.
EXTERN_C PLATFORM_API void GlimmarkTest_FailNextStringAllocation(void);
// Makes the next CreateErrorInfo fail with E_OUTOFMEMORY (once).
EXTERN_C PLATFORM_API void GlimmarkTest_FailNextErrorInfoCreation(void);
// Makes the next GetModuleFileNameW answer 0 with ERROR_INVALID_HANDLE (once),
// as for a module handle the loader does not know.
EXTERN_C PLATFORM_API void GlimmarkTest_FailNextModuleFileName(void);

// Registry file: from now on the registry uses the file at `path` (null: the
// location from the environment again), opened on next use; every open key
// handle is forgotten. Tests call it to start from a fresh file.
EXTERN_C PLATFORM_API void GlimmarkTest_UseRegistryFile(const char* path);
// Runs `hook` once, inside the next registry call that writes, after its
// changes are made and just before they are committed (null: no hook). A
// test that kills its process there sees what a crash at that point leaves.
EXTERN_C PLATFORM_API void GlimmarkTest_BeforeNextRegistryCommit(void (*hook)(void));
// Removes every key and value below the hive roots in one transaction.
// Returns ERROR_SUCCESS or the Win32 error of the failure.
EXTERN_C PLATFORM_API LONG GlimmarkTest_ClearRegistry(void);
// Runs SQLite's integrity check on the registry file: ERROR_SUCCESS, or
// ERROR_BADDB when the file is damaged.
EXTERN_C PLATFORM_API LONG GlimmarkTest_CheckRegistryIntegrity(void);

// True makes the graphics layer's vector loops (the resampler's passes, the
// pixel squeezing of 24-bit locks) take their SSE2 forms even where the
// processor offers more; false (the default) lets them choose. Returns
// whether this processor offers more at all. Tests compare the two.
EXTERN_C PLATFORM_API bool GlimmarkTest_UseBaselineInstructionsOnly(bool baseline);

// Locking bitmap pixels for direct access. A lock hands out a copy of the
// area in the asked format (24-bit: blue, green, red; 32-bit: blue, green,
// red, 255), rows 4-byte aligned; a write lock copies the buffer back into
// the bitmap when unlocked. A read-only 32bppRGB lock into the layer's own
// buffer is the exception: it hands out the surface's rows themselves, with
// no copy, their fourth byte unspecified (as that format's is). One lock per
// bitmap at a time.
#include "gdiplus/raster/simd.h"

#if defined(GLIMMARK_SSE2)
#include <emmintrin.h>
#include <tmmintrin.h>
#endif

#include <cstring>
#include <memory>
#include <new>

#include "gdiplus/objects/bitmap.h"
#include "gdiplus/raster/cpu_features.h"

namespace Gdiplus::Internal {
namespace {

constexpr UINT kKnownLockFlags = ImageLockModeRead | ImageLockModeWrite | ImageLockModeUserInputBuf;
constexpr uint32_t kOpaqueAlpha = 0xFF000000u;

// Locks that read the surface's own rows: read-only, into the layer's
// buffer, in the surface's own layout.
bool IsInPlace(UINT flags, PixelFormat format) {
  return flags == ImageLockModeRead && format == PixelFormat32bppRGB;
}

INT AlignedStride(INT width, INT bytesPerPixel) { return (width * bytesPerPixel + 3) & ~3; }

// The area to lock: the whole image for a null rectangle, else a rectangle
// inside it with positive size.
bool ResolveLockArea(const BitmapObject& bitmap, const GpRect* rect, Rect& area) {
  if (rect == nullptr) {
    area = Rect(0, 0, bitmap.Width(), bitmap.Height());
    return true;
  }
  if (rect->Width <= 0 || rect->Height <= 0 || rect->X < 0 || rect->Y < 0) return false;
  if (rect->X > bitmap.Width() - rect->Width || rect->Y > bitmap.Height() - rect->Height) {
    return false;
  }
  area = *rect;
  return true;
}

// One row of opaque pixels out as blue-green-red triples. Four pixels at a
// time squeezed into 12 bytes of one 16-byte store (whose last four bytes
// the next store overwrites), while a whole store fits the row; the rest a
// pixel at a time, three bytes each, so nothing past the row is touched.
// Processors with SSSE3 squeeze with one byte shuffle, others with SSE2
// masks and shifts; both write the same bytes.
void RowTo24Tail(const uint32_t* source, INT x, INT width, BYTE* target) {
  for (; x < width; ++x) std::memcpy(target + 3 * x, &source[x], 3);  // little-endian: B, G, R
}

#if defined(GLIMMARK_SSE2)
constexpr INT kPixelsPerStore = 4;
constexpr INT kPixelsStoreReaches = 6;  // a 16-byte store at pixel x reaches into pixel x + 5

void RowTo24Sse2(const uint32_t* source, INT width, BYTE* target) {
  INT x = 0;
  const __m128i lowPixel = _mm_set1_epi64x(0xFFFFFF);
  const __m128i highPixel = _mm_set1_epi64x(0xFFFFFF000000);
  for (; x + kPixelsStoreReaches <= width; x += kPixelsPerStore) {
    const __m128i pixels = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + x));
    // Each 64-bit half: its first pixel's three bytes, then its second's.
    const __m128i halves = _mm_or_si128(_mm_and_si128(pixels, lowPixel),
                                        _mm_and_si128(_mm_srli_epi64(pixels, 8), highPixel));
    const __m128i packed =
        _mm_or_si128(_mm_move_epi64(halves), _mm_slli_si128(_mm_unpackhi_epi64(halves, halves), 6));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(target + 3 * x), packed);
  }
  RowTo24Tail(source, x, width, target);
}

// Four pixels' blue, green and red in the low 12 bytes; the rest zero.
[[gnu::target("ssse3")]] inline __m128i SqueezeFour(const uint32_t* pixels) {
  const __m128i squeeze = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
  return _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(pixels)), squeeze);
}

// Sixteen pixels make three whole 16-byte stores: four squeezed groups of 12
// bytes shifted together. The rest go four at a time, then one at a time.
[[gnu::target("ssse3")]] void RowTo24Ssse3(const uint32_t* source, INT width, BYTE* target) {
  INT x = 0;
  constexpr INT kPixelsPerThreeStores = 16;
  for (; x + kPixelsPerThreeStores <= width; x += kPixelsPerThreeStores) {
    const __m128i a = SqueezeFour(source + x), b = SqueezeFour(source + x + 4),
                  c = SqueezeFour(source + x + 8), d = SqueezeFour(source + x + 12);
    auto* out = reinterpret_cast<__m128i*>(target + 3 * x);
    _mm_storeu_si128(out, _mm_or_si128(a, _mm_slli_si128(b, 12)));
    _mm_storeu_si128(out + 1, _mm_or_si128(_mm_srli_si128(b, 4), _mm_slli_si128(c, 8)));
    _mm_storeu_si128(out + 2, _mm_or_si128(_mm_srli_si128(c, 8), _mm_slli_si128(d, 4)));
  }
  for (; x + kPixelsStoreReaches <= width; x += kPixelsPerStore) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(target + 3 * x), SqueezeFour(source + x));
  }
  RowTo24Tail(source, x, width, target);
}

using RowOut = void (*)(const uint32_t*, INT, BYTE*);

// The squeeze this processor runs best.
RowOut RowTo24() { return UseSsse3() ? RowTo24Ssse3 : RowTo24Sse2; }
#else
using RowOut = void (*)(const uint32_t*, INT, BYTE*);

void RowTo24Portable(const uint32_t* source, INT width, BYTE* target) {
  RowTo24Tail(source, 0, width, target);
}

RowOut RowTo24() { return RowTo24Portable; }
#endif

void RowTo32(const uint32_t* source, INT width, BYTE* target) {
  for (INT x = 0; x < width; ++x) {
    const uint32_t pixel = source[x] | kOpaqueAlpha;
    std::memcpy(target + 4 * x, &pixel, 4);
  }
}

// The reverse, reading four bytes a pixel apart but the last pixel's three.
void RowFrom24(const BYTE* source, INT width, uint32_t* target) {
  for (INT x = 0; x + 1 < width; ++x) {
    uint32_t pixel;
    std::memcpy(&pixel, source + 3 * x, 4);
    target[x] = kOpaqueAlpha | (pixel & 0x00FFFFFFu);
  }
  const BYTE* last = source + 3 * (width - 1);
  target[width - 1] = kOpaqueAlpha | last[0] | (uint32_t{last[1]} << 8) | (uint32_t{last[2]} << 16);
}

void RowFrom32(const BYTE* source, INT width, uint32_t* target) {
  for (INT x = 0; x < width; ++x) {
    uint32_t pixel;
    std::memcpy(&pixel, source + 4 * x, 4);
    target[x] = kOpaqueAlpha | pixel;
  }
}

void CopyOut(const SurfacePixels& pixels, const Rect& area, PixelFormat format, BYTE* scan0,
             INT stride) {
  const RowOut copyRow = BytesPerPixel(format) == 3 ? RowTo24() : RowTo32;
  for (INT y = 0; y < area.Height; ++y) {
    copyRow(pixels.Row(area.Y + y) + area.X, area.Width, scan0 + ptrdiff_t{y} * stride);
  }
}

void CopyIn(const SurfacePixels& pixels, const Rect& area, PixelFormat format, const BYTE* scan0,
            INT stride) {
  const auto copyRow = BytesPerPixel(format) == 3 ? RowFrom24 : RowFrom32;
  for (INT y = 0; y < area.Height; ++y) {
    copyRow(scan0 + ptrdiff_t{y} * stride, area.Width, pixels.Row(area.Y + y) + area.X);
  }
  pixels.MarkDirty(area.X, area.Y, area.Width, area.Height);
}

}  // namespace
}  // namespace Gdiplus::Internal

namespace Gdiplus::DllExports {
using namespace Gdiplus::Internal;
extern "C" {

// With ImageLockModeUserInputBuf the caller's Scan0 and Stride (which must
// hold a row of the asked format) receive the pixels; otherwise the layer
// allocates the buffer, freed at unlock.
GpStatus WINGDIPAPI GdipBitmapLockBits(GpBitmap* bitmap, GDIPCONST GpRect* rect, UINT flags,
                                       PixelFormat format, BitmapData* lockedData) {
  BitmapObject* object = LookUpBitmap(bitmap);
  if (object == nullptr || lockedData == nullptr) return InvalidParameter;
  if ((flags & ~kKnownLockFlags) != 0 || (flags & (ImageLockModeRead | ImageLockModeWrite)) == 0) {
    return InvalidParameter;
  }
  if (!IsSupportedPixelFormat(format)) return InvalidParameter;
  Rect area;
  if (!ResolveLockArea(*object, rect, area)) return InvalidParameter;
  if (object->lock.active) return WrongState;

  const INT minimumStride = area.Width * BytesPerPixel(format);
  BYTE* scan0 = nullptr;
  INT stride = 0;
  std::unique_ptr<BYTE, PixelMemoryDeleter> buffer;
  if (IsInPlace(flags, format)) {
    const SurfacePixels pixels(object->surface);  // settles a pending clear, flushes cairo
    scan0 = reinterpret_cast<BYTE*>(pixels.Row(area.Y) + area.X);
    stride = pixels.stride;
  } else if (flags & ImageLockModeUserInputBuf) {
    scan0 = static_cast<BYTE*>(lockedData->Scan0);
    stride = lockedData->Stride;
    if (scan0 == nullptr || (stride < minimumStride && -stride < minimumStride)) {
      return InvalidParameter;
    }
  } else {
    stride = AlignedStride(area.Width, BytesPerPixel(format));
    buffer.reset(static_cast<BYTE*>(AcquirePixelMemory(size_t(stride) * size_t(area.Height))));
    if (buffer == nullptr) return OutOfMemory;
    scan0 = buffer.get();
  }
  // A buffer of the layer's own always starts as the pixels (never as stale
  // heap memory), so a write lock leaves the pixels its caller skips as they were.
  if (((flags & ImageLockModeRead) || buffer != nullptr) && !IsInPlace(flags, format)) {
    CopyOut(SurfacePixels(object->surface), area, format, scan0, stride);
  }

  object->lock.active = true;
  object->lock.flags = flags;
  object->lock.format = format;
  object->lock.area = area;
  object->lock.scan0 = scan0;
  object->lock.stride = stride;
  object->lock.buffer = std::move(buffer);
  lockedData->Width = static_cast<UINT>(area.Width);
  lockedData->Height = static_cast<UINT>(area.Height);
  lockedData->Stride = stride;
  lockedData->PixelFormat = format;
  lockedData->Scan0 = scan0;
  lockedData->Reserved = 0;
  return Ok;
}

GpStatus WINGDIPAPI GdipBitmapUnlockBits(GpBitmap* bitmap, BitmapData* lockedData) {
  BitmapObject* object = LookUpBitmap(bitmap);
  if (object == nullptr || lockedData == nullptr) return InvalidParameter;
  PixelLock& lock = object->lock;
  if (!lock.active) return WrongState;
  // Only the buffer this lock handed out is read back, never a pointer the
  // caller changed since.
  if (lockedData->Scan0 != lock.scan0) return InvalidParameter;
  if (lock.flags & ImageLockModeWrite) {
    CopyIn(SurfacePixels(object->surface), lock.area, lock.format, lock.scan0, lock.stride);
  }
  lock = PixelLock();
  return Ok;
}

}  // extern "C"
}  // namespace Gdiplus::DllExports

// Locking bitmap pixels for direct access. A lock hands out a copy of the
// area in the asked format (24-bit: blue, green, red; 32-bit: blue, green,
// red, 255), rows 4-byte aligned; a write lock copies the buffer back into
// the bitmap when unlocked. One lock per bitmap at a time.
#include <cstring>
#include <new>

#include "gdiplus/bitmap.h"

namespace Gdiplus::Internal {
namespace {

constexpr UINT kKnownLockFlags = ImageLockModeRead | ImageLockModeWrite | ImageLockModeUserInputBuf;
constexpr uint32_t kOpaqueAlpha = 0xFF000000u;

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

void CopyOut(const SurfacePixels& pixels, const Rect& area, PixelFormat format, BYTE* scan0,
             INT stride) {
  const INT bytesPerPixel = BytesPerPixel(format);
  for (INT y = 0; y < area.Height; ++y) {
    const uint32_t* source = pixels.Row(area.Y + y) + area.X;
    BYTE* target = scan0 + ptrdiff_t{y} * stride;
    for (INT x = 0; x < area.Width; ++x, target += bytesPerPixel) {
      const uint32_t pixel = source[x] | kOpaqueAlpha;
      std::memcpy(target, &pixel, bytesPerPixel);  // little-endian: B, G, R[, A]
    }
  }
}

void CopyIn(const SurfacePixels& pixels, const Rect& area, PixelFormat format, const BYTE* scan0,
            INT stride) {
  const INT bytesPerPixel = BytesPerPixel(format);
  for (INT y = 0; y < area.Height; ++y) {
    uint32_t* target = pixels.Row(area.Y + y) + area.X;
    const BYTE* source = scan0 + ptrdiff_t{y} * stride;
    for (INT x = 0; x < area.Width; ++x, source += bytesPerPixel) {
      target[x] =
          kOpaqueAlpha | source[0] | (uint32_t{source[1]} << 8) | (uint32_t{source[2]} << 16);
    }
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
  std::vector<BYTE> buffer;
  if (flags & ImageLockModeUserInputBuf) {
    scan0 = static_cast<BYTE*>(lockedData->Scan0);
    stride = lockedData->Stride;
    if (scan0 == nullptr || (stride < minimumStride && -stride < minimumStride)) {
      return InvalidParameter;
    }
  } else {
    stride = AlignedStride(area.Width, BytesPerPixel(format));
    try {
      buffer.resize(size_t(stride) * size_t(area.Height));
    } catch (const std::bad_alloc&) {
      return OutOfMemory;
    }
    scan0 = buffer.data();
  }
  if (flags & ImageLockModeRead)
    CopyOut(SurfacePixels(object->surface), area, format, scan0, stride);

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

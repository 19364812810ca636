// Bitmaps: opaque pixel images kept in a cairo RGB24 surface (each pixel four
// bytes, blue, green, red, unused, on this little-endian machine). The bitmap
// owns one surface reference; each drawing context on it holds another, so a
// context outliving its bitmap still draws into valid memory. See
// pixel_lock.cpp for GdipBitmapLockBits and graphics.h for drawing contexts.
#pragma once

#include <cairo.h>

#include <cstdint>
#include <memory>

#include "gdiplus.h"
#include "gdiplus/objects/handle_registry.h"
#include "gdiplus/objects/pixel_memory.h"

namespace Gdiplus::Internal {

// Largest width or height of a bitmap: cairo's own limit for image surfaces.
constexpr INT kMaxBitmapSide = 32767;
// Largest pixel count of one bitmap: 16 Mi pixels, 64 MiB of surface. Far above
// any picture this layer is asked for, and low enough that a bad size from a
// caller cannot exhaust the machine.
constexpr int64_t kMaxBitmapPixels = int64_t{16} * 1024 * 1024;

// The state of a GdipBitmapLockBits that has not been unlocked yet.
struct PixelLock {
  bool active = false;
  UINT flags = 0;
  PixelFormat format = 0;
  Rect area;
  BYTE* scan0 = nullptr;  // first row handed out
  INT stride = 0;         // bytes from one handed-out row to the next
  // null when the caller supplied the buffer
  std::unique_ptr<BYTE, PixelMemoryDeleter> buffer;
};

struct BitmapObject final : GpBitmap {
  static constexpr ObjectKind kKind = ObjectKind::Bitmap;

  // Takes over one reference to `surface`.
  BitmapObject(cairo_surface_t* surface, PixelFormat format) : surface(surface), format(format) {}
  ~BitmapObject() { cairo_surface_destroy(surface); }
  BitmapObject(const BitmapObject&) = delete;
  BitmapObject& operator=(const BitmapObject&) = delete;

  INT Width() const { return cairo_image_surface_get_width(surface); }
  INT Height() const { return cairo_image_surface_get_height(surface); }

  cairo_surface_t* surface;
  PixelFormat format;
  PixelLock lock;
};

// New bitmaps are black, but their memory is cleared lazily: at the first
// access that reads pixels or keeps some of them, not when the bitmap is made,
// since most bitmaps are at once covered whole by an opaque fill.
// SettlePendingClear clears a surface whose clearing is still pending (every
// access path calls it: SurfacePixels, cairo contexts, cairo sources).
// ForgetPendingClear is for a caller about to overwrite every pixel opaquely;
// it returns whether a clear was pending, for MarkPendingClear to put back
// when the overwrite fails before writing anything.
void SettlePendingClear(cairo_surface_t* surface) noexcept;
bool ForgetPendingClear(cairo_surface_t* surface) noexcept;
void MarkPendingClear(cairo_surface_t* surface) noexcept;

// True when `area` covers every pixel of the surface.
bool CoversSurface(cairo_surface_t* surface, const Rect& area) noexcept;

// Direct access to a surface's pixels for code that bypasses cairo. Opening
// settles a pending clear and flushes cairo's pending drawing; MarkDirty tells
// cairo the memory changed.
struct SurfacePixels {
  explicit SurfacePixels(cairo_surface_t* surface);
  uint32_t* Row(INT y) const { return reinterpret_cast<uint32_t*>(data + ptrdiff_t{y} * stride); }
  void MarkDirty(INT x, INT y, INT width, INT height) const;

  cairo_surface_t* surface;
  unsigned char* data;
  INT stride;
  INT width;
  INT height;
};

// The bitmap behind an image handle (images are always bitmaps here), or null.
BitmapObject* LookUpBitmap(const void* image) noexcept;

// True for the pixel formats a bitmap can be made in and locked as.
bool IsSupportedPixelFormat(PixelFormat format) noexcept;

// Bytes per pixel of a supported format (3 or 4).
INT BytesPerPixel(PixelFormat format) noexcept;

}  // namespace Gdiplus::Internal

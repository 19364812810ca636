// Making, measuring and disposing of bitmaps.
#include "gdiplus/objects/bitmap.h"

#include <cstring>
#include <new>

#include "gdiplus/objects/pixel_memory.h"
#include "gdiplus/objects/startup_state.h"

namespace Gdiplus::Internal {
namespace {

// User data keys of the surfaces made here: the pixel memory they own, and
// the mark of a clear still pending (any non-null value).
const cairo_user_data_key_t kPixelMemoryKey{};
const cairo_user_data_key_t kPendingClearKey{};

void ClearPixels(cairo_surface_t* surface) {
  cairo_surface_flush(surface);
  const size_t bytes = size_t(cairo_image_surface_get_stride(surface)) *
                       size_t(cairo_image_surface_get_height(surface));
  std::memset(cairo_image_surface_get_data(surface), 0, bytes);
  cairo_surface_mark_dirty(surface);
}

}  // namespace

void SettlePendingClear(cairo_surface_t* surface) noexcept {
  if (ForgetPendingClear(surface)) ClearPixels(surface);
}

bool ForgetPendingClear(cairo_surface_t* surface) noexcept {
  if (cairo_surface_get_user_data(surface, &kPendingClearKey) == nullptr) return false;
  cairo_surface_set_user_data(surface, &kPendingClearKey, nullptr, nullptr);
  return true;
}

void MarkPendingClear(cairo_surface_t* surface) noexcept {
  if (cairo_surface_set_user_data(surface, &kPendingClearKey, surface, nullptr) !=
      CAIRO_STATUS_SUCCESS) {
    ClearPixels(surface);  // no memory for the mark: clear now
  }
}

bool CoversSurface(cairo_surface_t* surface, const Rect& area) noexcept {
  return area.X <= 0 && area.Y <= 0 &&
         int64_t{area.X} + area.Width >= cairo_image_surface_get_width(surface) &&
         int64_t{area.Y} + area.Height >= cairo_image_surface_get_height(surface);
}

SurfacePixels::SurfacePixels(cairo_surface_t* surface)
    : surface(surface),
      data(nullptr),
      stride(cairo_image_surface_get_stride(surface)),
      width(cairo_image_surface_get_width(surface)),
      height(cairo_image_surface_get_height(surface)) {
  SettlePendingClear(surface);
  cairo_surface_flush(surface);
  data = cairo_image_surface_get_data(surface);
}

void SurfacePixels::MarkDirty(INT x, INT y, INT w, INT h) const {
  cairo_surface_mark_dirty_rectangle(surface, x, y, w, h);
}

BitmapObject* LookUpBitmap(const void* image) noexcept { return LookUp<BitmapObject>(image); }

bool IsSupportedPixelFormat(PixelFormat format) noexcept {
  return format == PixelFormat24bppRGB || format == PixelFormat32bppRGB ||
         format == PixelFormat32bppARGB;
}

INT BytesPerPixel(PixelFormat format) noexcept { return format == PixelFormat24bppRGB ? 3 : 4; }

namespace {

// Sizes a bitmap may have; anything else is refused before any allocation.
GpStatus CheckBitmapSize(INT width, INT height) {
  if (width <= 0 || height <= 0) return InvalidParameter;
  if (width > kMaxBitmapSide || height > kMaxBitmapSide) return InvalidParameter;
  if (int64_t{width} * height > kMaxBitmapPixels) return OutOfMemory;
  return Ok;
}

// A new opaque surface over memory of its own, black (the colour GDI+ gives
// a new 24-bit bitmap) once its pending clear is settled; null when memory
// runs out.
cairo_surface_t* NewOpaqueSurface(INT width, INT height) {
  const int stride = cairo_format_stride_for_width(CAIRO_FORMAT_RGB24, width);
  if (stride <= 0) return nullptr;
  auto* memory = static_cast<unsigned char*>(AcquirePixelMemory(size_t(stride) * size_t(height)));
  if (memory == nullptr) return nullptr;
  cairo_surface_t* surface =
      cairo_image_surface_create_for_data(memory, CAIRO_FORMAT_RGB24, width, height, stride);
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS ||
      cairo_surface_set_user_data(surface, &kPixelMemoryKey, memory, ReleasePixelMemory) !=
          CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(surface);
    ReleasePixelMemory(memory);
    return nullptr;
  }
  MarkPendingClear(surface);  // from here the surface frees the memory
  return surface;
}

}  // namespace
}  // namespace Gdiplus::Internal

namespace Gdiplus::DllExports {
using namespace Gdiplus::Internal;
extern "C" {

// Only bitmaps that own their pixels can be made: a caller's pixel memory
// (scan0) is answered with NotImplemented, as the surfaces here cannot alias
// 24-bit rows.
GpStatus WINGDIPAPI GdipCreateBitmapFromScan0(INT width, INT height, INT stride, PixelFormat format,
                                              BYTE* scan0, GpBitmap** bitmap) {
  if (bitmap == nullptr) return InvalidParameter;
  *bitmap = nullptr;
  if (!GdiplusIsStarted()) return GdiplusNotInitialized;
  if (!IsSupportedPixelFormat(format)) return InvalidParameter;
  if (scan0 != nullptr || stride != 0) return NotImplemented;
  const GpStatus sizeStatus = CheckBitmapSize(width, height);
  if (sizeStatus != Ok) return sizeStatus;
  cairo_surface_t* surface = NewOpaqueSurface(width, height);
  if (surface == nullptr) return OutOfMemory;
  BitmapObject* object = new (std::nothrow) BitmapObject(surface, format);
  if (object == nullptr) {
    cairo_surface_destroy(surface);
    return OutOfMemory;
  }
  return Publish(object, bitmap);
}

GpStatus WINGDIPAPI GdipGetImageWidth(GpImage* image, UINT* width) {
  BitmapObject* bitmap = LookUpBitmap(image);
  if (bitmap == nullptr || width == nullptr) return InvalidParameter;
  *width = static_cast<UINT>(bitmap->Width());
  return Ok;
}

GpStatus WINGDIPAPI GdipGetImageHeight(GpImage* image, UINT* height) {
  BitmapObject* bitmap = LookUpBitmap(image);
  if (bitmap == nullptr || height == nullptr) return InvalidParameter;
  *height = static_cast<UINT>(bitmap->Height());
  return Ok;
}

GpStatus WINGDIPAPI GdipDisposeImage(GpImage* image) { return Destroy<BitmapObject>(image); }

}  // extern "C"
}  // namespace Gdiplus::DllExports

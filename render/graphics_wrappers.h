// Small owners of GDI+ handles for the render and output code. Each wrapper
// holds one native handle and the status of its last failed call, lives in
// memory from the graphics library's allocator, and frees its handle when
// destroyed. As with an object in an error state, every operation on a wrapper
// whose handle could not be made simply fails with a status, so a rendering
// reads as a straight sequence of steps. A caller that must know whether a
// wrapper works checks LastStatus once, where it matters (the output code:
// whether the bitmap of the set size could be made).
#pragma once

// The graphics headers need the OLE types declared first.
// clang-format off
#include <windows.h>
#include <ole2.h>
#include <gdiplus.h>
// clang-format on

#include <memory>
#include <new>

// Base of every wrapper: allocator hooks and the last failed status.
class GraphicsObject {
 public:
  static void* operator new(size_t size) noexcept { return Gdiplus::DllExports::GdipAlloc(size); }
  static void* operator new(size_t size, const std::nothrow_t&) noexcept {
    return Gdiplus::DllExports::GdipAlloc(size);
  }
  static void operator delete(void* block) noexcept { Gdiplus::DllExports::GdipFree(block); }

  // The status of the last call that failed on this wrapper, its creation
  // included; Ok while every call has succeeded. Never reset.
  Gdiplus::Status LastStatus() const { return lastStatus_; }

 protected:
  GraphicsObject() = default;
  ~GraphicsObject() = default;
  // Records a failure and passes the status on.
  Gdiplus::Status Track(Gdiplus::Status status) {
    if (status != Gdiplus::Ok) lastStatus_ = status;
    return status;
  }

 private:
  Gdiplus::Status lastStatus_ = Gdiplus::Ok;
};

// Makes a wrapper in the graphics allocator's memory; null when that memory
// cannot be had. Callers skip the steps that need a null wrapper.
template <class Wrapper, class... Args>
std::unique_ptr<Wrapper> MakeGraphics(Args&&... args) {
  return std::unique_ptr<Wrapper>(new (std::nothrow) Wrapper(static_cast<Args&&>(args)...));
}

// An opaque 24-bit bitmap of a given size.
class GraphicsImage : public GraphicsObject {
 public:
  GraphicsImage(INT width, INT height);
  ~GraphicsImage();
  GraphicsImage(const GraphicsImage&) = delete;
  GraphicsImage& operator=(const GraphicsImage&) = delete;

  Gdiplus::GpBitmap* Handle() const { return bitmap_; }
  UINT Width();
  UINT Height();
  // Locks the whole image for reading as blue-green-red rows.
  Gdiplus::Status LockForReading(Gdiplus::BitmapData* data);
  // Locks it for reading as 32-bit blue-green-red-unused rows, the image's
  // own memory where the library can hand it out (no copy); the fourth byte
  // of each pixel means nothing.
  Gdiplus::Status LockForScanning(Gdiplus::BitmapData* data);
  Gdiplus::Status Unlock(Gdiplus::BitmapData* data);

 private:
  Gdiplus::GpBitmap* bitmap_ = nullptr;
};

class GraphicsBrush : public GraphicsObject {
 public:
  explicit GraphicsBrush(Gdiplus::ARGB color);
  ~GraphicsBrush();
  GraphicsBrush(const GraphicsBrush&) = delete;
  GraphicsBrush& operator=(const GraphicsBrush&) = delete;
  Gdiplus::GpBrush* Handle() const { return brush_; }

 private:
  Gdiplus::GpSolidFill* brush_ = nullptr;
};

class GraphicsPen : public GraphicsObject {
 public:
  GraphicsPen(Gdiplus::ARGB color, Gdiplus::REAL width, Gdiplus::Unit unit);
  ~GraphicsPen();
  GraphicsPen(const GraphicsPen&) = delete;
  GraphicsPen& operator=(const GraphicsPen&) = delete;
  Gdiplus::GpPen* Handle() const { return pen_; }
  Gdiplus::Status SetWidth(Gdiplus::REAL width);

 private:
  Gdiplus::GpPen* pen_ = nullptr;
};

class GraphicsMatrix : public GraphicsObject {
 public:
  GraphicsMatrix();  // identity
  ~GraphicsMatrix();
  GraphicsMatrix(const GraphicsMatrix&) = delete;
  GraphicsMatrix& operator=(const GraphicsMatrix&) = delete;
  Gdiplus::GpMatrix* Handle() const { return matrix_; }
  Gdiplus::Status Translate(Gdiplus::REAL dx, Gdiplus::REAL dy, Gdiplus::MatrixOrder order);
  Gdiplus::Status Rotate(Gdiplus::REAL degrees, Gdiplus::MatrixOrder order);

 private:
  Gdiplus::GpMatrix* matrix_ = nullptr;
};

// A font family, looked up by name in the system collection or taken as the
// generic sans-serif family.
class GraphicsFontFamily : public GraphicsObject {
 public:
  explicit GraphicsFontFamily(const WCHAR* name);
  struct GenericSansSerif {};
  explicit GraphicsFontFamily(GenericSansSerif);
  ~GraphicsFontFamily();
  GraphicsFontFamily(const GraphicsFontFamily&) = delete;
  GraphicsFontFamily& operator=(const GraphicsFontFamily&) = delete;
  Gdiplus::GpFontFamily* Handle() const { return family_; }

 private:
  Gdiplus::GpFontFamily* family_ = nullptr;
};

class GraphicsFont : public GraphicsObject {
 public:
  GraphicsFont(const GraphicsFontFamily& family, Gdiplus::REAL emSize, INT style,
               Gdiplus::Unit unit);
  ~GraphicsFont();
  GraphicsFont(const GraphicsFont&) = delete;
  GraphicsFont& operator=(const GraphicsFont&) = delete;
  Gdiplus::GpFont* Handle() const { return font_; }
  // Makes the font anew from another family; the status is that of this attempt.
  Gdiplus::Status Recreate(const GraphicsFontFamily& family, Gdiplus::REAL emSize, INT style,
                           Gdiplus::Unit unit);

 private:
  Gdiplus::GpFont* font_ = nullptr;
};

// A drawing context on an image; closed when the wrapper goes.
class GraphicsContext : public GraphicsObject {
 public:
  explicit GraphicsContext(GraphicsImage& image);
  ~GraphicsContext();
  GraphicsContext(const GraphicsContext&) = delete;
  GraphicsContext& operator=(const GraphicsContext&) = delete;

  Gdiplus::Status FillRectangle(const GraphicsBrush& brush, INT x, INT y, INT width, INT height);
  Gdiplus::Status SetTextRenderingHint(Gdiplus::TextRenderingHint hint);
  Gdiplus::Status SetSmoothingMode(Gdiplus::SmoothingMode mode);
  Gdiplus::Status SetInterpolationMode(Gdiplus::InterpolationMode mode);
  Gdiplus::Status MultiplyTransform(const GraphicsMatrix& matrix, Gdiplus::MatrixOrder order);
  // One UTF-16 unit at the origin, no string format.
  Gdiplus::Status MeasureCharacter(const WCHAR* character, const GraphicsFont& font,
                                   Gdiplus::RectF* box);
  Gdiplus::Status DrawCharacter(const WCHAR* character, const GraphicsFont& font,
                                const GraphicsBrush& brush);
  Gdiplus::Status DrawBezier(const GraphicsPen& pen, INT x1, INT y1, INT x2, INT y2, INT x3, INT y3,
                             INT x4, INT y4);
  Gdiplus::Status DrawImage(const GraphicsImage& image, INT x, INT y);
  Gdiplus::Status DrawImage(const GraphicsImage& image, const Gdiplus::Rect& target,
                            const Gdiplus::Rect& source);

 private:
  Gdiplus::GpGraphics* graphics_ = nullptr;
};

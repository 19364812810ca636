// Drawing contexts: making them on bitmaps, their settings and world transform.
#include "gdiplus/objects/graphics.h"

#include <new>

#include "gdiplus/objects/bitmap.h"
#include "gdiplus/objects/matrix.h"
#include "gdiplus/objects/startup_state.h"

namespace Gdiplus::Internal {

namespace {

// GDI+'s AntiAlias mode samples each pixel 8 by 4 times: cairo's fast scan
// converter (4 by 4 samples) looks the same and strokes at half the cost of
// its 256-level one, which the 8-by-8 and high-quality modes keep.
cairo_antialias_t CairoAntialias(SmoothingMode mode) {
  switch (mode) {
    case SmoothingModeAntiAlias:
      return CAIRO_ANTIALIAS_FAST;
    case SmoothingModeAntiAlias8x8:
    case SmoothingModeHighQuality:
      return CAIRO_ANTIALIAS_GRAY;
    default:
      return CAIRO_ANTIALIAS_NONE;
  }
}

}  // namespace

GraphicsObject::GraphicsObject(cairo_surface_t* target) : surface(cairo_surface_reference(target)) {
  cairo_matrix_init_identity(&world);
}

GraphicsObject::~GraphicsObject() {
  if (cr_ != nullptr) cairo_destroy(cr_);
  cairo_surface_destroy(surface);
}

cairo_t* GraphicsObject::BeginWorldPath() {
  if (cr_ == nullptr) {
    SettlePendingClear(surface);
    cairo_t* made = cairo_create(surface);
    if (cairo_status(made) != CAIRO_STATUS_SUCCESS) {
      cairo_destroy(made);
      return nullptr;
    }
    cr_ = made;
  }
  cairo_new_path(cr_);
  cairo_set_matrix(cr_, &world);
  cairo_set_antialias(cr_, CairoAntialias(smoothing));
  return cr_;
}

namespace {

// Stores one drawing setting after checking that it is one of the enumerators
// first..last; InvalidParameter otherwise or for a bad handle.
template <typename Setting>
GpStatus SetSetting(GpGraphics* graphics, Setting GraphicsObject::*member, Setting value,
                    Setting first, Setting last) {
  GraphicsObject* object = LookUp<GraphicsObject>(graphics);
  if (object == nullptr || value < first || value > last) return InvalidParameter;
  object->*member = value;
  return Ok;
}

}  // namespace
}  // namespace Gdiplus::Internal

namespace Gdiplus::DllExports {
using namespace Gdiplus::Internal;
extern "C" {

GpStatus WINGDIPAPI GdipGetImageGraphicsContext(GpImage* image, GpGraphics** graphics) {
  if (graphics == nullptr) return InvalidParameter;
  *graphics = nullptr;
  BitmapObject* bitmap = LookUpBitmap(image);
  if (bitmap == nullptr) return InvalidParameter;
  if (!GdiplusIsStarted()) return GdiplusNotInitialized;
  return Publish(new (std::nothrow) GraphicsObject(bitmap->surface), graphics);
}

GpStatus WINGDIPAPI GdipDeleteGraphics(GpGraphics* graphics) {
  return Destroy<GraphicsObject>(graphics);
}

GpStatus WINGDIPAPI GdipSetSmoothingMode(GpGraphics* graphics, SmoothingMode mode) {
  return SetSetting(graphics, &GraphicsObject::smoothing, mode, SmoothingModeDefault,
                    SmoothingModeAntiAlias8x8);
}

GpStatus WINGDIPAPI GdipSetTextRenderingHint(GpGraphics* graphics, TextRenderingHint hint) {
  return SetSetting(graphics, &GraphicsObject::textHint, hint, TextRenderingHintSystemDefault,
                    TextRenderingHintClearTypeGridFit);
}

GpStatus WINGDIPAPI GdipSetInterpolationMode(GpGraphics* graphics, InterpolationMode mode) {
  return SetSetting(graphics, &GraphicsObject::interpolation, mode, InterpolationModeDefault,
                    InterpolationModeHighQualityBicubic);
}

GpStatus WINGDIPAPI GdipMultiplyWorldTransform(GpGraphics* graphics, GDIPCONST GpMatrix* matrix,
                                               GpMatrixOrder order) {
  GraphicsObject* object = LookUp<GraphicsObject>(graphics);
  const MatrixObject* step = LookUp<MatrixObject>(matrix);
  if (object == nullptr || step == nullptr) return InvalidParameter;
  return ComposeMatrix(object->world, step->value, order);
}

GpStatus WINGDIPAPI GdipResetWorldTransform(GpGraphics* graphics) {
  GraphicsObject* object = LookUp<GraphicsObject>(graphics);
  if (object == nullptr) return InvalidParameter;
  cairo_matrix_init_identity(&object->world);
  return Ok;
}

GpStatus WINGDIPAPI GdipGetWorldTransform(GpGraphics* graphics, GpMatrix* matrix) {
  GraphicsObject* object = LookUp<GraphicsObject>(graphics);
  MatrixObject* target = LookUp<MatrixObject>(matrix);
  if (object == nullptr || target == nullptr) return InvalidParameter;
  target->value = object->world;
  return Ok;
}

}  // extern "C"
}  // namespace Gdiplus::DllExports

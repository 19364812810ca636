// Drawing contexts: making them on bitmaps, their settings and world transform.
#include "gdiplus/graphics.h"

#include <new>

#include "gdiplus/bitmap.h"
#include "gdiplus/matrix.h"
#include "gdiplus/startup_state.h"

namespace Gdiplus::Internal {

GraphicsObject::GraphicsObject(cairo_surface_t* target)
    : surface(cairo_surface_reference(target)), cr(cairo_create(target)) {
  cairo_matrix_init_identity(&world);
}

GraphicsObject::~GraphicsObject() {
  cairo_destroy(cr);
  cairo_surface_destroy(surface);
}

void GraphicsObject::BeginWorldPath() {
  cairo_new_path(cr);
  cairo_set_matrix(cr, &world);
  const bool smooth = smoothing == SmoothingModeAntiAlias ||
                      smoothing == SmoothingModeAntiAlias8x8 ||
                      smoothing == SmoothingModeHighQuality;
  cairo_set_antialias(cr, smooth ? CAIRO_ANTIALIAS_GRAY : CAIRO_ANTIALIAS_NONE);
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
  GraphicsObject* object = new (std::nothrow) GraphicsObject(bitmap->surface);
  if (object != nullptr && !object->Valid()) {
    delete object;
    return OutOfMemory;
  }
  return Publish(object, graphics);
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

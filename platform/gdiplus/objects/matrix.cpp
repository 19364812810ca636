// Matrix objects and their translate and rotate steps.
#include "gdiplus/objects/matrix.h"

#include <cmath>
#include <new>

#include "gdiplus/objects/startup_state.h"

namespace Gdiplus::Internal {

GpStatus ComposeMatrix(cairo_matrix_t& target, const cairo_matrix_t& step,
                       MatrixOrder order) noexcept {
  cairo_matrix_t result;
  // cairo_matrix_multiply(r, a, b) applies a first, then b.
  if (order == MatrixOrderPrepend) {
    cairo_matrix_multiply(&result, &step, &target);
  } else if (order == MatrixOrderAppend) {
    cairo_matrix_multiply(&result, &target, &step);
  } else {
    return InvalidParameter;
  }
  target = result;
  return Ok;
}

bool IsIdentity(const cairo_matrix_t& m) noexcept {
  return m.xx == 1 && m.yx == 0 && m.xy == 0 && m.yy == 1 && m.x0 == 0 && m.y0 == 0;
}

bool IsFinite(REAL value) noexcept { return std::isfinite(value); }

namespace {

constexpr double kPi = 3.14159265358979323846;

// Degrees to the rotation that turns clockwise on the y-down image for
// positive angles: cos and sin exactly 0 or ±1 at multiples of 90 degrees, so
// quarter turns map pixels onto pixels.
cairo_matrix_t RotationByDegrees(REAL degrees) {
  const double reduced = std::fmod(static_cast<double>(degrees), 360.0);
  double c = 0, s = 0;
  if (reduced == 0) {
    c = 1;
  } else if (std::fabs(reduced) == 180) {
    c = -1;
  } else if (reduced == 90 || reduced == -270) {
    s = 1;
  } else if (reduced == -90 || reduced == 270) {
    s = -1;
  } else {
    c = std::cos(reduced * kPi / 180.0);
    s = std::sin(reduced * kPi / 180.0);
  }
  cairo_matrix_t m;
  cairo_matrix_init(&m, c, s, -s, c, 0, 0);
  return m;
}

}  // namespace
}  // namespace Gdiplus::Internal

namespace Gdiplus::DllExports {
using namespace Gdiplus::Internal;
extern "C" {

GpStatus WINGDIPAPI GdipCreateMatrix(GpMatrix** matrix) {
  if (matrix == nullptr) return InvalidParameter;
  *matrix = nullptr;
  if (!GdiplusIsStarted()) return GdiplusNotInitialized;
  return Publish(new (std::nothrow) MatrixObject(), matrix);
}

GpStatus WINGDIPAPI GdipTranslateMatrix(GpMatrix* matrix, REAL offsetX, REAL offsetY,
                                        GpMatrixOrder order) {
  MatrixObject* object = LookUp<MatrixObject>(matrix);
  if (object == nullptr || !IsFinite(offsetX) || !IsFinite(offsetY)) return InvalidParameter;
  cairo_matrix_t step;
  cairo_matrix_init_translate(&step, offsetX, offsetY);
  return ComposeMatrix(object->value, step, order);
}

GpStatus WINGDIPAPI GdipRotateMatrix(GpMatrix* matrix, REAL angle, GpMatrixOrder order) {
  MatrixObject* object = LookUp<MatrixObject>(matrix);
  if (object == nullptr || !IsFinite(angle)) return InvalidParameter;
  return ComposeMatrix(object->value, RotationByDegrees(angle), order);
}

GpStatus WINGDIPAPI GdipGetMatrixElements(GDIPCONST GpMatrix* matrix, REAL* elements) {
  const MatrixObject* object = LookUp<MatrixObject>(matrix);
  if (object == nullptr || elements == nullptr) return InvalidParameter;
  const cairo_matrix_t& m = object->value;
  const double values[6] = {m.xx, m.yx, m.xy, m.yy, m.x0, m.y0};
  for (int i = 0; i < 6; ++i) elements[i] = static_cast<REAL>(values[i]);
  return Ok;
}

GpStatus WINGDIPAPI GdipDeleteMatrix(GpMatrix* matrix) { return Destroy<MatrixObject>(matrix); }

}  // extern "C"
}  // namespace Gdiplus::DllExports

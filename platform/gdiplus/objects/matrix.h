// Affine matrices as GDI+ uses them: a point (x, y) maps to
// (x*m11 + y*m21 + dx, x*m12 + y*m22 + dy). Kept in a cairo_matrix_t
// (xx = m11, yx = m12, xy = m21, yy = m22, x0 = dx, y0 = dy), so drawing can
// hand it to cairo unchanged. Graphics contexts keep their world transform in
// the same form (graphics.h).
#pragma once

#include <cairo.h>

#include "gdiplus.h"
#include "gdiplus/objects/handle_registry.h"

namespace Gdiplus::Internal {

struct MatrixObject final : GpMatrix {
  static constexpr ObjectKind kKind = ObjectKind::Matrix;
  MatrixObject() { cairo_matrix_init_identity(&value); }
  cairo_matrix_t value;
};

// Combines `step` into `target`: with MatrixOrderPrepend the step applies to
// points before the old target, with MatrixOrderAppend after it. Returns
// InvalidParameter for any other order, leaving target unchanged.
GpStatus ComposeMatrix(cairo_matrix_t& target, const cairo_matrix_t& step,
                       MatrixOrder order) noexcept;

// True when the matrix has no effect.
bool IsIdentity(const cairo_matrix_t& matrix) noexcept;

// True for finite floats; NaN and infinities are refused as arguments.
bool IsFinite(REAL value) noexcept;

}  // namespace Gdiplus::Internal

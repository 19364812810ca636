// Pens: colour and width for stroking curves. Width is in world units (pixels
// before the world transform); see bezier.cpp for how 0 and negative widths draw.
#pragma once

#include "gdiplus.h"
#include "gdiplus/objects/handle_registry.h"

namespace Gdiplus::Internal {

struct PenObject final : GpPen {
  static constexpr ObjectKind kKind = ObjectKind::Pen;
  PenObject(ARGB color, REAL width) : color(color), width(width) {}
  ARGB color;
  REAL width;
};

}  // namespace Gdiplus::Internal

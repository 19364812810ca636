// Solid brushes: one ARGB colour. The only brush kind this layer makes; text
// and fills take their colour from it.
#pragma once

#include <cairo.h>

#include "gdiplus.h"
#include "gdiplus/objects/handle_registry.h"

namespace Gdiplus::Internal {

struct SolidBrushObject final : GpSolidFill {
  static constexpr ObjectKind kKind = ObjectKind::SolidBrush;
  explicit SolidBrushObject(ARGB color) : color(color) {}
  ARGB color;
};

// Makes `color` cairo's source colour (non-premultiplied ARGB).
void SetSourceColor(cairo_t* cr, ARGB color) noexcept;

}  // namespace Gdiplus::Internal

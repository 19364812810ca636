// Drawing contexts on bitmaps: a cairo context on the bitmap's surface plus
// the GDI+ state that drawing consults (world transform, smoothing, text hint,
// interpolation). The context holds its own surface reference, so it stays
// safe to use, and to delete, after its bitmap is disposed of.
#pragma once

#include <cairo.h>

#include "gdiplus.h"
#include "gdiplus/handle_registry.h"

namespace Gdiplus::Internal {

struct GraphicsObject final : GpGraphics {
  static constexpr ObjectKind kKind = ObjectKind::Graphics;

  // Takes one new reference to `target`. `cr` is null when cairo could not
  // make its context (check Valid()).
  explicit GraphicsObject(cairo_surface_t* target);
  ~GraphicsObject();
  GraphicsObject(const GraphicsObject&) = delete;
  GraphicsObject& operator=(const GraphicsObject&) = delete;

  bool Valid() const { return cairo_status(cr) == CAIRO_STATUS_SUCCESS; }

  // Prepares cr for a path in world coordinates: the world transform set,
  // antialiasing per the smoothing mode.
  void BeginWorldPath();

  cairo_surface_t* surface;
  cairo_t* cr;
  cairo_matrix_t world;
  SmoothingMode smoothing = SmoothingModeDefault;
  TextRenderingHint textHint = TextRenderingHintSystemDefault;
  InterpolationMode interpolation = InterpolationModeDefault;
};

}  // namespace Gdiplus::Internal

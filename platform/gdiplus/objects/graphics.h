// Drawing contexts on bitmaps: the bitmap's surface (and a cairo context on
// it, for the drawing that goes through cairo) plus the GDI+ state that
// drawing consults (world transform, smoothing, text hint,
// interpolation). The context holds its own surface reference, so it stays
// safe to use, and to delete, after its bitmap is disposed of.
#pragma once

#include <cairo.h>

#include "gdiplus.h"
#include "gdiplus/objects/handle_registry.h"

namespace Gdiplus::Internal {

struct GraphicsObject final : GpGraphics {
  static constexpr ObjectKind kKind = ObjectKind::Graphics;

  // Takes one new reference to `target`.
  explicit GraphicsObject(cairo_surface_t* target);
  ~GraphicsObject();
  GraphicsObject(const GraphicsObject&) = delete;
  GraphicsObject& operator=(const GraphicsObject&) = delete;

  // cairo's context on the surface, made at the first drawing that needs
  // cairo (fills, text and image copies without a transform never do),
  // prepared for a path in world coordinates: the world transform set,
  // antialiasing per the smoothing mode. Null when cairo could not make it.
  cairo_t* BeginWorldPath();

  cairo_surface_t* surface;
  cairo_matrix_t world;
  SmoothingMode smoothing = SmoothingModeDefault;
  TextRenderingHint textHint = TextRenderingHintSystemDefault;
  InterpolationMode interpolation = InterpolationModeDefault;

 private:
  cairo_t* cr_ = nullptr;
};

}  // namespace Gdiplus::Internal

// The render pipeline: lays the characters of the challenge text side by side
// in cells of random width on a canvas, draws each turned and stretched into
// its cell, draws the noise curves over them, and scales the canvas, less a
// one-pixel border, onto the output image. Random values are drawn in a fixed
// order: one for the font, one per character for the cell widths, three per
// character for the glyphs, eight per curve.
#pragma once

#include "state/challenge_settings.h"
#include "render/graphics_wrappers.h"

// The cell width for a random value, given the base width w = width / n and
// q = w / 4: w / 8 - (scaled draw of r with factor q) + w. 32-bit arithmetic
// that wraps as the processor's does.
INT CellWidth(int randomValue, INT baseWidth);

// The cell widths of one rendering: one per character, room for the longest text.
struct CellWidths {
  INT widths[kTextCapacity];
  INT count = 0;
  INT Total() const;  // sum of the widths, wrapping as 32-bit arithmetic does
};

// Draws one value per character of `text` and returns the cell widths.
CellWidths DrawCellWidths(const OLECHAR* text, LONG imageWidth);

// Stretches the canvas, less its outermost row and column on every side, over
// the whole output image with high-quality bicubic interpolation.
void ScaleOntoOutput(GraphicsImage& canvas, GraphicsImage& output);

// Paints `output` from the settings. Reports nothing: a step that fails leaves
// its target unchanged. An empty text, or one longer than the width in pixels,
// leaves `output` as its maker left it (the font and curve values are still drawn).
void RenderImage(ChallengeSettings* settings, GraphicsImage& output);

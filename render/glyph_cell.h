// Glyph drawing and warping: one character of the challenge is drawn on a
// scratch image turned by a random angle of up to 30 degrees either way, cut
// to the tight box of its ink, and stretched into its cell: the full cell
// width, and the cell height less a random margin at the top and the bottom.
// The render pipeline (render_image.h) makes the cells and places them.
#pragma once

#include "render/graphics_wrappers.h"
#include "state/challenge_settings.h"

// The tight box of ink on a locked scratch image. Each edge is 0 when there is
// no ink, as it is for ink in row or column 0.
struct InkBox {
  INT top = 0;
  INT bottom = 0;
  INT left = 0;
  INT right = 0;
};

// A pixel is ink when any of its blue, green, red bytes differs from the
// background's. The pixels may be locked as 24-bit or 32-bit rows (the
// fourth byte is not looked at). Top and bottom are the first rows with ink seen from their
// side, left and right the outermost columns with ink. Cost: at most one
// read of each pixel, usually far less; rows are compared 16 pixels at a time.
INT FindInkTop(const ChallengeSettings* settings, const Gdiplus::BitmapData* pixels);
INT FindInkBottom(const ChallengeSettings* settings, const Gdiplus::BitmapData* pixels);
INT FindInkLeft(const ChallengeSettings* settings, const Gdiplus::BitmapData* pixels);
INT FindInkRight(const ChallengeSettings* settings, const Gdiplus::BitmapData* pixels);

// The turn of a glyph for a random value: r / 32767 * 60 - 30 degrees, each
// step in single precision, so -30..+30 and never exactly 0.
Gdiplus::REAL GlyphAngle(int randomValue);

// A top or bottom margin for a random value: r * 10 / 32767, so 0..10.
INT GlyphMargin(int randomValue);

// The scratch image's side for a measured box edge pair: (far - near)
// widened, plus 0.5, truncated.
INT ScratchExtent(Gdiplus::REAL nearEdge, Gdiplus::REAL extent);

// The target rectangle of the glyph in a cell. Margins that would leave the
// glyph no height (cells lower than the two margins, below about 20 pixels)
// shrink in proportion so the glyph keeps at least one row.
Gdiplus::Rect GlyphTarget(INT cellWidth, INT cellHeight, INT topMargin, INT bottomMargin);

// Random values each glyph draws: the angle, then the top and the bottom margin.
constexpr int kValuesPerGlyph = 3;

// Draws `character` (one UTF-16 unit) into the rectangle `cell` of the image
// behind `canvas`, whose pixels there must be in the background colour
// already; nothing outside `cell` changes. Draws exactly kValuesPerGlyph
// values from the random source. A character without ink, or one that cannot
// be drawn (no font, an empty measured box), leaves the cell as it was.
// Drawing every cell of a rendering straight onto its canvas spares an image,
// a fill and a copy per character.
void DrawGlyphInCell(const ChallengeSettings* settings, const WCHAR* character,
                     GraphicsContext& canvas, const Gdiplus::Rect& cell);

// The same into a whole image of its own, filled with the background first.
void DrawGlyphCell(const ChallengeSettings* settings, const WCHAR* character, GraphicsImage& cell);

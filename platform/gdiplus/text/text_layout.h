// Layout of one line of text as GDI+'s generic default string format places
// it: the glyphs side by side from their advances, padded left and right by
// 1/6 em, the line as tall as the font's line spacing with the baseline at
// its ascent. Measuring and drawing share this layout, so the measured box
// always holds the drawn ink: where a glyph's ink overhangs the padding or the
// line (a descender past the descent, a negative side bearing), the box grows
// and the glyphs move so that the ink stays at least one pixel inside.
#pragma once

#include <vector>

#include "gdiplus/text/font_cache.h"
#include "windef.h"

namespace Gdiplus::Internal {

struct PlacedGlyph {
  FT_UInt index;
  double penX;  // pen position from the box's left edge, pixels
};

struct TextLayout {
  double width = 0;  // box size, pixels
  double height = 0;
  double baseline = 0;  // baseline below the box's top, pixels
  std::vector<PlacedGlyph> glyphs;
};

// Lays out `length` units of `text` with `face` (whose mutex the caller
// holds). Returns false when FreeType fails or memory runs out. Cost: one
// map look-up per glyph on a warm face.
bool LayOutLine(FontFace& face, const WCHAR* text, size_t length, TextLayout& layout) noexcept;

}  // namespace Gdiplus::Internal

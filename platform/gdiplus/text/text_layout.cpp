// Single-line text layout with the generic default padding.
#include "gdiplus/text/text_layout.h"

#include <algorithm>
#include <limits>
#include <new>

#include "gdiplus/text/utf16.h"

namespace Gdiplus::Internal {
namespace {

// GDI+'s generic default format pads a line by 1/6 em at each end.
constexpr double kPaddingPerEm = 1.0 / 6.0;
// Room kept between ink and the box edge: antialiased coverage reaches the
// pixel the outline's bounding box ends in.
constexpr double kInkMargin = 1.0;

struct InkBounds {
  double xMin = std::numeric_limits<double>::max();
  double xMax = std::numeric_limits<double>::lowest();
  double yMin = std::numeric_limits<double>::max();
  double yMax = std::numeric_limits<double>::lowest();
  bool any = false;

  void Add(const GlyphMetrics& glyph, double penX) {
    if (!glyph.hasInk) return;
    any = true;
    xMin = std::min(xMin, penX + glyph.xMin);
    xMax = std::max(xMax, penX + glyph.xMax);
    yMin = std::min(yMin, glyph.yMin);
    yMax = std::max(yMax, glyph.yMax);
  }
};

}  // namespace

bool LayOutLine(FontFace& face, const WCHAR* text, size_t length, TextLayout& layout) noexcept {
  layout = TextLayout();
  InkBounds ink;
  double advance = 0;
  try {
    layout.glyphs.reserve(length);
    for (size_t i = 0; i < length;) {
      GlyphMetrics glyph;
      if (!face.Metrics(NextCodePoint(text, length, i), glyph)) return false;
      layout.glyphs.push_back({glyph.index, advance});
      ink.Add(glyph, advance);
      advance += glyph.advance;
    }
  } catch (const std::bad_alloc&) {
    return false;
  }
  if (length == 0) return true;

  const double padding = face.emPixels * kPaddingPerEm;
  const double descent = face.lineSpacing - face.ascent;
  double left = padding;
  layout.baseline = face.ascent;
  if (ink.any) {
    left = std::max(left, kInkMargin - ink.xMin);
    layout.baseline = std::max(layout.baseline, ink.yMax + kInkMargin);
  }
  double right = left + advance + padding;
  double bottom = layout.baseline + descent;
  if (ink.any) {
    right = std::max(right, left + ink.xMax + kInkMargin);
    bottom = std::max(bottom, layout.baseline - ink.yMin + kInkMargin);
  }
  for (PlacedGlyph& glyph : layout.glyphs) glyph.penX += left;
  layout.width = right;
  layout.height = bottom;
  return true;
}

}  // namespace Gdiplus::Internal

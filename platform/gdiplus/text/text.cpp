// Measuring and drawing strings: one line, laid out by text_layout.h, drawn
// glyph by glyph through the world transform by glyph_raster.h.
#include <mutex>

#include "gdiplus/objects/brush.h"
#include "gdiplus/objects/graphics.h"
#include "gdiplus/objects/matrix.h"
#include "gdiplus/text/fonts.h"
#include "gdiplus/text/glyph_raster.h"
#include "gdiplus/text/text_layout.h"
#include "kernel/unicode.h"

namespace Gdiplus::Internal {
namespace {

// Longest string measured or drawn in one call, in UTF-16 units.
constexpr size_t kMaxStringLength = 32768;

// The number of units to lay out: `length`, or up to the terminator for -1.
// Returns false for other negative lengths and for overlong strings.
bool ResolveLength(const WCHAR* text, INT length, size_t& units) {
  if (length == -1) {
    units = kernel::BoundedLength(text, kMaxStringLength + 1);
  } else if (length >= 0) {
    units = static_cast<size_t>(length);
  } else {
    return false;
  }
  return units <= kMaxStringLength;
}

// Arguments shared by measuring and drawing. String formats are not offered
// (no call makes one), so a non-null format is someone else's pointer.
bool ValidTextArguments(const WCHAR* text, const RectF* layoutRect, const GpStringFormat* format) {
  return text != nullptr && layoutRect != nullptr && format == nullptr && IsFinite(layoutRect->X) &&
         IsFinite(layoutRect->Y);
}

GlyphCoverage CoverageFor(TextRenderingHint hint) {
  const bool oneBit = hint == TextRenderingHintSingleBitPerPixel ||
                      hint == TextRenderingHintSingleBitPerPixelGridFit;
  return oneBit ? GlyphCoverage::OneBit : GlyphCoverage::Grey;
}

}  // namespace
}  // namespace Gdiplus::Internal

namespace Gdiplus::DllExports {
using namespace Gdiplus::Internal;
extern "C" {

// The box starts at the layout rectangle's corner; its width and height are
// the line's, padding included (the rectangle's size is not used for
// wrapping). An empty string measures as an empty box.
GpStatus WINGDIPAPI GdipMeasureString(GpGraphics* graphics, GDIPCONST WCHAR* text, INT length,
                                      GDIPCONST GpFont* font, GDIPCONST RectF* layoutRect,
                                      GDIPCONST GpStringFormat* format, RectF* boundingBox,
                                      INT* codepointsFitted, INT* linesFilled) {
  const FontObject* typeface = LookUp<FontObject>(font);
  size_t units = 0;
  if (LookUp<GraphicsObject>(graphics) == nullptr || typeface == nullptr ||
      boundingBox == nullptr || !ValidTextArguments(text, layoutRect, format) ||
      !ResolveLength(text, length, units)) {
    return InvalidParameter;
  }
  TextLayout layout;
  {
    std::lock_guard<std::mutex> guard(typeface->face->mutex);
    if (!LayOutLine(*typeface->face, text, units, layout)) return OutOfMemory;
  }
  *boundingBox = RectF(layoutRect->X, layoutRect->Y, static_cast<REAL>(layout.width),
                       static_cast<REAL>(layout.height));
  if (codepointsFitted != nullptr) *codepointsFitted = static_cast<INT>(units);
  if (linesFilled != nullptr) *linesFilled = units > 0 ? 1 : 0;
  return Ok;
}

GpStatus WINGDIPAPI GdipDrawString(GpGraphics* graphics, GDIPCONST WCHAR* text, INT length,
                                   GDIPCONST GpFont* font, GDIPCONST RectF* layoutRect,
                                   GDIPCONST GpStringFormat* format, GDIPCONST GpBrush* brush) {
  GraphicsObject* context = LookUp<GraphicsObject>(graphics);
  const FontObject* typeface = LookUp<FontObject>(font);
  const SolidBrushObject* fill = LookUp<SolidBrushObject>(brush);
  size_t units = 0;
  if (context == nullptr || typeface == nullptr || fill == nullptr ||
      !ValidTextArguments(text, layoutRect, format) || !ResolveLength(text, length, units)) {
    return InvalidParameter;
  }
  FontFace& face = *typeface->face;
  std::unique_lock<std::mutex> faceLock(face.mutex);
  TextLayout layout;
  if (!LayOutLine(face, text, units, layout)) return OutOfMemory;
  const SurfacePixels target(context->surface);
  SpanPainter painter(target, fill->color);
  const GlyphCoverage coverage = CoverageFor(context->textHint);
  const double baselineY = layoutRect->Y + layout.baseline;
  for (const PlacedGlyph& glyph : layout.glyphs) {
    DrawGlyph(face, faceLock, glyph.index, context->world, layoutRect->X + glyph.penX, baselineY,
              coverage, painter);
  }
  painter.Finish();
  return Ok;
}

}  // extern "C"
}  // namespace Gdiplus::DllExports

#include "render/glyph_cell.h"

#include <limits.h>
#include <string.h>

#include <bit>

#include "text/random_source.h"

using namespace Gdiplus;

namespace {

constexpr REAL kAngleSpan = 60.0f;  // degrees, from -30 to +30
constexpr REAL kAngleOffset = 30.0f;
constexpr INT kMaxMargin = 10;     // pixels at the top and the bottom
constexpr int kBytesPerPixel = 3;  // blue, green, red
// Pixels compared at once: 48 bytes, six 64-bit words.
constexpr INT kBlockPixels = 16;
constexpr int kWordBytes = sizeof(UINT64);
constexpr int kBlockWords = kBlockPixels * kBytesPerPixel / kWordBytes;

// Reads locked 24-bit pixels and tells ink from background, a pixel or a
// block of pixels at a time.
class InkTest {
 public:
  InkTest(const ChallengeSettings* settings, const BitmapData* pixels) : pixels(pixels) {
    background[0] = settings->backgroundBlue;
    background[1] = settings->backgroundGreen;
    background[2] = settings->backgroundRed;
    BYTE block[kBlockPixels * kBytesPerPixel];
    for (size_t i = 0; i < sizeof block; ++i) block[i] = background[i % kBytesPerPixel];
    memcpy(blockPattern, block, sizeof block);
  }
  INT Width() const { return static_cast<INT>(pixels->Width); }
  INT Height() const { return static_cast<INT>(pixels->Height); }

  // The first ink column of row y in [from, to), or `to` when there is none.
  // A row whose end does not fill a block ends with a block overlapping the
  // one before: its pixels left of x are known background already.
  INT FirstInk(INT y, INT from, INT to) const {
    INT x = from;
    for (; x + kBlockPixels <= to; x += kBlockPixels) {
      const INT found = FirstInkInBlock(x, y);
      if (found < kBlockPixels) return x + found;
    }
    if (x < to && to - from >= kBlockPixels) {
      const INT start = to - kBlockPixels;
      const INT found = FirstInkInBlock(start, y);
      return found < kBlockPixels ? start + found : to;
    }
    for (; x < to; ++x) {
      if (IsInk(x, y)) return x;
    }
    return to;
  }

  // The last ink column of row y in [from, to), or from - 1 when there is
  // none; the same overlap at the row's start.
  INT LastInk(INT y, INT from, INT to) const {
    INT x = to;
    for (; x - kBlockPixels >= from; x -= kBlockPixels) {
      const INT found = LastInkInBlock(x - kBlockPixels, y);
      if (found >= 0) return x - kBlockPixels + found;
    }
    if (x > from && to - from >= kBlockPixels) {
      const INT found = LastInkInBlock(from, y);
      return found >= 0 ? from + found : from - 1;
    }
    while (x > from) {
      if (IsInk(--x, y)) return x;
    }
    return from - 1;
  }

  bool RowHasInk(INT y) const { return FirstInk(y, 0, Width()) < Width(); }

 private:
  const BYTE* Pixel(INT x, INT y) const {
    return static_cast<const BYTE*>(pixels->Scan0) + static_cast<ptrdiff_t>(y) * pixels->Stride +
           kBytesPerPixel * x;
  }
  bool IsInk(INT x, INT y) const {
    const BYTE* pixel = Pixel(x, y);
    return pixel[0] != background[0] || pixel[1] != background[1] || pixel[2] != background[2];
  }
  // The block of kBlockPixels pixels from (x, y) on, each word XORed with
  // the background: a nonzero byte is a byte of an ink pixel. Bytes count
  // from the least significant end of a word (little-endian, as Windows is).
  void BlockDifference(INT x, INT y, UINT64 (&difference)[kBlockWords]) const {
    memcpy(difference, Pixel(x, y), sizeof difference);
    for (int i = 0; i < kBlockWords; ++i) difference[i] ^= blockPattern[i];
  }
  // The first ink pixel of the block, counted from x, or kBlockPixels.
  INT FirstInkInBlock(INT x, INT y) const {
    UINT64 difference[kBlockWords];
    BlockDifference(x, y, difference);
    if (!AnySet(difference)) return kBlockPixels;
    for (int i = 0; i < kBlockWords; ++i) {
      if (difference[i] == 0) continue;
      const int byte = i * kWordBytes + std::countr_zero(difference[i]) / CHAR_BIT;
      return byte / kBytesPerPixel;
    }
    return kBlockPixels;
  }
  // The last ink pixel of the block, counted from x, or -1.
  INT LastInkInBlock(INT x, INT y) const {
    UINT64 difference[kBlockWords];
    BlockDifference(x, y, difference);
    if (!AnySet(difference)) return -1;
    for (int i = kBlockWords - 1; i >= 0; --i) {
      if (difference[i] == 0) continue;
      const int byte = i * kWordBytes + kWordBytes - 1 - std::countl_zero(difference[i]) / CHAR_BIT;
      return byte / kBytesPerPixel;
    }
    return -1;
  }
  // Whether any word holds a difference: one test for the usual all-background block.
  static bool AnySet(const UINT64 (&difference)[kBlockWords]) {
    UINT64 any = 0;
    for (int i = 0; i < kBlockWords; ++i) any |= difference[i];
    return any != 0;
  }

  const BitmapData* pixels;
  BYTE background[kBytesPerPixel];
  UINT64 blockPattern[kBlockWords];  // kBlockPixels background pixels
};

// The leftmost ink column of rows [first, last], or 0 when they hold none.
// Row by row (rows are contiguous in memory), each row searched only left of
// the leftmost ink found so far.
INT LeftmostInk(const InkTest& test, INT first, INT last) {
  INT left = test.Width();
  for (INT y = first; y <= last && left > 0; ++y) left = test.FirstInk(y, 0, left);
  return left < test.Width() ? left : 0;
}

// The rightmost ink column of rows [first, last], or 0 when they hold none.
INT RightmostInk(const InkTest& test, INT first, INT last) {
  INT right = -1;
  for (INT y = first; y <= last && right < test.Width() - 1; ++y) {
    right = test.LastInk(y, right + 1, test.Width());
  }
  return right >= 0 ? right : 0;
}

// The same box as the four FindInk scans give, but the side scans read only
// the rows from the top to the bottom ink row: the others hold no ink.
InkBox FindInkBox(const ChallengeSettings* settings, GraphicsImage& scratch) {
  InkBox box;
  BitmapData pixels{};
  if (scratch.LockForReading(&pixels) != Ok) return box;  // nothing to read
  const InkTest test(settings, &pixels);
  box.top = FindInkTop(settings, &pixels);
  box.bottom = FindInkBottom(settings, &pixels);
  box.left = LeftmostInk(test, box.top, box.bottom);
  box.right = RightmostInk(test, box.top, box.bottom);
  scratch.Unlock(&pixels);
  return box;
}

// Draws the character turned about the scratch image's centre.
void DrawTurnedCharacter(GraphicsImage& scratch, INT width, INT height, REAL angle,
                         const WCHAR* character, const GraphicsFont* font,
                         const GraphicsBrush& textBrush, const GraphicsBrush& backgroundBrush) {
  auto context = MakeGraphics<GraphicsContext>(scratch);
  auto matrix = MakeGraphics<GraphicsMatrix>();
  if (context == nullptr || matrix == nullptr) return;
  context->FillRectangle(backgroundBrush, 0, 0, width, height);
  const REAL cx = static_cast<REAL>(width / 2);
  const REAL cy = static_cast<REAL>(height / 2);
  matrix->Translate(cx, cy, MatrixOrderPrepend);
  matrix->Rotate(angle, MatrixOrderPrepend);
  matrix->Translate(-cx, -cy, MatrixOrderPrepend);
  context->MultiplyTransform(*matrix, MatrixOrderPrepend);
  context->SetTextRenderingHint(TextRenderingHintAntiAlias);
  if (font != nullptr) context->DrawCharacter(character, *font, textBrush);
}

}  // namespace

INT FindInkTop(const ChallengeSettings* settings, const BitmapData* pixels) {
  const InkTest test(settings, pixels);
  for (INT y = 0; y < test.Height(); ++y) {
    if (test.RowHasInk(y)) return y;
  }
  return 0;
}

INT FindInkBottom(const ChallengeSettings* settings, const BitmapData* pixels) {
  const InkTest test(settings, pixels);
  for (INT y = test.Height() - 1; y >= 0; --y) {
    if (test.RowHasInk(y)) return y;
  }
  return 0;
}

INT FindInkLeft(const ChallengeSettings* settings, const BitmapData* pixels) {
  const InkTest test(settings, pixels);
  return LeftmostInk(test, 0, test.Height() - 1);
}

INT FindInkRight(const ChallengeSettings* settings, const BitmapData* pixels) {
  const InkTest test(settings, pixels);
  return RightmostInk(test, 0, test.Height() - 1);
}

REAL GlyphAngle(int randomValue) {
  const REAL fraction = static_cast<REAL>(randomValue) / static_cast<REAL>(kRandomValueMax);
  const REAL span = fraction * kAngleSpan;
  return span - kAngleOffset;
}

INT GlyphMargin(int randomValue) { return randomValue * kMaxMargin / kRandomValueMax; }

INT ScratchExtent(REAL nearEdge, REAL extent) {
  const REAL farEdge = nearEdge + extent;
  const REAL size = farEdge - nearEdge;
  return TruncateToInt32(static_cast<double>(size) + 0.5);
}

Rect GlyphTarget(INT cellWidth, INT cellHeight, INT topMargin, INT bottomMargin) {
  const INT margins = topMargin + bottomMargin;
  if (cellHeight - margins < 1 && margins > 0) {
    const INT room = cellHeight > 1 ? cellHeight - 1 : 0;
    topMargin = topMargin * room / margins;
    bottomMargin = bottomMargin * room / margins;
  }
  return Rect(0, topMargin, cellWidth, cellHeight - bottomMargin - topMargin);
}

void DrawGlyphCell(const ChallengeSettings* settings, const WCHAR* character, GraphicsImage& cell) {
  const auto textBrush = MakeGraphics<GraphicsBrush>(settings->fontColor);
  const auto backgroundBrush = MakeGraphics<GraphicsBrush>(settings->backgroundColor);
  auto cellContext = MakeGraphics<GraphicsContext>(cell);
  const GraphicsFont* font = settings->font;

  RectF measured;
  if (cellContext != nullptr && font != nullptr) {
    cellContext->MeasureCharacter(character, *font, &measured);
  }
  const INT scratchWidth = ScratchExtent(measured.X, measured.Width);
  const INT scratchHeight = ScratchExtent(measured.Y, measured.Height);
  auto scratch = MakeGraphics<GraphicsImage>(scratchWidth, scratchHeight);

  // The angle is drawn whether or not the scratch image could be made, so a
  // rendering always draws the same number of values.
  const REAL angle = GlyphAngle(DrawRandomValue());
  const bool drawable = scratch != nullptr && scratch->Handle() != nullptr &&
                        textBrush != nullptr && backgroundBrush != nullptr;
  if (drawable) {
    DrawTurnedCharacter(*scratch, scratchWidth, scratchHeight, angle, character, font, *textBrush,
                        *backgroundBrush);
  }

  const INT cellHeight = static_cast<INT>(cell.Height());
  const INT cellWidth = static_cast<INT>(cell.Width());
  if (cellContext != nullptr && backgroundBrush != nullptr) {
    cellContext->FillRectangle(*backgroundBrush, 0, 0, cellWidth, cellHeight);
  }
  const InkBox ink = drawable ? FindInkBox(settings, *scratch) : InkBox{};

  const INT topMargin = GlyphMargin(DrawRandomValue());
  const INT bottomMargin = GlyphMargin(DrawRandomValue());
  if (!drawable || cellContext == nullptr) return;
  cellContext->SetInterpolationMode(InterpolationModeHighQualityBicubic);
  const Rect source(ink.left, ink.top, ink.right - ink.left, ink.bottom - ink.top);
  cellContext->DrawImage(*scratch, GlyphTarget(cellWidth, cellHeight, topMargin, bottomMargin),
                         source);
}

#include "render/glyph_cell.h"

#include <limits.h>

#include <bit>
#include <cstring>

// SSE2 is on every x64 processor and on the x86 builds that ask for it. The
// portable build (GLIMMARK_PORTABLE) takes the plain C++ form instead.
#if (defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)) && \
    !defined(GLIMMARK_PORTABLE)
#define GLYPH_CELL_SSE2 1
#include <emmintrin.h>
#endif

#include "render/font_selection.h"
#include "text/random_source.h"

using namespace Gdiplus;

namespace {

constexpr REAL kAngleSpan = 60.0f;  // degrees, from -30 to +30
constexpr REAL kAngleOffset = 30.0f;
constexpr INT kMaxMargin = 10;  // pixels at the top and the bottom
// Pixels compared at once: a window of 16 pixels, one bit per byte of them
// in a 64-bit mask (48 bytes of 24-bit pixels, 64 of 32-bit ones).
constexpr INT kWindowPixels = 16;

// The low `bits` bits set, for 0..64.
constexpr UINT64 LowBits(int bits) { return bits >= 64 ? ~UINT64{0} : (UINT64{1} << bits) - 1; }

// Reads locked pixels and tells ink from background, a window of pixels at a
// time; rows narrower than a window a pixel at a time. A window always lies
// inside its row: near the row's ends it overlaps pixels already searched,
// which the byte mask leaves out. Pixels are blue, green, red and, in 32-bit
// rows, a fourth byte that is never looked at.
template <int kBytesPerPixel>
class InkTest {
 public:
  InkTest(const ChallengeSettings* settings, const BitmapData* pixels) : pixels_(pixels) {
    background_[0] = settings->backgroundBlue;
    background_[1] = settings->backgroundGreen;
    background_[2] = settings->backgroundRed;
    for (int i = 0; i < kWindowBytes; ++i) {
      const int channel = i % kBytesPerPixel;
      windowPattern_[i] = channel < kColourBytes ? background_[channel] : 0;
      if (channel < kColourBytes) colourBytes_ |= UINT64{1} << i;
    }
  }
  INT Width() const { return static_cast<INT>(pixels_->Width); }
  INT Height() const { return static_cast<INT>(pixels_->Height); }

  // The first ink column of row y in [from, to), or `to` when there is none.
  INT FirstInk(INT y, INT from, INT to) const {
    if (Width() < kWindowPixels) {
      for (INT x = from; x < to; ++x) {
        if (IsInk(x, y)) return x;
      }
      return to;
    }
    for (INT x = from; x < to; x += kWindowPixels) {
      const INT start = x < Width() - kWindowPixels ? x : Width() - kWindowPixels;
      const INT end = to < start + kWindowPixels ? to : start + kWindowPixels;
      const UINT64 ink = InkBytes(start, y) & PixelBytes(x - start, end - start);
      if (ink != 0) return start + std::countr_zero(ink) / kBytesPerPixel;
    }
    return to;
  }

  // The last ink column of row y in [from, to), or from - 1 when there is none.
  INT LastInk(INT y, INT from, INT to) const {
    if (Width() < kWindowPixels) {
      for (INT x = to - 1; x >= from; --x) {
        if (IsInk(x, y)) return x;
      }
      return from - 1;
    }
    for (INT x = to; x > from; x -= kWindowPixels) {
      const INT start = x > kWindowPixels ? x - kWindowPixels : 0;
      const INT begin = from > start ? from : start;
      const UINT64 ink = InkBytes(start, y) & PixelBytes(begin - start, x - start);
      if (ink != 0) return start + (63 - std::countl_zero(ink)) / kBytesPerPixel;
    }
    return from - 1;
  }

  // Whether row y holds any ink. 32-bit rows are folded into one word of
  // differences (a loop the compiler vectorises), with no bit masks per
  // window: most rows searched from the top and the bottom hold none.
  bool RowHasInk(INT y) const {
    if constexpr (kBytesPerPixel == 4) {
      const BYTE* row = Pixel(0, y);
      const UINT32 ground =
          background_[0] | UINT32{background_[1]} << 8 | UINT32{background_[2]} << 16;
      UINT32 differences = 0;
      for (INT x = 0; x < Width(); ++x) {
        UINT32 pixel;
        std::memcpy(&pixel, row + 4 * x, sizeof pixel);
        differences |= pixel ^ ground;
      }
      return (differences & kColourMask) != 0;
    } else {
      return FirstInk(y, 0, Width()) < Width();
    }
  }

 private:
  static constexpr int kColourBytes = 3;             // blue, green, red
  static constexpr UINT32 kColourMask = 0x00FFFFFF;  // their bits in a 32-bit pixel
  static constexpr int kWindowBytes = kWindowPixels * kBytesPerPixel;

  // Bits of the colour bytes of the window's pixels [from, to).
  UINT64 PixelBytes(INT from, INT to) const {
    return LowBits(kBytesPerPixel * to) & ~LowBits(kBytesPerPixel * from) & colourBytes_;
  }
  const BYTE* Pixel(INT x, INT y) const {
    return static_cast<const BYTE*>(pixels_->Scan0) + static_cast<ptrdiff_t>(y) * pixels_->Stride +
           kBytesPerPixel * x;
  }
  bool IsInk(INT x, INT y) const {
    const BYTE* pixel = Pixel(x, y);
    return pixel[0] != background_[0] || pixel[1] != background_[1] || pixel[2] != background_[2];
  }
  // Bit i set when byte i of the window from (x, y) on differs from the
  // background (the fourth bytes of 32-bit pixels included: PixelBytes
  // leaves them out).
  UINT64 InkBytes(INT x, INT y) const {
    const BYTE* window = Pixel(x, y);
#if defined(GLYPH_CELL_SSE2)
    UINT64 same = 0;
    for (int part = 0; part < kWindowBytes / 16; ++part) {
      const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(window + 16 * part));
      const __m128i pattern =
          _mm_loadu_si128(reinterpret_cast<const __m128i*>(windowPattern_ + 16 * part));
      same |= UINT64(UINT(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, pattern)))) << (16 * part);
    }
    return ~same & LowBits(kWindowBytes);
#else
    UINT64 ink = 0;
    for (int i = 0; i < kWindowBytes; ++i) {
      if (window[i] != windowPattern_[i]) ink |= UINT64{1} << i;
    }
    return ink;
#endif
  }

  const BitmapData* pixels_;
  BYTE background_[kColourBytes];
  BYTE windowPattern_[kWindowBytes];  // kWindowPixels background pixels
  UINT64 colourBytes_ = 0;            // bits of the window's colour bytes
};

// The leftmost ink column of rows [first, last], or 0 when they hold none.
// Row by row (rows are contiguous in memory), each row searched only left of
// the leftmost ink found so far.
template <class Test>
INT LeftmostInk(const Test& test, INT first, INT last) {
  INT left = test.Width();
  for (INT y = first; y <= last && left > 0; ++y) left = test.FirstInk(y, 0, left);
  return left < test.Width() ? left : 0;
}

// The rightmost ink column of rows [first, last], or 0 when they hold none.
template <class Test>
INT RightmostInk(const Test& test, INT first, INT last) {
  INT right = -1;
  for (INT y = first; y <= last && right < test.Width() - 1; ++y) {
    right = test.LastInk(y, right + 1, test.Width());
  }
  return right >= 0 ? right : 0;
}

template <class Test>
INT TopInk(const Test& test) {
  for (INT y = 0; y < test.Height(); ++y) {
    if (test.RowHasInk(y)) return y;
  }
  return 0;
}

template <class Test>
INT BottomInk(const Test& test) {
  for (INT y = test.Height() - 1; y >= 0; --y) {
    if (test.RowHasInk(y)) return y;
  }
  return 0;
}

// Runs `scan` with the ink test for the locked rows' pixel size.
template <class Scan>
auto WithInkTest(const ChallengeSettings* settings, const BitmapData* pixels, Scan scan) {
  if (pixels->PixelFormat == PixelFormat24bppRGB) return scan(InkTest<3>(settings, pixels));
  return scan(InkTest<4>(settings, pixels));
}

// The same box as the four FindInk scans give, but the side scans read only
// the rows from the top to the bottom ink row: the others hold no ink. The
// scratch image is read in place, as 32-bit rows.
InkBox FindInkBox(const ChallengeSettings* settings, GraphicsImage& scratch) {
  BitmapData pixels{};
  if (scratch.LockForScanning(&pixels) != Ok) return InkBox{};  // nothing to read
  const InkBox box = WithInkTest(settings, &pixels, [](const auto& test) {
    InkBox found;
    found.top = TopInk(test);
    found.bottom = BottomInk(test);
    found.left = LeftmostInk(test, found.top, found.bottom);
    found.right = RightmostInk(test, found.top, found.bottom);
    return found;
  });
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
  return WithInkTest(settings, pixels, [](const auto& test) { return TopInk(test); });
}

INT FindInkBottom(const ChallengeSettings* settings, const BitmapData* pixels) {
  return WithInkTest(settings, pixels, [](const auto& test) { return BottomInk(test); });
}

INT FindInkLeft(const ChallengeSettings* settings, const BitmapData* pixels) {
  return WithInkTest(settings, pixels,
                     [](const auto& test) { return LeftmostInk(test, 0, test.Height() - 1); });
}

INT FindInkRight(const ChallengeSettings* settings, const BitmapData* pixels) {
  return WithInkTest(settings, pixels,
                     [](const auto& test) { return RightmostInk(test, 0, test.Height() - 1); });
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

void DrawGlyphInCell(const ChallengeSettings* settings, const WCHAR* character,
                     GraphicsContext& canvas, const Rect& cell) {
  const auto textBrush = MakeGraphics<GraphicsBrush>(settings->fontColor);
  const auto backgroundBrush = MakeGraphics<GraphicsBrush>(settings->backgroundColor);
  const GraphicsFont* font = settings->font;

  RectF measured;
  if (font != nullptr) canvas.MeasureCharacter(character, *font, &measured);
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
  const InkBox ink = drawable ? FindInkBox(settings, *scratch) : InkBox{};

  const INT topMargin = GlyphMargin(DrawRandomValue());
  const INT bottomMargin = GlyphMargin(DrawRandomValue());
  if (!drawable) return;
  canvas.SetInterpolationMode(InterpolationModeHighQualityBicubic);
  const Rect source(ink.left, ink.top, ink.right - ink.left, ink.bottom - ink.top);
  const Rect inCell = GlyphTarget(cell.Width, cell.Height, topMargin, bottomMargin);
  const Rect target(cell.X + inCell.X, cell.Y + inCell.Y, inCell.Width, inCell.Height);
  canvas.DrawImage(*scratch, target, source);
}

void DrawGlyphCell(const ChallengeSettings* settings, const WCHAR* character, GraphicsImage& cell) {
  auto context = MakeGraphics<GraphicsContext>(cell);
  if (context == nullptr) {
    for (int skipped = 0; skipped < kValuesPerGlyph; ++skipped) DrawRandomValue();
    return;
  }
  const Rect whole(0, 0, static_cast<INT>(cell.Width()), static_cast<INT>(cell.Height()));
  if (const auto background = MakeGraphics<GraphicsBrush>(settings->backgroundColor)) {
    context->FillRectangle(*background, whole.X, whole.Y, whole.Width, whole.Height);
  }
  DrawGlyphInCell(settings, character, *context, whole);
}

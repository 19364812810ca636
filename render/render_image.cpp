#include "render/render_image.h"

#include "render/font_selection.h"
#include "render/glyph_cell.h"
#include "render/noise_curve.h"
#include "text/random_source.h"

using namespace Gdiplus;

namespace {

constexpr INT kCanvasBorder = 1;  // pixels of the canvas left out on every side

INT WrappingAdd(INT a, INT b) {
  return static_cast<INT>(static_cast<UINT32>(a) + static_cast<UINT32>(b));
}

INT TextLength(const OLECHAR* text) {
  INT length = 0;
  while (length < kTextCapacity && text[length] != 0) ++length;
  return length;
}

void MakeFont(ChallengeSettings* settings) {
  ChooseFontFamily(settings);
  KeepFont(settings, CreateFontWithFallback(settings->fontName, static_cast<REAL>(settings->height),
                                            FontStyleRegular, UnitPixel));
}

// The cells lie side by side and cover the canvas: it is filled with the
// background once, and each glyph drawn straight into its own cell.
void DrawCells(ChallengeSettings* settings, GraphicsContext& canvas, INT canvasWidth,
               const CellWidths& cellWidths) {
  if (const auto background = MakeGraphics<GraphicsBrush>(settings->backgroundColor)) {
    canvas.FillRectangle(*background, 0, 0, canvasWidth, settings->height);
  }
  INT x = 0;
  for (INT i = 0; i < cellWidths.count && settings->text[i] != 0; ++i) {
    if (cellWidths.widths[i] > 0) {
      const Rect cell(x, 0, cellWidths.widths[i], settings->height);
      DrawGlyphInCell(settings, &settings->text[i], canvas, cell);
    } else {
      // Keep the draw order: a cell with no room still costs its values.
      for (int skipped = 0; skipped < kValuesPerGlyph; ++skipped) DrawRandomValue();
    }
    x = WrappingAdd(x, cellWidths.widths[i]);
  }
}

void DrawCurves(const ChallengeSettings* settings, GraphicsContext& canvas, INT width) {
  canvas.SetSmoothingMode(SmoothingModeAntiAlias);
  for (LONG curve = 0; curve < settings->lineCount; ++curve) {
    DrawNoiseCurve(settings, canvas, width, settings->height);
  }
}

}  // namespace

void ScaleOntoOutput(GraphicsImage& canvas, GraphicsImage& output) {
  auto context = MakeGraphics<GraphicsContext>(output);
  if (context == nullptr) return;
  const INT outputHeight = static_cast<INT>(output.Height());
  const INT outputWidth = static_cast<INT>(output.Width());
  context->SetInterpolationMode(InterpolationModeHighQualityBicubic);
  const INT canvasHeight = static_cast<INT>(canvas.Height());
  const INT canvasWidth = static_cast<INT>(canvas.Width());
  const Rect source(kCanvasBorder, kCanvasBorder, canvasWidth - 2 * kCanvasBorder,
                    canvasHeight - 2 * kCanvasBorder);
  context->DrawImage(canvas, Rect(0, 0, outputWidth, outputHeight), source);
}

INT CellWidth(int randomValue, INT baseWidth) {
  const INT quarter = baseWidth / 4;
  const INT shrink = ScaleRandomValue(randomValue, quarter);
  return WrappingAdd(WrappingAdd(baseWidth / 8, -shrink), baseWidth);
}

INT CellWidths::Total() const {
  INT total = 0;
  for (INT i = 0; i < count; ++i) total = WrappingAdd(total, widths[i]);
  return total;
}

CellWidths DrawCellWidths(const OLECHAR* text, LONG imageWidth) {
  CellWidths cells;
  const INT length = TextLength(text);
  if (length < 1) return cells;
  const INT baseWidth = imageWidth / length;
  for (cells.count = 0; cells.count < length; ++cells.count) {
    cells.widths[cells.count] = CellWidth(DrawRandomValue(), baseWidth);
  }
  return cells;
}

void RenderImage(ChallengeSettings* settings, GraphicsImage& output) {
  MakeFont(settings);
  const CellWidths cellWidths = DrawCellWidths(settings->text, settings->width);
  const INT totalWidth = cellWidths.Total();
  auto canvas = MakeGraphics<GraphicsImage>(totalWidth, settings->height);
  if (canvas == nullptr) return;
  {
    auto context = MakeGraphics<GraphicsContext>(*canvas);
    if (context == nullptr) return;
    DrawCells(settings, *context, totalWidth, cellWidths);
    DrawCurves(settings, *context, totalWidth);
  }
  ScaleOntoOutput(*canvas, output);
}

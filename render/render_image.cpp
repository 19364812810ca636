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

void DrawCells(ChallengeSettings* settings, GraphicsContext& canvas,
               const CellWidths& cellWidths) {
  INT x = 0;
  for (INT i = 0; i < cellWidths.count && settings->text[i] != 0; ++i) {
    auto cell = MakeGraphics<GraphicsImage>(cellWidths.widths[i], settings->height);
    if (cell != nullptr) {
      DrawGlyphCell(settings, &settings->text[i], *cell);
      canvas.DrawImage(*cell, x, 0);
    } else {
      // Keep the draw order: a cell without memory still costs its three values.
      for (int skipped = 0; skipped < 3; ++skipped) DrawRandomValue();
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
    DrawCells(settings, *context, cellWidths);
    DrawCurves(settings, *context, totalWidth);
  }
  ScaleOntoOutput(*canvas, output);
}

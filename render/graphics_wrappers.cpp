#include "render/graphics_wrappers.h"

using namespace Gdiplus;
using namespace Gdiplus::DllExports;

GraphicsImage::GraphicsImage(INT width, INT height) {
  Track(GdipCreateBitmapFromScan0(width, height, 0, PixelFormat24bppRGB, nullptr, &bitmap));
}

GraphicsImage::~GraphicsImage() {
  if (bitmap != nullptr) GdipDisposeImage(bitmap);
}

UINT GraphicsImage::Width() {
  UINT width = 0;
  Track(GdipGetImageWidth(bitmap, &width));
  return width;
}

UINT GraphicsImage::Height() {
  UINT height = 0;
  Track(GdipGetImageHeight(bitmap, &height));
  return height;
}

Status GraphicsImage::LockForReading(BitmapData* data) {
  const Rect whole(0, 0, static_cast<INT>(Width()), static_cast<INT>(Height()));
  return Track(GdipBitmapLockBits(bitmap, &whole, ImageLockModeRead, PixelFormat24bppRGB, data));
}

Status GraphicsImage::LockForScanning(BitmapData* data) {
  const Rect whole(0, 0, static_cast<INT>(Width()), static_cast<INT>(Height()));
  return Track(GdipBitmapLockBits(bitmap, &whole, ImageLockModeRead, PixelFormat32bppRGB, data));
}

Status GraphicsImage::Unlock(BitmapData* data) { return Track(GdipBitmapUnlockBits(bitmap, data)); }

GraphicsBrush::GraphicsBrush(ARGB color) { Track(GdipCreateSolidFill(color, &brush)); }

GraphicsBrush::~GraphicsBrush() {
  if (brush != nullptr) GdipDeleteBrush(brush);
}

GraphicsPen::GraphicsPen(ARGB color, REAL width, Unit unit) {
  Track(GdipCreatePen1(color, width, unit, &pen));
}

GraphicsPen::~GraphicsPen() {
  if (pen != nullptr) GdipDeletePen(pen);
}

Status GraphicsPen::SetWidth(REAL width) { return Track(GdipSetPenWidth(pen, width)); }

GraphicsMatrix::GraphicsMatrix() { Track(GdipCreateMatrix(&matrix)); }

GraphicsMatrix::~GraphicsMatrix() {
  if (matrix != nullptr) GdipDeleteMatrix(matrix);
}

Status GraphicsMatrix::Translate(REAL dx, REAL dy, MatrixOrder order) {
  return Track(GdipTranslateMatrix(matrix, dx, dy, order));
}

Status GraphicsMatrix::Rotate(REAL degrees, MatrixOrder order) {
  return Track(GdipRotateMatrix(matrix, degrees, order));
}

GraphicsFontFamily::GraphicsFontFamily(const WCHAR* name) {
  Track(GdipCreateFontFamilyFromName(name, nullptr, &family));
}

GraphicsFontFamily::GraphicsFontFamily(GenericSansSerif) {
  Track(GdipGetGenericFontFamilySansSerif(&family));
}

GraphicsFontFamily::~GraphicsFontFamily() {
  if (family != nullptr) GdipDeleteFontFamily(family);
}

GraphicsFont::GraphicsFont(const GraphicsFontFamily& family, REAL emSize, INT style, Unit unit) {
  Track(GdipCreateFont(family.Handle(), emSize, style, unit, &font));
}

GraphicsFont::~GraphicsFont() {
  if (font != nullptr) GdipDeleteFont(font);
}

Status GraphicsFont::Recreate(const GraphicsFontFamily& family, REAL emSize, INT style,
                              Unit unit) {
  if (font != nullptr) GdipDeleteFont(font);
  font = nullptr;
  return Track(GdipCreateFont(family.Handle(), emSize, style, unit, &font));
}

GraphicsContext::GraphicsContext(GraphicsImage& image) {
  Track(GdipGetImageGraphicsContext(image.Handle(), &graphics));
}

GraphicsContext::~GraphicsContext() {
  if (graphics != nullptr) GdipDeleteGraphics(graphics);
}

Status GraphicsContext::FillRectangle(const GraphicsBrush& brush, INT x, INT y, INT width,
                                      INT height) {
  return Track(GdipFillRectangleI(graphics, brush.Handle(), x, y, width, height));
}

Status GraphicsContext::SetTextRenderingHint(TextRenderingHint hint) {
  return Track(GdipSetTextRenderingHint(graphics, hint));
}

Status GraphicsContext::SetSmoothingMode(SmoothingMode mode) {
  return Track(GdipSetSmoothingMode(graphics, mode));
}

Status GraphicsContext::SetInterpolationMode(InterpolationMode mode) {
  return Track(GdipSetInterpolationMode(graphics, mode));
}

Status GraphicsContext::MultiplyTransform(const GraphicsMatrix& matrix, MatrixOrder order) {
  return Track(GdipMultiplyWorldTransform(graphics, matrix.Handle(), order));
}

Status GraphicsContext::MeasureCharacter(const WCHAR* character, const GraphicsFont& font,
                                         RectF* box) {
  const RectF layout(0, 0, 0, 0);
  return Track(
      GdipMeasureString(graphics, character, 1, font.Handle(), &layout, nullptr, box, nullptr,
                        nullptr));
}

Status GraphicsContext::DrawCharacter(const WCHAR* character, const GraphicsFont& font,
                                      const GraphicsBrush& brush) {
  const RectF layout(0, 0, 0, 0);
  return Track(
      GdipDrawString(graphics, character, 1, font.Handle(), &layout, nullptr, brush.Handle()));
}

Status GraphicsContext::DrawBezier(const GraphicsPen& pen, INT x1, INT y1, INT x2, INT y2, INT x3,
                                   INT y3, INT x4, INT y4) {
  return Track(GdipDrawBezierI(graphics, pen.Handle(), x1, y1, x2, y2, x3, y3, x4, y4));
}

Status GraphicsContext::DrawImage(const GraphicsImage& image, INT x, INT y) {
  return Track(GdipDrawImageI(graphics, image.Handle(), x, y));
}

Status GraphicsContext::DrawImage(const GraphicsImage& image, const Rect& target,
                                  const Rect& source) {
  return Track(GdipDrawImageRectRectI(graphics, image.Handle(), target.X, target.Y, target.Width,
                                      target.Height, source.X, source.Y, source.Width,
                                      source.Height, UnitPixel, nullptr, nullptr, nullptr));
}

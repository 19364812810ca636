#include "render/graphics_wrappers.h"

using namespace Gdiplus;
using namespace Gdiplus::DllExports;

GraphicsImage::GraphicsImage(INT width, INT height) {
  Track(GdipCreateBitmapFromScan0(width, height, 0, PixelFormat24bppRGB, nullptr, &bitmap_));
}

GraphicsImage::~GraphicsImage() {
  if (bitmap_ != nullptr) GdipDisposeImage(bitmap_);
}

UINT GraphicsImage::Width() {
  UINT width = 0;
  Track(GdipGetImageWidth(bitmap_, &width));
  return width;
}

UINT GraphicsImage::Height() {
  UINT height = 0;
  Track(GdipGetImageHeight(bitmap_, &height));
  return height;
}

Status GraphicsImage::LockForReading(BitmapData* data) {
  const Rect whole(0, 0, static_cast<INT>(Width()), static_cast<INT>(Height()));
  return Track(GdipBitmapLockBits(bitmap_, &whole, ImageLockModeRead, PixelFormat24bppRGB, data));
}

Status GraphicsImage::LockForScanning(BitmapData* data) {
  const Rect whole(0, 0, static_cast<INT>(Width()), static_cast<INT>(Height()));
  return Track(GdipBitmapLockBits(bitmap_, &whole, ImageLockModeRead, PixelFormat32bppRGB, data));
}

Status GraphicsImage::Unlock(BitmapData* data) {
  return Track(GdipBitmapUnlockBits(bitmap_, data));
}

GraphicsBrush::GraphicsBrush(ARGB color) { Track(GdipCreateSolidFill(color, &brush_)); }

GraphicsBrush::~GraphicsBrush() {
  if (brush_ != nullptr) GdipDeleteBrush(brush_);
}

GraphicsPen::GraphicsPen(ARGB color, REAL width, Unit unit) {
  Track(GdipCreatePen1(color, width, unit, &pen_));
}

GraphicsPen::~GraphicsPen() {
  if (pen_ != nullptr) GdipDeletePen(pen_);
}

Status GraphicsPen::SetWidth(REAL width) { return Track(GdipSetPenWidth(pen_, width)); }

GraphicsMatrix::GraphicsMatrix() { Track(GdipCreateMatrix(&matrix_)); }

GraphicsMatrix::~GraphicsMatrix() {
  if (matrix_ != nullptr) GdipDeleteMatrix(matrix_);
}

Status GraphicsMatrix::Translate(REAL dx, REAL dy, MatrixOrder order) {
  return Track(GdipTranslateMatrix(matrix_, dx, dy, order));
}

Status GraphicsMatrix::Rotate(REAL degrees, MatrixOrder order) {
  return Track(GdipRotateMatrix(matrix_, degrees, order));
}

GraphicsFontFamily::GraphicsFontFamily(const WCHAR* name) {
  Track(GdipCreateFontFamilyFromName(name, nullptr, &family_));
}

GraphicsFontFamily::GraphicsFontFamily(GenericSansSerif) {
  Track(GdipGetGenericFontFamilySansSerif(&family_));
}

GraphicsFontFamily::~GraphicsFontFamily() {
  if (family_ != nullptr) GdipDeleteFontFamily(family_);
}

GraphicsFont::GraphicsFont(const GraphicsFontFamily& family, REAL emSize, INT style, Unit unit) {
  Track(GdipCreateFont(family.Handle(), emSize, style, unit, &font_));
}

GraphicsFont::~GraphicsFont() {
  if (font_ != nullptr) GdipDeleteFont(font_);
}

Status GraphicsFont::Recreate(const GraphicsFontFamily& family, REAL emSize, INT style, Unit unit) {
  if (font_ != nullptr) GdipDeleteFont(font_);
  font_ = nullptr;
  return Track(GdipCreateFont(family.Handle(), emSize, style, unit, &font_));
}

GraphicsContext::GraphicsContext(GraphicsImage& image) {
  Track(GdipGetImageGraphicsContext(image.Handle(), &graphics_));
}

GraphicsContext::~GraphicsContext() {
  if (graphics_ != nullptr) GdipDeleteGraphics(graphics_);
}

Status GraphicsContext::FillRectangle(const GraphicsBrush& brush, INT x, INT y, INT width,
                                      INT height) {
  return Track(GdipFillRectangleI(graphics_, brush.Handle(), x, y, width, height));
}

Status GraphicsContext::SetTextRenderingHint(TextRenderingHint hint) {
  return Track(GdipSetTextRenderingHint(graphics_, hint));
}

Status GraphicsContext::SetSmoothingMode(SmoothingMode mode) {
  return Track(GdipSetSmoothingMode(graphics_, mode));
}

Status GraphicsContext::SetInterpolationMode(InterpolationMode mode) {
  return Track(GdipSetInterpolationMode(graphics_, mode));
}

Status GraphicsContext::MultiplyTransform(const GraphicsMatrix& matrix, MatrixOrder order) {
  return Track(GdipMultiplyWorldTransform(graphics_, matrix.Handle(), order));
}

Status GraphicsContext::MeasureCharacter(const WCHAR* character, const GraphicsFont& font,
                                         RectF* box) {
  const RectF layout(0, 0, 0, 0);
  return Track(GdipMeasureString(graphics_, character, 1, font.Handle(), &layout, nullptr, box,
                                 nullptr, nullptr));
}

Status GraphicsContext::DrawCharacter(const WCHAR* character, const GraphicsFont& font,
                                      const GraphicsBrush& brush) {
  const RectF layout(0, 0, 0, 0);
  return Track(
      GdipDrawString(graphics_, character, 1, font.Handle(), &layout, nullptr, brush.Handle()));
}

Status GraphicsContext::DrawBezier(const GraphicsPen& pen, INT x1, INT y1, INT x2, INT y2, INT x3,
                                   INT y3, INT x4, INT y4) {
  return Track(GdipDrawBezierI(graphics_, pen.Handle(), x1, y1, x2, y2, x3, y3, x4, y4));
}

Status GraphicsContext::DrawImage(const GraphicsImage& image, INT x, INT y) {
  return Track(GdipDrawImageI(graphics_, image.Handle(), x, y));
}

Status GraphicsContext::DrawImage(const GraphicsImage& image, const Rect& target,
                                  const Rect& source) {
  return Track(GdipDrawImageRectRectI(graphics_, image.Handle(), target.X, target.Y, target.Width,
                                      target.Height, source.X, source.Y, source.Width,
                                      source.Height, UnitPixel, nullptr, nullptr, nullptr));
}

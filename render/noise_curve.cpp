#include "render/noise_curve.h"

#include "text/random_source.h"

using namespace Gdiplus;

namespace {

constexpr REAL kInitialPenWidth = 1.0f;

struct CurvePoint {
  INT x;
  INT y;
};

CurvePoint DrawCurvePoint(INT width, INT height) {
  CurvePoint point;
  point.x = CurveCoordinate(DrawRandomValue(), width);
  point.y = CurveCoordinate(DrawRandomValue(), height);
  return point;
}

}  // namespace

INT CurveCoordinate(int randomValue, INT extent) {
  // 64-bit product: equal to the 32-bit one wherever that does not overflow.
  return static_cast<INT>(static_cast<int64_t>(randomValue) * extent / kRandomValueMax);
}

void DrawNoiseCurve(const ChallengeSettings* settings, GraphicsContext& canvas, INT width,
                    INT height) {
  auto pen = MakeGraphics<GraphicsPen>(settings->fontColor, kInitialPenWidth, UnitWorld);
  if (pen != nullptr) pen->SetWidth(static_cast<REAL>(settings->lineWidth));
  const CurvePoint start = DrawCurvePoint(width, height);
  const CurvePoint control1 = DrawCurvePoint(width, height);
  const CurvePoint control2 = DrawCurvePoint(width, height);
  const CurvePoint end = DrawCurvePoint(width, height);
  if (pen == nullptr) return;
  canvas.DrawBezier(*pen, start.x, start.y, control1.x, control1.y, control2.x, control2.y, end.x,
                    end.y);
}

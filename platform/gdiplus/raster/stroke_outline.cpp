// Flattening and sweeping a pen along cubic Bezier curves.
#include "gdiplus/raster/stroke_outline.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace Gdiplus::Internal {
namespace {

// Largest distance, in pixels, between the curve and its flattened lines.
constexpr double kStrokeFlatness = 1.0 / 8;
// Lines shorter than this are dropped: they have no direction to sweep along.
constexpr double kShortestLine = 1e-9;
// Longest mitre, in half pen widths, before a turn is bevelled instead.
constexpr double kMitreLimit = 10;

DevicePoint Plus(DevicePoint a, DevicePoint b) { return {a.x + b.x, a.y + b.y}; }
DevicePoint Minus(DevicePoint a, DevicePoint b) { return {a.x - b.x, a.y - b.y}; }
DevicePoint Times(DevicePoint a, double k) { return {a.x * k, a.y * k}; }
double Cross(DevicePoint a, DevicePoint b) { return a.x * b.y - a.y * b.x; }

// Lines enough to keep within kStrokeFlatness of the curve: for n lines the
// distance stays below 3/4 of the largest second difference of the control
// points over n squared.
int FlatteningLines(const CubicCurve& c) {
  const DevicePoint d1 = Plus(Minus(c[0], Times(c[1], 2)), c[2]);
  const DevicePoint d2 = Plus(Minus(c[1], Times(c[2], 2)), c[3]);
  const double bend = std::max(std::hypot(d1.x, d1.y), std::hypot(d2.x, d2.y));
  const double lines = std::ceil(std::sqrt(0.75 * bend / kStrokeFlatness));
  return lines >= kMaxStrokeLines ? kMaxStrokeLines : std::max(1, int(lines));
}

DevicePoint PointAt(const CubicCurve& c, double t) {
  const double u = 1 - t;
  const double a = u * u * u, b = 3 * u * u * t, d = 3 * u * t * t, e = t * t * t;
  return {a * c[0].x + b * c[1].x + d * c[2].x + e * c[3].x,
          a * c[0].y + b * c[1].y + d * c[2].y + e * c[3].y};
}

// Adds a closed polygon wound one fixed way: reversed when its signed area
// says it runs the other way.
void AddPolygon(CoverageRaster& raster, const DevicePoint* corners, size_t count) {
  double area = 0;
  for (size_t i = 0; i < count; ++i) area += Cross(corners[i], corners[(i + 1) % count]);
  if (area == 0) return;
  raster.MoveTo(corners[0]);
  for (size_t i = 1; i < count; ++i) raster.LineTo(corners[area > 0 ? i : count - i]);
}

template <size_t kCorners>
void AddPolygon(CoverageRaster& raster, const DevicePoint (&corners)[kCorners]) {
  AddPolygon(raster, corners, kCorners);
}

// Sweeps the pen along a polyline, one piece per line. Pieces meet on the
// bisector of each turn (a mitre join), so neighbours share an edge instead
// of overlapping and the raster's area sums stay exact; a run of such pieces
// goes to the raster as one polygon, its left side out and its right side
// back, without the shared edges. Where a turn is too sharp for a mitre, or
// a line too short for its inner corners, the pieces end square and wedges
// fill the turn's gap: those overlap, which the non-zero sum saturates.
class StrokeSweep {
 public:
  StrokeSweep(CoverageRaster& raster, double half) : raster_(raster), half_(half) {}

  void To(DevicePoint point) {
    if (!started_) {
      start_ = point;
      started_ = true;
      return;
    }
    const DevicePoint along = Minus(point, start_);
    const double length = std::hypot(along.x, along.y);
    if (length < kShortestLine) return;
    const DevicePoint normal = Times({-along.y, along.x}, half_ / length);
    if (!haveLine_) {
      lineStart_ = start_, lineEnd_ = point, lineNormal_ = normal, startOffset_ = normal;
      haveLine_ = true;
      start_ = point;
      return;
    }
    // Join the held line with this one, then hold this one.
    DevicePoint mitre;
    const bool mitred = MitreOffset(lineNormal_, normal, mitre);
    EmitHeld(mitred ? mitre : lineNormal_);
    if (!mitred) AddWedges(lineEnd_, lineNormal_, normal);
    lineStart_ = start_, lineEnd_ = point, lineNormal_ = normal;
    startOffset_ = mitred ? mitre : normal;
    start_ = point;
  }

  // Ends the stroke square at its last point.
  void Finish() {
    if (haveLine_) EmitHeld(lineNormal_);
    haveLine_ = false;
    FlushRun();
  }

 private:
  // The offset from a turn's corner to its mitre point, when the mitre stays
  // within kMitreLimit half-widths.
  bool MitreOffset(DevicePoint before, DevicePoint after, DevicePoint& mitre) const {
    const double cosine = (before.x * after.x + before.y * after.y) / (half_ * half_);
    // |mitre| = half / cos(turn / 2) = half * sqrt(2 / (1 + cos(turn))).
    if (1 + cosine < 2 / (kMitreLimit * kMitreLimit)) return false;
    mitre = Times(Plus(before, after), 1 / (1 + cosine));
    return true;
  }

  // The held line's piece from its start offset to `endOffset`; a piece
  // whose inner corners would cross (a line shorter than its mitres reach
  // in) is drawn square-ended with wedges instead.
  void EmitHeld(DevicePoint endOffset) {
    const DevicePoint piece[4] = {Plus(lineStart_, startOffset_), Plus(lineEnd_, endOffset),
                                  Minus(lineEnd_, endOffset), Minus(lineStart_, startOffset_)};
    if (IsConvexQuad(piece)) {
      if (left_.empty()) left_.push_back(piece[0]), right_.push_back(piece[3]);
      left_.push_back(piece[1]);
      right_.push_back(piece[2]);
      return;
    }
    FlushRun();
    const DevicePoint square[4] = {Plus(lineStart_, lineNormal_), Plus(lineEnd_, lineNormal_),
                                   Minus(lineEnd_, lineNormal_), Minus(lineStart_, lineNormal_)};
    AddPolygon(raster_, square);
    AddWedges(lineStart_, startOffset_, lineNormal_);
    AddWedges(lineEnd_, lineNormal_, endOffset);
  }

  // Triangles on both sides of `corner` between two offsets: one closes the
  // gap outside a turn, the other lies inside the pieces already.
  void AddWedges(DevicePoint corner, DevicePoint from, DevicePoint to) {
    const DevicePoint outer[3] = {corner, Plus(corner, from), Plus(corner, to)};
    const DevicePoint inner[3] = {corner, Minus(corner, from), Minus(corner, to)};
    AddPolygon(raster_, outer);
    AddPolygon(raster_, inner);
  }

  // Adds the run of mitred pieces held so far as one polygon.
  void FlushRun() {
    if (left_.empty()) return;
    left_.insert(left_.end(), right_.rbegin(), right_.rend());
    AddPolygon(raster_, left_.data(), left_.size());
    left_.clear();
    right_.clear();
  }

  static bool IsConvexQuad(const DevicePoint (&q)[4]) {
    int positive = 0, negative = 0;
    for (int i = 0; i < 4; ++i) {
      const double turn = Cross(Minus(q[(i + 1) % 4], q[i]), Minus(q[(i + 2) % 4], q[(i + 1) % 4]));
      positive += turn > 0;
      negative += turn < 0;
    }
    return positive == 0 || negative == 0;
  }

  CoverageRaster& raster_;
  const double half_;
  bool started_ = false;
  DevicePoint start_{};  // the last point taken
  bool haveLine_ = false;
  DevicePoint lineStart_{}, lineEnd_{}, lineNormal_{};  // the held line
  DevicePoint startOffset_{};                           // from its start to its piece's corner
  // The run of mitred pieces not yet added: their corners on either side.
  std::vector<DevicePoint> left_, right_;
};

}  // namespace

void AddCubicStroke(CoverageRaster& raster, const CubicCurve& curve, double width) {
  StrokeSweep sweep(raster, width / 2);
  const int lines = FlatteningLines(curve);
  sweep.To(curve[0]);
  for (int i = 1; i < lines; ++i) sweep.To(PointAt(curve, double(i) / lines));
  sweep.To(curve[3]);
  sweep.Finish();
}

StrokeBounds CubicStrokeBounds(const CubicCurve& curve, double width) {
  StrokeBounds bounds{curve[0].x, curve[0].y, curve[0].x, curve[0].y};
  for (const DevicePoint& p : curve) {
    bounds.left = std::min(bounds.left, p.x);
    bounds.top = std::min(bounds.top, p.y);
    bounds.right = std::max(bounds.right, p.x);
    bounds.bottom = std::max(bounds.bottom, p.y);
  }
  const double reach = width / 2 + 1;
  return {std::floor(bounds.left - reach), std::floor(bounds.top - reach),
          std::ceil(bounds.right + reach), std::ceil(bounds.bottom + reach)};
}

}  // namespace Gdiplus::Internal

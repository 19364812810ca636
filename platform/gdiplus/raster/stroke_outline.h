// Strokes of cubic Bezier curves as polygons for the coverage raster: the
// curve is flattened into short lines and each line becomes the piece a pen
// sweeps along it, neighbouring pieces meeting on the bisector of their turn.
// Every polygon is wound the same way, so where pieces do overlap (sharp
// turns, a curve crossing itself) the non-zero fill saturates instead of
// cancelling; there the partly covered pixels add up and come out darker.
#pragma once

#include "gdiplus/raster/coverage_raster.h"

namespace Gdiplus::Internal {

// A cubic Bezier curve: start, two control points, end (device pixels).
using CubicCurve = DevicePoint[4];

// Adds the stroke of `curve` with a pen `width` pixels wide (positive) and
// flat ends to the shape under way in `raster`, mitred joins between the
// flattened lines (bevelled past a mitre of ten half-widths, as at a cusp).
// Cost: one polygon per flattened line;
// the line count grows with the square root of the curve's bend and is
// capped at kMaxStrokeLines.
void AddCubicStroke(CoverageRaster& raster, const CubicCurve& curve, double width);

// Pixels that the stroke of `curve` with a pen `width` wide can touch:
// [left, right) x [top, bottom), rounded outwards. Bezier curves stay inside
// the hull of their control points.
struct StrokeBounds {
  double left, top, right, bottom;
};
StrokeBounds CubicStrokeBounds(const CubicCurve& curve, double width);

// Most lines a curve is flattened into, however wild its control points.
constexpr int kMaxStrokeLines = 1024;

}  // namespace Gdiplus::Internal

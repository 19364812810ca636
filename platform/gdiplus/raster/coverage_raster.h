// Anti-aliased coverage of filled outlines, computed exactly per pixel: each
// edge (curves are flattened into lines first) adds the signed area it covers
// to the cells of an accumulation buffer, and a running sum along each row
// gives every pixel's coverage. The raster owns its buffers and reuses them
// from shape to shape; glyph_raster.cpp feeds it glyph outlines and paints
// its rows. Free of cairo and FreeType types so that tests can drive it.
#pragma once

#include <cstdint>
#include <vector>

#include "gdiplus/raster/coverage_cells.h"

namespace Gdiplus::Internal {

// A point in device pixels: x to the right, y downwards, pixel (i, j)
// covering [i, i+1) x [j, j+1).
struct DevicePoint {
  double x;
  double y;
};

// Receives the coverage of a shape row by row.
class CoverageRowSink {
 public:
  // Pixels [x, x + count) of device row y have coverage[0..count) (0 none,
  // 255 full). Rows come top to bottom; pixels left and right of the range,
  // and rows never reported, have no coverage.
  virtual void Row(int64_t y, int64_t x, const uint8_t* coverage, int count) = 0;

 protected:
  ~CoverageRowSink() = default;
};

// One shape at a time: Begin, contours (MoveTo, then lines and curves), then
// Finish. Filling follows the non-zero rule as an area sum: overlapping
// contours of the same direction saturate at full coverage, a contour of the
// opposite direction cuts a hole. Not thread-safe; see ThreadCoverageRaster.
class CoverageRaster {
 public:
  // Starts a shape clipped to the device pixels [left, left + width) x
  // [top, top + height): nothing outside is ever reported, and edges beyond
  // the window still count for the pixels inside. Returns false, and the
  // shape stays empty, when the window is empty or its buffer cannot be had.
  // Cost: one cleared float per window pixel, allocated on growth only.
  bool Begin(int64_t left, int64_t top, int width, int height);

  // Closes the current contour and starts a new one at `point`.
  void MoveTo(DevicePoint point);
  // Edges from the current point to `point`; the curves are the quadratic
  // and cubic Bezier curves with the given control points, flattened into
  // lines that stray at most kFlatness pixels from the curve along either
  // axis. Ignored before the first MoveTo.
  void LineTo(DevicePoint point);
  void ConicTo(DevicePoint control, DevicePoint point);
  void CubicTo(DevicePoint control1, DevicePoint control2, DevicePoint point);

  // Closes the last contour, reports the shape's rows with any edge in them
  // to `sink` and leaves the buffer clear for the next shape. Cost: one step
  // per pixel between the first and last edge of each row.
  void Finish(CoverageRowSink& sink);

  // Largest distance, in pixels along either axis, between a curve and the
  // lines standing for it: FreeType's grey rasteriser's, unseen on screen.
  static constexpr double kFlatness = 1.0 / 16;

 private:
  // Adds the edge between two points in window coordinates.
  void AddEdge(double x0, double y0, double x1, double y1);
  // The part of an edge going down (y0 < y1) between window rows, x inside,
  // with `slope` its dx/dy.
  void AddDownwardEdge(double x0, double y0, double x1, double y1, double slope, float direction);
  // The accumulation buffer as the edges' rows are added to it.
  CellRows Cells();
  // Adds `point` (device) to the contour.
  void EdgeTo(double x, double y);
  void CloseContour();
  // Sums each touched row into coverage for `sink` (none: the shape is
  // dropped), clearing the buffer as it goes, and ends the shape.
  void Sweep(CoverageRowSink* sink);

  int64_t left_ = 0;
  int64_t top_ = 0;
  int width_ = 0;
  int height_ = 0;
  int stride_ = 0;              // floats per row: width plus two spill cells
  std::vector<float> cells_;    // signed area per cell, row after row
  std::vector<int> firstCell_;  // per row: first and last cell touched
  std::vector<int> lastCell_;
  std::vector<uint8_t> rowCoverage_;
  RowSpanQueue spans_;              // edges' rows not yet in the cells: flushed by Sweep
  bool open_ = false;               // a contour is under way
  double startX_ = 0, startY_ = 0;  // its first point, window coordinates
  double x_ = 0, y_ = 0;            // its current point
};

// The calling thread's raster, reused from shape to shape on that thread.
CoverageRaster& ThreadCoverageRaster();

}  // namespace Gdiplus::Internal

// The coverage raster's innermost step: one edge's signed area added to the
// cells of every row it crosses. Kept apart from CoverageRaster so that the
// AVX2 version (several rows at a time) and the plain one can be driven on
// the same edges and their cells compared bit for bit.
#pragma once

namespace Gdiplus::Internal {

// The raster's accumulation buffer for one shape, owned by the raster: rows
// of `stride` floats (the window's width plus two spill cells, then one
// trailing cell after the last row), and per row the first and last cell
// touched.
struct CellRows {
  float* cells;
  int* firstCell;
  int* lastCell;
  int stride;
};

// An edge going down (y0 < y1) within rows [0, height) of a window `width`
// pixels wide, x inside [0, width), with `slope` its dx/dy and `direction`
// +1 for edges drawn downwards and -1 for upwards.
struct DownwardEdge {
  double x0, y0, x1, y1;
  double slope;
  float direction;
  double width;
};

// Adds the edge to the cells of each row it crosses. The AVX2 version works
// out four rows at a time with the same double arithmetic, in the same
// order, so every cell gets the same float sums as the plain version.
void AddDownwardEdgeRows(const CellRows& target, const DownwardEdge& edge);
// The plain version, whatever the processor: for tests to compare with.
void AddDownwardEdgeRowsBaseline(const CellRows& target, const DownwardEdge& edge);

}  // namespace Gdiplus::Internal

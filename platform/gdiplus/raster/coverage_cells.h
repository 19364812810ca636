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

// Adds the edge to the cells of each row it crosses, at once.
void AddDownwardEdgeRowsBaseline(const CellRows& target, const DownwardEdge& edge);

// Edges' rows on their way to the cells. With AVX2 each edge's rows are
// worked out four at a time as it comes, queued, and added to the cells in
// batches, four spans at a time: the long chain of arithmetic behind one
// span then overlaps with the others' (one edge of a glyph's flattened
// curves crosses four rows on average, too few to overlap on its own).
// Spans are added in the order their edges came, with the same double
// arithmetic as AddDownwardEdgeRowsBaseline, so every cell gets the same
// float sums. Without AVX2 each edge is added at once. One per raster.
class RowSpanQueue {
 public:
  // Adds the edge's rows to the cells, now or by a later Flush; spans
  // already queued go first when the queue is full.
  void Add(const CellRows& target, const DownwardEdge& edge);
  // Adds the queued spans to the cells: call before reading them.
  void Flush(const CellRows& target);

  static constexpr int kGroupRows = 4;  // spans worked out together
  static constexpr int kCapacity = 512;

  // The queued spans in arrival order: row, x at the row's top and bottom,
  // signed height, and the edge's signed height per unit of x. A group's
  // spare lanes are stored past `count` and never read as spans.
  struct Spans {
    int count = 0;
    alignas(32) int row[kCapacity + kGroupRows];
    alignas(32) double xTop[kCapacity + kGroupRows];
    alignas(32) double xBottom[kCapacity + kGroupRows];
    alignas(32) double height[kCapacity + kGroupRows];
    alignas(32) double heightPerWidth[kCapacity + kGroupRows];
  };

 private:
  Spans spans_;
};

}  // namespace Gdiplus::Internal

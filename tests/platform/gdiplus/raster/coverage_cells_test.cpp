// Edges' rows added to the raster's cells: through the queue, which with
// AVX2 works out four rows and four spans at a time and adds them in
// batches, against the plain version adding each edge at once, cell for
// cell and bit for bit, over edges of every kind the raster hands over.
// Coverage bytes would hide a sum one float step off; the cells do not.
#include "gdiplus/raster/coverage_cells.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "glimmark_test_seams.h"

namespace gdiplus_test {
namespace {

using Gdiplus::Internal::AddDownwardEdgeRowsBaseline;
using Gdiplus::Internal::CellRows;
using Gdiplus::Internal::DownwardEdge;
using Gdiplus::Internal::RowSpanQueue;

constexpr int kSpillCells = 2;     // per row, as the raster keeps them
constexpr int kTrailingCells = 1;  // after the last row

// A window's cells as the raster keeps them, filled by one of the versions.
struct Cells {
  Cells(int width, int height)
      : stride(width + kSpillCells),
        cells(size_t(stride) * height + kTrailingCells, 0.0f),
        firstCell(size_t(height), INT_MAX),
        lastCell(size_t(height), -1) {}
  CellRows Rows() { return CellRows{cells.data(), firstCell.data(), lastCell.data(), stride}; }

  int stride;
  std::vector<float> cells;
  std::vector<int> firstCell, lastCell;
};

// An edge between two points of a window, downwards, as the raster makes
// it: slope dx/dy, direction by the order of the points.
DownwardEdge EdgeBetween(double xa, double ya, double xb, double yb, int width) {
  float direction = 1;
  if (ya > yb) {
    std::swap(xa, xb);
    std::swap(ya, yb);
    direction = -1;
  }
  return DownwardEdge{xa, ya, xb, yb, (xb - xa) / (yb - ya), direction, double(width)};
}

// Points on whole and half pixels now and then, elsewhere anywhere.
double Coordinate(std::mt19937& random, int extent) {
  const int kind = std::uniform_int_distribution<int>(0, 5)(random);
  if (kind == 0) return std::uniform_int_distribution<int>(0, extent)(random);
  if (kind == 1) return std::uniform_int_distribution<int>(0, 2 * extent)(random) / 2.0;
  return std::uniform_real_distribution<double>(0, extent)(random);
}

// Edges of every slope: upright, steep as a glyph's stems, flat as its
// serifs, long and short, within one row and down the whole window.
DownwardEdge RandomEdge(std::mt19937& random, int width, int height) {
  for (;;) {
    const double xa = Coordinate(random, width), ya = Coordinate(random, height);
    double xb = Coordinate(random, width), yb = Coordinate(random, height);
    switch (std::uniform_int_distribution<int>(0, 3)(random)) {
      case 0:
        xb = xa;  // upright
        break;
      case 1:  // steep: under a pixel across per row
        xb = std::clamp(xa + (yb - ya) * std::uniform_real_distribution<double>(-1, 1)(random), 0.0,
                        double(width));
        break;
      case 2:  // short, as a flattened curve's lines
        xb = std::clamp(xa + std::uniform_real_distribution<double>(-3, 3)(random), 0.0,
                        double(width));
        yb = std::clamp(ya + std::uniform_real_distribution<double>(-3, 3)(random), 0.0,
                        double(height));
        break;
      default:
        break;
    }
    if (ya != yb) return EdgeBetween(xa, ya, xb, yb, width);
  }
}

void ExpectSameCells(const Cells& expected, const Cells& actual, int shape) {
  ASSERT_EQ(0, std::memcmp(expected.cells.data(), actual.cells.data(),
                           expected.cells.size() * sizeof(float)))
      << "cells differ in shape " << shape;
  ASSERT_EQ(expected.firstCell, actual.firstCell) << "shape " << shape;
  ASSERT_EQ(expected.lastCell, actual.lastCell) << "shape " << shape;
}

class CoverageCellsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The seam answers whether the processor has any faster version; with
    // the baseline forced off again the picked version is AVX2 if any.
    const bool faster = GlimmarkTest_UseBaselineInstructionsOnly(false);
    if (!faster) GTEST_SKIP() << "this processor runs the plain version only";
  }
};

TEST_F(CoverageCellsTest, QueuedSpansAddExactlyThePlainSums) {
  // Up to 40 edges of up to 700 rows: queues filled and flushed mid-shape,
  // and edges taller than the whole queue.
  std::mt19937 random(20261210);
  auto queue = std::make_unique<RowSpanQueue>();
  for (int shape = 0; shape < 2000; ++shape) {
    const int width = std::uniform_int_distribution<int>(1, 90)(random);
    const int height = shape % 10 == 0 ? std::uniform_int_distribution<int>(100, 700)(random)
                                       : std::uniform_int_distribution<int>(1, 80)(random);
    Cells plain(width, height), queued(width, height);
    const int edges = std::uniform_int_distribution<int>(1, 40)(random);
    // Now and then the plain version is forced halfway through a shape: the
    // edges queued before must still reach the cells first.
    const bool switching = shape % 5 == 3;
    for (int i = 0; i < edges; ++i) {
      if (switching && i == edges / 2) GlimmarkTest_UseBaselineInstructionsOnly(true);
      const DownwardEdge edge = RandomEdge(random, width, height);
      AddDownwardEdgeRowsBaseline(plain.Rows(), edge);
      queue->Add(queued.Rows(), edge);
    }
    queue->Flush(queued.Rows());
    GlimmarkTest_UseBaselineInstructionsOnly(false);
    ExpectSameCells(plain, queued, shape);
  }
}

TEST_F(CoverageCellsTest, EdgesOnTheWindowsBordersAndRowBoundaries) {
  // Edges starting and ending exactly on row boundaries, on the window's
  // left and right borders, one row tall, and one float step tall.
  const int width = 9, height = 11;
  const DownwardEdge edges[] = {
      EdgeBetween(0, 0, 0, height, width),
      EdgeBetween(width, height, width, 0, width),
      EdgeBetween(0, 0, width, height, width),
      EdgeBetween(width, 2, 0, 3, width),
      EdgeBetween(3.5, 4, 3.5, 5, width),
      EdgeBetween(2.25, 7, 8.75, 7 + std::ldexp(1.0, -40), width),
      EdgeBetween(4.999, 0.001, 5.001, 10.999, width),
      EdgeBetween(1, 1.5, 7, 9.5, width),
  };
  Cells plain(width, height), queued(width, height);
  auto queue = std::make_unique<RowSpanQueue>();
  for (const DownwardEdge& edge : edges) {
    AddDownwardEdgeRowsBaseline(plain.Rows(), edge);
    queue->Add(queued.Rows(), edge);
  }
  queue->Flush(queued.Rows());
  ExpectSameCells(plain, queued, 0);
}

}  // namespace
}  // namespace gdiplus_test

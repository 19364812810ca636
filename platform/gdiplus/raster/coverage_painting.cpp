// Coverage rows onto the painter's surface.
#include "gdiplus/raster/coverage_painting.h"

namespace Gdiplus::Internal {
namespace {

constexpr uint8_t kHalfCoverage = 128;

}  // namespace

void PaintingSink::Row(int64_t y, int64_t x, const uint8_t* coverage, int count) {
  uint32_t* pixels = painter_.RowOrNull(y);
  if (pixels == nullptr) return;
  if (levels_ == CoverageLevels::Grey) {
    painter_.PaintCoverage(pixels, x, coverage, count);
    return;
  }
  // Runs of whole pixels, without a copy of the row.
  for (int begin = 0; begin < count;) {
    const bool in = coverage[begin] >= kHalfCoverage;
    int end = begin + 1;
    while (end < count && (coverage[end] >= kHalfCoverage) == in) ++end;
    if (in) painter_.PaintInRow(pixels, x + begin, x + end, kFullCoverage);
    begin = end;
  }
}

}  // namespace Gdiplus::Internal

// Painting the coverage raster's rows with a span painter: the end of every
// shape the raster fills (glyphs, swept curves). Owns nothing.
#pragma once

#include "gdiplus/raster/coverage_raster.h"
#include "gdiplus/raster/span_painter.h"

namespace Gdiplus::Internal {

enum class CoverageLevels {
  Grey,     // every coverage as it comes: antialiased edges
  InOrOut,  // a pixel at least half covered painted whole, others not at all
};

class PaintingSink final : public CoverageRowSink {
 public:
  PaintingSink(SpanPainter& painter, CoverageLevels levels) : painter_(painter), levels_(levels) {}
  void Row(int64_t y, int64_t x, const uint8_t* coverage, int count) override;

 private:
  SpanPainter& painter_;
  CoverageLevels levels_;
};

}  // namespace Gdiplus::Internal

// Signed-area coverage accumulation and the row sweep.
//
// For a pixel row, an edge going down by h rows (negative when going up)
// covers, in each pixel it passes, the part of that pixel right of it; every
// pixel further right it covers wholly. So each cell of the buffer receives
// the difference between what the edge covers of that pixel and of the pixel
// before it, and the running sum along the row restores each pixel's signed
// coverage: the sum over all edges of their covered fractions times h.
#include "gdiplus/raster/coverage_raster.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <new>

#include "gdiplus/raster/coverage_cells.h"
#include "gdiplus/raster/simd.h"

#if defined(GLIMMARK_SSE2)
#include <emmintrin.h>
#endif

namespace Gdiplus::Internal {
namespace {

// Cells kept between shapes; a larger buffer (a huge glyph) is released
// after its shape, so one outsized drawing does not pin its memory.
constexpr size_t kKeptCells = size_t{1} << 20;
// Cells beyond the window's right edge in each row: an edge on that edge
// spills its last deposits there; they are summed but never shown.
constexpr int kSpillCells = 2;
// A cell past the last row's spill cells: a span within one pixel adds a
// zero to the third cell from its own (see coverage_cells.cpp), which for the last
// row's rightmost pixel lies past the rows.
constexpr size_t kTrailingCells = 1;
// Most lines one curve becomes; far more than any visible curve needs.
constexpr int kMaxCurveLines = 1024;
// Marks a row no edge touched: first touched cell after the last.
constexpr int kNoCell = INT_MAX;

uint8_t CoverageByte(float sum) { return uint8_t(std::min(1.0f, std::fabs(sum)) * 255 + 0.5f); }

// Running sum of cells[0..count) as coverage bytes into `out`, the cells
// cleared on the way. Four cells at a time, each group summed in two steps
// and then added to the sum so far: the chain of additions is what limits
// the speed. The plain form adds in that same order (float addition is not
// associative, so a running sum cell by cell would move some bytes a level).
void SumRow(float* cells, int count, uint8_t* out) {
  int c = 0;
  float sum = 0;
#if defined(GLIMMARK_SSE2)
  const __m128 magnitude = _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF));
  const __m128 one = _mm_set1_ps(1), levels = _mm_set1_ps(255), half = _mm_set1_ps(0.5f);
  __m128 carry = _mm_setzero_ps();
  for (; c + 4 <= count; c += 4) {
    __m128 v = _mm_loadu_ps(cells + c);
    _mm_storeu_ps(cells + c, _mm_setzero_ps());
    v = _mm_add_ps(v, _mm_castsi128_ps(_mm_slli_si128(_mm_castps_si128(v), 4)));
    v = _mm_add_ps(v, _mm_castsi128_ps(_mm_slli_si128(_mm_castps_si128(v), 8)));
    // The next carry is the group's last sum plus this carry: one addition
    // from carry to carry, the group's sums worked out beside the chain.
    // (The same float as the last lane of v + carry: addition commutes.)
    const __m128 groupTotal = _mm_shuffle_ps(v, v, _MM_SHUFFLE(3, 3, 3, 3));
    v = _mm_add_ps(v, carry);
    carry = _mm_add_ps(carry, groupTotal);
    const __m128 coverage = _mm_min_ps(_mm_and_ps(v, magnitude), one);
    const __m128i words = _mm_cvttps_epi32(_mm_add_ps(_mm_mul_ps(coverage, levels), half));
    const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(words, words), words);
    const int32_t four = _mm_cvtsi128_si32(bytes);
    std::memcpy(out + c, &four, sizeof four);
  }
  sum = _mm_cvtss_f32(carry);
#else
  for (; c + 4 <= count; c += 4) {
    float* v = cells + c;
    const float pairs[4] = {v[0], v[1] + v[0], v[2] + v[1], v[3] + v[2]};
    const float group[4] = {pairs[0], pairs[1], pairs[2] + pairs[0], pairs[3] + pairs[1]};
    for (int i = 0; i < 4; ++i) {
      v[i] = 0;
      out[c + i] = CoverageByte(group[i] + sum);
    }
    sum = group[3] + sum;
  }
#endif
  for (; c < count; ++c) {
    sum += cells[c];
    cells[c] = 0;
    out[c] = CoverageByte(sum);
  }
}

DevicePoint Between(DevicePoint a, DevicePoint b, double t) {
  return {a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t};
}

// Lines needed for a curve whose second derivative is at most `bend` pixels
// along either axis: n equal steps of the parameter stray at most
// bend / (8 n^2) along either axis. n is a power of two, so that the lines
// end on the points repeated halving of the curve gives, as in FreeType's
// rasteriser: glyphs keep the shapes they had when FreeType drew them.
int CurveLines(double bend) {
  int lines = 1;
  while (lines < kMaxCurveLines && bend > 8 * CoverageRaster::kFlatness * lines * lines) lines *= 2;
  return lines;
}

// The larger of |x| and |y|.
double Larger(double x, double y) { return std::max(std::fabs(x), std::fabs(y)); }

}  // namespace

bool CoverageRaster::Begin(int64_t left, int64_t top, int width, int height) {
  if (height_ != 0) Sweep(nullptr);  // a shape left unfinished is dropped
  open_ = false;
  width_ = 0;
  if (width <= 0 || height <= 0) return false;
  const size_t stride = size_t(width) + kSpillCells;
  try {
    const size_t cells = stride * size_t(height) + kTrailingCells;
    if (cells_.size() < cells) cells_.resize(cells);
    if (firstCell_.size() < size_t(height)) {
      firstCell_.resize(size_t(height), kNoCell);
      lastCell_.resize(size_t(height), -1);
    }
    if (rowCoverage_.size() < size_t(width)) rowCoverage_.resize(size_t(width));
  } catch (const std::bad_alloc&) {
    return false;
  }
  left_ = left;
  top_ = top;
  width_ = width;
  height_ = height;
  stride_ = int(stride);
  return true;
}

void CoverageRaster::MoveTo(DevicePoint point) {
  if (height_ == 0) return;
  if (open_) CloseContour();
  startX_ = x_ = point.x - double(left_);
  startY_ = y_ = point.y - double(top_);
  open_ = true;
}

void CoverageRaster::LineTo(DevicePoint point) {
  if (open_) EdgeTo(point.x - double(left_), point.y - double(top_));
}

void CoverageRaster::ConicTo(DevicePoint control, DevicePoint point) {
  if (!open_) return;
  const DevicePoint p0{x_, y_};
  const DevicePoint p1{control.x - double(left_), control.y - double(top_)};
  const DevicePoint p2{point.x - double(left_), point.y - double(top_)};
  // A curve wholly beside the window adds what its chord adds: only its net
  // rise matters there.
  const bool beside = std::max({p0.x, p1.x, p2.x}) <= 0 || std::min({p0.x, p1.x, p2.x}) >= width_ ||
                      std::max({p0.y, p1.y, p2.y}) <= 0 || std::min({p0.y, p1.y, p2.y}) >= height_;
  const int lines =
      beside ? 1 : CurveLines(2 * Larger(p0.x - 2 * p1.x + p2.x, p0.y - 2 * p1.y + p2.y));
  const double step = 1.0 / lines;  // exact: a power of two, so i * step is i / lines
  for (int i = 1; i < lines; ++i) {
    const double t = i * step;
    const DevicePoint q = Between(Between(p0, p1, t), Between(p1, p2, t), t);
    EdgeTo(q.x, q.y);
  }
  EdgeTo(p2.x, p2.y);
}

void CoverageRaster::CubicTo(DevicePoint control1, DevicePoint control2, DevicePoint point) {
  if (!open_) return;
  const DevicePoint p0{x_, y_};
  const DevicePoint p1{control1.x - double(left_), control1.y - double(top_)};
  const DevicePoint p2{control2.x - double(left_), control2.y - double(top_)};
  const DevicePoint p3{point.x - double(left_), point.y - double(top_)};
  const bool beside =
      std::max({p0.x, p1.x, p2.x, p3.x}) <= 0 || std::min({p0.x, p1.x, p2.x, p3.x}) >= width_ ||
      std::max({p0.y, p1.y, p2.y, p3.y}) <= 0 || std::min({p0.y, p1.y, p2.y, p3.y}) >= height_;
  const double bend = 6 * std::max(Larger(p0.x - 2 * p1.x + p2.x, p0.y - 2 * p1.y + p2.y),
                                   Larger(p1.x - 2 * p2.x + p3.x, p1.y - 2 * p2.y + p3.y));
  const int lines = beside ? 1 : CurveLines(bend);
  const double step = 1.0 / lines;  // exact, as in ConicTo
  for (int i = 1; i < lines; ++i) {
    const double t = i * step;
    const DevicePoint a = Between(p0, p1, t), b = Between(p1, p2, t), c = Between(p2, p3, t);
    const DevicePoint q = Between(Between(a, b, t), Between(b, c, t), t);
    EdgeTo(q.x, q.y);
  }
  EdgeTo(p3.x, p3.y);
}

void CoverageRaster::EdgeTo(double x, double y) {
  AddEdge(x_, y_, x, y);
  x_ = x;
  y_ = y;
}

void CoverageRaster::CloseContour() {
  if (x_ != startX_ || y_ != startY_) AddEdge(x_, y_, startX_, startY_);
  open_ = false;
}

void CoverageRaster::AddEdge(double x0, double y0, double x1, double y1) {
  if (!(std::isfinite(x0) && std::isfinite(y0) && std::isfinite(x1) && std::isfinite(y1))) return;
  if (y0 == y1) return;  // level edges cover nothing
  float direction = 1;
  if (y0 > y1) {
    std::swap(x0, x1);
    std::swap(y0, y1);
    direction = -1;
  }
  if (y1 <= 0 || y0 >= height_) return;
  const double slope = (x1 - x0) / (y1 - y0);
  if (!std::isfinite(slope)) return;  // rises by next to nothing: covers next to nothing
  if (y0 < 0) {
    x0 -= y0 * slope;
    y0 = 0;
  }
  if (y1 > height_) {
    x1 -= (y1 - height_) * slope;
    y1 = height_;
  }
  const double width = width_;
  if (x0 >= 0 && x0 <= width && x1 >= 0 && x1 <= width) {
    AddDownwardEdge(x0, y0, x1, y1, slope, direction);
    return;
  }
  // Left of the window an edge counts as if on its left boundary (it covers
  // the whole row there); right of it, on the right boundary (it covers
  // nothing). Split where the edge crosses a boundary, then clamp each piece.
  double cuts[4] = {y0, y1, y1, y1};
  int count = 1;
  for (double boundary : {0.0, width}) {
    if ((x0 - boundary) * (x1 - boundary) < 0) {
      cuts[count++] = std::clamp(y0 + (boundary - x0) / slope, y0, y1);
    }
  }
  if (count == 3 && cuts[1] > cuts[2]) std::swap(cuts[1], cuts[2]);
  cuts[count] = y1;
  auto xAt = [&](double y) {
    const double x = y == y0 ? x0 : y == y1 ? x1 : x0 + (y - y0) * slope;
    return std::clamp(x, 0.0, width);
  };
  for (int i = 0; i < count; ++i) {
    if (cuts[i] >= cuts[i + 1]) continue;
    // Each piece's own slope: a clamped piece is upright, whatever rounding
    // left of its ends.
    const double xTop = xAt(cuts[i]), xBottom = xAt(cuts[i + 1]);
    AddDownwardEdge(xTop, cuts[i], xBottom, cuts[i + 1], (xBottom - xTop) / (cuts[i + 1] - cuts[i]),
                    direction);
  }
}

void CoverageRaster::AddDownwardEdge(double x0, double y0, double x1, double y1, double slope,
                                     float direction) {
  spans_.Add(Cells(), DownwardEdge{x0, y0, x1, y1, slope, direction, double(width_)});
}

CellRows CoverageRaster::Cells() {
  return CellRows{cells_.data(), firstCell_.data(), lastCell_.data(), stride_};
}

void CoverageRaster::Finish(CoverageRowSink& sink) {
  if (open_) CloseContour();
  Sweep(&sink);
}

void CoverageRaster::Sweep(CoverageRowSink* sink) {
  spans_.Flush(Cells());
  for (int row = 0; row < height_; ++row) {
    const int first = firstCell_[row], last = lastCell_[row];
    if (first > last) continue;
    firstCell_[row] = kNoCell;
    lastCell_[row] = -1;
    float* cells = cells_.data() + ptrdiff_t(row) * stride_;
    const int shown = std::min(last + 1, width_) - first;  // spill cells are summed, not shown
    SumRow(cells + first, shown, rowCoverage_.data());
    std::fill(cells + first + shown, cells + last + 1, 0.0f);
    if (shown > 0 && sink != nullptr)
      sink->Row(top_ + row, left_ + first, rowCoverage_.data(), shown);
  }
  height_ = 0;
  if (cells_.size() > kKeptCells) std::vector<float>().swap(cells_);
}

CoverageRaster& ThreadCoverageRaster() {
  thread_local CoverageRaster raster;
  return raster;
}

}  // namespace Gdiplus::Internal

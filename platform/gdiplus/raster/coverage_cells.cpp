// One edge's signed area into the cells of the rows it crosses.
//
// For a pixel row, an edge going down by h rows (negative when going up)
// covers, in each pixel it passes, the part of that pixel right of it; every
// pixel further right it covers wholly. So each cell receives the difference
// between what the edge covers of that pixel and of the pixel before it, and
// the running sum along the row restores each pixel's signed coverage.
#include "gdiplus/raster/coverage_cells.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "gdiplus/raster/cpu_features.h"
#include "gdiplus/raster/simd.h"

#if defined(GLIMMARK_SSE2) && (defined(__GNUC__) || defined(__clang__))
#define GLIMMARK_COVERAGE_AVX2 1
#include <immintrin.h>
#define GLIMMARK_AVX2 __attribute__((target("avx2")))
#endif

namespace Gdiplus::Internal {
namespace {

// `ifSet` where `mask` is all ones, `ifClear` where it is zero: picked with
// bit operations, which the compiler keeps free of branches (a plain
// conditional it may well turn into one).
float Pick(uint32_t mask, float ifSet, float ifClear) {
  return std::bit_cast<float>((std::bit_cast<uint32_t>(ifSet) & mask) |
                              (std::bit_cast<uint32_t>(ifClear) & ~mask));
}

// Widens the row's touched cells to take in [first, last].
void MarkTouched(const CellRows& target, int row, int first, int last) {
  target.firstCell[row] = std::min(target.firstCell[row], first);
  target.lastCell[row] = std::max(target.lastCell[row], last);
}

// The part of an edge within one row: x from xa to xb while y advances by
// `height` (signed by the edge's direction), `heightPerWidth` per unit of x.
[[gnu::always_inline]] inline void AddRowSpan(const CellRows& target, int row, double xa, double xb,
                                              double height, double heightPerWidth) {
  float* cells = target.cells + ptrdiff_t(row) * target.stride;
  const double xLeft = std::min(xa, xb), xRight = std::max(xa, xb);
  const int first = int(xLeft);
  if (xRight < first + 2) {
    // Within one pixel, or across two: which of them is a coin toss along a
    // glyph's outline, so both are worked out and the one that holds is
    // added, with no branch to mispredict. Within one pixel the edge covers
    // the part right of its mean x, and the next pixel wholly; the cell
    // after those two gets nothing (a float zero leaves a sum as it was).
    const bool withinOne = xRight <= first + 1;
    const double across = 0.5 * (xLeft + xRight) - first;
    // Across two: as across three or more below, with end = first + 1 and
    // what pixel end - 1 has being atFirst.
    const double k = heightPerWidth;
    const double startGap = first + 1 - xLeft, endGap = first + 2 - xRight;
    const double atFirst = 0.5 * k * startGap * startGap;
    const double covered = k * (first + 1 + 0.5 - xLeft - 0.5 * endGap * endGap);
    const float one[3] = {float(height - height * across), float(height * across), 0.0f};
    const float two[3] = {float(atFirst), float(covered - atFirst), float(height - covered)};
    const uint32_t pickOne = 0u - uint32_t(withinOne);
    for (int i = 0; i < 3; ++i) cells[first + i] += Pick(pickOne, one[i], two[i]);
    MarkTouched(target, row, first, first + 2 - int(withinOne));
    return;
  }
  // Across three pixels or more. With k the signed height per unit of x,
  // the part of pixel c right of the edge, times the height, is
  // k (1 - l)^2 / 2 in the first (l: the edge's start within it),
  // k (c + 1/2 - xLeft) in those it crosses wholly, and that less
  // k (1 - r)^2 / 2 in the last (r: the edge's end within it); the pixel
  // after has the whole height. (Across two, none is crossed wholly.)
  const double k = heightPerWidth;
  const int end = int(xRight);
  const double startGap = first + 1 - xLeft, endGap = end + 1 - xRight;
  const double atFirst = 0.5 * k * startGap * startGap;
  cells[first] += float(atFirst);
  cells[first + 1] += float(k * (startGap + 0.5) - atFirst);
  const float step = float(k);  // each further whole pixel: k more
  for (int c = first + 2; c < end; ++c) cells[c] += step;
  const double before = k * (end - 0.5 - xLeft);  // what pixel end - 1 has
  const double covered = k * (end + 0.5 - xLeft - 0.5 * endGap * endGap);
  cells[end] += float(covered - before);
  cells[end + 1] += float(height - covered);
  MarkTouched(target, row, first, end + 1);
}

// Signed height per unit of x, for spans over several pixels (which only an
// edge with some slope makes).
double HeightPerWidth(const DownwardEdge& edge) { return edge.direction / std::fabs(edge.slope); }

#if defined(GLIMMARK_COVERAGE_AVX2)

using Spans = RowSpanQueue::Spans;
constexpr int kGroupRows = RowSpanQueue::kGroupRows;

// Queues the rows of the edge four at a time, each row's x at its top and
// bottom and its height worked out in its lane exactly as
// AddDownwardEdgeRowsBaseline does (the same operations on the same
// doubles). A last group of fewer rows stores spare lanes past the count.
GLIMMARK_AVX2 void QueueRowsAvx2(Spans& spans, const DownwardEdge& edge) {
  const int firstRow = int(edge.y0);
  const int lastRow = int(std::ceil(edge.y1)) - 1;  // the row where the edge ends
  const __m256d y0 = _mm256_set1_pd(edge.y0), y1 = _mm256_set1_pd(edge.y1);
  const __m256d x0 = _mm256_set1_pd(edge.x0), x1 = _mm256_set1_pd(edge.x1);
  const __m256d slope = _mm256_set1_pd(edge.slope), width = _mm256_set1_pd(edge.width);
  const __m256d direction = _mm256_set1_pd(double(edge.direction));
  const __m256d k = _mm256_set1_pd(HeightPerWidth(edge));
  const __m256d zero = _mm256_setzero_pd(), one = _mm256_set1_pd(1);
  __m256d xCarried = x0;  // lane 3: where the row above the group ended
  for (int row = firstRow; row <= lastRow; row += kGroupRows) {
    const __m256d rows = _mm256_add_pd(_mm256_set1_pd(double(row)), _mm256_setr_pd(0, 1, 2, 3));
    // The first row starts at y0, every other at its top; each ends at its
    // bottom or at y1. std::min and std::max keep their first argument on a
    // tie: min_pd and max_pd their second.
    const __m256d yTop = _mm256_max_pd(rows, y0);
    const __m256d yBottom = _mm256_min_pd(_mm256_add_pd(rows, one), y1);
    const __m256d along = _mm256_add_pd(x0, _mm256_mul_pd(_mm256_sub_pd(yBottom, y0), slope));
    const __m256d clamped = _mm256_min_pd(width, _mm256_max_pd(zero, along));
    const __m256d xBottom = _mm256_blendv_pd(clamped, x1, _mm256_cmp_pd(yBottom, y1, _CMP_EQ_OQ));
    // Each row starts where the one above ended: lanes moved up by one, the
    // row above the group's in lane 0.
    const __m256d xTop =
        _mm256_blend_pd(_mm256_permute4x64_pd(xBottom, _MM_SHUFFLE(2, 1, 0, 3)),
                        _mm256_permute4x64_pd(xCarried, _MM_SHUFFLE(3, 3, 3, 3)), 0x1);
    xCarried = xBottom;
    const int at = spans.count;
    _mm_storeu_si128(reinterpret_cast<__m128i*>(spans.row + at),
                     _mm_add_epi32(_mm_set1_epi32(row), _mm_setr_epi32(0, 1, 2, 3)));
    _mm256_storeu_pd(spans.xTop + at, xTop);
    _mm256_storeu_pd(spans.xBottom + at, xBottom);
    _mm256_storeu_pd(spans.height + at, _mm256_mul_pd(direction, _mm256_sub_pd(yBottom, yTop)));
    _mm256_storeu_pd(spans.heightPerWidth + at, k);
    spans.count += std::min(kGroupRows, lastRow - row + 1);
  }
}

// Adds the queued spans to the cells in order, four worked out at a time as
// AddRowSpan works out spans within one or two pixels; spans across three
// pixels or more go to AddRowSpan itself, in their turn.
GLIMMARK_AVX2 void AddQueuedAvx2(Spans& spans, const CellRows& target) {
  const __m256d zero = _mm256_setzero_pd(), half = _mm256_set1_pd(0.5);
  const __m256d one = _mm256_set1_pd(1), two = _mm256_set1_pd(2);
  for (int at = 0; at < spans.count; at += kGroupRows) {
    const __m256d xTop = _mm256_loadu_pd(spans.xTop + at);
    const __m256d xBottom = _mm256_loadu_pd(spans.xBottom + at);
    const __m256d height = _mm256_loadu_pd(spans.height + at);
    const __m256d k = _mm256_loadu_pd(spans.heightPerWidth + at);
    const __m256d xLeft = _mm256_min_pd(xBottom, xTop), xRight = _mm256_max_pd(xBottom, xTop);
    const __m128i firstCell = _mm256_cvttpd_epi32(xLeft);
    const __m256d first = _mm256_cvtepi32_pd(firstCell);
    const __m256d firstPlusOne = _mm256_add_pd(first, one),
                  firstPlusTwo = _mm256_add_pd(first, two);
    const int wide = _mm256_movemask_pd(_mm256_cmp_pd(xRight, firstPlusTwo, _CMP_NLT_UQ));
    const __m256d withinOne = _mm256_cmp_pd(xRight, firstPlusOne, _CMP_LE_OQ);
    const __m256d across = _mm256_sub_pd(_mm256_mul_pd(half, _mm256_add_pd(xLeft, xRight)), first);
    const __m256d startGap = _mm256_sub_pd(firstPlusOne, xLeft);
    const __m256d endGap = _mm256_sub_pd(firstPlusTwo, xRight);
    const __m256d atFirst =
        _mm256_mul_pd(_mm256_mul_pd(_mm256_mul_pd(half, k), startGap), startGap);
    const __m256d covered =
        _mm256_mul_pd(k, _mm256_sub_pd(_mm256_sub_pd(_mm256_add_pd(firstPlusOne, half), xLeft),
                                       _mm256_mul_pd(_mm256_mul_pd(half, endGap), endGap)));
    const __m256d heightAcross = _mm256_mul_pd(height, across);
    alignas(16) float parts[3][kGroupRows];
    _mm_store_ps(parts[0], _mm256_cvtpd_ps(_mm256_blendv_pd(
                               atFirst, _mm256_sub_pd(height, heightAcross), withinOne)));
    _mm_store_ps(parts[1], _mm256_cvtpd_ps(_mm256_blendv_pd(_mm256_sub_pd(covered, atFirst),
                                                            heightAcross, withinOne)));
    _mm_store_ps(parts[2], _mm256_cvtpd_ps(
                               _mm256_blendv_pd(_mm256_sub_pd(height, covered), zero, withinOne)));
    alignas(16) int firsts[kGroupRows];
    _mm_store_si128(reinterpret_cast<__m128i*>(firsts), firstCell);
    const int oneCell = _mm256_movemask_pd(withinOne);
    const int lanes = std::min(kGroupRows, spans.count - at);
    for (int lane = 0; lane < lanes; ++lane) {
      const int span = at + lane, row = spans.row[span];
      if (wide >> lane & 1) {
        AddRowSpan(target, row, spans.xTop[span], spans.xBottom[span], spans.height[span],
                   spans.heightPerWidth[span]);
        continue;
      }
      float* cells = target.cells + ptrdiff_t(row) * target.stride + firsts[lane];
      for (int i = 0; i < 3; ++i) cells[i] += parts[i][lane];
      MarkTouched(target, row, firsts[lane], firsts[lane] + 2 - (oneCell >> lane & 1));
    }
  }
  spans.count = 0;
}

#endif  // GLIMMARK_COVERAGE_AVX2

}  // namespace

void AddDownwardEdgeRowsBaseline(const CellRows& target, const DownwardEdge& edge) {
  const double heightPerWidth = HeightPerWidth(edge);
  double yTop = edge.y0, xTop = edge.x0;
  for (int row = int(edge.y0); yTop < edge.y1; ++row) {
    const double yBottom = std::min(edge.y1, double(row + 1));
    const double xBottom =
        yBottom == edge.y1
            ? edge.x1
            : std::clamp(edge.x0 + (yBottom - edge.y0) * edge.slope, 0.0, edge.width);
    AddRowSpan(target, row, xTop, xBottom, edge.direction * (yBottom - yTop), heightPerWidth);
    yTop = yBottom;
    xTop = xBottom;
  }
}

void RowSpanQueue::Add(const CellRows& target, const DownwardEdge& edge) {
#if defined(GLIMMARK_COVERAGE_AVX2)
  if (UseAvx2()) {
    // Room for every group of the edge: its rows, rounded up to whole groups.
    const int rows = int(std::ceil(edge.y1)) - int(edge.y0);
    const int room = (rows + kGroupRows - 1) / kGroupRows * kGroupRows;
    if (spans_.count + room > kCapacity) Flush(target);
    if (room <= kCapacity) {
      QueueRowsAvx2(spans_, edge);
      return;
    }
  }
  Flush(target);  // edges queued before this one go first
#endif
  AddDownwardEdgeRowsBaseline(target, edge);
}

void RowSpanQueue::Flush(const CellRows& target) {
#if defined(GLIMMARK_COVERAGE_AVX2)
  if (spans_.count > 0) AddQueuedAvx2(spans_, target);
#else
  (void)target;
#endif
}

}  // namespace Gdiplus::Internal

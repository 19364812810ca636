// The separable resampler's driver: finds the weight tables, runs the first
// pass over every source row a target row needs, then the second pass over
// the target rows, with the fastest version of the passes the processor runs.
#include "gdiplus/resample/resampler.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

#include "gdiplus/raster/cpu_features.h"
#include "gdiplus/resample/resampler_kernel.h"
#include "gdiplus/resample/resampler_passes.h"

namespace Gdiplus::Internal {
namespace {

// Scratch memory beyond this is given back after a call instead of kept for
// the next (a default picture's stretches with their kept weight tables need
// about 1.3 MiB; larger pictures' tables may pass it and are then made anew).
constexpr size_t kMaxKeptScratchBytes = size_t{4} << 20;
// Largest intermediate image (source rows x visible target width) the filter
// builds: 16 Mi pixels. Only stretches between bitmaps near the size cap reach
// it; they fail with OutOfMemory instead of attempting a giant allocation.
constexpr int64_t kMaxIntermediatePixels = int64_t{16} * 1024 * 1024;
// Grey sources larger than this many values (2 MiB) take the four-channel
// passes rather than a copy of their grey rows that big.
constexpr size_t kMaxGreyValues = size_t{1} << 20;
// The SIMD first passes read weights spread for two positions at a time.
#if defined(GLIMMARK_SSE2)
constexpr bool kSpreadColumnWeights = true;
#else
constexpr bool kSpreadColumnWeights = false;
#endif

const ResamplePasses& ChosenPasses() noexcept {
#if defined(GLIMMARK_RESAMPLER_AVX2)
  if (UseAvx2()) return Avx2Passes();
#endif
  return BaselinePasses();
}

// Kernel sets kept per axis: room for the few hundred sizes of a default
// picture's cells (see KernelCache); a default picture's tables take about
// 1.3 MiB.
constexpr int kColumnKernelSets = 128;
constexpr int kRowKernelSets = 256;

// Buffers kept per thread between calls, so a warm stretch allocates nothing.
struct Scratch {
  KernelCache columns{kColumnKernelSets, kSpreadColumnWeights};
  KernelCache rows{kRowKernelSets, false};
  KernelWorkspace work;
  std::vector<uint32_t> sourceRow;  // one source row, zero past its end
  std::vector<PairRow> pairRow;     // one source row as pairs
  std::vector<int16_t> greyRows;    // a grey source's rows, a value per pixel
  std::vector<int16_t> filtered;    // the first pass's rows

  size_t Bytes() const {
    return columns.Bytes() + rows.Bytes() + work.raw.capacity() * sizeof(double) +
           work.weights.capacity() * sizeof(int16_t) + sourceRow.capacity() * sizeof(uint32_t) +
           pairRow.capacity() * sizeof(PairRow) + greyRows.capacity() * sizeof(int16_t) +
           filtered.capacity() * sizeof(int16_t);
  }

  void Clear() {
    columns.Clear();
    rows.Clear();
    work = KernelWorkspace();
    sourceRow = {};
    pairRow = {};
    greyRows = {};
    filtered = {};
  }
};

// The calling thread's scratch. Not inlined: the compiler would otherwise
// look the thread-local address up again at every use.
[[gnu::noinline]] Scratch& ThreadScratch() {
  thread_local Scratch scratch;
  return scratch;
}

// Makes `buffer` hold at least `size` elements. Buffers only grow: the
// passes write each element before they read it, and a vector resized up again after
// a smaller call would clear its elements anew each time (a memset per call
// as cells of different sizes take turns).
template <class T>
void GrowTo(std::vector<T>& buffer, size_t size) {
  if (buffer.size() < size) buffer.resize(size);
}

}  // namespace

bool Resample(const SurfacePixels& source, const Rect& from, const SurfacePixels& target,
              const Rect& to, ResampleFilter filter) noexcept {
  // Visible part of the target rectangle, relative to it.
  const int firstColumn = std::max(0, -to.X);
  const int lastColumn = int(std::min<int64_t>(to.Width, int64_t{target.width} - to.X));
  const int firstRow = std::max(0, -to.Y);
  const int lastRow = int(std::min<int64_t>(to.Height, int64_t{target.height} - to.Y));
  if (firstColumn >= lastColumn || firstRow >= lastRow) return true;
  const int width = lastColumn - firstColumn;
  // Filtered rows hold the first pass's padded positions: whole groups of
  // four, as the widest second pass reads them.
  const size_t rowUnits =
      size_t((width + kPositionGroup - 1) / kPositionGroup * kPositionGroup) * kChannels;

  const ResamplePasses& passes = ChosenPasses();
  Scratch& s = ThreadScratch();
  const AxisKernel* columns = nullptr;
  const AxisKernel* rows = nullptr;
  int top = 0, filteredRows = 0, sourceRows = 0, pairCount = 0;
  size_t sourceUnits = 0;  // pixels the first pass reads of a source row
  size_t greyUnits = 0;    // values of a grey source row, when it may be grey
  try {
    columns = &s.columns.Get({from.Width, to.Width, firstColumn, lastColumn, filter}, s.work);
    rows = &s.rows.Get({from.Height, to.Height, firstRow, lastRow, filter}, s.work);
    top = rows->first.front();
    filteredRows = rows->first.back() + rows->taps - top;
    if (int64_t{filteredRows} * width > kMaxIntermediatePixels) return false;
    sourceRows = std::min(filteredRows, from.Height - top);
    // Pairs start at every position a window can reach, in whole groups.
    pairCount = (columns->first.back() + columns->taps + kPairGroup - 1) / kPairGroup * kPairGroup;
    // One source row at a time is copied where the passes may read past its
    // end: zero there (set once, the copies only write the row).
    sourceUnits = size_t(std::max({from.Width, pairCount + kRowPadding, GreyRowReach(*columns)}));
    GrowTo(s.sourceRow, sourceUnits);
    std::fill(s.sourceRow.begin() + from.Width, s.sourceRow.begin() + ptrdiff_t(sourceUnits), 0u);
    GrowTo(s.pairRow, size_t(pairCount));
    GrowTo(s.filtered, size_t(filteredRows) * rowUnits);
    if (passes.greyAcross != nullptr && rows->taps <= kMaxShortDownTaps &&
        size_t(sourceRows) * size_t(GreyRowReach(*columns)) <= kMaxGreyValues) {
      greyUnits = size_t(GreyRowReach(*columns));
      GrowTo(s.greyRows, size_t(sourceRows) * greyUnits);
    }
  } catch (const std::bad_alloc&) {
    return false;
  }

  // A source row where it lies when the surface's memory goes on past what
  // the passes read of it: what lies past the row's end only ever meets a
  // weight of zero (windows stay inside the source; the taps past a window
  // weigh nothing). Else a copy, with zeros after it, valid until the next
  // call.
  const uintptr_t surfaceEnd =
      source.stride > 0
          ? reinterpret_cast<uintptr_t>(source.data + ptrdiff_t{source.height} * source.stride)
          : 0;
  auto sourceRow = [&](int r) {
    const uint32_t* pixels = source.Row(from.Y + top + r) + from.X;
    if (reinterpret_cast<uintptr_t>(pixels + sourceUnits) <= surfaceEnd) return pixels;
    std::memcpy(s.sourceRow.data(), pixels, size_t(from.Width) * sizeof(uint32_t));
    return static_cast<const uint32_t*>(s.sourceRow.data());
  };
  // A grey source (every pixel the windows weigh has blue = green = red)
  // takes the one-channel passes. Its rows are all taken before any is
  // filtered: the first row found not grey sends the stretch to the others.
  bool grey = greyUnits != 0;
  for (int r = 0; grey && r < sourceRows; ++r) {
    grey = passes.takeGrey(sourceRow(r), from.Width, int(greyUnits),
                           &s.greyRows[size_t(r) * greyUnits]);
  }

  // Rows pass: every source row some target row needs, filtered across,
  // before anything is written (source and target may be one surface).
  // Rows that only pad a window are zero.
  const size_t units = grey ? GreyRowUnits(width) : rowUnits;
  for (int r = 0; r < filteredRows; ++r) {
    int16_t* row = &s.filtered[size_t(r) * units];
    if (r >= sourceRows) {
      std::fill(row, row + units, int16_t{0});
    } else if (grey) {
      passes.greyAcross(&s.greyRows[size_t(r) * greyUnits], *columns, row);
    } else {
      passes.filterAcross(sourceRow(r), pairCount, s.pairRow.data(), *columns, row);
    }
  }

  // Columns pass: each target row a weighted sum of filtered rows.
  const DownJob job = {
      s.filtered.data(),
      units,
      rows,
      top,
      lastRow - firstRow,
      width,
      reinterpret_cast<unsigned char*>(target.Row(to.Y + firstRow) + to.X + firstColumn),
      ptrdiff_t{target.stride}};
  (grey ? passes.greyDown : passes.filterDown)(job);
  target.MarkDirty(to.X + firstColumn, to.Y + firstRow, width, lastRow - firstRow);
  if (s.Bytes() > kMaxKeptScratchBytes) s.Clear();
  return true;
}

}  // namespace Gdiplus::Internal

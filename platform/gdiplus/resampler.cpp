// The separable resampler. Weights are 16-bit fixed point and pixels are
// multiplied in pairs of taps (SSE2's multiply-add of 16-bit lanes), so a
// target pixel costs about taps / 2 instructions per pass.
#include "gdiplus/resampler.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

namespace Gdiplus::Internal {
namespace {

constexpr double kKeysA = -0.5;
constexpr double kBicubicRadius = 2.0;
constexpr int32_t kWeightOne = 1 << kResampleWeightBits;
// Filtered rows keep each channel as a signed 16-bit value with this many
// fraction bits: room for the kernel's overshoot (at most about 1.3 × 255)
// and precision to spare for the second pass.
constexpr int kIntermediateBits = 6;
constexpr int kAcrossShift = kResampleWeightBits - kIntermediateBits;
constexpr int kDownShift = kResampleWeightBits + kIntermediateBits;
constexpr int kChannels = 4;  // blue, green, red, unused: as the surface stores them
// Taps are read in pairs; windows are padded with zero weights to a multiple.
constexpr int kTapGroup = 2;
constexpr uint32_t kOpaque = 0xFF000000u;
// Scratch memory beyond this is given back after a call instead of kept for
// the next (a picture's stretches need well under 1 MiB).
constexpr size_t kMaxKeptScratchBytes = size_t{4} << 20;
// Largest intermediate image (source rows x visible target width) the filter
// builds: 16 Mi pixels. Only stretches between bitmaps near the size cap reach
// it; they fail with OutOfMemory instead of attempting a giant allocation.
constexpr int64_t kMaxIntermediatePixels = int64_t{16} * 1024 * 1024;

double KeysCubic(double x) {
  x = std::fabs(x);
  if (x < 1) return ((kKeysA + 2) * x - (kKeysA + 3)) * x * x + 1;
  if (x < 2) return ((kKeysA * x - 5 * kKeysA) * x + 8 * kKeysA) * x - 4 * kKeysA;
  return 0;
}

// Taps of the kernel at its own width: sources floor(c) - 1 .. floor(c) + 2
// around a centre c.
constexpr int kUnwidenedTaps = 4;

// KeysCubic at the four distances of those taps from a centre whose
// fraction is t (t + 1, t, 1 - t, 2 - t), expanded; they add up to 1.
void KeysWeights(double t, double* weights) {
  weights[0] = ((kKeysA * t - 2 * kKeysA) * t + kKeysA) * t;
  weights[1] = ((kKeysA + 2) * t - (kKeysA + 3)) * t * t + 1;
  weights[2] = ((-(kKeysA + 2) * t + (2 * kKeysA + 3)) * t - kKeysA) * t;
  weights[3] = (-kKeysA * t + kKeysA) * t * t;
}

// What a kernel is made for: target positions [first, last) of a span
// targetLength long mapped from a source span sourceLength long.
struct KernelKey {
  int sourceLength = 0;  // 0: no kernel made yet
  int targetLength = 0;
  int first = 0;
  int last = 0;
  ResampleFilter filter = ResampleFilter::Bicubic;
  bool operator==(const KernelKey&) const = default;
};

// For each visible target position along one axis, a window of `taps`
// consecutive source positions starting at first[i], with their weights.
// Windows never start outside the source; positions past its end (padding)
// have weight 0. `first` never decreases.
struct AxisKernel {
  KernelKey key;
  int taps = 0;
  std::vector<int> first;
  std::vector<int16_t> weights;  // visible positions × taps
  // The same weights two by two, each pair one 32-bit word with the first
  // weight in the low half: the operand of one multiply-add over two taps.
  std::vector<int32_t> pairs;

  size_t Bytes() const {
    return first.capacity() * sizeof(int) + weights.capacity() * sizeof(int16_t) +
           pairs.capacity() * sizeof(int32_t);
  }
};

// Rounds `count` weights adding up to `total` into fixed point adding up to
// exactly kWeightOne; the rounding error goes to the largest weight.
void Quantize(const double* raw, int count, double total, int16_t* out) {
  const double scale = kWeightOne / total;
  // Rounds to nearest by truncating a positive value (faster than floor).
  constexpr double kBias = 4 * kWeightOne + 0.5;
  int32_t sum = 0, largestMagnitude = -1;
  int largest = 0;
  for (int k = 0; k < count; ++k) {
    const int32_t weight = int32_t(raw[k] * scale + kBias) - 4 * kWeightOne;
    out[k] = int16_t(weight);
    sum += weight;
    const int32_t magnitude = weight < 0 ? -weight : weight;
    if (magnitude > largestMagnitude) largestMagnitude = magnitude, largest = k;
  }
  out[largest] = int16_t(out[largest] + kWeightOne - sum);
}

// Builds the kernel for `key`. Taps that fall outside the source are folded
// onto its edge pixel (clamping). Throws std::bad_alloc.
void BuildKernel(const KernelKey& key, std::vector<double>& raw, AxisKernel& kernel) {
  const int sourceLength = key.sourceLength, first = key.first, last = key.last;
  const bool bicubic = key.filter == ResampleFilter::Bicubic;
  const double scale = double(sourceLength) / key.targetLength;
  const double widen = bicubic ? std::max(1.0, scale) : 1.0;
  const double step = 1 / widen;
  const double radius = kBicubicRadius * widen;
  // floor(c + r) - floor(c - r) never exceeds ceil(2r): that many taps reach
  // the source, folded into a window no longer than the source.
  const int reach = bicubic ? int(std::ceil(2 * radius)) : 1;
  const int window = std::min(reach, sourceLength);
  kernel.taps = (window + kTapGroup - 1) / kTapGroup * kTapGroup;
  const size_t count = size_t(last - first);
  kernel.first.resize(count);
  kernel.weights.assign(count * size_t(kernel.taps), 0);
  raw.resize(size_t(window));
  for (int i = first; i < last; ++i) {
    const double centre = (i + 0.5) * scale - 0.5;
    int16_t* weights = &kernel.weights[size_t(i - first) * kernel.taps];
    if (!bicubic) {
      kernel.first[size_t(i - first)] =
          std::clamp(int(std::floor(centre + 0.5)), 0, sourceLength - 1);
      weights[0] = kWeightOne;
      continue;
    }
    const int start = int(std::floor(centre - radius)) + 1;
    const int windowStart = std::clamp(start, 0, sourceLength - window);
    double total = 0;
    if (start == windowStart && window == reach && reach == kUnwidenedTaps) {
      // Inside the source, not shrinking: the four weights in closed form.
      KeysWeights(centre - std::floor(centre), raw.data());
      total = 1;
    } else if (start == windowStart && window == reach) {
      // Inside the source: every tap its own pixel.
      double x = (start - centre) * step;
      for (int k = 0; k < reach; ++k, x += step) total += raw[size_t(k)] = KeysCubic(x);
    } else {
      std::fill(raw.begin(), raw.end(), 0.0);
      for (int k = 0; k < reach; ++k) {
        const double w = KeysCubic((start + k - centre) * step);
        raw[size_t(std::clamp(start + k, 0, sourceLength - 1) - windowStart)] += w;
        total += w;
      }
    }
    kernel.first[size_t(i - first)] = windowStart;
    Quantize(raw.data(), window, total, weights);
  }
  kernel.pairs.resize(kernel.weights.size() / kTapGroup);
  std::memcpy(kernel.pairs.data(), kernel.weights.data(), kernel.pairs.size() * sizeof(int32_t));
  kernel.key = key;
}

// The kernels of one axis made last: a picture's final stretch has the same
// sizes every time, and glyph cells repeat theirs. Ink boxes of turned glyphs
// take a few dozen sizes, so a picture's cells mostly find theirs made by an
// earlier cell or picture (a look-up costs a few key compares).
constexpr int kKernelsKeptPerAxis = 32;
class KernelCache {
 public:
  // The kernel for `key`, made when not kept. Throws std::bad_alloc.
  const AxisKernel& Get(const KernelKey& key, std::vector<double>& raw) {
    for (const AxisKernel& kernel : kernels_) {
      if (kernel.key == key) return kernel;
    }
    AxisKernel& replaced = kernels_[next_];
    next_ = (next_ + 1) % kKernelsKeptPerAxis;
    replaced.key = KernelKey();  // unusable until made in full
    BuildKernel(key, raw, replaced);
    return replaced;
  }

  size_t Bytes() const {
    size_t bytes = 0;
    for (const AxisKernel& kernel : kernels_) bytes += kernel.Bytes();
    return bytes;
  }

 private:
  AxisKernel kernels_[kKernelsKeptPerAxis];
  int next_ = 0;
};

// Calls body.template operator()<N>() with N the kernel's tap count when it
// is one of the common counts, whose loops then unroll; else with N = 0
// (count read at run time).
template <typename Body>
void WithTapCount(int taps, Body&& body) {
  switch (taps) {
    case 2:
      return body.template operator()<2>();
    case 4:
      return body.template operator()<4>();
    case 6:
      return body.template operator()<6>();
    case 8:
      return body.template operator()<8>();
    case 10:
      return body.template operator()<10>();
    case 12:
      return body.template operator()<12>();
    default:
      return body.template operator()<0>();
  }
}

#if defined(__SSE2__)

// A source row as overlapping pairs: pairs[j] holds pixels j and j + 1 as
// 16-bit channels, interleaved (b_j b_j+1 g_j g_j+1 r_j r_j+1 x_j x_j+1), so
// one multiply-add weighs a pair of taps starting anywhere.
struct PairRow {
  __m128i lanes;
};

// Builds pairs[0, count) from `pixels`, which hold count + 4 readable pixels.
void MakePairs(const uint32_t* pixels, int count, PairRow* pairs) {
  const __m128i zero = _mm_setzero_si128();
  for (int j = 0; j < count; j += 4) {
    const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pixels + j));
    const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pixels + j + 1));
    const __m128i hereLow = _mm_unpacklo_epi8(here, zero), nextLow = _mm_unpacklo_epi8(next, zero);
    const __m128i hereHigh = _mm_unpackhi_epi8(here, zero),
                  nextHigh = _mm_unpackhi_epi8(next, zero);
    pairs[j].lanes = _mm_unpacklo_epi16(hereLow, nextLow);
    pairs[j + 1].lanes = _mm_unpackhi_epi16(hereLow, nextLow);
    pairs[j + 2].lanes = _mm_unpacklo_epi16(hereHigh, nextHigh);
    pairs[j + 3].lanes = _mm_unpackhi_epi16(hereHigh, nextHigh);
  }
}

template <int kTaps>
void FilterAcrossWith(const PairRow* pairs, const AxisKernel& columns, int width, int16_t* out) {
  const int taps = kTaps != 0 ? kTaps : columns.taps;
  const __m128i half = _mm_set1_epi32(1 << (kAcrossShift - 1));
  // Locals, not members: the stores below may alias anything.
  const int32_t* weightPairs = columns.pairs.data();
  const int* first = columns.first.data();
  for (int i = 0; i < width; ++i, weightPairs += taps / kTapGroup) {
    const PairRow* window = pairs + first[i];
    __m128i sum = _mm_setzero_si128();
    for (int k = 0; k < taps; k += kTapGroup) {
      const __m128i w = _mm_set1_epi32(weightPairs[k / kTapGroup]);
      sum = _mm_add_epi32(sum, _mm_madd_epi16(window[k].lanes, w));
    }
    const __m128i rounded = _mm_srai_epi32(_mm_add_epi32(sum, half), kAcrossShift);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + size_t(i) * kChannels),
                     _mm_packs_epi32(rounded, rounded));
  }
}

template <int kTaps>
void FilterDownWith(const int16_t* const* rows, const int32_t* weightPairs, int runtimeTaps,
                    int width, uint32_t* out) {
  const int taps = kTaps != 0 ? kTaps : runtimeTaps;
  const __m128i half = _mm_set1_epi32(1 << (kDownShift - 1));
  const __m128i opaque = _mm_set1_epi32(int32_t(kOpaque));
  // With the tap count known, rows and weights stay in registers.
  constexpr int kKept = kTaps != 0 ? kTaps : kTapGroup;
  const int16_t* keptRows[kKept];
  __m128i keptWeights[kKept / kTapGroup];
  if constexpr (kTaps != 0) {
    for (int k = 0; k < kTaps; ++k) keptRows[k] = rows[k];
    for (int k = 0; k < kTaps; k += kTapGroup) {
      keptWeights[k / kTapGroup] = _mm_set1_epi32(weightPairs[k / kTapGroup]);
    }
    rows = keptRows;
  }
  for (int x = 0; x < width; x += 2) {
    const size_t offset = size_t(x) * kChannels;
    __m128i left = _mm_setzero_si128(), right = _mm_setzero_si128();
    for (int k = 0; k < taps; k += kTapGroup) {
      const __m128i upper = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[k] + offset));
      const __m128i lower = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[k + 1] + offset));
      const __m128i w =
          kTaps != 0 ? keptWeights[k / kTapGroup] : _mm_set1_epi32(weightPairs[k / kTapGroup]);
      left = _mm_add_epi32(left, _mm_madd_epi16(_mm_unpacklo_epi16(upper, lower), w));
      right = _mm_add_epi32(right, _mm_madd_epi16(_mm_unpackhi_epi16(upper, lower), w));
    }
    left = _mm_srai_epi32(_mm_add_epi32(left, half), kDownShift);
    right = _mm_srai_epi32(_mm_add_epi32(right, half), kDownShift);
    const __m128i words = _mm_packs_epi32(left, right);
    const __m128i pixels = _mm_or_si128(_mm_packus_epi16(words, words), opaque);
    if (x + 1 < width) {
      _mm_storel_epi64(reinterpret_cast<__m128i*>(out + x), pixels);
    } else {
      out[x] = uint32_t(_mm_cvtsi128_si32(pixels));
    }
  }
}

#else  // portable fallback with the same arithmetic

inline int16_t RoundAcross(int32_t sum) {
  const int32_t value = (sum + (1 << (kAcrossShift - 1))) >> kAcrossShift;
  return int16_t(std::clamp<int32_t>(value, INT16_MIN, INT16_MAX));
}

inline uint32_t RoundDown(int32_t sum) {
  return uint32_t(std::clamp<int32_t>((sum + (1 << (kDownShift - 1))) >> kDownShift, 0, 255));
}

// Without vector registers a "pair" is simply the pixel: taps read pixels.
using PairRow = uint32_t;

void MakePairs(const uint32_t* pixels, int count, PairRow* pairs) {
  std::memcpy(pairs, pixels, size_t(count) * sizeof(uint32_t));
}

inline int32_t LowWeight(int32_t pair) { return int16_t(pair & 0xFFFF); }
inline int32_t HighWeight(int32_t pair) { return pair >> 16; }

template <int kTaps>
void FilterAcrossWith(const PairRow* pairs, const AxisKernel& columns, int width, int16_t* out) {
  const int taps = kTaps != 0 ? kTaps : columns.taps;
  const int32_t* weightPairs = columns.pairs.data();
  for (int i = 0; i < width; ++i, weightPairs += taps / kTapGroup) {
    const uint32_t* window = pairs + columns.first[size_t(i)];
    int32_t sum[kChannels] = {};
    for (int k = 0; k < taps; k += kTapGroup) {
      const int32_t pair = weightPairs[k / kTapGroup];
      for (int c = 0; c < kChannels; ++c) {
        sum[c] += LowWeight(pair) * int32_t(window[k] >> (8 * c) & 0xFF) +
                  HighWeight(pair) * int32_t(window[k + 1] >> (8 * c) & 0xFF);
      }
    }
    for (int c = 0; c < kChannels; ++c) out[size_t(i) * kChannels + c] = RoundAcross(sum[c]);
  }
}

template <int kTaps>
void FilterDownWith(const int16_t* const* rows, const int32_t* weightPairs, int runtimeTaps,
                    int width, uint32_t* out) {
  const int taps = kTaps != 0 ? kTaps : runtimeTaps;
  for (int x = 0; x < width; ++x) {
    const size_t offset = size_t(x) * kChannels;
    int32_t sum[kChannels] = {};
    for (int k = 0; k < taps; k += kTapGroup) {
      const int32_t pair = weightPairs[k / kTapGroup];
      for (int c = 0; c < kChannels; ++c) {
        sum[c] +=
            LowWeight(pair) * rows[k][offset + c] + HighWeight(pair) * rows[k + 1][offset + c];
      }
    }
    out[x] = kOpaque | RoundDown(sum[0]) | RoundDown(sum[1]) << 8 | RoundDown(sum[2]) << 16;
  }
}

#endif

// The first pass: filters one source row (as pairs, zero past its end as far
// as any window reaches) across into `width` filtered pixels of kChannels
// signed 16-bit values each.
void FilterAcross(const PairRow* pairs, const AxisKernel& columns, int width, int16_t* out) {
  WithTapCount(columns.taps,
               [&]<int kTaps>() { FilterAcrossWith<kTaps>(pairs, columns, width, out); });
}

// The second pass: target pixels [0, width) of one row from `taps` filtered
// rows. `rows` hold at least width rounded up to even pixels.
void FilterDown(const int16_t* const* rows, const int32_t* weightPairs, int taps, int width,
                uint32_t* out) {
  WithTapCount(taps,
               [&]<int kTaps>() { FilterDownWith<kTaps>(rows, weightPairs, taps, width, out); });
}

// Buffers kept per thread between calls, so a warm stretch allocates nothing.
struct Scratch {
  KernelCache columns, rows;
  std::vector<double> raw;
  std::vector<uint32_t> sourceRow;  // one source row, zero past its end
  std::vector<PairRow> pairRow;     // the same row as pairs
  std::vector<int16_t> filtered;    // the first pass's rows
  std::vector<const int16_t*> tapRows;

  size_t Bytes() const {
    return columns.Bytes() + rows.Bytes() + raw.capacity() * sizeof(double) +
           sourceRow.capacity() * sizeof(uint32_t) + pairRow.capacity() * sizeof(PairRow) +
           filtered.capacity() * sizeof(int16_t) + tapRows.capacity() * sizeof(const int16_t*);
  }
};

// The calling thread's scratch. Not inlined: the compiler would otherwise
// look the thread-local address up again at every use.
[[gnu::noinline]] Scratch& ThreadScratch() {
  thread_local Scratch scratch;
  return scratch;
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
  // Filtered rows are read two pixels at a time: an odd width gets one more.
  const size_t rowUnits = size_t(width + (width & 1)) * kChannels;

  Scratch& s = ThreadScratch();
  const AxisKernel* columns = nullptr;
  const AxisKernel* rows = nullptr;
  int top = 0, filteredRows = 0, pairCount = 0;
  try {
    columns = &s.columns.Get({from.Width, to.Width, firstColumn, lastColumn, filter}, s.raw);
    rows = &s.rows.Get({from.Height, to.Height, firstRow, lastRow, filter}, s.raw);
    top = rows->first.front();
    filteredRows = rows->first.back() + rows->taps - top;
    if (int64_t{filteredRows} * width > kMaxIntermediatePixels) return false;
    // Pairs start at every position a window can reach, in groups of four.
    pairCount = (columns->first.back() + columns->taps + 3) / 4 * 4;
    s.sourceRow.assign(size_t(std::max(from.Width, pairCount + 4)), 0);
    s.pairRow.resize(size_t(pairCount));
    s.filtered.resize(size_t(filteredRows) * rowUnits);
    s.tapRows.resize(size_t(rows->taps));
  } catch (const std::bad_alloc&) {
    return false;
  }

  // Rows pass: every source row some target row needs, filtered across,
  // before anything is written (source and target may be one surface).
  // Rows and pixels that only pad a window are zero.
  const int sourceRows = std::min(filteredRows, from.Height - top);
  for (int r = 0; r < filteredRows; ++r) {
    int16_t* row = &s.filtered[size_t(r) * rowUnits];
    if (r >= sourceRows) {
      std::fill(row, row + rowUnits, int16_t{0});
      continue;
    }
    std::memcpy(s.sourceRow.data(), source.Row(from.Y + top + r) + from.X,
                size_t(from.Width) * sizeof(uint32_t));
    MakePairs(s.sourceRow.data(), pairCount, s.pairRow.data());
    FilterAcross(s.pairRow.data(), *columns, width, row);
    std::fill(row + size_t(width) * kChannels, row + rowUnits, int16_t{0});
  }

  // Columns pass: each target row a weighted sum of filtered rows.
  const int taps = rows->taps;
  for (int j = firstRow; j < lastRow; ++j) {
    const size_t index = size_t(j - firstRow);
    for (int k = 0; k < taps; ++k) {
      s.tapRows[size_t(k)] = &s.filtered[size_t(rows->first[index] + k - top) * rowUnits];
    }
    FilterDown(s.tapRows.data(), &rows->pairs[index * size_t(taps / kTapGroup)], taps, width,
               target.Row(to.Y + j) + to.X + firstColumn);
  }
  target.MarkDirty(to.X + firstColumn, to.Y + firstRow, width, lastRow - firstRow);
  if (s.Bytes() > kMaxKeptScratchBytes) s = Scratch();
  return true;
}

}  // namespace Gdiplus::Internal

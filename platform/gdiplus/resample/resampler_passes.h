// The resampler's two passes in 16-bit fixed point, in one baseline version
// (SSE2, or plain C++ without it) and, where the compiler can make it, an
// AVX2 version picked at run time on processors that have it. Both give
// bit-identical pixels: the same integer arithmetic, lane for lane. resampler.cpp
// drives them; the tables (resampler_kernel.h) and buffers are the caller's.
#pragma once

#include <cstddef>
#include <cstdint>

#include "gdiplus/raster/simd.h"
#include "gdiplus/resample/resampler_kernel.h"

#if defined(GLIMMARK_SSE2)
#include <emmintrin.h>
#endif

#if defined(GLIMMARK_SSE2) && (defined(__GNUC__) || defined(__clang__))
#define GLIMMARK_RESAMPLER_AVX2 1
#endif

namespace Gdiplus::Internal {

// Filtered rows keep each channel as a signed 16-bit value with this many
// fraction bits: room for the kernel's overshoot (at most about 1.3 × 255)
// and precision to spare for the second pass.
constexpr int kIntermediateBits = 6;
constexpr int kAcrossShift = kResampleWeightBits - kIntermediateBits;
constexpr int kDownShift = kResampleWeightBits + kIntermediateBits;
constexpr int kChannels = 4;  // blue, green, red, unused: as the surface stores them
constexpr uint32_t kOpaque = 0xFF000000u;
// Kernels of up to this many rows run the second pass in 16 bits: each
// product of a filtered value and a weight cut to kShortDownBits fraction
// bits (multiply-high: (value × weight) >> 16, rounding down), then summed.
// The cuts lose less than a unit each; adding half a unit per tap back
// (ShortDownRounding) leaves the sum within taps / 2 units of the exact one,
// under half a level before rounding: a uniform area stays exactly uniform,
// and no pixel moves by more than one level.
constexpr int kMaxShortDownTaps = 12;
constexpr int kShortDownBits = kIntermediateBits + kResampleWeightBits - 16;

// What is added to a 16-bit sum of `taps` products before the shift by
// kShortDownBits: half a level to round to nearest, and half a unit per tap
// for what the cuts lost.
constexpr int ShortDownRounding(int taps) { return (1 << (kShortDownBits - 1)) + taps / 2; }

// Weight of tap k from a kernel's weight pairs.
inline int16_t TapWeight(const int32_t* weightPairs, int k) {
  return int16_t(uint32_t(weightPairs[k / kTapGroup]) >> (16 * (k % kTapGroup)));
}
// Pairs are made four at a time, reading five pixels past each group's start.
constexpr int kPairGroup = 4;
// Readable pixels a source row needs past pairCount: pairs read one more,
// windows read in fours up to two more than their taps.
constexpr int kRowPadding = 4;

#if defined(GLIMMARK_SSE2)
// A source row as overlapping pairs: pairs[j] holds pixels j and j + 1 as
// 16-bit channels, interleaved (b_j b_j+1 g_j g_j+1 r_j r_j+1 x_j x_j+1), so
// one multiply-add weighs a pair of taps starting anywhere.
struct PairRow {
  __m128i lanes;
};
#else
// Without vector registers a "pair" is simply the pixel: taps read pixels.
using PairRow = uint32_t;
#endif

// The filtered rows under one target row's window: tap k's row starts at
// first + k × units. Passed by value, so a row filter reads its taps'
// addresses from registers (an array of pointers written just before the
// call made each call wait for the stores to land).
struct TapRows {
  const int16_t* first;
  size_t units;
  const int16_t* operator[](int k) const { return first + size_t(k) * units; }
};

// What the second pass makes: target rows [0, count) of `rows` (whose
// windows count filtered rows from `top`; filtered rows are rowUnits values
// apart), row j's pixels [0, width) written at out + j × stride bytes.
struct DownJob {
  const int16_t* filtered;
  size_t rowUnits;
  const AxisKernel* rows;
  int top;
  int count;
  int width;
  unsigned char* out;
  ptrdiff_t stride;
};

struct ResamplePasses {
  // The first pass: filters one source row across into the kernel's padded
  // positions, kChannels signed 16-bit values each. `pixels` hold the row,
  // zero past its end, readable up to pairCount + kRowPadding pixels, where
  // pairCount (a multiple of kPairGroup) covers every window. `pairs` has
  // room for pairCount pairs. `columns` carries spread weights (SIMD
  // versions).
  void (*filterAcross)(const uint32_t* pixels, int pairCount, PairRow* pairs,
                       const AxisKernel& columns, int16_t* out);
  // The second pass, every row of the job.
  void (*filterDown)(const DownJob& job);

  // The same two passes over one channel, for sources whose pixels are grey
  // (blue = green = red): every channel would go through the same
  // arithmetic with the same values, so one is worked out and written to
  // all three. Null in versions without them.
  //
  // takeGrey: writes the blue channel of pixels [0, count) to `grey`
  // (count a multiple of kPositionGroup, readable) and returns whether those
  // of them before `checked` are all grey; when not, the stretch takes the
  // four-channel passes.
  bool (*takeGrey)(const uint32_t* pixels, int checked, int count, int16_t* grey);
  // greyAcross: as filterAcross, one value per position, from a row taken
  // by takeGrey (GreyRowReach(columns) values).
  void (*greyAcross)(const int16_t* grey, const AxisKernel& columns, int16_t* out);
  // greyDown: as filterDown over one-channel rows (GreyRowUnits values
  // apart), for kernels of up to kMaxShortDownTaps rows.
  void (*greyDown)(const DownJob& job);
};

// Pixels a grey first pass reads of a source row: whole chunks from the last
// window's start, in whole groups of kPositionGroup.
inline int GreyRowReach(const AxisKernel& columns) {
  const int reach = columns.first.back() + GreyChunks(columns.taps) * kGreyChunk;
  return (reach + kPositionGroup - 1) / kPositionGroup * kPositionGroup;
}

// Values from one one-channel filtered row to the next: room for the grey
// second pass's steps of 16 positions.
constexpr size_t kGreyDownStep = 16;
inline size_t GreyRowUnits(int width) {
  return (size_t(width) + kGreyDownStep - 1) / kGreyDownStep * kGreyDownStep;
}

// The version every processor runs.
const ResamplePasses& BaselinePasses() noexcept;

#if defined(GLIMMARK_RESAMPLER_AVX2)
// The AVX2 version: call only where the processor supports AVX2.
const ResamplePasses& Avx2Passes() noexcept;
#endif

// Calls body.template operator()<N>() with N the tap count when it is one of
// the common counts, whose loops then unroll; else with N = 0 (count read at
// run time).
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

// The pass table of one version. `Version` has, for tap counts N (0: count
// read at run time), static templates FilterAcrossWith<N> with the first
// pass's signature, and FilterDownShortWith<N> (kernels of up to
// kMaxShortDownTaps rows) and FilterDownWith<N> filtering one target row:
// (TapRows, weight pairs, run-time tap count, width, out).
template <typename Version>
struct PassesOf {
  static void FilterAcross(const uint32_t* pixels, int pairCount, PairRow* pairs,
                           const AxisKernel& columns, int16_t* out) {
    WithTapCount(columns.taps, [&]<int kTaps>() {
      Version::template FilterAcrossWith<kTaps>(pixels, pairCount, pairs, columns, out);
    });
  }

  // Picks the row filter for the kernel's length once, then runs it per row.
  static void FilterDown(const DownJob& job) {
    if (job.rows->taps <= kMaxShortDownTaps) {
      return WithTapCount(job.rows->taps, [&]<int kTaps>() {
        EachRow(job, Version::template FilterDownShortWith<kTaps>);
      });
    }
    WithTapCount(job.rows->taps,
                 [&]<int kTaps>() { EachRow(job, Version::template FilterDownWith<kTaps>); });
  }

  template <typename RowFilter>
  static void EachRow(const DownJob& job, RowFilter filterRow) {
    const int taps = job.rows->taps;
    for (int j = 0; j < job.count; ++j) {
      const TapRows window{
          job.filtered + size_t(job.rows->first[size_t(j)] - job.top) * job.rowUnits, job.rowUnits};
      filterRow(window, &job.rows->pairs[size_t(j) * size_t(taps / kTapGroup)], taps, job.width,
                reinterpret_cast<uint32_t*>(job.out + j * job.stride));
    }
  }

  static constexpr ResamplePasses kPasses = {FilterAcross, FilterDown, nullptr, nullptr, nullptr};
};

}  // namespace Gdiplus::Internal

// The resampler's passes for every x86-64 processor: SSE2's multiply-add of
// 16-bit lanes weighs a pair of taps per instruction. Without SSE2 the same
// arithmetic runs in plain C++.
#include <algorithm>
#include <cstring>

#include "gdiplus/resample/resampler_passes.h"

namespace Gdiplus::Internal {
namespace {

#if defined(GLIMMARK_SSE2)

void MakePairs(const uint32_t* pixels, int count, PairRow* pairs) {
  const __m128i zero = _mm_setzero_si128();
  for (int j = 0; j < count; j += kPairGroup) {
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

// Two target positions at a time, each with its own sum: their spread
// weights sit side by side, ready for the multiply-add.
template <int kTaps>
void FilterPairsAcross(const PairRow* pairs, const AxisKernel& columns, int16_t* out) {
  const int groups = (kTaps != 0 ? kTaps : columns.taps) / kTapGroup;
  const __m128i half = _mm_set1_epi32(1 << (kAcrossShift - 1));
  // Locals, not members: the stores below may alias anything.
  const SpreadWeights* weights = columns.spread.data();
  const int* first = columns.first.data();
  const size_t positions = columns.first.size();
  for (size_t i = 0; i < positions; i += 2, weights += groups) {
    const PairRow* even = pairs + first[i];
    const PairRow* odd = pairs + first[i + 1];
    __m128i evenSum = _mm_setzero_si128(), oddSum = _mm_setzero_si128();
    for (int k = 0; k < groups; ++k) {
      const __m128i* w = reinterpret_cast<const __m128i*>(weights[k].lanes);
      evenSum = _mm_add_epi32(evenSum, _mm_madd_epi16(even[k * kTapGroup].lanes, w[0]));
      oddSum = _mm_add_epi32(oddSum, _mm_madd_epi16(odd[k * kTapGroup].lanes, w[1]));
    }
    const __m128i evenRounded = _mm_srai_epi32(_mm_add_epi32(evenSum, half), kAcrossShift);
    const __m128i oddRounded = _mm_srai_epi32(_mm_add_epi32(oddSum, half), kAcrossShift);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i * kChannels),
                     _mm_packs_epi32(evenRounded, oddRounded));
  }
}

template <int kTaps>
void FilterDownWith(TapRows rows, const int32_t* weightPairs, int runtimeTaps, int width,
                    uint32_t* out) {
  const int taps = kTaps != 0 ? kTaps : runtimeTaps;
  const __m128i half = _mm_set1_epi32(1 << (kDownShift - 1));
  const __m128i opaque = _mm_set1_epi32(int32_t(kOpaque));
  // With the tap count known, the weights stay in registers.
  constexpr int kKept = kTaps != 0 ? kTaps : kTapGroup;
  __m128i keptWeights[kKept / kTapGroup];
  if constexpr (kTaps != 0) {
    for (int k = 0; k < kTaps; k += kTapGroup) {
      keptWeights[k / kTapGroup] = _mm_set1_epi32(weightPairs[k / kTapGroup]);
    }
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

// The 16-bit second pass (see kMaxShortDownTaps), four target pixels per
// step. Filtered rows hold whole groups of kPositionGroup pixels.
template <int kTaps>
void FilterDownShortWith(TapRows rows, const int32_t* weightPairs, int runtimeTaps, int width,
                         uint32_t* out) {
  constexpr int kStep = 4;
  const int taps = kTaps != 0 ? kTaps : runtimeTaps;
  constexpr int kKept = kTaps != 0 ? kTaps : kMaxShortDownTaps;
  __m128i weights[kKept];
  for (int k = 0; k < taps; ++k) weights[k] = _mm_set1_epi16(TapWeight(weightPairs, k));
  const __m128i rounding = _mm_set1_epi16(int16_t(ShortDownRounding(taps)));
  const __m128i opaque = _mm_set1_epi32(int32_t(kOpaque));
  for (int x = 0; x < width; x += kStep) {
    const size_t offset = size_t(x) * kChannels;
    __m128i low = _mm_setzero_si128(), high = _mm_setzero_si128();
    for (int k = 0; k < taps; ++k) {
      const __m128i* row = reinterpret_cast<const __m128i*>(rows[k] + offset);
      low = _mm_add_epi16(low, _mm_mulhi_epi16(_mm_loadu_si128(row), weights[k]));
      high = _mm_add_epi16(high, _mm_mulhi_epi16(_mm_loadu_si128(row + 1), weights[k]));
    }
    low = _mm_srai_epi16(_mm_add_epi16(low, rounding), kShortDownBits);
    high = _mm_srai_epi16(_mm_add_epi16(high, rounding), kShortDownBits);
    const __m128i pixels = _mm_or_si128(_mm_packus_epi16(low, high), opaque);
    const int count = std::min(kStep, width - x);
    if (count == kStep) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), pixels);
    } else {
      uint32_t all[kStep];
      _mm_storeu_si128(reinterpret_cast<__m128i*>(all), pixels);
      std::memcpy(out + x, all, size_t(count) * sizeof(uint32_t));
    }
  }
}

#else  // plain C++ with the same arithmetic

inline int16_t RoundAcross(int32_t sum) {
  const int32_t value = (sum + (1 << (kAcrossShift - 1))) >> kAcrossShift;
  return int16_t(std::clamp<int32_t>(value, INT16_MIN, INT16_MAX));
}

inline uint32_t RoundDown(int32_t sum) {
  return uint32_t(std::clamp<int32_t>((sum + (1 << (kDownShift - 1))) >> kDownShift, 0, 255));
}

void MakePairs(const uint32_t* pixels, int count, PairRow* pairs) {
  std::memcpy(pairs, pixels, size_t(count) * sizeof(uint32_t));
}

inline int32_t LowWeight(int32_t pair) { return int16_t(pair & 0xFFFF); }
inline int32_t HighWeight(int32_t pair) { return pair >> 16; }

template <int kTaps>
void FilterPairsAcross(const PairRow* pairs, const AxisKernel& columns, int16_t* out) {
  const int taps = kTaps != 0 ? kTaps : columns.taps;
  const int32_t* weightPairs = columns.pairs.data();
  const size_t positions = columns.first.size();
  for (size_t i = 0; i < positions; ++i, weightPairs += taps / kTapGroup) {
    const uint32_t* window = pairs + columns.first[i];
    int32_t sum[kChannels] = {};
    for (int k = 0; k < taps; k += kTapGroup) {
      const int32_t pair = weightPairs[k / kTapGroup];
      for (int c = 0; c < kChannels; ++c) {
        sum[c] += LowWeight(pair) * int32_t(window[k] >> (8 * c) & 0xFF) +
                  HighWeight(pair) * int32_t(window[k + 1] >> (8 * c) & 0xFF);
      }
    }
    for (int c = 0; c < kChannels; ++c) out[i * kChannels + c] = RoundAcross(sum[c]);
  }
}

template <int kTaps>
void FilterDownWith(TapRows rows, const int32_t* weightPairs, int runtimeTaps, int width,
                    uint32_t* out) {
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

// The 16-bit second pass (see kMaxShortDownTaps). Sums may wrap in 16 bits
// on the way; the final one fits.
template <int kTaps>
void FilterDownShortWith(TapRows rows, const int32_t* weightPairs, int runtimeTaps, int width,
                         uint32_t* out) {
  const int taps = kTaps != 0 ? kTaps : runtimeTaps;
  for (int x = 0; x < width; ++x) {
    const size_t offset = size_t(x) * kChannels;
    uint32_t pixel = kOpaque;
    for (int c = 0; c < 3; ++c) {
      uint16_t sum = 0;
      for (int k = 0; k < taps; ++k) {
        sum = uint16_t(sum + ((rows[k][offset + c] * TapWeight(weightPairs, k)) >> 16));
      }
      const int32_t value = (int16_t(sum) + ShortDownRounding(taps)) >> kShortDownBits;
      pixel |= uint32_t(std::clamp(value, 0, 255)) << (8 * c);
    }
    out[x] = pixel;
  }
}

#endif

// The first pass: pairs made from the row, then weighed.
template <int kTaps>
void FilterAcrossWith(const uint32_t* pixels, int pairCount, PairRow* pairs,
                      const AxisKernel& columns, int16_t* out) {
  MakePairs(pixels, pairCount, pairs);
  FilterPairsAcross<kTaps>(pairs, columns, out);
}

// The passes above under the names PassesOf expects.
struct Version {
  template <int kTaps>
  static constexpr auto FilterAcrossWith = &Internal::FilterAcrossWith<kTaps>;
  template <int kTaps>
  static constexpr auto FilterDownShortWith = &Internal::FilterDownShortWith<kTaps>;
  template <int kTaps>
  static constexpr auto FilterDownWith = &Internal::FilterDownWith<kTaps>;
};

}  // namespace

const ResamplePasses& BaselinePasses() noexcept { return PassesOf<Version>::kPasses; }

}  // namespace Gdiplus::Internal

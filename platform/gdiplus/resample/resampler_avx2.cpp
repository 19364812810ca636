// The resampler's passes with AVX2: twice the lanes of the baseline. Only
// these functions are compiled for AVX2 (the library as a whole targets
// plain x86-64); resampler.cpp calls them after asking the processor.
// Every sum is the baseline's, so the pixels are bit for bit the same.
#include "gdiplus/resample/resampler_passes.h"

#if defined(GLIMMARK_RESAMPLER_AVX2)

#include <immintrin.h>

#include <algorithm>

#define GLIMMARK_AVX2 __attribute__((target("avx2")))

namespace Gdiplus::Internal {
namespace {

// Picks 64-bit lanes 0 and 2: the low halves of the two 128-bit lanes.
constexpr int kLowHalves = 0x08;

// A byte shuffle making, in each 128-bit lane, the pair of the lane's pixels
// `first` and first + 1 (of four): 16-bit channels interleaved as PairRow
// holds them. Bytes with the top bit set become zero: the high halves.
GLIMMARK_AVX2 __m256i PairShuffle(char first) {
  constexpr char z = -1;
  const char p = char(4 * first), q = char(4 * first + 4);
  const __m128i lane = _mm_setr_epi8(p, z, q, z, char(p + 1), z, char(q + 1), z, char(p + 2), z,
                                     char(q + 2), z, char(p + 3), z, char(q + 3), z);
  return _mm256_broadcastsi128_si256(lane);
}

// Rounded sums of the target positions whose windows start at pixels even
// and odd, the even one's in the low 128-bit lane. Pairs are made on the fly:
// four pixels of each window loaded side by side give two pairs of taps per
// load, against their spread weights. Reads up to taps + 2 pixels per window.
template <int kTaps>
GLIMMARK_AVX2 inline __m256i SumOfTwo(const uint32_t* even, const uint32_t* odd,
                                      const SpreadWeights* weights, int groups) {
  if constexpr (kTaps != 0) groups = kTaps / kTapGroup;
  const __m256i firstPair = PairShuffle(0), secondPair = PairShuffle(2);
  auto load = [](const uint32_t* pixels) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(pixels));
  };
  __m256i sum = _mm256_setzero_si256();
  for (int k = 0; k < groups; k += 2) {
    const int tap = k * kTapGroup;
    const __m256i both =
        _mm256_inserti128_si256(_mm256_castsi128_si256(load(even + tap)), load(odd + tap), 1);
    const __m256i w = _mm256_load_si256(reinterpret_cast<const __m256i*>(weights[k].lanes));
    sum = _mm256_add_epi32(sum, _mm256_madd_epi16(_mm256_shuffle_epi8(both, firstPair), w));
    if (k + 1 == groups) break;
    const __m256i next = _mm256_load_si256(reinterpret_cast<const __m256i*>(weights[k + 1].lanes));
    sum = _mm256_add_epi32(sum, _mm256_madd_epi16(_mm256_shuffle_epi8(both, secondPair), next));
  }
  const __m256i half = _mm256_set1_epi32(1 << (kAcrossShift - 1));
  return _mm256_srai_epi32(_mm256_add_epi32(sum, half), kAcrossShift);
}

// Four target positions per step, in two registers of two, straight from
// the row's pixels (no pairs made).
template <int kTaps>
GLIMMARK_AVX2 void FilterAcrossWith(const uint32_t* pixels, int, PairRow*,
                                    const AxisKernel& columns, int16_t* out) {
  constexpr int kPositionOrder = 0xD8;  // 64-bit lanes 0, 2, 1, 3
  const int groups = columns.taps / kTapGroup;
  const SpreadWeights* weights = columns.spread.data();
  const int* first = columns.first.data();
  const size_t positions = columns.first.size();
  constexpr size_t kStep = 4;
  for (size_t i = 0; i < positions; i += kStep, weights += 2 * groups) {
    const __m256i low = SumOfTwo<kTaps>(pixels + first[i], pixels + first[i + 1], weights, groups);
    const __m256i high =
        SumOfTwo<kTaps>(pixels + first[i + 2], pixels + first[i + 3], weights + groups, groups);
    // Packing puts positions (0, 2) in the low lane and (1, 3) in the high.
    const __m256i words = _mm256_packs_epi32(low, high);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i * kChannels),
                        _mm256_permute4x64_epi64(words, kPositionOrder));
  }
}

// Stores the first `count` (1 to 4) pixels of `pixels`.
GLIMMARK_AVX2 void StorePixels(__m128i pixels, int count, uint32_t* out) {
  if (count == 4) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), pixels);
  } else if (count == 1) {
    out[0] = uint32_t(_mm_cvtsi128_si32(pixels));
  } else {
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out), pixels);
    if (count == 3) out[2] = uint32_t(_mm_cvtsi128_si32(_mm_srli_si128(pixels, 8)));
  }
}

// The 32-bit second pass, four target pixels per step. Filtered rows hold
// whole groups of kPositionGroup pixels; what lies past the width only
// reaches lanes that are not stored.
template <int kTaps>
GLIMMARK_AVX2 void FilterDownWith(TapRows rows, const int32_t* weightPairs, int runtimeTaps,
                                  int width, uint32_t* out) {
  constexpr int kStep = 4;
  const int taps = kTaps != 0 ? kTaps : runtimeTaps;
  const __m256i half = _mm256_set1_epi32(1 << (kDownShift - 1));
  const __m128i opaque = _mm_set1_epi32(int32_t(kOpaque));
  constexpr int kKept = kTaps != 0 ? kTaps : kTapGroup;
  __m256i keptWeights[kKept / kTapGroup];
  if constexpr (kTaps != 0) {
    for (int k = 0; k < kTaps; k += kTapGroup) {
      keptWeights[k / kTapGroup] = _mm256_set1_epi32(weightPairs[k / kTapGroup]);
    }
  }
  for (int x = 0; x < width; x += kStep) {
    const size_t offset = size_t(x) * kChannels;
    __m256i left = _mm256_setzero_si256(), right = _mm256_setzero_si256();
    for (int k = 0; k < taps; k += kTapGroup) {
      const __m256i upper = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(rows[k] + offset));
      const __m256i lower =
          _mm256_loadu_si256(reinterpret_cast<const __m256i*>(rows[k + 1] + offset));
      const __m256i w =
          kTaps != 0 ? keptWeights[k / kTapGroup] : _mm256_set1_epi32(weightPairs[k / kTapGroup]);
      left = _mm256_add_epi32(left, _mm256_madd_epi16(_mm256_unpacklo_epi16(upper, lower), w));
      right = _mm256_add_epi32(right, _mm256_madd_epi16(_mm256_unpackhi_epi16(upper, lower), w));
    }
    left = _mm256_srai_epi32(_mm256_add_epi32(left, half), kDownShift);
    right = _mm256_srai_epi32(_mm256_add_epi32(right, half), kDownShift);
    // Lanes hold pixels (x, x + 1) and (x + 2, x + 3) after packing.
    const __m256i words = _mm256_packs_epi32(left, right);
    const __m256i bytes = _mm256_permute4x64_epi64(_mm256_packus_epi16(words, words), kLowHalves);
    StorePixels(_mm_or_si128(_mm256_castsi256_si128(bytes), opaque), std::min(kStep, width - x),
                out + x);
  }
}

// Stores the first `count` (1 to 8) pixels of `pixels`.
GLIMMARK_AVX2 void StoreEightPixels(__m256i pixels, int count, uint32_t* out) {
  if (count == 8) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), pixels);
    return;
  }
  StorePixels(_mm256_castsi256_si128(pixels), std::min(count, 4), out);
  if (count > 4) StorePixels(_mm256_extracti128_si256(pixels, 1), count - 4, out + 4);
}

// The weights of one target row's taps for the 16-bit second pass (see
// kMaxShortDownTaps), each over all sixteen lanes, and its rounding.
template <int kTaps>
struct ShortDownTaps {
  int count;
  __m256i weights[kTaps != 0 ? kTaps : kMaxShortDownTaps];
  __m256i rounding;
};

template <int kTaps>
GLIMMARK_AVX2 inline ShortDownTaps<kTaps> SpreadShortDownTaps(const int32_t* weightPairs,
                                                              int runtimeTaps) {
  ShortDownTaps<kTaps> taps;
  taps.count = kTaps != 0 ? kTaps : runtimeTaps;
  for (int k = 0; k < taps.count; ++k) {
    taps.weights[k] = _mm256_set1_epi16(TapWeight(weightPairs, k));
  }
  taps.rounding = _mm256_set1_epi16(int16_t(ShortDownRounding(taps.count)));
  return taps;
}

// Sixteen values of the target row from the filtered rows' values at
// `offset`, rounded to levels (not yet clamped).
template <int kTaps>
GLIMMARK_AVX2 inline __m256i ShortDownSum(const ShortDownTaps<kTaps>& taps, TapRows rows,
                                          size_t offset) {
  __m256i sum = _mm256_setzero_si256();
  for (int k = 0; k < taps.count; ++k) {
    const __m256i values = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(rows[k] + offset));
    sum = _mm256_add_epi16(sum, _mm256_mulhi_epi16(values, taps.weights[k]));
  }
  return _mm256_srai_epi16(_mm256_add_epi16(sum, taps.rounding), kShortDownBits);
}

// The 16-bit second pass, eight target pixels per step. Filtered rows hold
// whole groups of kPositionGroup pixels.
template <int kTaps>
GLIMMARK_AVX2 void FilterDownShortWith(TapRows rows, const int32_t* weightPairs, int runtimeTaps,
                                       int width, uint32_t* out) {
  constexpr int kStep = 8;
  constexpr int kOrder = 0xD8;
  const ShortDownTaps<kTaps> taps = SpreadShortDownTaps<kTaps>(weightPairs, runtimeTaps);
  const __m256i opaque = _mm256_set1_epi32(int32_t(kOpaque));
  for (int x = 0; x < width; x += kStep) {
    const size_t offset = size_t(x) * kChannels;
    const __m256i low = ShortDownSum(taps, rows, offset);
    const __m256i high = ShortDownSum(taps, rows, offset + 4 * kChannels);
    const __m256i pixels =
        _mm256_or_si256(_mm256_permute4x64_epi64(_mm256_packus_epi16(low, high), kOrder), opaque);
    StoreEightPixels(pixels, std::min(kStep, width - x), out + x);
  }
}

// Grey rows: one channel per position (see ResamplePasses::greyAcross).

// The blue channel of pixels [0, count) (count a multiple of 8) as 16-bit
// values, when the first `checked` are grey (blue = green = red): one pass
// over the row both checks and takes.
GLIMMARK_AVX2 bool TakeGrey(const uint32_t* pixels, int checked, int count, int16_t* grey) {
  const __m256i blue = _mm256_set1_epi32(0xFF), colourBits = _mm256_set1_epi32(0xFFFF);
  const __m256i lanes = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
  __m256i differences = _mm256_setzero_si256();
  for (int x = 0; x < count; x += 8) {
    const __m256i p = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pixels + x));
    const __m256i inside = _mm256_cmpgt_epi32(_mm256_set1_epi32(checked - x), lanes);
    const __m256i difference = _mm256_xor_si256(p, _mm256_srli_epi32(p, 8));
    differences = _mm256_or_si256(differences, _mm256_and_si256(difference, inside));
    const __m256i words = _mm256_and_si256(p, blue);
    const __m256i packed = _mm256_permute4x64_epi64(_mm256_packus_epi32(words, words), kLowHalves);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(grey + x), _mm256_castsi256_si128(packed));
  }
  return _mm256_testz_si256(differences, colourBits);
}

// Sums of two neighbouring positions' windows, the even one's four partial
// sums in the low 128-bit lane, the odd one's in the high.
template <int kChunks>
GLIMMARK_AVX2 inline __m256i GreyPairSums(const int16_t* even, const int16_t* odd,
                                          const int16_t* weights, int chunks) {
  if constexpr (kChunks != 0) chunks = kChunks;
  __m256i sum = _mm256_setzero_si256();
  for (int c = 0; c < chunks; ++c) {
    const int tap = c * kGreyChunk;
    const __m256i both = _mm256_inserti128_si256(
        _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(even + tap))),
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(odd + tap)), 1);
    const __m256i w =
        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(weights + 2 * c * kGreyChunk));
    sum = _mm256_add_epi32(sum, _mm256_madd_epi16(both, w));
  }
  return sum;
}

// Eight positions per step: the partial sums of four pairs folded by
// horizontal adds into one sum per position.
template <int kChunks>
GLIMMARK_AVX2 void GreyAcrossWith(const int16_t* grey, const AxisKernel& columns, int16_t* out) {
  const int chunks = GreyChunks(columns.taps);
  const size_t pairWeights = size_t(chunks) * 2 * kGreyChunk;
  const int16_t* weights = columns.greyChunks.data();
  const int* first = columns.first.data();
  const size_t positions = columns.first.size();
  const __m256i half = _mm256_set1_epi32(1 << (kAcrossShift - 1));
  for (size_t i = 0; i < positions; i += kPositionGroup, weights += 4 * pairWeights) {
    __m256i pair[4];
    for (size_t q = 0; q < 4; ++q) {
      pair[q] = GreyPairSums<kChunks>(grey + first[i + 2 * q], grey + first[i + 2 * q + 1],
                                      weights + q * pairWeights, chunks);
    }
    // Lanes: (0, 2, 4, 6) low, (1, 3, 5, 7) high, then rounded.
    __m256i sums =
        _mm256_hadd_epi32(_mm256_hadd_epi32(pair[0], pair[1]), _mm256_hadd_epi32(pair[2], pair[3]));
    sums = _mm256_srai_epi32(_mm256_add_epi32(sums, half), kAcrossShift);
    const __m128i evens = _mm256_castsi256_si128(sums), odds = _mm256_extracti128_si256(sums, 1);
    const __m128i words =
        _mm_packs_epi32(_mm_unpacklo_epi32(evens, odds), _mm_unpackhi_epi32(evens, odds));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), words);
  }
}

void GreyAcross(const int16_t* grey, const AxisKernel& columns, int16_t* out) {
  switch (GreyChunks(columns.taps)) {
    case 1:
      return GreyAcrossWith<1>(grey, columns, out);
    case 2:
      return GreyAcrossWith<2>(grey, columns, out);
    default:
      return GreyAcrossWith<0>(grey, columns, out);
  }
}

// A byte shuffle spreading grey levels first .. first + 3 (low lane) and
// first + 4 .. first + 7 (high lane) into pixels, the fourth byte zero.
GLIMMARK_AVX2 __m256i GreySpread(char first) {
  constexpr char z = -1;
  auto lane = [&](char g) {
    return _mm_setr_epi8(g, g, g, z, char(g + 1), char(g + 1), char(g + 1), z, char(g + 2),
                         char(g + 2), char(g + 2), z, char(g + 3), char(g + 3), char(g + 3), z);
  };
  return _mm256_inserti128_si256(_mm256_castsi128_si256(lane(first)), lane(char(first + 4)), 1);
}

// The 16-bit second pass over grey rows, sixteen target pixels per step.
template <int kTaps>
GLIMMARK_AVX2 void GreyDownShortWith(TapRows rows, const int32_t* weightPairs, int runtimeTaps,
                                     int width, uint32_t* out) {
  constexpr int kStep = int(kGreyDownStep);
  const ShortDownTaps<kTaps> taps = SpreadShortDownTaps<kTaps>(weightPairs, runtimeTaps);
  const __m256i opaque = _mm256_set1_epi32(int32_t(kOpaque));
  const __m256i firstEight = GreySpread(0), lastEight = GreySpread(8);
  for (int x = 0; x < width; x += kStep) {
    const __m256i sum = ShortDownSum(taps, rows, size_t(x));
    const __m256i bytes = _mm256_permute4x64_epi64(_mm256_packus_epi16(sum, sum), kLowHalves);
    const __m256i levels = _mm256_broadcastsi128_si256(_mm256_castsi256_si128(bytes));
    const int count = std::min(kStep, width - x);
    StoreEightPixels(_mm256_or_si256(_mm256_shuffle_epi8(levels, firstEight), opaque),
                     std::min(count, 8), out + x);
    if (count > 8) {
      StoreEightPixels(_mm256_or_si256(_mm256_shuffle_epi8(levels, lastEight), opaque), count - 8,
                       out + x + 8);
    }
  }
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

void GreyDown(const DownJob& job) {
  WithTapCount(job.rows->taps,
               [&]<int kTaps>() { PassesOf<Version>::EachRow(job, GreyDownShortWith<kTaps>); });
}

constexpr ResamplePasses kAvx2Passes = {
    PassesOf<Version>::FilterAcross, PassesOf<Version>::FilterDown, TakeGrey, GreyAcross, GreyDown};

}  // namespace

const ResamplePasses& Avx2Passes() noexcept { return kAvx2Passes; }

}  // namespace Gdiplus::Internal

#endif

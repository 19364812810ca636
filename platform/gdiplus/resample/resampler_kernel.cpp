// Building and keeping the resampler's weight tables.
#include "gdiplus/resample/resampler_kernel.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace Gdiplus::Internal {
namespace {

constexpr double kKeysA = -0.5;
constexpr double kBicubicRadius = 2.0;
constexpr int32_t kWeightOne = 1 << kResampleWeightBits;
constexpr int kSpreadLanes = 4;  // copies of a weight pair per position in SpreadWeights

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

// Fills kernel.spread from kernel.pairs: positions two by two, each weight
// pair repeated over its position's four lanes.
void SpreadPairs(AxisKernel& kernel) {
  const size_t pairsPerPosition = size_t(kernel.taps / kTapGroup);
  const size_t positions = kernel.first.size();
  kernel.spread.resize(positions / 2 * pairsPerPosition);
  for (size_t p = 0; p < positions / 2; ++p) {
    for (size_t k = 0; k < pairsPerPosition; ++k) {
      SpreadWeights& spread = kernel.spread[p * pairsPerPosition + k];
      const int32_t even = kernel.pairs[2 * p * pairsPerPosition + k];
      const int32_t odd = kernel.pairs[(2 * p + 1) * pairsPerPosition + k];
      std::fill_n(spread.lanes, kSpreadLanes, even);
      std::fill_n(spread.lanes + kSpreadLanes, kSpreadLanes, odd);
    }
  }
}

// Fills kernel.greyChunks from the weights of every position (taps each).
void ChunkWeights(AxisKernel& kernel, const int16_t* weights) {
  const size_t taps = size_t(kernel.taps), chunks = size_t(GreyChunks(kernel.taps));
  const size_t positions = kernel.first.size();
  constexpr size_t kChunk = kGreyChunk;
  kernel.greyChunks.assign(positions * chunks * kChunk, 0);
  for (size_t i = 0; i < positions; ++i) {
    for (size_t k = 0; k < taps; ++k) {
      const size_t pairStart = (i / 2) * chunks * 2 * kChunk;
      const size_t chunkStart = pairStart + (k / kChunk) * 2 * kChunk + (i % 2) * kChunk;
      kernel.greyChunks[chunkStart + k % kChunk] = weights[i * taps + k];
    }
  }
}

size_t HashOf(const KernelKey& key) {
  uint64_t h = uint64_t(uint32_t(key.sourceLength)) * 0x9E3779B97F4A7C15u;
  h ^= uint64_t(uint32_t(key.targetLength)) * 0xC2B2AE3D27D4EB4Fu;
  h ^= uint64_t(uint32_t(key.first)) * 0x165667B19E3779F9u;
  h ^= uint64_t(uint32_t(key.last)) * 0x27D4EB2F165667C5u;
  h ^= uint64_t(key.filter);
  return size_t(h ^ h >> 29 ^ h >> 47);
}

}  // namespace

void BuildKernel(const KernelKey& key, bool spread, KernelWorkspace& work, AxisKernel& kernel) {
  kernel.key = KernelKey();  // unusable until made in full
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
  const size_t padded = (count + kPositionGroup - 1) / kPositionGroup * kPositionGroup;
  kernel.first.resize(padded);
  work.weights.assign(padded * size_t(kernel.taps), 0);
  std::vector<double>& raw = work.raw;
  raw.resize(size_t(window));
  for (int i = first; i < last; ++i) {
    const double centre = (i + 0.5) * scale - 0.5;
    int16_t* weights = &work.weights[size_t(i - first) * kernel.taps];
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
  std::fill(kernel.first.begin() + ptrdiff_t(count), kernel.first.end(), kernel.first[count - 1]);
  kernel.pairs.resize(work.weights.size() / kTapGroup);
  std::memcpy(kernel.pairs.data(), work.weights.data(), kernel.pairs.size() * sizeof(int32_t));
  if (spread) {
    SpreadPairs(kernel);
    ChunkWeights(kernel, work.weights.data());
  }
  kernel.key = key;
}

const AxisKernel& KernelCache::Get(const KernelKey& key, KernelWorkspace& work) {
  if (slots_.empty()) {
    nextWay_.assign(size_t(sets_), 0);
    slots_.resize(size_t(sets_) * kWays);
  }
  const size_t set = HashOf(key) % size_t(sets_);
  AxisKernel* ways = &slots_[set * kWays];
  for (int way = 0; way < kWays; ++way) {
    if (ways[way].key == key) return ways[way];
  }
  AxisKernel& replaced = ways[nextWay_[set]];
  nextWay_[set] = uint8_t((nextWay_[set] + 1) % kWays);
  kernelBytes_ -= replaced.Bytes();
  try {
    BuildKernel(key, spread_, work, replaced);
  } catch (...) {
    kernelBytes_ += replaced.Bytes();
    throw;
  }
  kernelBytes_ += replaced.Bytes();
  return replaced;
}

void KernelCache::Clear() {
  slots_ = {};
  nextWay_ = {};
  kernelBytes_ = 0;
}

}  // namespace Gdiplus::Internal

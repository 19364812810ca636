// Weight tables of the separable resampler: for each target position along
// one axis, a window of source positions and their 16-bit fixed-point
// weights. resampler.cpp owns a KernelCache per axis and thread; the passes
// (resampler_passes.h) only read the tables.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "gdiplus/resample/resampler.h"

namespace Gdiplus::Internal {

// Taps are multiplied in pairs; windows are padded with zero weights to a
// multiple of this.
constexpr int kTapGroup = 2;

// Kernels hold whole groups of this many positions.
constexpr int kPositionGroup = 8;

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

// The weight pairs of two neighbouring target positions for one pair of
// taps, each pair (first weight in the low half) repeated over four 32-bit
// lanes: lanes 0-3 for the even position, 4-7 for the odd one. The first
// pass multiplies pixels by them as they are, without shuffling weights.
struct alignas(32) SpreadWeights {
  int32_t lanes[8];
};

// Taps a grey first pass weighs at once for one position.
constexpr int kGreyChunk = 8;

// Chunks of kGreyChunk taps covering a window of `taps`.
constexpr int GreyChunks(int taps) { return (taps + kGreyChunk - 1) / kGreyChunk; }

// For each visible target position along one axis, a window of `taps`
// consecutive source positions starting at first[i], with their weights.
// Windows never start outside the source; positions past its end (padding)
// have weight 0. `first` never decreases. Visible positions are padded to a
// multiple of kPositionGroup with positions of zero weights (their window
// the last one's), so passes may work on up to that many at a time.
struct AxisKernel {
  KernelKey key;
  int taps = 0;
  std::vector<int> first;      // padded positions
  std::vector<int32_t> pairs;  // padded positions × taps / 2 weight pairs
  // Only when made with spread weights: padded positions / 2 × taps / 2.
  std::vector<SpreadWeights> spread;
  // Only when made with spread weights, for one-channel rows: for each two
  // neighbouring positions and each chunk of their windows, kGreyChunk
  // weights of the even position then kGreyChunk of the odd one, zero past
  // the taps.
  std::vector<int16_t> greyChunks;

  size_t Bytes() const {
    return first.capacity() * sizeof(int) + pairs.capacity() * sizeof(int32_t) +
           spread.capacity() * sizeof(SpreadWeights) + greyChunks.capacity() * sizeof(int16_t);
  }
};

// Buffers BuildKernel reuses between calls.
struct KernelWorkspace {
  std::vector<double> raw;
  std::vector<int16_t> weights;
};

// Makes the kernel for `key` into `kernel` (reusing its memory), with spread
// weights when `spread`. Taps that fall outside the source are folded onto
// its edge pixel (clamping); each position's weights add up to exactly
// 1 << kResampleWeightBits. Cost: about taps evaluations of the cubic per
// position. Throws std::bad_alloc (the kernel is then unusable: key reset).
void BuildKernel(const KernelKey& key, bool spread, KernelWorkspace& work, AxisKernel& kernel);

// The kernels of one axis made last, found again by a hash of their key.
// Glyph cells' ink boxes and cells take a few hundred sizes per axis (ink
// heights of about 30 by cell heights of about 20 in the default picture),
// so a cache holding that many lets a warm picture make almost no kernels.
// A look-up costs a hash and up to kWays key compares. Its slots are
// allocated on first use, so idle threads carry no table.
class KernelCache {
 public:
  static constexpr int kWays = 4;

  // `sets` × kWays kernels are kept; `spread`: whether kernels made here
  // carry spread weights.
  KernelCache(int sets, bool spread) : sets_(sets), spread_(spread) {}

  // The kernel for `key`, made when not kept (replacing the oldest of its
  // set). The reference stays valid until the next Get or Clear. Throws
  // std::bad_alloc.
  const AxisKernel& Get(const KernelKey& key, KernelWorkspace& work);

  // Memory held by the slots and kept kernels, in bytes (kept up to date,
  // no walk).
  size_t Bytes() const { return slots_.capacity() * sizeof(AxisKernel) + kernelBytes_; }

  // Forgets every kernel and gives their memory back.
  void Clear();

 private:
  std::vector<AxisKernel> slots_;  // sets_ × kWays once used
  std::vector<uint8_t> nextWay_;   // per set: the way replaced next
  size_t kernelBytes_ = 0;
  int sets_;
  bool spread_;
};

}  // namespace Gdiplus::Internal

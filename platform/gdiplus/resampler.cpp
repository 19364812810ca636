// The separable resampler.
#include "gdiplus/resampler.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <vector>

namespace Gdiplus::Internal {
namespace {

constexpr double kKeysA = -0.5;
constexpr double kBicubicRadius = 2.0;
// Largest intermediate image (source rows x visible target width) the filter
// builds: 16 Mi pixels, 256 MiB of floats. Only stretches between bitmaps
// near the size cap reach it; they fail with OutOfMemory instead.
constexpr int64_t kMaxIntermediatePixels = int64_t{16} * 1024 * 1024;

double KeysCubic(double x) {
  x = std::fabs(x);
  if (x < 1) return ((kKeysA + 2) * x - (kKeysA + 3)) * x * x + 1;
  if (x < 2) return ((kKeysA * x - 5 * kKeysA) * x + 8 * kKeysA) * x - 4 * kKeysA;
  return 0;
}

// For each visible target position along one axis: which source positions
// (relative to the source rectangle, clamped into it) contribute, how much.
struct AxisTaps {
  int perTarget = 0;
  std::vector<int> source;    // visible × perTarget
  std::vector<float> weight;  // visible × perTarget, each group summing to 1
};

// Builds taps for target positions [first, last) of a span `targetLength`
// long mapped from a source span `sourceLength` long.
void BuildTaps(int sourceLength, int targetLength, int first, int last, ResampleFilter filter,
               AxisTaps& taps) {
  const double scale = double(sourceLength) / targetLength;
  const double widen = filter == ResampleFilter::Bicubic ? std::max(1.0, scale) : 1.0;
  const double radius = filter == ResampleFilter::Bicubic ? kBicubicRadius * widen : 0.5;
  // floor(c + r) - floor(c - r) never exceeds ceil(2r): that many taps.
  taps.perTarget = filter == ResampleFilter::Bicubic ? int(std::ceil(2 * radius)) : 1;
  const size_t count = size_t(last - first) * taps.perTarget;
  taps.source.assign(count, 0);
  taps.weight.assign(count, 0.0f);
  for (int i = first; i < last; ++i) {
    const double centre = (i + 0.5) * scale - 0.5;
    int* sources = &taps.source[size_t(i - first) * taps.perTarget];
    float* weights = &taps.weight[size_t(i - first) * taps.perTarget];
    if (filter == ResampleFilter::Nearest) {
      sources[0] = std::clamp(int(std::floor(centre + 0.5)), 0, sourceLength - 1);
      weights[0] = 1.0f;
      continue;
    }
    const int start = int(std::floor(centre - radius)) + 1;
    double total = 0;
    for (int k = 0; k < taps.perTarget; ++k) {
      const double w = KeysCubic((start + k - centre) / widen);
      sources[k] = std::clamp(start + k, 0, sourceLength - 1);
      weights[k] = float(w);
      total += w;
    }
    for (int k = 0; k < taps.perTarget; ++k) weights[k] = float(weights[k] / total);
  }
}

// One pixel's blue, green, red and unused channels as four floats; the
// compiler keeps it in one vector register.
typedef float Channels __attribute__((vector_size(16)));

inline Channels FromPixel(uint32_t pixel) {
  return Channels{float(pixel & 0xFF), float((pixel >> 8) & 0xFF), float((pixel >> 16) & 0xFF), 0};
}

typedef int32_t Lanes __attribute__((vector_size(16)));

// Rounds and clamps the channels back into an opaque pixel.
inline uint32_t ToPixel(Channels c) {
  const Channels zero = {0, 0, 0, 0}, top = {255, 255, 255, 255}, half = {0.5f, 0.5f, 0.5f, 0.5f};
  c = c < zero ? zero : c;
  c = c > top ? top : c;
  const Lanes v = __builtin_convertvector(c + half, Lanes);
  return 0xFF000000u | uint32_t(v[0]) | uint32_t(v[1]) << 8 | uint32_t(v[2]) << 16;
}

// Filters one source row across: out[i] = sum of weights x source pixels.
// Tap by tap over the whole row, so consecutive additions are independent.
void FilterRow(const uint32_t* pixels, int sourceWidth, const AxisTaps& columns, int width,
               std::vector<Channels>& converted, Channels* out) {
  for (int x = 0; x < sourceWidth; ++x) converted[size_t(x)] = FromPixel(pixels[x]);
  const int perTarget = columns.perTarget;
  for (int i = 0; i < width; ++i) out[i] = Channels{0, 0, 0, 0};
  for (int k = 0; k < perTarget; ++k) {
    const int* taps = &columns.source[size_t(k)];
    const float* weights = &columns.weight[size_t(k)];
    for (int i = 0; i < width; ++i) {
      out[i] += converted[size_t(taps[size_t(i) * perTarget])] * weights[size_t(i) * perTarget];
    }
  }
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

  AxisTaps columns, rows;
  std::vector<Channels> converted, horizontal;
  std::vector<const Channels*> in;
  int sourceTop = 0;
  try {
    BuildTaps(from.Width, to.Width, firstColumn, lastColumn, filter, columns);
    BuildTaps(from.Height, to.Height, firstRow, lastRow, filter, rows);
    const auto [lowest, highest] = std::minmax_element(rows.source.begin(), rows.source.end());
    sourceTop = *lowest;
    const int sourceRows = *highest - *lowest + 1;
    if (int64_t{sourceRows} * width > kMaxIntermediatePixels) return false;
    converted.resize(size_t(from.Width));
    horizontal.resize(size_t(sourceRows) * width);
    in.resize(size_t(rows.perTarget));
    // Rows pass: every source row some target row needs, filtered across,
    // before anything is written (source and target may be one surface).
    for (int r = 0; r < sourceRows; ++r) {
      FilterRow(source.Row(from.Y + sourceTop + r) + from.X, from.Width, columns, width, converted,
                &horizontal[size_t(r) * width]);
    }
  } catch (const std::bad_alloc&) {
    return false;
  }

  // Columns pass: each target row is a weighted sum of whole filtered rows.
  for (int j = firstRow; j < lastRow; ++j) {
    const int* taps = &rows.source[size_t(j - firstRow) * rows.perTarget];
    const float* weights = &rows.weight[size_t(j - firstRow) * rows.perTarget];
    for (int k = 0; k < rows.perTarget; ++k) {
      in[k] = &horizontal[size_t(taps[k] - sourceTop) * width];
    }
    uint32_t* out = target.Row(to.Y + j) + to.X + firstColumn;
    for (int i = 0; i < width; ++i) {
      Channels sum = {0, 0, 0, 0};
      for (int k = 0; k < rows.perTarget; ++k) sum += in[k][i] * weights[k];
      out[i] = ToPixel(sum);
    }
  }
  target.MarkDirty(to.X + firstColumn, to.Y + firstRow, width, lastRow - firstRow);
  return true;
}

}  // namespace Gdiplus::Internal

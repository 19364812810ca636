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
constexpr int kChannels = 4;  // blue, green, red, unused: floats per pixel

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
  taps.perTarget = filter == ResampleFilter::Bicubic ? int(std::ceil(radius)) * 2 + 1 : 1;
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

inline uint32_t ToPixel(const float* c) {
  uint32_t pixel = 0xFF000000u;
  for (int channel = 0; channel < 3; ++channel) {
    const float v = std::clamp(c[channel], 0.0f, 255.0f);
    pixel |= uint32_t(v + 0.5f) << (8 * channel);
  }
  return pixel;
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
  std::vector<float> sourceRow, horizontal;
  int sourceTop = 0;
  try {
    BuildTaps(from.Width, to.Width, firstColumn, lastColumn, filter, columns);
    BuildTaps(from.Height, to.Height, firstRow, lastRow, filter, rows);
    const auto [lowest, highest] = std::minmax_element(rows.source.begin(), rows.source.end());
    sourceTop = *lowest;
    const int sourceRows = *highest - *lowest + 1;
    sourceRow.resize(size_t(from.Width) * kChannels);
    horizontal.resize(size_t(sourceRows) * width * kChannels);

    // Rows pass: every source row that some target row needs, filtered
    // across into `horizontal`, before anything is written (source and
    // target may be one surface).
    for (int r = 0; r < sourceRows; ++r) {
      const uint32_t* pixels = source.Row(from.Y + sourceTop + r) + from.X;
      for (int x = 0; x < from.Width; ++x) {
        for (int channel = 0; channel < kChannels; ++channel) {
          sourceRow[size_t(x) * kChannels + channel] = float((pixels[x] >> (8 * channel)) & 0xFF);
        }
      }
      float* out = &horizontal[size_t(r) * width * kChannels];
      for (int i = 0; i < width; ++i, out += kChannels) {
        const int* taps = &columns.source[size_t(i) * columns.perTarget];
        const float* weights = &columns.weight[size_t(i) * columns.perTarget];
        float sum[kChannels] = {0, 0, 0, 0};
        for (int k = 0; k < columns.perTarget; ++k) {
          const float* in = &sourceRow[size_t(taps[k]) * kChannels];
          for (int channel = 0; channel < kChannels; ++channel)
            sum[channel] += in[channel] * weights[k];
        }
        for (int channel = 0; channel < kChannels; ++channel) out[channel] = sum[channel];
      }
    }
  } catch (const std::bad_alloc&) {
    return false;
  }

  // Columns pass, straight into the target.
  const size_t rowFloats = size_t(width) * kChannels;
  for (int j = firstRow; j < lastRow; ++j) {
    const int* taps = &rows.source[size_t(j - firstRow) * rows.perTarget];
    const float* weights = &rows.weight[size_t(j - firstRow) * rows.perTarget];
    uint32_t* out = target.Row(to.Y + j) + to.X + firstColumn;
    for (int i = 0; i < width; ++i) {
      float sum[kChannels] = {0, 0, 0, 0};
      for (int k = 0; k < rows.perTarget; ++k) {
        const float* in =
            &horizontal[size_t(taps[k] - sourceTop) * rowFloats + size_t(i) * kChannels];
        for (int channel = 0; channel < kChannels; ++channel)
          sum[channel] += in[channel] * weights[k];
      }
      out[i] = ToPixel(sum);
    }
  }
  target.MarkDirty(to.X + firstColumn, to.Y + firstRow, width, lastRow - firstRow);
  return true;
}

}  // namespace Gdiplus::Internal

#include "tools/spoken_challenge/resampler.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <numeric>

namespace {

// Cutoff as a share of the lower Nyquist frequency: the rest is the filter's
// transition band.
constexpr double kCutoffShare = 0.9;

double Sinc(double x) {
  if (x == 0) return 1;
  const double px = std::numbers::pi * x;
  return std::sin(px) / px;
}

// Blackman window over [-halfWidth, halfWidth].
double Window(double x, double halfWidth) {
  if (std::abs(x) >= halfWidth) return 0;
  const double t = std::numbers::pi * (x / halfWidth + 1);  // 0..2π
  return 0.42 - 0.5 * std::cos(t) + 0.08 * std::cos(2 * t);
}

}  // namespace

Resampler::Resampler(int fromRate, int toRate) : fromRate_(fromRate), toRate_(toRate) {
  const int common = std::gcd(fromRate, toRate);
  step_ = fromRate / common;
  phases_ = toRate / common;
  // Cutoff in cycles per input sample.
  const double cutoff = kCutoffShare * 0.5 * std::min(1.0, double(toRate) / fromRate);
  const double halfWidth = kTaps / 2.0;
  taps_.resize(static_cast<size_t>(phases_) * kTaps);
  for (int phase = 0; phase < phases_; ++phase) {
    const double fraction =
        double(phase) / phases_;  // output lies this far past input tap kTaps/2-1
    double sum = 0;
    for (int k = 0; k < kTaps; ++k) {
      const double distance = (k - (kTaps / 2 - 1)) - fraction;
      const double tap = 2 * cutoff * Sinc(2 * cutoff * distance) * Window(distance, halfWidth);
      taps_[phase * kTaps + k] = static_cast<float>(tap);
      sum += tap;
    }
    // Unit gain at DC for every phase, so a constant stays constant.
    for (int k = 0; k < kTaps; ++k) taps_[phase * kTaps + k] /= static_cast<float>(sum);
  }
}

std::vector<float> Resampler::Convert(const std::vector<float>& input) const {
  const size_t count = input.size() * static_cast<size_t>(toRate_) / static_cast<size_t>(fromRate_);
  std::vector<float> output(count);
  const auto size = static_cast<ptrdiff_t>(input.size());
  for (size_t n = 0; n < count; ++n) {
    const size_t position = n * static_cast<size_t>(step_);
    const auto base = static_cast<ptrdiff_t>(position / phases_);
    const float* taps = &taps_[(position % phases_) * kTaps];
    float sum = 0;
    for (int k = 0; k < kTaps; ++k) {
      const ptrdiff_t at = base + k - (kTaps / 2 - 1);
      if (at >= 0 && at < size) sum += input[at] * taps[k];
    }
    output[n] = sum;
  }
  return output;
}

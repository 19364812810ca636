// Sample-rate conversion by a fixed rational ratio (espeak-ng's 22,050 Hz to
// the challenge's 16,000 Hz): a windowed-sinc filter whose taps for every
// fractional position are computed once, when the resampler is made, so
// converting costs kTaps multiply-adds per output sample. The filter's cutoff
// sits below the lower of the two Nyquist frequencies, so nothing folds back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class Resampler {
 public:
  // Converts from `fromRate` to `toRate` samples per second (both > 0).
  Resampler(int fromRate, int toRate);

  // The samples of `input` at the new rate: input.size() * toRate / fromRate
  // of them, rounded down.
  std::vector<float> Convert(const std::vector<float>& input) const;

  int FromRate() const { return fromRate_; }
  int ToRate() const { return toRate_; }

 private:
  static constexpr int kTaps = 32;  // 16 each side: about 60 dB stop band with the window
  int fromRate_;
  int toRate_;
  int step_;                 // input positions advance step_/phases_ per output sample
  int phases_;               // distinct fractional positions (toRate / gcd)
  std::vector<float> taps_;  // phases_ rows of kTaps
};

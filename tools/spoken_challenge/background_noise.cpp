#include "tools/spoken_challenge/background_noise.h"

#include <cmath>
#include <cstdint>
#include <numbers>

namespace {

// The low-passed part rolls off above this, where speech has little energy.
constexpr double kLowPassHz = 1500;
// Weights of the white and the low-passed part before scaling to the level.
constexpr float kWhiteWeight = 0.5F;
constexpr float kLowPassedWeight = 1.5F;

}  // namespace

double RootMeanSquare(const std::vector<float>& samples, size_t begin, size_t end) {
  if (end <= begin) return 0;
  double sum = 0;
  for (size_t i = begin; i < end; ++i) sum += double(samples[i]) * samples[i];
  return std::sqrt(sum / double(end - begin));
}

std::vector<float> BackgroundNoise(size_t count, float rms, int sampleRate, const NoiseSeed& seed) {
  std::vector<float> noise(count, 0.0F);
  if (count == 0 || rms <= 0) return noise;
  std::vector<uint32_t> bits(count);
  randombytes_buf_deterministic(bits.data(), bits.size() * sizeof(uint32_t), seed.data());
  const auto keep = static_cast<float>(std::exp(-2 * std::numbers::pi * kLowPassHz / sampleRate));
  float lowPassed = 0;
  for (size_t i = 0; i < count; ++i) {
    const float white = static_cast<float>(bits[i]) / 2147483648.0F - 1.0F;  // [-1, 1)
    lowPassed = keep * lowPassed + (1 - keep) * white;
    noise[i] = kWhiteWeight * white + kLowPassedWeight * lowPassed;
  }
  const double measured = RootMeanSquare(noise, 0, count);
  if (measured == 0) return noise;
  const auto scale = static_cast<float>(rms / measured);
  for (float& sample : noise) sample *= scale;
  return noise;
}

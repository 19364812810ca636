// The noise under a spoken challenge: white noise mixed with a low-passed copy
// of itself, so that it covers the band where speech carries its energy, made
// from a seed by libsodium's deterministic stream (the same seed, the same
// noise; a seed from the system's random source, noise nobody can predict).
#pragma once

#include <sodium.h>

#include <array>
#include <cstddef>
#include <vector>

using NoiseSeed = std::array<unsigned char, randombytes_SEEDBYTES>;

// `count` samples (full scale 1.0) whose root mean square is `rms`; all zero
// when `rms` is 0.
std::vector<float> BackgroundNoise(size_t count, float rms, int sampleRate, const NoiseSeed& seed);

// Root mean square of samples [begin, end) of `samples`; 0 for an empty span.
double RootMeanSquare(const std::vector<float>& samples, size_t begin, size_t end);

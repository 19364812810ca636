// The RIFF WAVE file of 16-bit PCM mono samples, as browsers and players
// read it: a 44-byte header (RIFF, "fmt " with format 1, "data") and the
// samples little-endian. Written here because it is a header and a copy; a
// library would bring nothing but a dependency.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

constexpr size_t kWavHeaderBytes = 44;

// The whole file: header and samples.
std::string WavFile(const std::vector<int16_t>& samples, int sampleRate);

#include "tools/spoken_challenge/wav_file.h"

namespace {

constexpr uint16_t kPcmFormat = 1;
constexpr uint16_t kChannels = 1;
constexpr uint16_t kBitsPerSample = 16;
constexpr uint16_t kBytesPerFrame = kChannels * kBitsPerSample / 8;
constexpr uint32_t kFormatChunkBytes = 16;

void PutLittleEndian(std::string& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

}  // namespace

std::string WavFile(const std::vector<int16_t>& samples, int sampleRate) {
  const auto dataBytes = static_cast<uint32_t>(samples.size() * kBytesPerFrame);
  std::string file;
  file.reserve(kWavHeaderBytes + dataBytes);
  file += "RIFF";
  PutLittleEndian(file, static_cast<uint32_t>(kWavHeaderBytes - 8) + dataBytes, 4);
  file += "WAVEfmt ";
  PutLittleEndian(file, kFormatChunkBytes, 4);
  PutLittleEndian(file, kPcmFormat, 2);
  PutLittleEndian(file, kChannels, 2);
  PutLittleEndian(file, static_cast<uint32_t>(sampleRate), 4);
  PutLittleEndian(file, static_cast<uint32_t>(sampleRate) * kBytesPerFrame, 4);
  PutLittleEndian(file, kBytesPerFrame, 2);
  PutLittleEndian(file, kBitsPerSample, 2);
  file += "data";
  PutLittleEndian(file, dataBytes, 4);
  for (int16_t sample : samples) PutLittleEndian(file, static_cast<uint16_t>(sample), 2);
  return file;
}

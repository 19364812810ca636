// Independent decoders for the tests: libjpeg and giflib read what the
// component's encoders wrote, so a test can check that a file is complete and
// what size it has.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct DecodedImage {
  bool ok = false;
  int width = 0;
  int height = 0;
};

DecodedImage DecodeJpeg(const std::vector<uint8_t>& bytes);
DecodedImage DecodeGif(const std::vector<uint8_t>& bytes);
std::vector<uint8_t> ReadFileBytes(const std::string& path);

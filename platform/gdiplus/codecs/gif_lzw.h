// GIF's variant of LZW compression: variable-width codes from 3 to 12 bits,
// packed least significant bit first into sub-blocks of at most 255 bytes.
// gif_encoder.cpp feeds it one row of palette indices at a time; the
// compressor owns its dictionary and appends to the caller's byte vector.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace Gdiplus::Internal {

// Hidden: its calls stay direct inside the library.
class [[gnu::visibility("hidden")]] GifLzwCompressor {
 public:
  // Starts an image's data in `out`: the minimum code size byte (`bits`
  // per index, at least 2), then a clear code. Throws std::bad_alloc.
  GifLzwCompressor(int bits, std::vector<uint8_t>& out);

  // Compresses `count` indices, each below 1 << bits. Throws std::bad_alloc.
  // Cost: one dictionary probe (a few instructions) per index.
  void Add(const uint8_t* indices, size_t count);

  // Ends the data: the pending code, end-of-information, the last partial
  // byte and sub-block, and the zero-length block. Throws std::bad_alloc.
  void Finish();

 private:
  static constexpr int kMaxCodeBits = 12;
  static constexpr uint32_t kMaxCode = (1u << kMaxCodeBits) - 1;
  // Open-addressing dictionary of (prefix code, index) -> code, a power of
  // two at least twice the largest number of entries.
  static constexpr int kTableBits = 13;
  static constexpr uint32_t kNoEntry = 0xFFFFFFFFu;

  void Output(uint32_t code);
  void Reset();
  // Appends the filled part of block_ as one sub-block.
  void EndSubBlock();

  std::vector<uint8_t>& out_;
  const int minimumBits_;
  const uint32_t clearCode_;
  // Entries are key << kMaxCodeBits | code, key = prefix << 8 | index.
  std::vector<uint32_t> table_;
  uint32_t nextCode_ = 0;  // the code the next new string gets
  int codeBits_ = 0;
  uint32_t widenAt_ = 0;         // codes become one bit wider once nextCode_ reaches this
  uint32_t current_ = kNoEntry;  // code of the string matched so far
  uint64_t bitBuffer_ = 0;
  int bitCount_ = 0;
  static constexpr size_t kMaxSubBlock = 255;
  uint8_t block_[kMaxSubBlock];  // the sub-block being filled
  size_t blockLength_ = 0;
};

}  // namespace Gdiplus::Internal

// The GIF LZW compressor. Its code stream matches giflib's bit for bit: a
// clear code first, widening after the code written when the next free code
// reaches the current width's limit, and a clear code (rather than a frozen
// dictionary) once code 4095 would be handed out.
#include "gdiplus/codecs/gif_lzw.h"

#include <algorithm>

namespace Gdiplus::Internal {
namespace {

constexpr int kMinimumCodeSize = 2;

}  // namespace

void GifLzwCompressor::EndSubBlock() {
  out_.push_back(uint8_t(blockLength_));
  out_.insert(out_.end(), block_, block_ + blockLength_);
  blockLength_ = 0;
}

// Inlined into the compressing loop: it runs once per code.
[[gnu::always_inline]] inline void GifLzwCompressor::Output(uint32_t code) {
  bitBuffer_ |= uint64_t(code) << bitCount_;
  bitCount_ += codeBits_;
  while (bitCount_ >= 8) {
    block_[blockLength_++] = uint8_t(bitBuffer_);
    bitBuffer_ >>= 8;
    bitCount_ -= 8;
    if (blockLength_ == kMaxSubBlock) EndSubBlock();
  }
  if (nextCode_ >= widenAt_ && code <= kMaxCode) widenAt_ = 1u << ++codeBits_;
}

GifLzwCompressor::GifLzwCompressor(int bits, std::vector<uint8_t>& out)
    : out_(out),
      minimumBits_(std::max(bits, kMinimumCodeSize)),
      clearCode_(1u << minimumBits_),
      table_(size_t{1} << kTableBits, kNoEntry) {
  out_.push_back(uint8_t(minimumBits_));
  Reset();
  Output(clearCode_);
}

void GifLzwCompressor::Reset() {
  nextCode_ = clearCode_ + 2;
  codeBits_ = minimumBits_ + 1;
  widenAt_ = 1u << codeBits_;
}

void GifLzwCompressor::Add(const uint8_t* indices, size_t count) {
  if (count == 0) return;
  size_t i = 0;
  if (current_ == kNoEntry) current_ = indices[i++];
  constexpr uint32_t kTableMask = (1u << kTableBits) - 1;
  uint32_t* const table = table_.data();
  // The loop keeps the matched string's code in a local: stores into the
  // table (and into the output block, bytes that may alias anything) would
  // otherwise make the compiler write it back and read it again per index.
  uint32_t current = current_;
  for (; i < count; ++i) {
    const uint32_t key = current << 8 | indices[i];
    uint32_t slot = (key * 0x9E3779B1u) >> (32 - kTableBits);
    uint32_t entry;
    while ((entry = table[slot]) != kNoEntry && entry >> kMaxCodeBits != key) {
      slot = (slot + 1) & kTableMask;
    }
    if (entry != kNoEntry) {
      current = entry & kMaxCode;
      continue;
    }
    Output(current);
    current = indices[i];
    if (nextCode_ >= kMaxCode) {
      Output(clearCode_);
      Reset();
      std::fill(table_.begin(), table_.end(), kNoEntry);
    } else {
      table[slot] = key << kMaxCodeBits | nextCode_++;
    }
  }
  current_ = current;
}

void GifLzwCompressor::Finish() {
  if (current_ != kNoEntry) Output(current_);
  Output(clearCode_ + 1);
  if (bitCount_ > 0) {
    block_[blockLength_++] = uint8_t(bitBuffer_);
    bitBuffer_ = 0;
    bitCount_ = 0;
  }
  if (blockLength_ > 0) EndSubBlock();
  EndSubBlock();  // empty: the terminator
}

}  // namespace Gdiplus::Internal

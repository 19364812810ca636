// The GIF LZW compressor. Its code stream matches giflib's bit for bit: a
// clear code first, widening after the code written when the next free code
// reaches the current width's limit, and a clear code (rather than a frozen
// dictionary) once code 4095 would be handed out.
#include "gdiplus/codecs/gif_lzw.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace Gdiplus::Internal {
namespace {

constexpr int kMinimumCodeSize = 2;

// The packer stores its bit buffer whole: its low byte must land first.
static_assert(std::endian::native == std::endian::little);

}  // namespace

// The compressor's state as locals: stores through the output's byte
// pointer may alias anything, so members would be written back and read
// again per index; locals whose address is never taken stay in registers.
struct GifLzwCompressor::Coder {
  uint8_t* out;  // the next byte of codes_ to fill
  uint64_t bits;
  int bitCount;
  int codeBits;
  uint32_t nextCode;
  uint32_t widenAt;

  // Appends `code` at the current width: whole bytes are stored eight at a
  // time (the buffer holds at most 7 + 12 bits, so one store takes them
  // all) and the pointer moves on by as many as were whole.
  [[gnu::always_inline]] void Emit(uint32_t code) {
    bits |= uint64_t(code) << bitCount;
    bitCount += codeBits;
    std::memcpy(out, &bits, sizeof bits);
    const int whole = bitCount >> 3;
    out += whole;
    bits >>= whole * 8;
    bitCount &= 7;
    if (nextCode >= widenAt) widenAt = 1u << ++codeBits;
  }
};

GifLzwCompressor::GifLzwCompressor(int bits, std::vector<uint8_t>& out)
    : out_(out),
      minimumBits_(std::max(bits, kMinimumCodeSize)),
      clearCode_(1u << minimumBits_),
      table_(size_t{1} << kTableBits, kNoEntry) {
  out_.push_back(uint8_t(minimumBits_));
  nextCode_ = clearCode_ + 2;
  codeBits_ = minimumBits_ + 1;
  widenAt_ = 1u << codeBits_;
  Reserve(1);
  Coder coder = Load();
  coder.Emit(clearCode_);
  Store(coder);
}

GifLzwCompressor::Coder GifLzwCompressor::Load() const {
  return {const_cast<uint8_t*>(codes_.data()) + codesLength_,
          bitBuffer_,
          bitCount_,
          codeBits_,
          nextCode_,
          widenAt_};
}

void GifLzwCompressor::Store(const Coder& coder) {
  codesLength_ = size_t(coder.out - codes_.data());
  bitBuffer_ = coder.bits;
  bitCount_ = coder.bitCount;
  codeBits_ = coder.codeBits;
  nextCode_ = coder.nextCode;
  widenAt_ = coder.widenAt;
}

void GifLzwCompressor::Reserve(size_t codes) {
  const size_t needed = codesLength_ + (codes + 1) * kBytesPerCode + kStoreSlack;
  if (codes_.size() < needed) codes_.resize(std::max(needed, 2 * codes_.size()));
}

void GifLzwCompressor::Add(const uint32_t* ids, const uint8_t* indexOf, size_t count) {
  if (count == 0) return;
  size_t i = 0;
  if (current_ == kNoEntry) current_ = indexOf[ids[i++]];
  // Each index writes at most one code, and a clear code follows at most
  // one in kMaxCode of them.
  Reserve(count + count / kMaxCode + 1);
  constexpr uint32_t kTableMask = (1u << kTableBits) - 1;
  uint32_t* const table = table_.data();
  Coder coder = Load();
  uint32_t current = current_;
  for (; i < count; ++i) {
    const uint32_t index = indexOf[ids[i]];
    // No key equals kNoEntry's: prefixes stay below kMaxCode.
    const uint32_t key = current << 8 | index;
    uint32_t slot = (key * 0x9E3779B1u) >> (32 - kTableBits);
    uint32_t entry = table[slot];
    bool found;
    while (!(found = entry >> kMaxCodeBits == key) && entry != kNoEntry) {
      slot = (slot + 1) & kTableMask;
      entry = table[slot];
    }
    if (found) {
      current = entry & kMaxCode;
      continue;
    }
    coder.Emit(current);
    current = index;
    if (coder.nextCode >= kMaxCode) {
      coder.Emit(clearCode_);
      coder.nextCode = clearCode_ + 2;
      coder.codeBits = minimumBits_ + 1;
      coder.widenAt = 1u << coder.codeBits;
      std::fill(table_.begin(), table_.end(), kNoEntry);
    } else {
      table[slot] = key << kMaxCodeBits | coder.nextCode++;
    }
  }
  current_ = current;
  Store(coder);
}

void GifLzwCompressor::Finish() {
  Reserve(2);
  Coder coder = Load();
  if (current_ != kNoEntry) coder.Emit(current_);
  coder.Emit(clearCode_ + 1);
  if (coder.bitCount > 0) {
    *coder.out++ = uint8_t(coder.bits);
    coder.bits = 0;
    coder.bitCount = 0;
  }
  Store(coder);
  out_.reserve(out_.size() + codesLength_ + codesLength_ / kMaxSubBlock + 2);
  for (size_t start = 0; start < codesLength_; start += kMaxSubBlock) {
    const size_t length = std::min(kMaxSubBlock, codesLength_ - start);
    out_.push_back(uint8_t(length));
    out_.insert(out_.end(), codes_.begin() + ptrdiff_t(start),
                codes_.begin() + ptrdiff_t(start + length));
  }
  out_.push_back(0);  // the terminator
}

}  // namespace Gdiplus::Internal

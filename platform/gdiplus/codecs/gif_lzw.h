// GIF's variant of LZW compression: variable-width codes from 3 to 12 bits,
// packed least significant bit first into sub-blocks of at most 255 bytes.
// gif_encoder.cpp feeds it the picture's palette indices; the
// compressor owns its packed code stream and appends it, cut into
// sub-blocks, to the caller's byte vector at Finish. Its dictionary is the
// thread's (136 KiB, made on the thread's first GIF and freed when the
// thread ends), lent for the compressor's lifetime (see gif_lzw.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace Gdiplus::Internal {

// Hidden: its calls stay direct inside the library.
class [[gnu::visibility("hidden")]] GifLzwCompressor {
 public:
  // Starts an image's data in `out`: the minimum code size byte (`bits`
  // per index, at least 2); a clear code opens the code stream. Throws
  // std::bad_alloc.
  GifLzwCompressor(int bits, std::vector<uint8_t>& out);
  ~GifLzwCompressor();
  GifLzwCompressor(const GifLzwCompressor&) = delete;
  GifLzwCompressor& operator=(const GifLzwCompressor&) = delete;

  // Compresses `count` palette indices, indexOf[ids[i]], each below
  // 1 << bits: the encoder's pixels as colour ids, mapped to their entries
  // on the way (no index copy of the picture). Throws std::bad_alloc.
  // Cost: one dictionary probe (a few instructions) per index.
  void Add(const uint32_t* ids, const uint8_t* indexOf, size_t count);

  // Ends the data: the pending code, end-of-information and the last
  // partial byte; then the code stream in sub-blocks and the zero-length
  // block go to `out`. Throws std::bad_alloc.
  void Finish();

 private:
  static constexpr int kMaxCodeBits = 12;
  static constexpr uint32_t kMaxCode = (1u << kMaxCodeBits) - 1;
  static constexpr uint32_t kNoEntry = 0xFFFFFFFFu;
  static constexpr size_t kMaxSubBlock = 255;
  // Bytes of the code stream one code may need (12 bits, rounded up), and
  // the slack past them for the packer's 8-byte stores.
  static constexpr size_t kBytesPerCode = 2;
  static constexpr size_t kStoreSlack = 8;

  class Dictionary;  // (prefix code, index) -> code
  struct Coder;      // the state the compressing loop keeps in registers
  Coder Load() const;
  void Store(const Coder& coder);
  // Room for `codes` more codes in codes_.
  void Reserve(size_t codes);

  std::vector<uint8_t>& out_;
  const int minimumBits_;
  const uint32_t clearCode_;
  std::unique_ptr<Dictionary> ownDictionary_;  // only when the thread's is lent already
  Dictionary* dictionary_;
  std::vector<uint8_t> codes_;  // the packed stream; codesLength_ bytes are whole
  size_t codesLength_ = 0;
  uint32_t nextCode_ = 0;  // the code the next new string gets
  int codeBits_ = 0;
  uint32_t widenAt_ = 0;         // codes become one bit wider once nextCode_ reaches this
  uint32_t current_ = kNoEntry;  // code of the string matched so far
  uint64_t bitBuffer_ = 0;       // bits not yet whole bytes, at most 7
  int bitCount_ = 0;
};

}  // namespace Gdiplus::Internal

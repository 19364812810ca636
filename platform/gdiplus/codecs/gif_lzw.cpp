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

// Open addressing over keys prefix << 8 | index, with eight times as many
// slots as a dictionary ever holds codes, so that a probe nearly always ends
// at its first slot. A compressor leaves every slot empty behind it, emptying
// only those its codes filled: the thread keeps one dictionary for all its
// images instead of making and sweeping a table per image.
class GifLzwCompressor::Dictionary {
 public:
  static constexpr int kSlotBits = 15;
  static constexpr uint32_t kSlotMask = (1u << kSlotBits) - 1;

  Dictionary() { std::fill(std::begin(slots), std::end(slots), kNoEntry); }

  // The calling thread's, made on its first GIF and freed with the thread.
  static std::unique_ptr<Dictionary>& OfThread() {
    thread_local std::unique_ptr<Dictionary> dictionary;
    return dictionary;
  }

  // Where the probe for (prefix, index) starts. The prefix, which the
  // previous probe has just found, is only shifted: the index, known ahead,
  // is hashed (codes of one index land eight slots apart, those of one prefix
  // anywhere), so that each probe waits on the last as briefly as can be.
  static uint32_t SlotOf(uint32_t prefix, uint32_t index) {
    static_assert(kSlotBits - kMaxCodeBits == 3);
    return prefix << 3 ^ (index * 0x9E3779B1u) >> (32 - kSlotBits);
  }

  // All ones when `value` is a code (below 1 << kMaxCodeBits), else 0.
  static uint32_t IsCode(uint32_t value) {
    return uint32_t((int64_t{value} - int64_t{kMaxCode} - 1) >> 63);
  }

  // Empties the slots of codes [first, end).
  void Empty(uint32_t first, uint32_t end) {
    for (uint32_t code = first; code < end; ++code) slots[slotOf[code]] = kNoEntry;
  }

  // Entries are key << kMaxCodeBits | code; kNoEntry is an empty slot (no
  // key reaches its high bits: prefixes stay below kMaxCode).
  uint32_t slots[size_t{1} << kSlotBits];
  uint16_t slotOf[kMaxCode + 1];  // by code: the slot its entry took
  bool lent = false;
};

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
  [[gnu::always_inline]] void Emit(uint32_t code) { EmitIf(~0u, code); }

  // Emit when `mask` is all ones; when it is zero, only stores the bits
  // pending again (the next store overwrites them) and changes nothing.
  // Codes widen only after an emitted code, and seldom: that branch is
  // predicted.
  [[gnu::always_inline]] void EmitIf(uint32_t mask, uint32_t code) {
    bits |= uint64_t(code & mask) << bitCount;
    bitCount += codeBits & int(mask);
    std::memcpy(out, &bits, sizeof bits);
    const int whole = bitCount >> 3;
    out += whole;
    bits >>= whole * 8;
    bitCount &= 7;
    if ((mask & (nextCode >= widenAt)) != 0) [[unlikely]]
      widenAt = 1u << ++codeBits;
  }
};

GifLzwCompressor::GifLzwCompressor(int bits, std::vector<uint8_t>& out)
    : out_(out), minimumBits_(std::max(bits, kMinimumCodeSize)), clearCode_(1u << minimumBits_) {
  auto& threads = Dictionary::OfThread();
  if (threads == nullptr) threads = std::make_unique<Dictionary>();
  if (threads->lent) ownDictionary_ = std::make_unique<Dictionary>();
  dictionary_ = ownDictionary_ != nullptr ? ownDictionary_.get() : threads.get();
  dictionary_->lent = true;
  out_.push_back(uint8_t(minimumBits_));
  nextCode_ = clearCode_ + 2;
  codeBits_ = minimumBits_ + 1;
  widenAt_ = 1u << codeBits_;
  Reserve(1);
  Coder coder = Load();
  coder.Emit(clearCode_);
  Store(coder);
}

GifLzwCompressor::~GifLzwCompressor() {
  dictionary_->Empty(clearCode_ + 2, nextCode_);
  dictionary_->lent = false;
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
  uint32_t* const slots = dictionary_->slots;
  uint16_t* const slotOf = dictionary_->slotOf;
  Coder coder = Load();
  uint32_t current = current_;
  for (; i < count; ++i) {
    const uint32_t index = indexOf[ids[i]];
    const uint32_t key = current << 8 | index;
    uint32_t slot = Dictionary::SlotOf(current, index);
    uint32_t entry = slots[slot];
    // Whether the string ends here is as good as random from pixel to
    // pixel: both outcomes are worked out and one kept by masks (in
    // integers, which compilers do not turn back into branches) and, for
    // the next prefix, by a conditional move, where a branch would be
    // mispredicted at every other code. `match` is the entry's code when
    // the entry is key's.
    uint32_t match = entry ^ key << kMaxCodeBits;
    uint32_t goesOn = Dictionary::IsCode(match);
    if (((goesOn + 1) & (entry != kNoEntry)) != 0) [[unlikely]] {
      do {  // another key's slot: probe on
        slot = (slot + 1) & Dictionary::kSlotMask;
        entry = slots[slot];
        match = entry ^ key << kMaxCodeBits;
        goesOn = Dictionary::IsCode(match);
      } while (((goesOn + 1) & (entry != kNoEntry)) != 0);
    }
    const uint32_t ends = goesOn + 1;  // 1 or 0
    if ((ends & (coder.nextCode >= kMaxCode)) != 0) [[unlikely]] {
      coder.Emit(current);
      coder.Emit(clearCode_);
      dictionary_->Empty(clearCode_ + 2, coder.nextCode);
      coder.nextCode = clearCode_ + 2;
      coder.codeBits = minimumBits_ + 1;
      coder.widenAt = 1u << coder.codeBits;
      current = index;
      continue;
    }
    coder.EmitIf(~goesOn, current);
    slots[slot] = entry ^ ((entry ^ (key << kMaxCodeBits | coder.nextCode)) & ~goesOn);
    slotOf[coder.nextCode] = uint16_t(slot);
    coder.nextCode += ends;
    current = match > kMaxCode ? index : match;
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

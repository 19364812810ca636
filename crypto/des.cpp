#include "crypto/des.h"

#include <array>
#include <cstdint>

#include "crypto/des_standard_tables.h"

namespace {

namespace fips = des_standard;

static_assert(kDesRoundCount == fips::kRounds);

using Word = std::uint32_t;
using SBoxPTable = std::array<std::array<Word, 64>, 8>;

// Rotations for counts 0..31 (the masked count keeps a zero count defined).
constexpr Word RotateLeft(Word value, int count) {
  return (value << count) | (value >> ((32 - count) & 31));
}
constexpr Word RotateRight(Word value, int count) {
  return (value >> count) | (value << ((32 - count) & 31));
}

// Bit `position` (1 = most significant) of a `width`-bit value.
constexpr std::uint64_t BitOf(std::uint64_t value, int position, int width) {
  return (value >> (width - position)) & 1u;
}

// Applies a permutation table the slow way: output bit i (from the top) is
// input bit table[i]. Used only to derive and prove the fast forms below.
constexpr std::uint64_t PermuteBits(std::uint64_t input, int inputWidth, const int* table,
                                    int outputWidth) {
  std::uint64_t output = 0;
  for (int i = 0; i < outputWidth; ++i) output = (output << 1) | BitOf(input, table[i], inputWidth);
  return output;
}

// ---------------------------------------------------------------------------
// S-boxes merged with P.
//
// Entry v of table i is P applied to the four output bits of S-box i+1 for the
// six-bit input v (first input bit as bit 5), placed where f puts them, then
// rotated left by one bit, the form the halves keep through the rounds: in it
// each S-box's six expanded input bits are one contiguous field of the half.
constexpr SBoxPTable MakeSBoxPTables() {
  SBoxPTable tables{};
  for (int box = 0; box < 8; ++box) {
    for (int v = 0; v < 64; ++v) {
      const int row = ((v >> 4) & 2) | (v & 1);
      const int column = (v >> 1) & 0xF;
      const Word sOutput = static_cast<Word>(fips::kSBoxes[box][row * 16 + column]);
      const Word beforeP = sOutput << (28 - 4 * box);
      const Word afterP = static_cast<Word>(PermuteBits(beforeP, 32, fips::kPermutationP, 32));
      tables[box][v] = RotateLeft(afterP, 1);
    }
  }
  return tables;
}
constexpr SBoxPTable kSBoxP = MakeSBoxPTables();

// ---------------------------------------------------------------------------
// Initial and final permutations as masked exchanges of bit groups between
// the two halves (each exchange is its own inverse, so the final permutation
// runs the same exchanges backwards).
struct Halves {
  Word left;
  Word right;
};

// Swaps the bits of `a` selected by `mask << shift` with the bits of `b`
// selected by `mask`.
constexpr void ExchangeBits(Word& a, Word& b, int shift, Word mask) {
  const Word t = ((a >> shift) ^ b) & mask;
  b ^= t;
  a ^= t << shift;
}

constexpr Halves InitialPermutation(Halves h) {
  ExchangeBits(h.left, h.right, 4, 0x0F0F0F0Fu);
  ExchangeBits(h.left, h.right, 16, 0x0000FFFFu);
  ExchangeBits(h.right, h.left, 2, 0x33333333u);
  ExchangeBits(h.right, h.left, 8, 0x00FF00FFu);
  ExchangeBits(h.left, h.right, 1, 0x55555555u);
  return h;
}

constexpr Halves FinalPermutation(Halves h) {
  ExchangeBits(h.left, h.right, 1, 0x55555555u);
  ExchangeBits(h.right, h.left, 8, 0x00FF00FFu);
  ExchangeBits(h.right, h.left, 2, 0x33333333u);
  ExchangeBits(h.left, h.right, 16, 0x0000FFFFu);
  ExchangeBits(h.left, h.right, 4, 0x0F0F0F0Fu);
  return h;
}

constexpr std::uint64_t Join(Halves h) { return (std::uint64_t{h.left} << 32) | h.right; }
constexpr Halves Split(std::uint64_t block) {
  return {static_cast<Word>(block >> 32), static_cast<Word>(block)};
}

// Both permutations only move bits, so agreeing on every single-bit block
// proves them equal to the standard's tables.
constexpr bool ExchangesMatchTables() {
  for (int bit = 0; bit < 64; ++bit) {
    const std::uint64_t block = std::uint64_t{1} << bit;
    if (Join(InitialPermutation(Split(block))) !=
        PermuteBits(block, 64, fips::kInitialPermutation, 64)) {
      return false;
    }
    if (Join(FinalPermutation(Split(block))) !=
        PermuteBits(block, 64, fips::kFinalPermutation, 64)) {
      return false;
    }
  }
  return true;
}
static_assert(ExchangesMatchTables(), "IP/FP exchanges differ from the standard's tables");

// ---------------------------------------------------------------------------
// Permuted choice 1.
//
// PC-1 takes the key column by column: C0 is columns 1-3 of bytes 7..0 and
// column 4 of bytes 7..4; D0 is columns 7, 6, 5 of bytes 7..0 and column 4 of
// bytes 3..0 (column 1 is a byte's top bit). Each table spreads one nibble of
// a key byte over the four bytes of a word, one bit per byte, so that summing
// the spread nibbles of all eight bytes (byte j shifted by j) transposes the
// key into whole columns.
using NibbleSpread = std::array<Word, 16>;

// Columns 1, 2, 3, 4 (nibble bits 3..0) to bytes 3, 2, 1, 0 of the word.
constexpr NibbleSpread MakeHighNibbleSpread() {
  NibbleSpread spread{};
  for (int n = 0; n < 16; ++n) {
    for (int bit = 0; bit < 4; ++bit) spread[n] |= static_cast<Word>((n >> bit) & 1) << (8 * bit);
  }
  return spread;
}

// Columns 7, 6, 5 (nibble bits 1, 2, 3) to bytes 3, 2, 1; the parity column
// (bit 0) to byte 0, where it is dropped.
constexpr NibbleSpread MakeLowNibbleSpread() {
  constexpr int kByteOfNibbleBit[4] = {0, 3, 2, 1};
  NibbleSpread spread{};
  for (int n = 0; n < 16; ++n) {
    for (int bit = 0; bit < 4; ++bit) {
      spread[n] |= static_cast<Word>((n >> bit) & 1) << (8 * kByteOfNibbleBit[bit]);
    }
  }
  return spread;
}

constexpr NibbleSpread kHighNibbleSpread = MakeHighNibbleSpread();
constexpr NibbleSpread kLowNibbleSpread = MakeLowNibbleSpread();

constexpr Word kHalfKeyMask = 0x0FFFFFFFu;  // C and D are 28 bits each

struct KeyHalves {
  Word c;
  Word d;
};

constexpr KeyHalves PermutedChoice1(const BYTE* key) {
  Word columns1To4 = 0;
  Word columns765Parity = 0;
  for (int j = 0; j < kDesKeyBytes; ++j) {
    const int byte = key[j];
    columns1To4 |= kHighNibbleSpread[byte >> 4] << j;
    columns765Parity |= kLowNibbleSpread[byte & 0xF] << j;
  }
  const Word c = columns1To4 >> 4;
  const Word d = ((columns765Parity >> 8) << 4) | (columns1To4 & 0xF);
  return {c, d};
}

constexpr bool PermutedChoice1MatchesTable() {
  for (int bit = 0; bit < 64; ++bit) {
    const std::uint64_t key = std::uint64_t{1} << bit;
    BYTE bytes[kDesKeyBytes] = {};
    for (int j = 0; j < kDesKeyBytes; ++j) bytes[j] = static_cast<BYTE>(key >> (56 - 8 * j));
    const KeyHalves fast = PermutedChoice1(bytes);
    const std::uint64_t expected = PermuteBits(key, 64, fips::kPermutedChoice1, 56);
    if (((std::uint64_t{fast.c} << 28) | fast.d) != expected) return false;
  }
  return true;
}
static_assert(PermutedChoice1MatchesTable(), "PC-1 tables differ from the standard's table");

// ---------------------------------------------------------------------------
// Where S-box `box` (0 for S1) finds its six input bits in a half held
// rotated left by one: starting at this bit, first input bit highest, wrapping
// past bit 31 for S1. This is the expansion E.
constexpr int SBoxInputShift(int box) { return 28 - 4 * box; }

// Permuted choice 2 into the round-key layout of des.h: key bit m (0-based)
// feeds S-box m / 6 and sits exactly where that box reads the data bit it is
// mixed with, in word 0 for S1, S3, S5, S7 and word 1 for the others (their
// input bits overlap, so one word cannot hold all eight).
struct RoundKeyBitPlace {
  int sourceShift;  // of the bit within the 56-bit C||D
  int word;
  int targetShift;
};
using RoundKeyBitPlaces = std::array<RoundKeyBitPlace, 48>;

constexpr RoundKeyBitPlaces MakeRoundKeyBitPlaces() {
  RoundKeyBitPlaces places{};
  for (int m = 0; m < 48; ++m) {
    const int box = m / 6;
    const int bitInBox = m % 6;
    places[m].sourceShift = 56 - fips::kPermutedChoice2[m];
    places[m].word = box % 2;
    places[m].targetShift = (SBoxInputShift(box) + (5 - bitInBox)) % 32;
  }
  return places;
}
constexpr RoundKeyBitPlaces kRoundKeyBitPlaces = MakeRoundKeyBitPlaces();

Word RotateHalfKey(Word half, int count) {
  return ((half << count) | (half >> (28 - count))) & kHalfKeyMask;
}

// ---------------------------------------------------------------------------
// The S-box and P output of box `box` for the key-mixed half `mixed`.
inline Word SBoxP(int box, Word mixed) {
  return kSBoxP[box][RotateRight(mixed, SBoxInputShift(box)) & 0x3F];
}

// One round on halves held rotated left by one bit: `target` ^= f(`source`).
// The round key already sits where each S-box reads, so mixing is one XOR per
// word; the eight look-ups combine as a balanced tree, not one long chain.
inline void Round(Word& target, Word source, const DWORD* roundKey) {
  const Word odd = source ^ roundKey[0];
  const Word even = source ^ roundKey[1];
  target ^= ((SBoxP(0, odd) ^ SBoxP(1, even)) ^ (SBoxP(2, odd) ^ SBoxP(3, even))) ^
            ((SBoxP(4, odd) ^ SBoxP(5, even)) ^ (SBoxP(6, odd) ^ SBoxP(7, even)));
}

Word LoadBigEndian(const BYTE* bytes) {
  return (Word{bytes[0]} << 24) | (Word{bytes[1]} << 16) | (Word{bytes[2]} << 8) | bytes[3];
}

void StoreBigEndian(Word value, BYTE* bytes) {
  bytes[0] = static_cast<BYTE>(value >> 24);
  bytes[1] = static_cast<BYTE>(value >> 16);
  bytes[2] = static_cast<BYTE>(value >> 8);
  bytes[3] = static_cast<BYTE>(value);
}

}  // namespace

void DesSetKey(const BYTE* key, DesRoundKeys& encryptKeys, DesRoundKeys& decryptKeys) {
  KeyHalves halves = PermutedChoice1(key);
  for (int round = 0; round < kDesRoundCount; ++round) {
    halves.c = RotateHalfKey(halves.c, fips::kKeyShifts[round]);
    halves.d = RotateHalfKey(halves.d, fips::kKeyShifts[round]);
    const std::uint64_t cd = (std::uint64_t{halves.c} << 28) | halves.d;
    Word words[kDesWordsPerRoundKey] = {0, 0};
    for (const RoundKeyBitPlace& place : kRoundKeyBitPlaces) {
      words[place.word] |= static_cast<Word>((cd >> place.sourceShift) & 1) << place.targetShift;
    }
    for (int w = 0; w < kDesWordsPerRoundKey; ++w) {
      encryptKeys[round * kDesWordsPerRoundKey + w] = words[w];
      decryptKeys[(kDesRoundCount - 1 - round) * kDesWordsPerRoundKey + w] = words[w];
    }
  }
}

namespace {

// The 16 rounds for `count` independent blocks side by side (1 or 2): two
// blocks in one pass keep the processor busy while each round waits for its
// table look-ups. All input is read before any output is written.
template <int count>
void ProcessBlocks(const DesRoundKeys& roundKeys, const BYTE* input, BYTE* output) {
  Word left[count];
  Word right[count];
  for (int b = 0; b < count; ++b) {
    const BYTE* block = input + b * kDesBlockBytes;
    const Halves h = InitialPermutation({LoadBigEndian(block), LoadBigEndian(block + 4)});
    left[b] = RotateLeft(h.left, 1);
    right[b] = RotateLeft(h.right, 1);
  }
#pragma GCC unroll 8
  for (int round = 0; round < kDesRoundCount; round += 2) {
    for (int b = 0; b < count; ++b) Round(left[b], right[b], roundKeys + round * kDesWordsPerRoundKey);
    for (int b = 0; b < count; ++b) {
      Round(right[b], left[b], roundKeys + (round + 1) * kDesWordsPerRoundKey);
    }
  }
  for (int b = 0; b < count; ++b) {
    const Halves h = FinalPermutation({RotateRight(right[b], 1), RotateRight(left[b], 1)});
    StoreBigEndian(h.left, output + b * kDesBlockBytes);
    StoreBigEndian(h.right, output + b * kDesBlockBytes + 4);
  }
}

}  // namespace

void DesProcessBlock(const DesRoundKeys& roundKeys, const BYTE* input, BYTE* output) {
  ProcessBlocks<1>(roundKeys, input, output);
}

void DesTransformBlocks(const DesRoundKeys& encryptKeys, const DesRoundKeys& decryptKeys,
                        const BYTE* input, BYTE* output, int blockCount, int direction) {
  const DesRoundKeys& roundKeys = direction == kDesEncipher ? encryptKeys : decryptKeys;
  int done = 0;
  for (; done + 2 <= blockCount; done += 2) {
    ProcessBlocks<2>(roundKeys, input + done * kDesBlockBytes, output + done * kDesBlockBytes);
  }
  if (done < blockCount) {
    ProcessBlocks<1>(roundKeys, input + done * kDesBlockBytes, output + done * kDesBlockBytes);
  }
}

void DesTransformBlock(const DesRoundKeys& encryptKeys, const DesRoundKeys& decryptKeys,
                       const BYTE* input, BYTE* output, int direction) {
  DesProcessBlock(direction == kDesEncipher ? encryptKeys : decryptKeys, input, output);
}

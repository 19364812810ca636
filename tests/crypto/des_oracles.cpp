#include "des_oracles.h"

#include <cstdio>
#include <stdexcept>

// OpenSSL's one-block DES interface is deprecated in favour of EVP, which needs
// the legacy provider for DES; the old interface is still built and is the
// simpler oracle.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <openssl/des.h>

#include "crypto/des.h"
#include "crypto/des_standard_tables.h"

namespace {

namespace fips = des_standard;

std::uint64_t Bit(std::uint64_t value, int position, int width) {
  return (value >> (width - position)) & 1;
}

std::uint64_t Permute(std::uint64_t input, int inputWidth, const int* table, int outputWidth) {
  std::uint64_t output = 0;
  for (int i = 0; i < outputWidth; ++i) output = (output << 1) | Bit(input, table[i], inputWidth);
  return output;
}

std::uint64_t RotateLeft28(std::uint64_t half, int count) {
  return ((half << count) | (half >> (28 - count))) & 0x0FFFFFFF;
}

std::uint32_t F(std::uint32_t right, std::uint64_t roundKey) {
  const std::uint64_t mixed = Permute(right, 32, fips::kExpansion, 48) ^ roundKey;
  std::uint32_t sOutput = 0;
  for (int box = 0; box < 8; ++box) {
    const int six = static_cast<int>((mixed >> (42 - 6 * box)) & 0x3F);
    const int row = ((six >> 5) << 1) | (six & 1);
    const int column = (six >> 1) & 0xF;
    sOutput = (sOutput << 4) | static_cast<std::uint32_t>(fips::kSBoxes[box][row * 16 + column]);
  }
  return static_cast<std::uint32_t>(Permute(sOutput, 32, fips::kPermutationP, 32));
}

}  // namespace

DesBlock ReferenceDes(DesBlock key, DesBlock input, DesDirection direction) {
  std::uint64_t roundKeys[16];
  const std::uint64_t cd = Permute(key, 64, fips::kPermutedChoice1, 56);
  std::uint64_t c = cd >> 28;
  std::uint64_t d = cd & 0x0FFFFFFF;
  for (int round = 0; round < 16; ++round) {
    c = RotateLeft28(c, fips::kKeyShifts[round]);
    d = RotateLeft28(d, fips::kKeyShifts[round]);
    roundKeys[round] = Permute((c << 28) | d, 56, fips::kPermutedChoice2, 48);
  }
  const std::uint64_t permuted = Permute(input, 64, fips::kInitialPermutation, 64);
  std::uint32_t left = static_cast<std::uint32_t>(permuted >> 32);
  std::uint32_t right = static_cast<std::uint32_t>(permuted);
  for (int round = 0; round < 16; ++round) {
    const int k = direction == DesDirection::kEncipher ? round : 15 - round;
    const std::uint32_t next = left ^ F(right, roundKeys[k]);
    left = right;
    right = next;
  }
  const std::uint64_t preoutput = (std::uint64_t{right} << 32) | left;
  return Permute(preoutput, 64, fips::kFinalPermutation, 64);
}

DesBlock OpenSslDes(DesBlock key, DesBlock input, DesDirection direction) {
  DES_cblock keyBytes;
  DES_cblock in;
  DES_cblock out;
  BlockToBytes(key, keyBytes);
  BlockToBytes(input, in);
  DES_key_schedule schedule;
  DES_set_key_unchecked(&keyBytes, &schedule);
  DES_ecb_encrypt(&in, &out, &schedule,
                  direction == DesDirection::kEncipher ? DES_ENCRYPT : DES_DECRYPT);
  return BlockFromBytes(out);
}
#pragma GCC diagnostic pop

DesBlock ComponentDes(DesBlock key, DesBlock input, DesDirection direction) {
  unsigned char keyBytes[8];
  unsigned char in[8];
  unsigned char out[8];
  BlockToBytes(key, keyBytes);
  BlockToBytes(input, in);
  DesRoundKeys encryptKeys;
  DesRoundKeys decryptKeys;
  DesSetKey(keyBytes, encryptKeys, decryptKeys);
  DesTransformBlock(encryptKeys, decryptKeys, in, out,
                    direction == DesDirection::kEncipher ? kDesEncipher : kDesDecipher);
  return BlockFromBytes(out);
}

DesBlock BlockFromHex(const std::string& hex) {
  if (hex.size() != 16) throw std::runtime_error("not a 16-digit block: " + hex);
  return std::stoull(hex, nullptr, 16);
}

std::string HexFromBlock(DesBlock block) {
  char text[17];
  std::snprintf(text, sizeof(text), "%016llX", static_cast<unsigned long long>(block));
  return text;
}

void BlockToBytes(DesBlock block, unsigned char (&bytes)[8]) {
  for (int i = 0; i < 8; ++i) bytes[i] = static_cast<unsigned char>(block >> (56 - 8 * i));
}

DesBlock BlockFromBytes(const unsigned char* bytes) {
  DesBlock block = 0;
  for (int i = 0; i < 8; ++i) block = (block << 8) | bytes[i];
  return block;
}

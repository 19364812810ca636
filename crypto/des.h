// The DES block cipher (FIPS 46-3) in its table-driven form: one 8-byte block
// at a time under a key schedule that lives in the caller's storage (the
// settings record's encryptKeys / decryptKeys). No modes of operation here;
// token.h applies the cipher block by block.
#pragma once

#include <windows.h>

constexpr int kDesKeyBytes = 8;
constexpr int kDesBlockBytes = 8;
constexpr int kDesRoundCount = 16;
constexpr int kDesWordsPerRoundKey = 2;
constexpr int kDesScheduleWords = kDesRoundCount * kDesWordsPerRoundKey;

// Sixteen round keys of two words each, in encryption order. Each of the 48
// key bits sits at the bit where its S-box reads the data it is mixed with
// (in the half rotated left by one): word 0 holds the bits of S1, S3, S5 and
// S7, word 1 those of S2, S4, S6 and S8. The all-zero key gives all-zero words.
using DesRoundKeys = DWORD[kDesScheduleWords];

// Direction flag of DesTransformBlock.
constexpr int kDesEncipher = 0;  // any other value deciphers
constexpr int kDesDecipher = 1;

// Fills `encryptKeys` with the 16 round keys of `key` in encryption order and
// `decryptKeys` with the same round keys in reverse order. Byte 0 carries DES
// key bits 1-8, most significant first; the parity bits (lowest of each byte)
// are ignored, and no key is rejected. Cannot fail; no allocation.
void DesSetKey(const BYTE* key, DesRoundKeys& encryptKeys, DesRoundKeys& decryptKeys);

// Runs one 8-byte block through DES: `direction` 0 enciphers with
// `encryptKeys`, any other value deciphers with `decryptKeys`. Reads all of
// `input` before writing `output`, so the two may be the same buffer. Byte 0
// carries data bits 1-8. Cannot fail; no allocation and no branch on the data.
void DesTransformBlock(const DesRoundKeys& encryptKeys, const DesRoundKeys& decryptKeys,
                       const BYTE* input, BYTE* output, int direction);

// DesTransformBlock over `blockCount` consecutive blocks, each on its own
// (electronic codebook use): block k of `input` becomes block k of `output`.
// Two blocks at a time go through the rounds side by side, which nearly
// doubles the throughput. `input` and `output` may be the same buffer.
void DesTransformBlocks(const DesRoundKeys& encryptKeys, const DesRoundKeys& decryptKeys,
                        const BYTE* input, BYTE* output, int blockCount, int direction);

// The 16 rounds under one list of round keys (either order): the common core
// of enciphering and deciphering.
void DesProcessBlock(const DesRoundKeys& roundKeys, const BYTE* input, BYTE* output);

// DES speed: blocks per second over a buffer of independent blocks (the
// token's electronic-codebook use), the latency of one block when each
// output is the next input, and the cost of setting a key.
#include "crypto/des.h"

#include <benchmark/benchmark.h>

namespace {

const BYTE kKey[kDesKeyBytes] = {0x13, 0x34, 0x57, 0x79, 0x9B, 0xBC, 0xDF, 0xF1};

void RunBlocks(benchmark::State& state, int direction) {
  DesRoundKeys encryptKeys;
  DesRoundKeys decryptKeys;
  DesSetKey(kKey, encryptKeys, decryptKeys);
  BYTE block[kDesBlockBytes] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
  for (auto _ : state) {
    DesTransformBlock(encryptKeys, decryptKeys, block, block, direction);
    benchmark::DoNotOptimize(block);
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_DesEncipherChained(benchmark::State& state) { RunBlocks(state, kDesEncipher); }
void BM_DesDecipherChained(benchmark::State& state) { RunBlocks(state, kDesDecipher); }

constexpr int kBufferBlocks = 512;  // 4 KiB, well inside the first-level cache

// Enciphers or deciphers a 4 KiB buffer per iteration, block by block
// (`codebook` false: one call per block) or in one run of blocks (true: the
// codebook path the token uses, two blocks side by side).
void RunBuffer(benchmark::State& state, int direction, bool codebook) {
  DesRoundKeys encryptKeys;
  DesRoundKeys decryptKeys;
  DesSetKey(kKey, encryptKeys, decryptKeys);
  static BYTE buffer[kBufferBlocks * kDesBlockBytes];
  for (int i = 0; i < kBufferBlocks * kDesBlockBytes; ++i) buffer[i] = static_cast<BYTE>(i * 7);
  for (auto _ : state) {
    if (codebook) {
      DesTransformBlocks(encryptKeys, decryptKeys, buffer, buffer, kBufferBlocks, direction);
    } else {
      for (int offset = 0; offset < kBufferBlocks * kDesBlockBytes; offset += kDesBlockBytes) {
        DesTransformBlock(encryptKeys, decryptKeys, buffer + offset, buffer + offset, direction);
      }
    }
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kBufferBlocks);
}

void BM_DesEncipherBlocks(benchmark::State& state) { RunBuffer(state, kDesEncipher, false); }
void BM_DesDecipherBlocks(benchmark::State& state) { RunBuffer(state, kDesDecipher, false); }
void BM_DesEncipherCodebook(benchmark::State& state) { RunBuffer(state, kDesEncipher, true); }
void BM_DesDecipherCodebook(benchmark::State& state) { RunBuffer(state, kDesDecipher, true); }

void BM_DesSetKey(benchmark::State& state) {
  DesRoundKeys encryptKeys;
  DesRoundKeys decryptKeys;
  BYTE key[kDesKeyBytes] = {0x13, 0x34, 0x57, 0x79, 0x9B, 0xBC, 0xDF, 0xF1};
  for (auto _ : state) {
    DesSetKey(key, encryptKeys, decryptKeys);
    benchmark::DoNotOptimize(encryptKeys);
    ++key[0];
  }
}

BENCHMARK(BM_DesEncipherBlocks);
BENCHMARK(BM_DesDecipherBlocks);
BENCHMARK(BM_DesEncipherCodebook);
BENCHMARK(BM_DesDecipherCodebook);
BENCHMARK(BM_DesEncipherChained);
BENCHMARK(BM_DesDecipherChained);
BENCHMARK(BM_DesSetKey);

}  // namespace

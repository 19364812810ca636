// The token's key search, timed as an attacker would run it: one token made
// under a four-character password, then every key a printable-ASCII password
// can give (DES ignores each key byte's lowest bit and the high bytes of the
// UTF-16 units are zero, so 2^24 keys) deciphers the token's first block, and
// keys whose plaintext starts with a time stamp within a day of now are kept.
// The README's Security section quotes this figure.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "crypto/des.h"
#include "crypto/token.h"

namespace {

constexpr int kSignificantBitsPerUnit = 6;  // bits 1..6 of a 7-bit ASCII byte
constexpr uint32_t kKeyCount = 1u << (kSignificantBitsPerUnit * kPasswordKeyUnits);
constexpr int64_t kNow = 1796644800;  // any instant; the search knows it to a day
constexpr int64_t kStampWindow = 86400;

// The key bytes of candidate `index`: six bits per password unit, shifted
// past the parity bit, high bytes zero.
void CandidateKey(uint32_t index, BYTE (&key)[kDesKeyBytes]) {
  for (int u = 0; u < kPasswordKeyUnits; ++u) {
    key[2 * u] = static_cast<BYTE>(((index >> (kSignificantBitsPerUnit * u)) & 0x3F) << 1);
    key[2 * u + 1] = 0;
  }
}

bool StampNearNow(const BYTE* block) {
  const uint32_t stamp = static_cast<uint32_t>(block[0]) | (static_cast<uint32_t>(block[1]) << 8) |
                         (static_cast<uint32_t>(block[2]) << 16) |
                         (static_cast<uint32_t>(block[3]) << 24);
  const int64_t age = static_cast<int32_t>(static_cast<uint32_t>(kNow) - stamp);
  return age >= 0 && age <= kStampWindow && block[4] == static_cast<BYTE>(kNow >> 32);
}

void BM_KeySearchOfOneToken(benchmark::State& state) {
  const OLECHAR password[] = u"k3Y!";
  DesRoundKeys encryptKeys, decryptKeys;
  SetTokenPassword(password, 4, encryptKeys, decryptKeys);
  TokenTextBuffer text = {u'A', u'b', u'7', u'x', u'Q', 0};
  OLECHAR digits[kTokenDigitsUnits];
  MakeToken(text, encryptKeys, kNow - 5, digits);
  BYTE firstBlock[kDesBlockBytes];
  for (int i = 0; i < kDesBlockBytes; ++i) firstBlock[i] = TokenGroupValue(digits + 3 * i);

  for (auto _ : state) {
    std::vector<uint32_t> found;
    for (uint32_t index = 0; index < kKeyCount; ++index) {
      BYTE key[kDesKeyBytes];
      CandidateKey(index, key);
      DesRoundKeys tryEncrypt, tryDecrypt;
      DesSetKey(key, tryEncrypt, tryDecrypt);
      BYTE plain[kDesBlockBytes];
      DesProcessBlock(tryDecrypt, firstBlock, plain);
      if (StampNearNow(plain)) found.push_back(index);
    }
    // The true key is among the survivors (a few false ones may join it).
    BYTE trueKey[kDesKeyBytes];
    DeriveTokenKey(password, 4, trueKey);
    bool hit = false;
    for (uint32_t index : found) {
      BYTE key[kDesKeyBytes];
      CandidateKey(index, key);
      bool same = true;
      for (int i = 0; i < kDesKeyBytes; ++i) same = same && (key[i] | 1) == (trueKey[i] | 1);
      hit = hit || same;
    }
    if (!hit) state.SkipWithError("the true key was not found");
    state.counters["survivors"] = static_cast<double>(found.size());
  }
  state.counters["keys/s"] = benchmark::Counter(static_cast<double>(kKeyCount) * state.iterations(),
                                                benchmark::Counter::kIsRate);
}
BENCHMARK(BM_KeySearchOfOneToken)->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace

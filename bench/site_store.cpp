// The page host's memory site store: what one settled answer and one kept
// picture cost, and how much memory each table holds at its bound (counters
// in MB, from the allocator's own count of bytes in use: keys, nodes, order
// indexes and hash buckets, as a long-running host would hold them).
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <cstdio>
#include <memory>
#include <string>

#include "tools/pagehost/memory_site_store.h"

namespace {

constexpr int64_t kStart = 1'800'000'000;
constexpr int64_t kEnvelopeSeconds = 300;

// An envelope id as the host makes them: 32 hexadecimal digits.
std::string EnvelopeId(uint64_t n) {
  char id[33];
  std::snprintf(id, sizeof(id), "%016llx%016llx", static_cast<unsigned long long>(n),
                static_cast<unsigned long long>(n * 0x9E3779B97F4A7C15ull));
  return id;
}

// The key of an IPv6 /64 as the host writes it.
std::string Slash64(uint64_t n) {
  char key[48];
  std::snprintf(key, sizeof(key), "2001:db8:%x:%x::/64", static_cast<unsigned>(n >> 16),
                static_cast<unsigned>(n & 0xFFFF));
  return key;
}

double MegabytesInUse() { return static_cast<double>(mallinfo2().uordblks) / 1e6; }

void BM_SettleAnswer(benchmark::State& state) {
  MemorySiteStore store;
  uint64_t n = 0;
  for (auto _ : state) {
    const int64_t now = kStart + static_cast<int64_t>(n / 1000);  // 1,000 answers a second
    benchmark::DoNotOptimize(store.SettleAnswer(Slash64(n % 5000), EnvelopeId(n),
                                                now + kEnvelopeSeconds, n % 4 != 0, now));
    ++n;
  }
}
BENCHMARK(BM_SettleAnswer);

void BM_KeepFirstRenderingAgain(benchmark::State& state) {
  MemorySiteStore store;
  const std::string picture(5000, 'p');
  std::string kept;
  store.KeepFirstRendering("picture:" + EnvelopeId(1), picture, kStart + 300, kStart, kept);
  for (auto _ : state) {
    store.KeepFirstRendering("picture:" + EnvelopeId(1), picture, kStart + 300, kStart, kept);
    benchmark::DoNotOptimize(kept.data());
  }
}
BENCHMARK(BM_KeepFirstRenderingAgain);

// New pictures into a table at a busy host's steady state: 400 a second, each
// kept for its envelope's 300 s, so 120,000 live ones (the order indexes'
// depth), the oldest leaving as the clock moves on.
void BM_KeepNewRendering(benchmark::State& state) {
  constexpr uint64_t kPerSecond = 400;
  MemorySiteStore store;
  const std::string picture(5000, 'p');
  std::string kept;
  uint64_t n = 0;
  auto keepNext = [&] {
    const int64_t now = kStart + static_cast<int64_t>(n / kPerSecond);
    store.KeepFirstRendering("picture:" + EnvelopeId(n), picture, now + kEnvelopeSeconds, now,
                             kept);
    ++n;
  };
  while (n < kPerSecond * kEnvelopeSeconds) keepNext();
  for (auto _ : state) keepNext();
  state.counters["pictures"] = static_cast<double>(store.RenderingCount());
}
BENCHMARK(BM_KeepNewRendering);

// Each table filled to its bound with live entries; counters in MB.
void BM_MemoryAtTheBounds(benchmark::State& state) {
  const MemoryStoreLimits limits;
  for (auto _ : state) {
    const double before = MegabytesInUse();
    auto store = std::make_unique<MemorySiteStore>(FailureWindowSettings{}, limits);
    for (uint64_t n = 0; n < limits.maxClaimedEnvelopes; ++n) {
      store->SettleAnswer("192.0.2.1", EnvelopeId(n), kStart + kEnvelopeSeconds, true, kStart);
    }
    const double claims = MegabytesInUse();
    for (uint64_t n = 0; n < limits.maxClientWindows; ++n) {
      store->SettleAnswer(Slash64(n), EnvelopeId(n), kStart + kEnvelopeSeconds, false, kStart);
    }
    const double windows = MegabytesInUse();
    const std::string picture(limits.maxRenderingBytes / limits.maxRenderings, 'p');
    std::string kept;
    for (uint64_t n = 0; n < limits.maxRenderings; ++n) {
      store->KeepFirstRendering("picture:" + EnvelopeId(n), picture, kStart + kEnvelopeSeconds,
                                kStart, kept);
    }
    const double renderings = MegabytesInUse();
    state.counters["claims_MB"] = claims - before;
    state.counters["windows_MB"] = windows - claims;
    state.counters["picture_bytes_MB"] = static_cast<double>(store->RenderingBytes()) / 1e6;
    state.counters["picture_entries_MB"] =
        renderings - windows - static_cast<double>(store->RenderingBytes()) / 1e6;
    state.counters["claims"] = static_cast<double>(store->ClaimCount());
    state.counters["windows"] = static_cast<double>(store->WindowCount());
    state.counters["pictures"] = static_cast<double>(store->RenderingCount());
  }
}
BENCHMARK(BM_MemoryAtTheBounds)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

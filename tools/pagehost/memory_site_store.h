// The site store of one process: the used envelopes, the kept renderings and
// the failure windows in this process's memory, under one lock. Hosts behind
// a load balancer each keep their own unless they share a store of another
// kind; `glimmark serve` uses this one.
//
// Every table is bounded, and none forgets anything that still matters to
// make room:
//   used envelopes   kMaxClaimedEnvelopes live claims; when full, a new
//                    answer is refused kFull (503) until claims expire.
//   failure windows  kMaxClientWindows live windows; when full, a client key
//                    without a window is refused kLimited (429) until the
//                    oldest window ends. Live windows are never dropped.
//   renderings       kMaxRenderingBytes of kept bytes in kMaxRenderings
//                    entries. When the bytes run out, the bytes of the
//                    renderings that expire soonest are let go, and their
//                    keys stay: a later request for one gets `kept` empty
//                    (the host answers 410), never a second rendering. When
//                    the entries run out, kFull (503) until some expire.
// Memory at the bounds, measured by bench/site_store.cpp: 49 MB for the
// claims, 12 MB for the windows, 64 MiB of rendering bytes plus 41 MB for
// their entries: about 170 MB in all.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <unordered_map>

#include "tools/pagehost/site_store.h"

struct MemoryStoreLimits {
  // 262,144 claims outlast a 300 s envelope at 873 answers a second.
  size_t maxClaimedEnvelopes = 262144;
  // One window per IPv4 address or IPv6 /64 that failed in the last window.
  size_t maxClientWindows = 65536;
  // A default JPEG is about 5 KB: 64 MiB keep some 13,000 pictures whole.
  size_t maxRenderingBytes = 64u << 20;
  // Kept keys, with or without their bytes: 131,072 outlast a 300 s envelope
  // at 436 first fetches a second.
  size_t maxRenderings = 131072;
};

struct FailureWindowSettings {
  int maxFailures = 10;        // failed answers allowed in one window
  int64_t windowSeconds = 60;  // a window starts at its first failure
};

class MemorySiteStore : public SiteStore {
 public:
  explicit MemorySiteStore(FailureWindowSettings windows = {}, MemoryStoreLimits limits = {})
      : windows_(windows), limits_(limits) {}

  AnswerOutcome SettleAnswer(const std::string& clientKey, const std::string& envelopeId,
                             int64_t expiresAt, bool correct, int64_t now) override;
  StoreStatus RetryAfter(const std::string& clientKey, int64_t now, int64_t& seconds) override;
  StoreStatus KeepFirstRendering(const std::string& key, const std::string& rendering,
                                 int64_t expiresAt, int64_t now, std::string& kept) override;
  bool FindRendering(const std::string& key, int64_t now, std::string& kept) override;
  StoreStatus IsAnswered(const std::string& envelopeId, int64_t now, bool& answered) override;
  bool Healthy() override { return true; }

  // What is held now (tests, figures).
  size_t ClaimCount() const;
  size_t WindowCount() const;
  size_t RenderingCount() const;
  size_t RenderingBytes() const;

 private:
  struct Window {
    int64_t start;
    int failures;
  };
  struct Rendering {
    std::string bytes;  // empty once let go
    int64_t expiresAt;
  };
  // Keys in the maps are stable in memory: the order indexes point at them.
  using ExpiryOrder = std::multimap<int64_t, const std::string*>;

  void ForgetEnded(int64_t now);
  int64_t WaitFor(const std::string& clientKey, int64_t now) const;
  void CountFailure(const std::string& clientKey, int64_t now);
  void LetGoOfBytes(size_t needed);

  const FailureWindowSettings windows_;
  const MemoryStoreLimits limits_;
  mutable std::mutex mutex_;
  std::unordered_map<std::string, int64_t> claims_;  // envelope id -> expiry
  ExpiryOrder claimsByExpiry_;
  std::unordered_map<std::string, Window> failureWindows_;
  ExpiryOrder windowsByEnd_;
  std::unordered_map<std::string, Rendering> renderings_;
  ExpiryOrder renderingsByExpiry_;
  ExpiryOrder heldBytesByExpiry_;  // the renderings that still hold bytes
  size_t renderingBytes_ = 0;
};

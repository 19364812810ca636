// Refuses a token that already passed, until it expires. Per process: hosts
// behind a load balancer each keep their own, so a token accepted by one node
// can be replayed once at another node until it expires (README, deployment).
// Memory is bounded by kMaxRemembered tokens; when that many unexpired tokens
// are held, new claims are refused rather than old ones forgotten, since
// forgetting would let a token pass twice.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <unordered_map>

class UsedTokenGuard {
 public:
  // About 100 bytes each: 65,536 tokens are a few MB, and at the default
  // age bound of 300 s that is 218 accepted answers a second, sustained.
  static constexpr size_t kMaxRemembered = 65536;

  enum class Claim {
    kFirstUse,    // remembered now; the answer may pass
    kUsedBefore,  // this token passed before and has not expired
    kFull,        // too many live tokens remembered; try again later
  };

  explicit UsedTokenGuard(size_t capacity = kMaxRemembered) : capacity_(capacity) {}

  // Claims `token`, valid until `expiresAt`, at time `now` (seconds).
  Claim ClaimToken(const std::string& token, int64_t expiresAt, int64_t now);

  // Whether `token` passed before and has not expired at `now`.
  bool UsedBefore(const std::string& token, int64_t now) const;

  size_t Size() const;

 private:
  void ForgetExpired(int64_t now);

  mutable std::mutex mutex_;
  size_t capacity_;
  std::unordered_map<std::string, int64_t> expiries_;
  std::multimap<int64_t, std::string> byExpiry_;  // to forget the expired in order
};

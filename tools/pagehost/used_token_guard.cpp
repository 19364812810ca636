#include "tools/pagehost/used_token_guard.h"

void UsedTokenGuard::ForgetExpired(int64_t now) {
  while (!byExpiry_.empty() && byExpiry_.begin()->first < now) {
    expiries_.erase(byExpiry_.begin()->second);
    byExpiry_.erase(byExpiry_.begin());
  }
}

UsedTokenGuard::Claim UsedTokenGuard::ClaimToken(const std::string& token, int64_t expiresAt,
                                                 int64_t now) {
  const std::lock_guard<std::mutex> lock(mutex_);
  ForgetExpired(now);
  if (expiries_.count(token) != 0) return Claim::kUsedBefore;
  if (expiries_.size() >= capacity_) return Claim::kFull;
  expiries_.emplace(token, expiresAt);
  byExpiry_.emplace(expiresAt, token);
  return Claim::kFirstUse;
}

bool UsedTokenGuard::UsedBefore(const std::string& token, int64_t now) const {
  const std::lock_guard<std::mutex> lock(mutex_);
  const auto found = expiries_.find(token);
  return found != expiries_.end() && found->second >= now;
}

size_t UsedTokenGuard::Size() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return expiries_.size();
}

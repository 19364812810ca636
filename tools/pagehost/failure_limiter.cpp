#include "tools/pagehost/failure_limiter.h"

void FailureLimiter::ForgetEndedWindows(int64_t now) {
  while (!byStart_.empty() && byStart_.begin()->first + kWindowSeconds <= now) {
    windows_.erase(byStart_.begin()->second);
    byStart_.erase(byStart_.begin());
  }
}

void FailureLimiter::DropOldestWindow() {
  if (byStart_.empty()) return;
  windows_.erase(byStart_.begin()->second);
  byStart_.erase(byStart_.begin());
}

int64_t FailureLimiter::RetryAfter(const std::string& address, int64_t now) {
  const std::lock_guard<std::mutex> lock(mutex_);
  ForgetEndedWindows(now);
  const auto found = windows_.find(address);
  if (found == windows_.end() || found->second.failures < maxFailures_) return 0;
  return found->second.start + kWindowSeconds - now;
}

void FailureLimiter::RecordFailure(const std::string& address, int64_t now) {
  const std::lock_guard<std::mutex> lock(mutex_);
  ForgetEndedWindows(now);
  const auto found = windows_.find(address);
  if (found != windows_.end()) {
    ++found->second.failures;
    return;
  }
  if (windows_.size() >= maxAddresses_) DropOldestWindow();
  windows_.emplace(address, Window{now, 1});
  byStart_.emplace(now, address);
}

size_t FailureLimiter::Size() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return windows_.size();
}

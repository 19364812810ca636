// Limits failed answers per client address: after kMaxFailures failures in a
// window of kWindowSeconds starting at the first one, the address is refused
// (429 with Retry-After) until the window ends. Memory is bounded by
// kMaxAddresses; when that many addresses have live windows, the window that
// started longest ago is dropped to make room.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <unordered_map>

class FailureLimiter {
 public:
  static constexpr int kDefaultMaxFailures = 10;
  static constexpr int64_t kWindowSeconds = 60;
  // About 80 bytes each: a few MB at most.
  static constexpr size_t kMaxAddresses = 65536;

  explicit FailureLimiter(int maxFailures = kDefaultMaxFailures,
                          size_t maxAddresses = kMaxAddresses)
      : maxFailures_(maxFailures), maxAddresses_(maxAddresses) {}

  // Seconds until `address` may try again, or 0 when it may try now.
  int64_t RetryAfter(const std::string& address, int64_t now);

  // Counts one failed answer from `address` at `now`.
  void RecordFailure(const std::string& address, int64_t now);

  size_t Size() const;

 private:
  struct Window {
    int64_t start;
    int failures;
  };
  void ForgetEndedWindows(int64_t now);
  void DropOldestWindow();

  mutable std::mutex mutex_;
  int maxFailures_;
  size_t maxAddresses_;
  std::unordered_map<std::string, Window> windows_;
  std::multimap<int64_t, std::string> byStart_;
};

#include "tools/pagehost/memory_site_store.h"

#include <algorithm>

namespace {

// Removes the index entry at `when` that points at `key`.
void EraseFromOrder(std::multimap<int64_t, const std::string*>& order, int64_t when,
                    const std::string* key) {
  auto [first, last] = order.equal_range(when);
  for (auto at = first; at != last; ++at) {
    if (at->second == key) {
      order.erase(at);
      return;
    }
  }
}

// Adds an index entry. Entries come in about the order of their times (each
// is now plus a fixed span), so the search starts from the end: a descent
// through a tree of some hundred thousand nodes, each a cache miss, was most
// of keeping a picture. Entries of equal times keep their order of arrival.
void AddToOrder(std::multimap<int64_t, const std::string*>& order, int64_t when,
                const std::string* key) {
  order.emplace_hint(order.end(), when, key);
}

// Seconds from `now` until `when`, at least one: a wait of 0 would mean "now".
int64_t SecondsUntil(int64_t when, int64_t now) { return std::max<int64_t>(1, when - now); }

}  // namespace

void MemorySiteStore::ForgetEnded(int64_t now) {
  while (!claimsByExpiry_.empty() && claimsByExpiry_.begin()->first < now) {
    const std::string* id = claimsByExpiry_.begin()->second;
    claimsByExpiry_.erase(claimsByExpiry_.begin());
    claims_.erase(*id);
  }
  while (!windowsByEnd_.empty() && windowsByEnd_.begin()->first <= now) {
    const std::string* key = windowsByEnd_.begin()->second;
    windowsByEnd_.erase(windowsByEnd_.begin());
    failureWindows_.erase(*key);
  }
  while (!renderingsByExpiry_.empty() && renderingsByExpiry_.begin()->first < now) {
    const auto [expiresAt, key] = *renderingsByExpiry_.begin();
    renderingsByExpiry_.erase(renderingsByExpiry_.begin());
    const auto found = renderings_.find(*key);
    if (!found->second.bytes.empty()) {
      renderingBytes_ -= found->second.bytes.size();
      EraseFromOrder(heldBytesByExpiry_, expiresAt, key);
    }
    renderings_.erase(found);
  }
}

int64_t MemorySiteStore::WaitFor(const std::string& clientKey, int64_t now) const {
  const auto found = failureWindows_.find(clientKey);
  if (found != failureWindows_.end()) {
    if (found->second.failures < windows_.maxFailures) return 0;
    return SecondsUntil(found->second.start + windows_.windowSeconds, now);
  }
  // A new key needs a window of its own should it fail: with the table full
  // of live windows it waits until the first of them ends.
  if (failureWindows_.size() < limits_.maxClientWindows) return 0;
  return SecondsUntil(windowsByEnd_.begin()->first, now);
}

void MemorySiteStore::CountFailure(const std::string& clientKey, int64_t now) {
  const auto found = failureWindows_.find(clientKey);
  if (found != failureWindows_.end()) {
    ++found->second.failures;
    return;
  }
  // WaitFor answered 0 for this key, so the table has room.
  const auto added = failureWindows_.emplace(clientKey, Window{now, 1}).first;
  AddToOrder(windowsByEnd_, now + windows_.windowSeconds, &added->first);
}

AnswerOutcome MemorySiteStore::SettleAnswer(const std::string& clientKey,
                                            const std::string& envelopeId, int64_t expiresAt,
                                            bool correct, int64_t now) {
  const std::lock_guard<std::mutex> lock(mutex_);
  ForgetEnded(now);
  AnswerOutcome outcome;
  if (const int64_t wait = WaitFor(clientKey, now); wait > 0) {
    outcome.verdict = AnswerVerdict::kLimited;
    outcome.retryAfterSeconds = wait;
    return outcome;
  }
  if (claims_.count(envelopeId) != 0) {
    outcome.verdict = AnswerVerdict::kAlreadyUsed;
  } else if (claims_.size() >= limits_.maxClaimedEnvelopes) {
    // Forgetting a live claim would let its envelope be answered twice.
    outcome.status = StoreStatus::kFull;
    outcome.retryAfterSeconds = SecondsUntil(claimsByExpiry_.begin()->first + 1, now);
    return outcome;
  } else {
    const auto added = claims_.emplace(envelopeId, expiresAt).first;
    AddToOrder(claimsByExpiry_, expiresAt, &added->first);
    outcome.verdict = correct ? AnswerVerdict::kAccepted : AnswerVerdict::kWrong;
  }
  if (!correct) CountFailure(clientKey, now);
  return outcome;
}

StoreStatus MemorySiteStore::RetryAfter(const std::string& clientKey, int64_t now,
                                        int64_t& seconds) {
  const std::lock_guard<std::mutex> lock(mutex_);
  ForgetEnded(now);
  seconds = WaitFor(clientKey, now);
  return StoreStatus::kOk;
}

void MemorySiteStore::LetGoOfBytes(size_t needed) {
  while (renderingBytes_ + needed > limits_.maxRenderingBytes && !heldBytesByExpiry_.empty()) {
    const std::string* key = heldBytesByExpiry_.begin()->second;
    heldBytesByExpiry_.erase(heldBytesByExpiry_.begin());
    std::string& bytes = renderings_.at(*key).bytes;
    renderingBytes_ -= bytes.size();
    std::string().swap(bytes);
  }
}

StoreStatus MemorySiteStore::KeepFirstRendering(const std::string& key,
                                                const std::string& rendering, int64_t expiresAt,
                                                int64_t now, std::string& kept) {
  const std::lock_guard<std::mutex> lock(mutex_);
  ForgetEnded(now);
  if (const auto found = renderings_.find(key); found != renderings_.end()) {
    kept = found->second.bytes;
    return StoreStatus::kOk;
  }
  kept.clear();
  if (renderings_.size() >= limits_.maxRenderings || rendering.empty() ||
      rendering.size() > limits_.maxRenderingBytes) {
    return StoreStatus::kFull;
  }
  LetGoOfBytes(rendering.size());
  const auto added = renderings_.emplace(key, Rendering{rendering, expiresAt}).first;
  AddToOrder(renderingsByExpiry_, expiresAt, &added->first);
  AddToOrder(heldBytesByExpiry_, expiresAt, &added->first);
  renderingBytes_ += rendering.size();
  kept = rendering;
  return StoreStatus::kOk;
}

bool MemorySiteStore::FindRendering(const std::string& key, int64_t now, std::string& kept) {
  const std::lock_guard<std::mutex> lock(mutex_);
  ForgetEnded(now);
  const auto found = renderings_.find(key);
  if (found == renderings_.end()) return false;
  kept = found->second.bytes;
  return true;
}

StoreStatus MemorySiteStore::IsAnswered(const std::string& envelopeId, int64_t now,
                                        bool& answered) {
  const std::lock_guard<std::mutex> lock(mutex_);
  ForgetEnded(now);
  answered = claims_.count(envelopeId) != 0;
  return StoreStatus::kOk;
}

size_t MemorySiteStore::ClaimCount() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return claims_.size();
}

size_t MemorySiteStore::WindowCount() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return failureWindows_.size();
}

size_t MemorySiteStore::RenderingCount() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return renderings_.size();
}

size_t MemorySiteStore::RenderingBytes() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return renderingBytes_;
}

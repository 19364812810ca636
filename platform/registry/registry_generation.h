// Keeping what was read from the registry while it stays unchanged, as the
// class and type-library look-ups do: the registry's generation moves on at
// every commit by any process and at a switch to another file, and a cache
// filled at one generation is emptied at the first look-up that sees another.
// Reading the generation costs a lock and a 48-byte compare, never a query
// (see registry_change_watch.h), so a kept answer costs well under a
// microsecond while a registration by another process is seen by the very
// next look-up.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <unordered_map>

namespace registry {

// The current generation. When the registry file cannot be opened or
// watched, every call returns a new one, so nothing is ever kept.
uint64_t RegistryGeneration() noexcept;

// Answers read from the registry by key, valid for one generation. Callers:
//   const uint64_t generation = RegistryGeneration();
//   if (auto kept = cache.Find(key, generation)) return *kept;
//   ...read the registry...
//   cache.Keep(key, answer, generation);
// An answer read at a generation already past is dropped, never kept.
template <class Key, class Value, class Hash = std::hash<Key>>
class RegistryReadCache {
 public:
  std::optional<Value> Find(const Key& key, uint64_t generation) {
    std::lock_guard<std::mutex> guard(lock_);
    Follow(generation);
    if (generation != keptGeneration_) return std::nullopt;  // a look begun before a change
    const auto found = answers_.find(key);
    if (found == answers_.end()) return std::nullopt;
    return found->second;
  }

  void Keep(const Key& key, const Value& value, uint64_t generation) {
    std::lock_guard<std::mutex> guard(lock_);
    if (generation != keptGeneration_) return;  // read before a change: stale already
    if (answers_.size() >= kMaxAnswers) answers_.clear();
    answers_.insert_or_assign(key, value);
  }

 private:
  // A process asks for a handful of classes and libraries; a bound keeps a
  // caller that asks for endless made-up names from growing the cache.
  static constexpr size_t kMaxAnswers = 256;

  // Generations only grow: a newer one empties the cache, an older one (a
  // thread that looked before another saw a change) leaves it alone.
  void Follow(uint64_t generation) {
    if (generation <= keptGeneration_) return;
    answers_.clear();
    keptGeneration_ = generation;
  }

  std::mutex lock_;
  uint64_t keptGeneration_ = 0;  // generations start at 1: nothing is kept before the first look
  std::unordered_map<Key, Value, Hash> answers_;
};

}  // namespace registry

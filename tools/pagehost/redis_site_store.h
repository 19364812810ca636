// The page host's shared decisions (site_store.h) kept in one Redis server,
// so that every host of a site that names the same server and prefix agrees
// on them. Keys, under the prefix:
//   PREFIX:used:ENVELOPE       an answered envelope, until the envelope expires
//   PREFIX:failures:CLIENT     failed answers in the client's current window;
//                              Redis expires it when the window ends
//   PREFIX:picture:ENVELOPE    the one rendering of an envelope (likewise audio:)
// Each call is one round trip: a Lua script run with EVALSHA (Redis runs a
// script atomically, so check, claim and count cannot interleave between
// hosts), or EVAL once more when the server lost its script cache (NOSCRIPT).
// A store that does not answer within its deadline gives kUnavailable, and
// the host refuses rather than decides alone (redis_connection_pool.h).
//
// RetryAfter costs no round trip: SettleAnswer checks the failure window
// itself, atomically, so RetryAfter only saves a limited client's page the
// work of restoring its text. It answers from the clients this store object
// has seen limited (kLimited from SettleAnswer, until their window ends); a
// client limited through another host is refused by SettleAnswer instead,
// after that work, and from then on here too.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>

#include "tools/pagehost/redis_connection_pool.h"
#include "tools/pagehost/site_store.h"

struct RedisStoreSettings {
  static constexpr char kDefaultPrefix[] = "glimmark";

  RedisConnectionSettings connection;
  std::string prefix = kDefaultPrefix;  // several sites on one server: one prefix each
  int maxFailures = 10;                 // failed answers allowed per window
  int64_t windowSeconds = 60;           // starts at a client's first failure
};

class RedisSiteStore final : public SiteStore {
 public:
  explicit RedisSiteStore(RedisStoreSettings settings, RedisConnectionPool::LogLine log = {});

  AnswerOutcome SettleAnswer(const std::string& clientKey, const std::string& envelopeId,
                             int64_t expiresAt, bool correct, int64_t now) noexcept override;
  StoreStatus RetryAfter(const std::string& clientKey, int64_t now,
                         int64_t& seconds) noexcept override;
  StoreStatus KeepFirstRendering(const std::string& key, const std::string& rendering,
                                 int64_t expiresAt, int64_t now,
                                 std::string& kept) noexcept override;
  StoreStatus IsAnswered(const std::string& envelopeId, int64_t now,
                         bool& answered) noexcept override;
  bool Healthy() noexcept override;

  // Round trips to Redis so far, connection set-up included (for tests and
  // the load figures).
  uint64_t RoundTrips() const { return pool_.RoundTrips(); }

 private:
  enum Script : size_t { kSettle, kKeepFirst, kScriptCount };
  // Clients remembered as limited: enough for every address of a busy
  // attack; when full, new ones are not remembered (SettleAnswer still
  // refuses them), about 100 bytes each.
  static constexpr size_t kMaxLimitedClients = 65536;

  // Runs `script` with `keys` and `args` in one round trip (two when Redis
  // has to be handed the script's text again). False: the store is unavailable.
  bool RunScript(Script script, const std::vector<std::string>& keys,
                 const std::vector<std::string>& args, RedisReply& reply);
  std::string Key(const char* kind, const std::string& name) const;
  int64_t RefusedRetryAfter() const { return pool_.RetryAfterSeconds(); }

  void RememberLimited(const std::string& clientKey, int64_t now, int64_t until);

  const RedisStoreSettings settings_;
  RedisConnectionPool pool_;
  std::mutex limitedMutex_;
  std::unordered_map<std::string, int64_t> limitedUntil_;  // client key -> Unix seconds
};

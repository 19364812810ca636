// Connections to one Redis server for the page host's shared store, with
// every wait bounded: connecting, each command's reply and waiting for a
// free connection all have deadlines, so a page thread never waits on a
// dead or slow store for longer than connect timeout + 2 × command timeout.
//
// A small pool rather than one connection per page thread: the pool does not
// depend on which threads the HTTP layer runs pages on, a thread that never
// touches the store holds no connection, and with as many connections as page
// threads nobody waits for one. A connection is set up once (AUTH, SELECT,
// SCRIPT LOAD of the store's scripts, pipelined) and then reused.
//
// When a connection fails (refused, reset, timed out, AUTH refused) the pool
// marks the store down, drops every idle connection (they are likely dead
// too) and refuses at once, without touching the network, until a back-off
// has passed (kFirstBackoff doubling to kMaxBackoff); then one caller probes
// with a new connection while the others keep being refused. The first
// success marks the store up again. Each change is logged once.
#pragma once

#include <hiredis/hiredis.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "tools/pagehost/store_address.h"

struct RedisReplyFree {
  void operator()(redisReply* reply) const { freeReplyObject(reply); }
};
using RedisReply = std::unique_ptr<redisReply, RedisReplyFree>;

// One command as its arguments (binary safe).
using RedisCommand = std::vector<std::string>;

struct RedisConnectionSettings {
  // Deadlines sized for Redis on the same network: it answers in well under a
  // millisecond, so half a second means it is down or stalled, and a page
  // that waits that long has already made its visitor wait.
  static constexpr std::chrono::milliseconds kDefaultTimeout{500};

  StoreAddress address;
  std::string password;  // empty: no AUTH
  std::chrono::milliseconds connectTimeout = kDefaultTimeout;
  std::chrono::milliseconds commandTimeout = kDefaultTimeout;
  size_t maxConnections = 16;
};

class RedisConnectionPool {
 public:
  using Clock = std::chrono::steady_clock;
  using LogLine = std::function<void(const std::string&)>;

  // Short enough that a restarted store is used again within a second or
  // two, long enough that a dead one costs one connect attempt per interval.
  static constexpr std::chrono::milliseconds kFirstBackoff{100};
  static constexpr std::chrono::milliseconds kMaxBackoff{2000};

  // `scripts` are loaded on every new connection; ScriptSha(i) then names
  // scripts[i] for EVALSHA. `log` receives the down and up lines.
  RedisConnectionPool(RedisConnectionSettings settings, std::vector<std::string> scripts,
                      LogLine log);
  ~RedisConnectionPool();
  RedisConnectionPool(const RedisConnectionPool&) = delete;
  RedisConnectionPool& operator=(const RedisConnectionPool&) = delete;

  // Sends `commands` pipelined and reads their replies in order: one round
  // trip. False when the store is down, backing off, or fails or times out
  // now; an error reply (REDIS_REPLY_ERROR) is a reply, not a failure.
  bool RoundTrip(const std::vector<RedisCommand>& commands, std::vector<RedisReply>& replies);

  // The SHA-1 Redis gave scripts[index] (empty before the first connection).
  std::string ScriptSha(size_t index) const;

  // Whole seconds a refused caller should wait: what is left of the back-off,
  // at least 1.
  int64_t RetryAfterSeconds() const;

  // Round trips made so far, connection set-up included.
  uint64_t RoundTrips() const { return roundTrips_; }

 private:
  struct Connection;
  using ConnectionPtr = std::unique_ptr<Connection>;

  ConnectionPtr Acquire();
  void Release(ConnectionPtr connection, bool healthy, const std::string& failure);
  bool Open(Connection& connection, std::string& failure);  // connects and sets up
  bool Exchange(Connection& connection, const std::vector<RedisCommand>& commands,
                std::vector<RedisReply>& replies, std::string& failure);
  void MarkDown(const std::string& failure);  // with mutex_ held
  void MarkUp();                              // with mutex_ held

  const RedisConnectionSettings settings_;
  const std::vector<std::string> scripts_;
  const LogLine log_;

  mutable std::mutex mutex_;
  std::condition_variable returned_;
  std::vector<ConnectionPtr> idle_;
  size_t open_ = 0;          // idle, leased and being opened
  uint64_t generation_ = 0;  // bumped when the store goes down: older connections are dropped
  bool down_ = false;
  bool probing_ = false;  // one caller is trying a new connection after the back-off
  std::chrono::milliseconds backoff_{0};
  Clock::time_point retryAt_{};
  std::vector<std::string> shas_;
  std::atomic<uint64_t> roundTrips_{0};
};

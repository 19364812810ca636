#include "tools/pagehost/redis_site_store.h"

#include <algorithm>
#include <utility>

namespace {

// KEYS: failures, used. ARGV: failures allowed, window ms, claim ms, "1" when
// the answer was right. Returns {verdict, ms until the window ends}: a client
// whose window is full claims nothing; otherwise the envelope is claimed
// (SET NX: only the first caller anywhere succeeds) and a wrong answer counts
// one failure, the window's expiry set by Redis on its first failure.
const char kSettleScript[] = R"lua(
local failures = tonumber(redis.call('GET', KEYS[1]) or '0')
if failures >= tonumber(ARGV[1]) then
  local left = redis.call('PTTL', KEYS[1])
  if left < 0 then
    redis.call('PEXPIRE', KEYS[1], ARGV[2])
    left = tonumber(ARGV[2])
  end
  return {3, left}
end
if not redis.call('SET', KEYS[2], '1', 'NX', 'PX', ARGV[3]) then
  return {2, 0}
end
if ARGV[4] == '1' then
  return {0, 0}
end
if redis.call('INCR', KEYS[1]) == 1 then
  redis.call('PEXPIRE', KEYS[1], ARGV[2])
end
return {1, 0}
)lua";

// KEYS: rendering. ARGV: bytes, ms to keep them. Keeps the bytes unless some
// are kept already, and returns the ones kept.
const char kKeepFirstScript[] = R"lua(
redis.call('SET', KEYS[1], ARGV[1], 'NX', 'PX', ARGV[2])
return redis.call('GET', KEYS[1])
)lua";

// Verdicts as the settle script returns them.
constexpr long long kScriptAccepted = 0;
constexpr long long kScriptWrong = 1;
constexpr long long kScriptAlreadyUsed = 2;
constexpr long long kScriptLimited = 3;

constexpr int64_t kMillisecondsPerSecond = 1000;

// Milliseconds to keep something valid until `expiresAt` (Unix seconds, the
// whole second included) at `now`; at least one second, so that a claim made
// in an envelope's last second still holds through it.
std::string KeepMilliseconds(int64_t expiresAt, int64_t now) {
  return std::to_string(std::max<int64_t>(1, expiresAt - now + 1) * kMillisecondsPerSecond);
}

int64_t WholeSeconds(long long milliseconds) {
  return std::max<int64_t>(1, (milliseconds + kMillisecondsPerSecond - 1) / kMillisecondsPerSecond);
}

bool IsNoScript(const redisReply& reply) {
  return reply.type == REDIS_REPLY_ERROR &&
         std::string(reply.str, reply.len).rfind("NOSCRIPT", 0) == 0;
}

}  // namespace

RedisSiteStore::RedisSiteStore(RedisStoreSettings settings, RedisConnectionPool::LogLine log)
    : settings_(std::move(settings)),
      pool_(settings_.connection, {kSettleScript, kKeepFirstScript}, std::move(log)) {}

std::string RedisSiteStore::Key(const char* kind, const std::string& name) const {
  return settings_.prefix + ":" + kind + ":" + name;
}

bool RedisSiteStore::RunScript(Script script, const std::vector<std::string>& keys,
                               const std::vector<std::string>& args, RedisReply& reply) {
  static const char* const kSources[kScriptCount] = {kSettleScript, kKeepFirstScript};
  RedisCommand command = {"EVALSHA", pool_.ScriptSha(script), std::to_string(keys.size())};
  command.insert(command.end(), keys.begin(), keys.end());
  command.insert(command.end(), args.begin(), args.end());
  std::vector<RedisReply> replies;
  // Before the first connection the SHA is not known yet: EVAL straight away.
  if (!command[1].empty()) {
    if (!pool_.RoundTrip({command}, replies)) return false;
    if (!IsNoScript(*replies[0])) {
      reply = std::move(replies[0]);
      return true;
    }
  }
  command[0] = "EVAL";
  command[1] = kSources[script];
  if (!pool_.RoundTrip({command}, replies)) return false;
  reply = std::move(replies[0]);
  return true;
}

AnswerOutcome RedisSiteStore::SettleAnswer(const std::string& clientKey,
                                           const std::string& envelopeId, int64_t expiresAt,
                                           bool correct, int64_t now) noexcept {
  AnswerOutcome outcome;
  RedisReply reply;
  const bool answered = RunScript(kSettle, {Key("failures", clientKey), Key("used", envelopeId)},
                                  {std::to_string(settings_.maxFailures),
                                   std::to_string(settings_.windowSeconds * kMillisecondsPerSecond),
                                   KeepMilliseconds(expiresAt, now), correct ? "1" : "0"},
                                  reply);
  const bool wellFormed = answered && reply->type == REDIS_REPLY_ARRAY && reply->elements == 2 &&
                          reply->element[0]->type == REDIS_REPLY_INTEGER &&
                          reply->element[1]->type == REDIS_REPLY_INTEGER;
  if (!wellFormed) {
    outcome.status = StoreStatus::kUnavailable;
    outcome.retryAfterSeconds = RefusedRetryAfter();
    return outcome;
  }
  switch (reply->element[0]->integer) {
    case kScriptAccepted:
      outcome.verdict = AnswerVerdict::kAccepted;
      break;
    case kScriptWrong:
      outcome.verdict = AnswerVerdict::kWrong;
      break;
    case kScriptLimited:
      outcome.verdict = AnswerVerdict::kLimited;
      outcome.retryAfterSeconds = WholeSeconds(reply->element[1]->integer);
      RememberLimited(clientKey, now, now + outcome.retryAfterSeconds);
      break;
    case kScriptAlreadyUsed:
    default:
      outcome.verdict = AnswerVerdict::kAlreadyUsed;
      break;
  }
  return outcome;
}

StoreStatus RedisSiteStore::RetryAfter(const std::string& clientKey, int64_t now,
                                       int64_t& seconds) noexcept {
  const std::lock_guard<std::mutex> lock(limitedMutex_);
  seconds = 0;
  const auto found = limitedUntil_.find(clientKey);
  if (found == limitedUntil_.end()) return StoreStatus::kOk;
  if (found->second > now) {
    seconds = found->second - now;
  } else {
    limitedUntil_.erase(found);
  }
  return StoreStatus::kOk;
}

void RedisSiteStore::RememberLimited(const std::string& clientKey, int64_t now, int64_t until) {
  const std::lock_guard<std::mutex> lock(limitedMutex_);
  if (limitedUntil_.size() >= kMaxLimitedClients) {
    std::erase_if(limitedUntil_, [now](const auto& entry) { return entry.second <= now; });
    if (limitedUntil_.size() >= kMaxLimitedClients) return;
  }
  limitedUntil_[clientKey] = until;
}

StoreStatus RedisSiteStore::KeepFirstRendering(const std::string& key, const std::string& rendering,
                                               int64_t expiresAt, int64_t now,
                                               std::string& kept) noexcept {
  RedisReply reply;
  if (!RunScript(kKeepFirst, {settings_.prefix + ":" + key},
                 {rendering, KeepMilliseconds(expiresAt, now)}, reply) ||
      reply->type != REDIS_REPLY_STRING) {
    return StoreStatus::kUnavailable;
  }
  kept.assign(reply->str, reply->len);
  return StoreStatus::kOk;
}

StoreStatus RedisSiteStore::IsAnswered(const std::string& envelopeId, int64_t /*now*/,
                                       bool& answered) noexcept {
  std::vector<RedisReply> replies;
  if (!pool_.RoundTrip({{"EXISTS", Key("used", envelopeId)}}, replies) ||
      replies[0]->type != REDIS_REPLY_INTEGER) {
    return StoreStatus::kUnavailable;
  }
  answered = replies[0]->integer != 0;
  return StoreStatus::kOk;
}

bool RedisSiteStore::Healthy() noexcept {
  std::vector<RedisReply> replies;
  return pool_.RoundTrip({{"PING"}}, replies) && replies[0]->type == REDIS_REPLY_STATUS;
}

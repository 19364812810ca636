#include "tools/pagehost/site_store_choice.h"

#include <utility>

#include "tools/pagehost/password_file.h"

namespace {

// Prefixes end up in every key and in log lines: short and plain.
constexpr size_t kMaxPrefixLength = 64;

bool PlainPrefix(const std::string& prefix) {
  if (prefix.empty() || prefix.size() > kMaxPrefixLength) return false;
  return prefix.find_first_not_of(
             "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789._-") ==
         std::string::npos;
}

}  // namespace

bool OpenSiteStore(const StoreChoice& choice, const FailureWindowSettings& windows,
                   size_t connections, RedisConnectionPool::LogLine log, OpenedStore& opened,
                   std::string& reason) {
  RedisStoreSettings settings;
  if (!ParseStoreAddress(choice.address, settings.connection.address, reason)) return false;
  if (settings.connection.address.kind == StoreAddress::Kind::kMemory) {
    if (!choice.passwordFile.empty()) {
      reason = "--store-password-file needs a Redis --store";
      return false;
    }
    opened.store = std::make_shared<MemorySiteStore>(windows);
    opened.redis = nullptr;
    return true;
  }
  if (!PlainPrefix(choice.prefix)) {
    reason = "--store-prefix must be 1 to 64 letters, digits, '.', '_' or '-'";
    return false;
  }
  if (!choice.passwordFile.empty() &&
      !LoadPasswordFile(choice.passwordFile, settings.connection.password, reason)) {
    return false;
  }
  settings.connection.maxConnections = connections;
  settings.prefix = choice.prefix;
  settings.maxFailures = windows.maxFailures;
  settings.windowSeconds = windows.windowSeconds;
  auto redis = std::make_shared<RedisSiteStore>(std::move(settings), std::move(log));
  opened.redis = redis.get();
  opened.store = std::move(redis);
  return true;
}

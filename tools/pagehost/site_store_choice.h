// Which site store a host uses, as `glimmark serve` is told: `--store`
// (memory, or a Redis address: store_address.h), `--store-password-file`,
// `--store-prefix`. Opening it only builds it: a Redis store connects on its
// first call and a host starts even while Redis is down (it refuses answers
// until Redis answers).
#pragma once

#include <memory>
#include <string>

#include "tools/pagehost/memory_site_store.h"
#include "tools/pagehost/redis_site_store.h"

struct StoreChoice {
  std::string address = "memory";
  std::string passwordFile;  // empty: no AUTH
  std::string prefix = RedisStoreSettings::kDefaultPrefix;
};

struct OpenedStore {
  std::shared_ptr<SiteStore> store;
  RedisSiteStore* redis = nullptr;  // the same store when it is a Redis one (its round trips)
};

// Builds the store `choice` names with the site's failure windows and at most
// `connections` connections; false with a one-line reason for a bad address,
// prefix or password file. `log` receives the store's down and up lines.
bool OpenSiteStore(const StoreChoice& choice, const FailureWindowSettings& windows,
                   size_t connections, RedisConnectionPool::LogLine log, OpenedStore& opened,
                   std::string& reason);

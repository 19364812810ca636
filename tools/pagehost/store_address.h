// Where the page host keeps what its hosts share: `--store` parsed. "memory"
// keeps it in this process; `redis://HOST:PORT[/DB]` (HOST a name, an IPv4
// address or a bracketed IPv6 one) and `unix:///path/redis.sock` name a Redis
// server. Parsing only; redis_site_store.h connects.
#pragma once

#include <string>

struct StoreAddress {
  enum class Kind { kMemory, kRedisTcp, kRedisUnix };
  Kind kind = Kind::kMemory;
  std::string host;  // kRedisTcp, without brackets
  int port = 0;      // kRedisTcp
  std::string path;  // kRedisUnix
  int database = 0;  // kRedisTcp: the number after the slash

  // "redis://127.0.0.1:6379/0" or "unix:///run/redis.sock", for log lines.
  std::string Describe() const;
};

// Reads `text` into `address`; false with a one-line reason when it is none
// of the three forms, or a port or database number is out of range.
bool ParseStoreAddress(const std::string& text, StoreAddress& address, std::string& reason);

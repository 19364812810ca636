#include "tools/pagehost/store_address.h"

namespace {

const char kMemory[] = "memory";
const char kRedisScheme[] = "redis://";
const char kUnixScheme[] = "unix://";
constexpr int kMaxPort = 65535;
// Redis's own default number of databases is 16; servers may be set up with
// more, so any number it might accept passes here and SELECT has the last word.
constexpr int kMaxDatabase = 9999;

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

// A decimal number of at most five digits within [0, high].
bool ReadNumber(const std::string& text, int high, int& value) {
  if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos)
    return false;
  value = std::stoi(text);
  return value <= high;
}

bool Fail(std::string& reason, const std::string& why) {
  reason = why;
  return false;
}

// HOST:PORT[/DB] after "redis://".
bool ParseTcp(const std::string& rest, StoreAddress& address, std::string& reason) {
  const std::string expected = "expected redis://HOST:PORT[/DB]";
  const size_t slash = rest.find('/');
  const std::string hostPort = rest.substr(0, slash);
  if (slash != std::string::npos &&
      !ReadNumber(rest.substr(slash + 1), kMaxDatabase, address.database)) {
    return Fail(reason, "store database must be a number 0.." + std::to_string(kMaxDatabase));
  }
  size_t colon;
  if (StartsWith(hostPort, "[")) {
    const size_t close = hostPort.find(']');
    if (close == std::string::npos || close + 1 >= hostPort.size() || hostPort[close + 1] != ':')
      return Fail(reason, expected);
    address.host = hostPort.substr(1, close - 1);
    colon = close + 1;
  } else {
    colon = hostPort.rfind(':');
    if (colon == std::string::npos) return Fail(reason, expected);
    address.host = hostPort.substr(0, colon);
  }
  if (address.host.empty() || address.host.find_first_of("@?#[] ") != std::string::npos)
    return Fail(reason, expected);
  if (!ReadNumber(hostPort.substr(colon + 1), kMaxPort, address.port) || address.port == 0)
    return Fail(reason, "store port must be a number 1..65535");
  address.kind = StoreAddress::Kind::kRedisTcp;
  return true;
}

}  // namespace

std::string StoreAddress::Describe() const {
  switch (kind) {
    case Kind::kMemory:
      return kMemory;
    case Kind::kRedisUnix:
      return kUnixScheme + path;
    case Kind::kRedisTcp:
      break;
  }
  const bool bracket = host.find(':') != std::string::npos;
  return std::string(kRedisScheme) + (bracket ? "[" + host + "]" : host) + ":" +
         std::to_string(port) + "/" + std::to_string(database);
}

bool ParseStoreAddress(const std::string& text, StoreAddress& address, std::string& reason) {
  address = StoreAddress();
  if (text == kMemory) return true;
  if (StartsWith(text, kRedisScheme))
    return ParseTcp(text.substr(sizeof(kRedisScheme) - 1), address, reason);
  if (StartsWith(text, kUnixScheme)) {
    address.path = text.substr(sizeof(kUnixScheme) - 1);
    if (!StartsWith(address.path, "/")) return Fail(reason, "expected unix:///absolute/path");
    address.kind = StoreAddress::Kind::kRedisUnix;
    return true;
  }
  return Fail(reason, "store must be memory, redis://HOST:PORT[/DB] or unix:///path");
}

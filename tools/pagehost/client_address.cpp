#include "tools/pagehost/client_address.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cstring>

namespace {

// Longest address text inet_pton reads, with room to spare.
constexpr size_t kMaxAddressText = 64;
constexpr size_t kPrefixBytes = 8;  // a /64

struct Parsed {
  int family = 0;  // AF_INET, AF_INET6, or 0 for no address
  unsigned char bytes[16] = {};
};

bool IsMappedIpv4(const unsigned char* v6) {
  static const unsigned char kMappedPrefix[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
  return std::memcmp(v6, kMappedPrefix, sizeof(kMappedPrefix)) == 0;
}

Parsed Parse(std::string_view text) {
  Parsed parsed;
  // inet_pton would stop at a NUL and take what came before it.
  if (text.empty() || text.size() >= kMaxAddressText || text.find('\0') != std::string_view::npos) {
    return parsed;
  }
  char buffer[kMaxAddressText];
  std::memcpy(buffer, text.data(), text.size());
  buffer[text.size()] = '\0';
  if (inet_pton(AF_INET, buffer, parsed.bytes) == 1) {
    parsed.family = AF_INET;
  } else if (inet_pton(AF_INET6, buffer, parsed.bytes) == 1) {
    parsed.family = AF_INET6;
    if (IsMappedIpv4(parsed.bytes)) {
      std::memmove(parsed.bytes, parsed.bytes + 12, 4);
      parsed.family = AF_INET;
    }
  }
  return parsed;
}

std::string Written(const Parsed& parsed) {
  char text[INET6_ADDRSTRLEN];
  if (inet_ntop(parsed.family, parsed.bytes, text, sizeof(text)) == nullptr) return std::string();
  return text;
}

std::string_view Trimmed(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return std::string_view();
  const size_t last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

bool IsTrusted(const std::string& canonical, const std::vector<std::string>& trustedProxies) {
  return !canonical.empty() &&
         std::find(trustedProxies.begin(), trustedProxies.end(), canonical) != trustedProxies.end();
}

}  // namespace

std::string CanonicalAddress(std::string_view text) {
  const Parsed parsed = Parse(text);
  return parsed.family == 0 ? std::string() : Written(parsed);
}

std::string ClientKey(std::string_view address) {
  Parsed parsed = Parse(address);
  if (parsed.family == 0) return std::string(address);
  if (parsed.family == AF_INET) return Written(parsed);
  std::fill(parsed.bytes + kPrefixBytes, parsed.bytes + sizeof(parsed.bytes), 0);
  return Written(parsed) + "/64";
}

std::string ClientAddress(const std::string& peer, std::string_view forwardedFor,
                          const std::vector<std::string>& trustedProxies) {
  const std::string canonicalPeer = CanonicalAddress(peer);
  if (!IsTrusted(canonicalPeer, trustedProxies)) return peer;
  // From the right: each trusted proxy appended the address it received from.
  while (!forwardedFor.empty()) {
    const size_t comma = forwardedFor.rfind(',');
    const std::string_view entry =
        Trimmed(comma == std::string_view::npos ? forwardedFor : forwardedFor.substr(comma + 1));
    forwardedFor =
        comma == std::string_view::npos ? std::string_view() : forwardedFor.substr(0, comma);
    const std::string canonical = CanonicalAddress(entry);
    if (IsTrusted(canonical, trustedProxies)) continue;
    return canonical.empty() ? peer : canonical;
  }
  return peer;
}

// Feeds arbitrary text to the page host's reading of who answers: the peer
// (before the first newline) and X-Forwarded-For (after it), with a few
// trusted proxies. The client is the peer, or a canonical address that is
// no trusted proxy; its key is an IPv4 address or an IPv6 /64, and keying
// is stable.
#include "tools/pagehost/client_address.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::vector<std::string> kTrusted = {"127.0.0.1", "::1", "10.0.0.2"};
  const std::string input(reinterpret_cast<const char*>(data), size);
  const size_t newline = input.find('\n');
  const std::string peer = input.substr(0, newline);
  const std::string forwardedFor = newline == std::string::npos ? "" : input.substr(newline + 1);

  const std::string client = ClientAddress(peer, forwardedFor, kTrusted);
  if (client != peer) {
    if (CanonicalAddress(client) != client) std::abort();
    for (const std::string& proxy : kTrusted) {
      if (client == proxy) std::abort();
    }
  }
  const std::string key = ClientKey(client);
  const std::string canonical = CanonicalAddress(client);
  if (canonical.empty()) {
    if (key != client) std::abort();  // no address: its own key
  } else if (canonical.find(':') == std::string::npos) {
    if (key != canonical || ClientKey(key) != key) std::abort();
  } else if (key.size() < 4 || key.compare(key.size() - 3, 3, "/64") != 0 ||
             ClientKey(key.substr(0, key.size() - 3)) != key) {
    std::abort();
  }
  return 0;
}

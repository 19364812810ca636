// Who a failure is counted against: IPv4 addresses one by one, IPv6 by /64,
// and the client behind a trusted proxy taken from the right of
// X-Forwarded-For, never from what the client itself wrote there.
#include "tools/pagehost/client_address.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(ClientKey, Ipv4ByAddressIpv6BySlash64) {
  const struct {
    const char* address;
    const char* key;
  } cases[] = {
      {"192.0.2.7", "192.0.2.7"},
      {"2001:db8:1:2:3:4:5:6", "2001:db8:1:2::/64"},
      {"2001:db8:1:2::ffff", "2001:db8:1:2::/64"},
      {"2001:DB8:1:2:ffff:ffff:ffff:ffff", "2001:db8:1:2::/64"},
      {"2001:db8:1:3::1", "2001:db8:1:3::/64"},
      {"::1", "::/64"},
      {"::ffff:192.0.2.7", "192.0.2.7"},  // an IPv4 client on a dual-stack socket
      {"::ffff:c000:207", "192.0.2.7"},
      {"not an address", "not an address"},
  };
  for (const auto& c : cases) EXPECT_EQ(ClientKey(c.address), c.key) << c.address;
}

TEST(CanonicalAddress, OneWrittenFormOrNothing) {
  EXPECT_EQ(CanonicalAddress("2001:DB8:0:0::1"), "2001:db8::1");
  EXPECT_EQ(CanonicalAddress("::ffff:127.0.0.1"), "127.0.0.1");
  for (const char* bad :
       {"", " 127.0.0.1", "127.0.0.1 ", "127.1", "example.org", "1.2.3.4/8", "[::1]", "::1%lo"}) {
    EXPECT_EQ(CanonicalAddress(bad), "") << bad;
  }
  EXPECT_EQ(CanonicalAddress(std::string(200, '1')), "");
  EXPECT_EQ(CanonicalAddress(std::string("127.0.0.1\0junk", 14)), "");
}

TEST(ClientAddress, ForwardedForCountsOnlyFromATrustedProxy) {
  const std::vector<std::string> trusted = {"127.0.0.1", "10.0.0.2", "2001:db8::9"};
  const struct {
    const char* what;
    const char* peer;
    const char* forwardedFor;
    const char* client;
  } cases[] = {
      {"untrusted peer: header ignored", "192.0.2.1", "198.51.100.1", "192.0.2.1"},
      {"trusted peer", "127.0.0.1", "198.51.100.1", "198.51.100.1"},
      {"trusted peer, mapped form", "::ffff:127.0.0.1", "198.51.100.1", "198.51.100.1"},
      {"the client's own entries are left of the proxy's", "127.0.0.1", "203.0.113.5, 198.51.100.1",
       "198.51.100.1"},
      {"proxies in a chain are skipped", "127.0.0.1", "198.51.100.1, 10.0.0.2", "198.51.100.1"},
      {"headers joined, spaces and tabs", "127.0.0.1", "203.0.113.5,\t198.51.100.1 ,10.0.0.2",
       "198.51.100.1"},
      {"IPv6 entries, canonical", "2001:db8::9", "2001:DB8:0:0:0:0:0:42", "2001:db8::42"},
      {"no header", "127.0.0.1", "", "127.0.0.1"},
      {"only proxies", "127.0.0.1", "10.0.0.2", "127.0.0.1"},
      {"garbage where the client should be", "127.0.0.1", "198.51.100.1, unknown", "127.0.0.1"},
      {"an empty entry", "127.0.0.1", "198.51.100.1,", "127.0.0.1"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ClientAddress(c.peer, c.forwardedFor, trusted), c.client) << c.what;
  }
  EXPECT_EQ(ClientAddress("127.0.0.1", "198.51.100.1", {}), "127.0.0.1");  // none trusted
}

}  // namespace

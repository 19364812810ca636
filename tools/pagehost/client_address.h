// Who is answering: the client key that the failure windows count by, and
// the client's address behind a trusted proxy.
//
// A client key is an IPv4 address, or the /64 of an IPv6 address (one
// subscriber's usual allocation, within which addresses cost nothing); an
// IPv4-mapped IPv6 address (::ffff:a.b.c.d) is its IPv4 address.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// The address in its one written form (inet_ntop's, a mapped IPv4 address
// as IPv4), or empty when `text` is no IPv4 or IPv6 address.
std::string CanonicalAddress(std::string_view text);

// The key `address` is counted under: "192.0.2.7", "2001:db8:1:2::/64".
// Text that is no address is its own key.
std::string ClientKey(std::string_view address);

// The client's address. Only when `peer` is one of `trustedProxies`
// (canonical forms) does `forwardedFor` (the X-Forwarded-For values, joined
// with commas in the order received) count: its right-most entry that is not
// itself a trusted proxy is the client, as the left part is whatever the
// client chose to send. Without such an entry, or when that entry is no
// address, the peer is the client.
std::string ClientAddress(const std::string& peer, std::string_view forwardedFor,
                          const std::vector<std::string>& trustedProxies);

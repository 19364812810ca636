// Sealed envelopes: what the page host's form and picture address carry in
// place of the component's token. An envelope is the token plus its expiry,
// encrypted and authenticated with libsodium's secretbox (XSalsa20-Poly1305)
// under the host's 256-bit key, with a fresh random 192-bit nonce, written in
// URL-safe base64 without padding. A changed bit, a foreign key or a truncated
// envelope all fail to open; nothing of the token can be read without the key.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

constexpr size_t kHostKeyBytes = 32;
using HostKey = std::array<unsigned char, kHostKeyBytes>;

// Longest envelope text the host accepts (well above the longest token of a
// 97-character text); longer input is refused before any decoding.
constexpr size_t kMaxEnvelopeLength = 1024;

struct EnvelopeContents {
  std::string token;      // the component's token (decimal digits)
  int64_t expiresAt = 0;  // seconds since 1970-01-01 UTC
  // Set by OpenEnvelope: the envelope's name in the site store, the hex of
  // the first kEnvelopeIdBytes of its random nonce. Two envelopes of one
  // token have two ids; the id tells nothing of the token or the text.
  std::string id;
};

// 128 random bits name an envelope without a collision in any lifetime.
constexpr size_t kEnvelopeIdBytes = 16;

// A key from the system's cryptographic random source.
HostKey RandomHostKey();

// Reads a key file of exactly kHostKeyBytes bytes. Returns false with a
// one-line reason (which names the file, never its content).
bool LoadHostKey(const std::string& path, HostKey& key, std::string& error);

// Seals a token and its expiry. Never fails for tokens up to kMaxEnvelopeLength / 2.
std::string SealEnvelope(const HostKey& key, const EnvelopeContents& contents);

// Opens an envelope made by SealEnvelope under the same key; nullopt for
// anything else (wrong length, bad base64, failed authentication, bad layout).
std::optional<EnvelopeContents> OpenEnvelope(const HostKey& key, const std::string& envelope);

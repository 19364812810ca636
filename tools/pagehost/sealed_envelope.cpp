#include "tools/pagehost/sealed_envelope.h"

#include <sodium.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

constexpr size_t kExpiryBytes = 8;  // little-endian seconds ahead of the token
constexpr int kBase64Variant = sodium_base64_VARIANT_URLSAFE_NO_PADDING;

// libsodium must be initialised once before its random source is used; the
// call is thread-safe and cheap after the first.
void EnsureSodium() {
  if (sodium_init() < 0) std::abort();  // no usable random source: nothing can be sealed
}

void PutExpiry(int64_t value, unsigned char* out) {
  const auto bits = static_cast<uint64_t>(value);
  for (size_t i = 0; i < kExpiryBytes; ++i) out[i] = static_cast<unsigned char>(bits >> (8 * i));
}

int64_t GetExpiry(const unsigned char* in) {
  uint64_t bits = 0;
  for (size_t i = 0; i < kExpiryBytes; ++i) bits |= static_cast<uint64_t>(in[i]) << (8 * i);
  return static_cast<int64_t>(bits);
}

bool IsTokenText(const std::string& text) {
  if (text.empty()) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

std::string HexOf(const unsigned char* bytes, size_t count) {
  std::string hex(count * 2 + 1, '\0');
  sodium_bin2hex(hex.data(), hex.size(), bytes, count);
  hex.pop_back();  // the encoder's terminator
  return hex;
}

}  // namespace

HostKey RandomHostKey() {
  EnsureSodium();
  HostKey key;
  randombytes_buf(key.data(), key.size());
  return key;
}

bool LoadHostKey(const std::string& path, HostKey& key, std::string& error) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    error = "cannot read the key file " + path;
    return false;
  }
  // One byte more than a key is enough to tell a longer file.
  std::vector<char> bytes(kHostKeyBytes + 1);
  file.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (static_cast<size_t>(file.gcount()) != kHostKeyBytes) {
    error = "the key file " + path + " must hold exactly 32 bytes (head -c 32 /dev/urandom)";
    return false;
  }
  std::copy(bytes.begin(), bytes.begin() + kHostKeyBytes, key.begin());
  sodium_memzero(bytes.data(), bytes.size());
  return true;
}

std::string SealEnvelope(const HostKey& key, const EnvelopeContents& contents) {
  EnsureSodium();
  std::vector<unsigned char> plain(kExpiryBytes + contents.token.size());
  PutExpiry(contents.expiresAt, plain.data());
  std::copy(contents.token.begin(), contents.token.end(), plain.begin() + kExpiryBytes);

  std::vector<unsigned char> sealed(crypto_secretbox_NONCEBYTES + crypto_secretbox_MACBYTES +
                                    plain.size());
  unsigned char* nonce = sealed.data();
  randombytes_buf(nonce, crypto_secretbox_NONCEBYTES);
  crypto_secretbox_easy(sealed.data() + crypto_secretbox_NONCEBYTES, plain.data(), plain.size(),
                        nonce, key.data());

  std::string text(sodium_base64_encoded_len(sealed.size(), kBase64Variant), '\0');
  sodium_bin2base64(text.data(), text.size(), sealed.data(), sealed.size(), kBase64Variant);
  text.resize(text.size() - 1);  // the encoder's terminator
  return text;
}

std::optional<EnvelopeContents> OpenEnvelope(const HostKey& key, const std::string& envelope) {
  if (envelope.empty() || envelope.size() > kMaxEnvelopeLength) return std::nullopt;
  EnsureSodium();
  std::vector<unsigned char> sealed(envelope.size());
  size_t sealedLength = 0;
  const char* end = nullptr;
  if (sodium_base642bin(sealed.data(), sealed.size(), envelope.data(), envelope.size(), nullptr,
                        &sealedLength, &end, kBase64Variant) != 0 ||
      end != envelope.data() + envelope.size()) {
    return std::nullopt;
  }
  constexpr size_t kOverhead = crypto_secretbox_NONCEBYTES + crypto_secretbox_MACBYTES;
  static_assert(kEnvelopeIdBytes <= crypto_secretbox_NONCEBYTES);
  if (sealedLength < kOverhead + kExpiryBytes) return std::nullopt;
  std::vector<unsigned char> plain(sealedLength - kOverhead);
  if (crypto_secretbox_open_easy(plain.data(), sealed.data() + crypto_secretbox_NONCEBYTES,
                                 sealedLength - crypto_secretbox_NONCEBYTES, sealed.data(),
                                 key.data()) != 0) {
    return std::nullopt;
  }
  EnvelopeContents contents;
  contents.id = HexOf(sealed.data(), kEnvelopeIdBytes);
  contents.expiresAt = GetExpiry(plain.data());
  contents.token.assign(plain.begin() + kExpiryBytes, plain.end());
  if (!IsTokenText(contents.token)) return std::nullopt;
  return contents;
}

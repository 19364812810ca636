// Feeds arbitrary text to the page host's envelope opening under a fixed
// key, as /captcha and /verify receive it: no sanitizer report, and whatever
// opens carries a token of digits and a 32-digit hexadecimal id. An input
// starting with "seal:" is sealed first (its first 8 bytes the expiry, the
// rest the token) and must open to exactly what was sealed.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tools/pagehost/sealed_envelope.h"

namespace {

// The key the seeds in corpus/host_envelope/ were sealed under: bytes 0..31.
HostKey FuzzKey() {
  HostKey key;
  for (size_t i = 0; i < key.size(); ++i) key[i] = static_cast<unsigned char>(i);
  return key;
}

bool AllDigits(const std::string& text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

void CheckOpened(const EnvelopeContents& contents) {
  if (!AllDigits(contents.token)) std::abort();
  if (contents.id.size() != 2 * kEnvelopeIdBytes ||
      contents.id.find_first_not_of("0123456789abcdef") != std::string::npos) {
    std::abort();
  }
}

void SealAndOpen(const HostKey& key, const uint8_t* data, size_t size) {
  constexpr size_t kExpiryBytes = 8;
  if (size < kExpiryBytes) return;
  EnvelopeContents contents;
  std::memcpy(&contents.expiresAt, data, kExpiryBytes);
  contents.token.assign(reinterpret_cast<const char*>(data) + kExpiryBytes, size - kExpiryBytes);
  if (contents.token.size() > kMaxEnvelopeLength / 2) return;  // beyond what Seal promises
  const auto opened = OpenEnvelope(key, SealEnvelope(key, contents));
  if (opened.has_value() != AllDigits(contents.token)) std::abort();
  if (!opened) return;
  CheckOpened(*opened);
  if (opened->token != contents.token || opened->expiresAt != contents.expiresAt) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const HostKey key = FuzzKey();
  static const char kSeal[] = "seal:";
  constexpr size_t kSealLength = sizeof(kSeal) - 1;
  if (size >= kSealLength && std::memcmp(data, kSeal, kSealLength) == 0) {
    SealAndOpen(key, data + kSealLength, size - kSealLength);
    return 0;
  }
  const auto opened = OpenEnvelope(key, std::string(reinterpret_cast<const char*>(data), size));
  if (opened) CheckOpened(*opened);
  return 0;
}

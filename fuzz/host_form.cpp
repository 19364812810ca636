// Feeds arbitrary bytes to the page host's form decoding, which reads both
// the /captcha query string and the /verify body: no sanitizer report, and a
// decoded form written out again (every byte escaped) decodes to itself.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "tools/pagehost/form_decoding.h"

namespace {

std::string Escaped(const std::string& text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string escaped;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    escaped += '%';
    escaped += kHex[byte >> 4];
    escaped += kHex[byte & 0xF];
  }
  return escaped;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  QueryValues values;
  std::string reason;
  if (!DecodeForm(text, values, reason)) {
    if (reason.empty()) std::abort();  // every refusal says why
    return 0;
  }
  std::string written;
  for (const auto& [name, value] : values) {
    if (name.empty()) std::abort();
    written += (written.empty() ? "" : "&") + Escaped(name) + "=" + Escaped(value);
  }
  QueryValues again;
  if (!DecodeForm(written, again, reason) || again != values) std::abort();
  return 0;
}

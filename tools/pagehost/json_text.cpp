#include "tools/pagehost/json_text.h"

#include <cstdio>

namespace {

constexpr unsigned char kFirstPrintable = 0x20;
constexpr unsigned char kDelete = 0x7F;

}  // namespace

std::string JsonStringLiteral(const std::string& text) {
  std::string literal = "\"";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      literal += '\\';
      literal += c;
    } else if (byte < kFirstPrintable || byte == kDelete) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", byte);
      literal += escape;
    } else {
      literal += c;
    }
  }
  return literal + "\"";
}

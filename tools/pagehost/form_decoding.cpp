#include "tools/pagehost/form_decoding.h"

#include <algorithm>

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool Unescape(const std::string& text, std::string& out) {
  out.clear();
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '+') {
      out.push_back(' ');
    } else if (text[i] != '%') {
      out.push_back(text[i]);
    } else {
      if (i + 2 >= text.size()) return false;  // a cut-off escape
      const int high = HexValue(text[i + 1]);
      const int low = HexValue(text[i + 2]);
      if (high < 0 || low < 0) return false;
      out.push_back(static_cast<char>(high * 16 + low));
      i += 2;
    }
  }
  return true;
}

}  // namespace

bool DecodeForm(const std::string& text, QueryValues& values, std::string& reason) {
  size_t start = 0;
  while (start <= text.size() && !text.empty()) {
    const size_t end = std::min(text.find('&', start), text.size());
    const std::string field = text.substr(start, end - start);
    start = end + 1;
    if (field.empty()) continue;  // "a=1&&b=2" and a trailing '&'
    const size_t equals = field.find('=');
    std::string name, value;
    if (equals == std::string::npos || !Unescape(field.substr(0, equals), name) ||
        !Unescape(field.substr(equals + 1), value)) {
      reason = "malformed form or query field";
      return false;
    }
    if (name.empty()) {
      reason = "empty field name";
      return false;
    }
    if (!values.emplace(name, value).second) {
      reason = "field given twice";
      return false;
    }
  }
  return true;
}

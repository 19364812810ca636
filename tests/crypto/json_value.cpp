#include "json_value.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace {

class JsonParser {
 public:
  explicit JsonParser(const std::string& document) : doc_(document) {}

  JsonValue ParseDocument() {
    JsonValue value = ParseValue();
    SkipSpace();
    if (pos_ != doc_.size()) Fail("trailing characters");
    return value;
  }

 private:
  [[noreturn]] void Fail(const std::string& what) const {
    throw std::runtime_error("JSON: " + what + " at offset " + std::to_string(pos_));
  }

  void SkipSpace() {
    while (pos_ < doc_.size() && std::string(" \t\r\n").find(doc_[pos_]) != std::string::npos) {
      ++pos_;
    }
  }

  char Peek() {
    SkipSpace();
    if (pos_ >= doc_.size()) Fail("unexpected end");
    return doc_[pos_];
  }

  void Expect(char c) {
    if (Peek() != c) Fail(std::string("expected '") + c + "'");
    ++pos_;
  }

  JsonValue ParseValue() {
    const char c = Peek();
    if (c == '{') return ParseObject();
    if (c == '[') return ParseArray();
    JsonValue value;
    if (c == '"') {
      value.kind = JsonValue::Kind::kString;
      value.text = ParseString();
    } else if (ParseLiteral("true")) {
      value.kind = JsonValue::Kind::kBool;
      value.boolean = true;
    } else if (ParseLiteral("false")) {
      value.kind = JsonValue::Kind::kBool;
    } else if (ParseLiteral("null")) {
      value.kind = JsonValue::Kind::kNull;
    } else {
      value.kind = JsonValue::Kind::kNumber;
      const size_t start = pos_;
      while (pos_ < doc_.size() &&
             std::string("+-.eE0123456789").find(doc_[pos_]) != std::string::npos) {
        ++pos_;
      }
      if (pos_ == start) Fail("unexpected character");
      value.text = doc_.substr(start, pos_ - start);
    }
    return value;
  }

  bool ParseLiteral(const std::string& word) {
    if (doc_.compare(pos_, word.size(), word) != 0) return false;
    pos_ += word.size();
    return true;
  }

  JsonValue ParseObject() {
    JsonValue value;
    value.kind = JsonValue::Kind::kObject;
    Expect('{');
    if (Peek() == '}') {
      ++pos_;
      return value;
    }
    for (;;) {
      if (Peek() != '"') Fail("expected a member name");
      std::string name = ParseString();
      Expect(':');
      value.members[name] = ParseValue();
      if (Peek() == '}') {
        ++pos_;
        return value;
      }
      Expect(',');
    }
  }

  JsonValue ParseArray() {
    JsonValue value;
    value.kind = JsonValue::Kind::kArray;
    Expect('[');
    if (Peek() == ']') {
      ++pos_;
      return value;
    }
    for (;;) {
      value.items.push_back(ParseValue());
      if (Peek() == ']') {
        ++pos_;
        return value;
      }
      Expect(',');
    }
  }

  std::string ParseString() {
    Expect('"');
    std::string out;
    while (pos_ < doc_.size() && doc_[pos_] != '"') {
      char c = doc_[pos_++];
      if (c != '\\') {
        out += c;
        continue;
      }
      if (pos_ >= doc_.size()) Fail("unfinished escape");
      c = doc_[pos_++];
      switch (c) {
        case 'n':
          out += '\n';
          break;
        case 't':
          out += '\t';
          break;
        case 'r':
          out += '\r';
          break;
        case 'b':
          out += '\b';
          break;
        case 'f':
          out += '\f';
          break;
        case 'u':
          AppendEscapedUnit(out);
          break;
        default:
          out += c;
          break;  // \" \\ \/
      }
    }
    if (pos_ >= doc_.size()) Fail("unfinished string");
    ++pos_;
    return out;
  }

  // \uXXXX for code points below U+0800 (all our data files need).
  void AppendEscapedUnit(std::string& out) {
    if (pos_ + 4 > doc_.size()) Fail("short \\u escape");
    const unsigned unit = static_cast<unsigned>(std::stoul(doc_.substr(pos_, 4), nullptr, 16));
    pos_ += 4;
    if (unit < 0x80) {
      out += static_cast<char>(unit);
    } else if (unit < 0x800) {
      out += static_cast<char>(0xC0 | (unit >> 6));
      out += static_cast<char>(0x80 | (unit & 0x3F));
    } else {
      Fail("\\u escape beyond U+07FF");
    }
  }

  const std::string& doc_;
  size_t pos_ = 0;
};

}  // namespace

const JsonValue& JsonValue::operator[](const std::string& name) const {
  const auto found = members.find(name);
  if (found == members.end()) throw std::runtime_error("JSON: no member " + name);
  return found->second;
}

JsonValue ParseJson(const std::string& document) { return JsonParser(document).ParseDocument(); }

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open " + path);
  std::ostringstream contents;
  contents << in.rdbuf();
  return contents.str();
}

// A small JSON reader for test data files (the DES known-answer rows): enough
// of JSON to load objects, arrays, strings, numbers and literals into a tree.
// Throws std::runtime_error on malformed input; tests only.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

struct JsonValue {
  enum class Kind { kNull, kBool, kNumber, kString, kArray, kObject };
  Kind kind = Kind::kNull;
  bool boolean = false;
  std::string text;  // string contents (UTF-8), or a number as written
  std::vector<JsonValue> items;
  std::map<std::string, JsonValue> members;

  // The member `name` of an object; throws when absent.
  const JsonValue& operator[](const std::string& name) const;
};

JsonValue ParseJson(const std::string& document);

// Reads a whole file; throws when it cannot be opened.
std::string ReadWholeFile(const std::string& path);

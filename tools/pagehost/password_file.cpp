#include "tools/pagehost/password_file.h"

#include <sodium.h>

#include <algorithm>
#include <fstream>

bool LoadPasswordFile(const std::string& path, std::string& password, std::string& error) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    error = "cannot read the password file " + path;
    return false;
  }
  // One byte more than the longest line tells a longer one.
  std::string line(kMaxPasswordFileLine + 1, '\0');
  file.read(line.data(), static_cast<std::streamsize>(line.size()));
  line.resize(static_cast<size_t>(file.gcount()));
  const size_t end = line.find('\n');
  const bool whole = end != std::string::npos || line.size() <= kMaxPasswordFileLine;
  line.resize(std::min(end, line.size()));
  if (!line.empty() && line.back() == '\r') line.pop_back();
  bool ok = false;
  if (line.empty()) {
    error = "the password file " + path + " is empty: its first line is the password";
  } else if (!whole) {
    error = "the first line of the password file " + path + " is longer than 4096 bytes";
  } else {
    password = line;
    ok = true;
  }
  sodium_memzero(line.data(), line.size());
  return ok;
}

#include "tools/pagehost/secret_file.h"

#include <fstream>

bool ReadSecretFile(const std::string& path, std::string& secret, std::string& reason) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    reason = "cannot read " + path;
    return false;
  }
  std::string content(kMaxSecretBytes + 1, '\0');
  in.read(content.data(), static_cast<std::streamsize>(content.size()));
  content.resize(static_cast<size_t>(in.gcount()));
  if (content.size() > kMaxSecretBytes) {
    reason = path + " is longer than " + std::to_string(kMaxSecretBytes) + " bytes";
    return false;
  }
  secret = content.substr(0, content.find_first_of("\r\n"));
  if (secret.empty()) {
    reason = path + " holds no secret on its first line";
    return false;
  }
  return true;
}

// Secrets given as files rather than on the command line, where every local
// user could read them in the process list.
#pragma once

#include <string>

// Longest secret read: far beyond any password, short of reading a wrong
// file whole.
constexpr size_t kMaxSecretBytes = 4096;

// The first line of `path` without its line end; false with a reason (never
// the secret) when the file cannot be read, is empty or is too long.
bool ReadSecretFile(const std::string& path, std::string& secret, std::string& reason);

// The component's password read from a file, so that it never appears in a
// command line (which every local user can read in the process list).
#pragma once

#include <string>

// Longest first line read; a password is a few characters.
constexpr size_t kMaxPasswordFileLine = 4096;

// The first line of `path` without its line end ("\n" or "\r\n"), as
// written (the caller checks that it is UTF-8). False with a one-line reason
// (naming the file, never its content) when the file cannot be read or its
// first line is empty or longer than kMaxPasswordFileLine bytes.
bool LoadPasswordFile(const std::string& path, std::string& password, std::string& error);

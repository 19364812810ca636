// Runs the built glimmark tool as a user would: its standard output and
// error, and its exit code.
#pragma once

#include <string>
#include <vector>

struct RunResult {
  int exitCode;
  std::string out;
  std::string err;
};

// Runs tools/glimmark/glimmark of the build tree with `args`, each quoted.
RunResult RunGlimmark(const std::vector<std::string>& args);

std::string ReadFile(const std::string& path);

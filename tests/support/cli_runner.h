// Runs the built glimmark tool as a user would: its standard output and
// error, and its exit code.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct RunResult {
  int exitCode;
  std::string out;
  std::string err;
};

// Runs tools/glimmark/glimmark of the build tree with `args`, each quoted.
RunResult RunGlimmark(const std::vector<std::string>& args);
// The same with the tool's clock pinned at `seconds` since 1970 (through the
// platform's test seam), so that ages and tokens are known in advance.
RunResult RunGlimmarkAt(int64_t seconds, const std::vector<std::string>& args);

std::string ReadFile(const std::string& path);

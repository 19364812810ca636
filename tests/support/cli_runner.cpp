#include "cli_runner.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

std::string Quote(const std::string& arg) {
  std::string quoted = "'";
  for (char c : arg) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

// `environment` is put in front of the command: "NAME=value " pairs.
RunResult RunWithEnvironment(const std::string& environment, const std::vector<std::string>& args) {
  const std::string scratch = ::testing::TempDir() + "glimmark_cli_" + std::to_string(getpid());
  // The tool is built with the sanitizers too: it gets the tests' leak suppressions.
  std::string command = environment;
  command += "LSAN_OPTIONS=print_suppressions=0:suppressions=";
  command += Quote(std::string(GLIMMARK_SOURCE_DIR) + "/tests/lsan.supp");
  command += " ";
  command += Quote(std::string(GLIMMARK_BINARY_DIR) + "/tools/glimmark/glimmark");
  // Appended piece by piece: `" " + Quote(arg)` trips g++ 12's -Wrestrict at -O2.
  for (const std::string& arg : args) {
    command += ' ';
    command += Quote(arg);
  }
  command += " >";
  command += Quote(scratch + ".out");
  command += " 2>";
  command += Quote(scratch + ".err");
  const int status = std::system(command.c_str());
  RunResult result{WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(scratch + ".out"),
                   ReadFile(scratch + ".err")};
  std::remove((scratch + ".out").c_str());
  std::remove((scratch + ".err").c_str());
  return result;
}

}  // namespace

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream contents;
  contents << in.rdbuf();
  return contents.str();
}

RunResult RunGlimmark(const std::vector<std::string>& args) { return RunWithEnvironment("", args); }

RunResult RunGlimmarkAt(int64_t seconds, const std::vector<std::string>& args) {
  return RunWithEnvironment("GLIMMARK_TEST_SEAM_PINNED_CLOCK=" + std::to_string(seconds) + " ",
                            args);
}

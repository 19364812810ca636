// The subcommands' option parser and its settings files (--config): what a
// file may say, what it may not, and that the command line wins.
#include "tools/glimmark/command_line.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

const std::vector<OptionSpec> kSpecs = {
    {"port", "N", false, "port"},
    {"password", "P", false, "password"},
    {"key-file", "FILE", true, "key"},
    {"quiet", nullptr, false, "no log"},
    ConfigFileOption(),
};

std::string ScratchFile(const std::string& name, const std::string& text) {
  const std::string path =
      ::testing::TempDir() + "command_line_" + std::to_string(getpid()) + "_" + name;
  std::ofstream(path, std::ios::binary) << text;
  return path;
}

TEST(SettingsFile, FillsWhatTheCommandLineLeavesAndNeverOverridesIt) {
  const std::string path = ScratchFile("wins.conf",
                                       "# host settings\r\n"
                                       "\n"
                                       "   port = 9000   \r\n"
                                       "password=a = b # not a comment\n"
                                       "key-file = /etc/glimmark/host.key\n"
                                       "quiet = true");  // no final newline
  ParsedOptions parsed;
  std::string error;
  ASSERT_TRUE(ParseOptions({"--port", "8081", "--config", path}, kSpecs, parsed, error)) << error;
  EXPECT_EQ(parsed.values["port"], "8081");
  EXPECT_EQ(parsed.values["password"], "a = b # not a comment");
  EXPECT_EQ(parsed.values["key-file"], "/etc/glimmark/host.key");  // required, met by the file
  EXPECT_EQ(parsed.flags.count("quiet"), 1u);
  EXPECT_EQ(parsed.fromConfigFile, (std::set<std::string>{"password", "key-file", "quiet"}));

  // A switch set false in the file stays off; given on the command line it is on.
  ParsedOptions off;
  ASSERT_TRUE(MergeSettingsText("quiet = false\n", "f", kSpecs, off, error)) << error;
  EXPECT_EQ(off.flags.count("quiet"), 0u);
  ParsedOptions on;
  on.flags.insert("quiet");
  ASSERT_TRUE(MergeSettingsText("quiet = false\n", "f", kSpecs, on, error)) << error;
  EXPECT_EQ(on.flags.count("quiet"), 1u);
  std::remove(path.c_str());
}

// A repeatable option (a proxy per line) collects every line of the file,
// unless the command line gave it, in which case the file's lines are unused.
TEST(SettingsFile, RepeatableSettingsCollectEveryLineUnlessTheCommandLineGaveThem) {
  const std::vector<OptionSpec> specs = {
      {"trusted-proxy", "ADDRESS", false, "proxy", true},
      {"port", "N", false, "port"},
  };
  const std::string text = "trusted-proxy = 10.0.0.1\nport = 1\ntrusted-proxy = 10.0.0.2\n";
  ParsedOptions fromFile;
  std::string error;
  ASSERT_TRUE(MergeSettingsText(text, "f", specs, fromFile, error)) << error;
  EXPECT_EQ(fromFile.lists["trusted-proxy"], (std::vector<std::string>{"10.0.0.1", "10.0.0.2"}));

  ParsedOptions given;
  given.lists["trusted-proxy"] = {"::1"};
  ASSERT_TRUE(MergeSettingsText(text, "f", specs, given, error)) << error;
  EXPECT_EQ(given.lists["trusted-proxy"], (std::vector<std::string>{"::1"}));

  ParsedOptions twice;
  EXPECT_FALSE(MergeSettingsText("port = 1\nport = 2\n", "f", specs, twice, error));
}

TEST(SettingsFile, MalformedLinesNameTheFileAndLineButNeverTheValue) {
  struct Case {
    const char* text;
    const char* error;
  };
  const Case cases[] = {
      {"port 9000\n", "host.conf:1: expected \"name = value\""},
      {"# ok\n\n= 9000\n", "host.conf:3: expected \"name = value\""},
      {"prot = 9000\n", "host.conf:1: unknown setting 'prot'"},
      {"--port = 9000\n",
       "host.conf:1: unknown setting '--port' (names are written without the "
       "dashes)"},
      {"config = other.conf\n", "host.conf:1: unknown setting 'config'"},
      {"help = true\n", "host.conf:1: unknown setting 'help'"},
      {"password = hunter2\n\npassword = hunter2\n",
       "host.conf:3: 'password' set twice (first on line 1)"},
      {"quiet = yes\n", "host.conf:1: 'quiet' is a switch: true or false"},
      {"password =   \n", "host.conf:1: 'password' needs a value"},
  };
  for (const Case& c : cases) {
    ParsedOptions parsed;
    std::string error;
    EXPECT_FALSE(MergeSettingsText(c.text, "host.conf", kSpecs, parsed, error)) << c.text;
    EXPECT_EQ(error, c.error) << c.text;
    EXPECT_EQ(error.find("hunter2"), std::string::npos);
  }
  // A bad line is an error even when the command line already set the name.
  ParsedOptions parsed;
  parsed.values["port"] = "1";
  std::string error;
  EXPECT_FALSE(MergeSettingsText("port =\n", "host.conf", kSpecs, parsed, error));
}

TEST(SettingsFile, UnreadableFilesAndSubcommandsWithoutTheOptionAreRefused) {
  ParsedOptions parsed;
  std::string error;
  const std::string missing = ::testing::TempDir() + "no-such-glimmark.conf";
  EXPECT_FALSE(ParseOptions({"--config", missing}, kSpecs, parsed, error));
  EXPECT_EQ(error, "cannot read " + missing + ": No such file or directory");
  EXPECT_FALSE(ParseOptions({"--config", ::testing::TempDir()}, kSpecs, parsed, error));
  EXPECT_EQ(error, "cannot read " + ::testing::TempDir() + ": not a regular file");
  const std::string huge = ScratchFile("huge.conf", std::string(kMaxConfigFileBytes + 1, '#'));
  EXPECT_FALSE(ParseOptions({"--config", huge}, kSpecs, parsed, error));
  EXPECT_EQ(error, huge + ": larger than 64 KiB");
  std::remove(huge.c_str());

  const std::vector<OptionSpec> withoutConfig(kSpecs.begin(), kSpecs.end() - 1);
  EXPECT_FALSE(ParseOptions({"--key-file", "k", "--config", "x"}, withoutConfig, parsed, error));
  EXPECT_EQ(error, "unknown option '--config'");
}

}  // namespace

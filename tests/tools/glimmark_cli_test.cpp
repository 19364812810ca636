// The glimmark tool run as a user runs it: the built binary, its output,
// its messages and exit codes.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "support/cli_runner.h"

namespace {

// Tokens are made and checked with the tool's clock pinned, so ages are exact.
constexpr int64_t kMadeAt = 1'700'000'000;

std::string TokenOf(const std::string& password, const std::string& text) {
  const RunResult made = RunGlimmarkAt(kMadeAt, {"token", "--password", password, "--text", text});
  EXPECT_EQ(made.exitCode, 0) << made.err;
  EXPECT_TRUE(std::regex_match(made.out, std::regex("[0-9]+\n"))) << made.out;
  return made.out.substr(0, made.out.size() - 1);
}

TEST(GlimmarkCli, TokenThenVerifyGivesTheTextAndItsAgeBack) {
  const std::string token = TokenOf("s3cret", "Captcha Test");
  EXPECT_EQ(token.size(), 96u);
  for (const int64_t age : {0, 90, -5}) {
    const RunResult verified =
        RunGlimmarkAt(kMadeAt + age, {"verify", "--password", "s3cret", "--token", token});
    ASSERT_EQ(verified.exitCode, 0) << verified.err;
    EXPECT_EQ(verified.out, "text: Captcha Test\nage: " + std::to_string(age) + "\n");
    EXPECT_EQ(verified.err, "");
  }
}

TEST(GlimmarkCli, JsonOutputOfBothCommands) {
  const RunResult made = RunGlimmarkAt(
      kMadeAt, {"token", "--json", "--password", "pw", "--text", "caf\xC3\xA9 \"q\""});
  ASSERT_EQ(made.exitCode, 0) << made.err;
  std::smatch match;
  ASSERT_TRUE(std::regex_match(made.out, match, std::regex("\\{\"token\": \"([0-9]{72})\"\\}\n")))
      << made.out;
  const RunResult verified = RunGlimmarkAt(
      kMadeAt + 1, {"verify", "--password=pw", "--token=" + match[1].str(), "--json"});
  ASSERT_EQ(verified.exitCode, 0) << verified.err;
  EXPECT_EQ(verified.out, "{\"text\": \"caf\xC3\xA9 \\\"q\\\"\", \"age\": 1}\n");
}

// Characters beyond the first plane travel as surrogate pairs and come back;
// a text of 14 or more characters gives the 99-digit token, which is taken.
TEST(GlimmarkCli, NonAsciiAndLongTextsRoundTrip) {
  const std::string text = "\xF0\x9F\x98\x80 \xC3\xBC";  // U+1F600, space, u-umlaut
  const RunResult verified =
      RunGlimmark({"verify", "--password", "pw", "--token", TokenOf("pw", text)});
  ASSERT_EQ(verified.exitCode, 0) << verified.err;
  EXPECT_EQ(verified.out.substr(0, verified.out.find('\n')), "text: " + text);
  const std::string longToken = TokenOf("pw", "abcdefghijklmnopqrst");
  ASSERT_EQ(longToken.size(), 99u);
  const RunResult cut = RunGlimmark({"verify", "--password", "pw", "--token", longToken});
  ASSERT_EQ(cut.exitCode, 0) << cut.err;
  EXPECT_EQ(cut.out.substr(0, cut.out.find('\n')), "text: abcdefghijklmn");
}

// The object would restore some text from these; the tool refuses them.
TEST(GlimmarkCli, MalformedTokensAreRefusedWithExitCode1) {
  for (const std::string& token :
       {std::string("123"), std::string(23, '1') + "x", std::string(21, '0') + "256"}) {
    const RunResult verified = RunGlimmark({"verify", "--password", "pw", "--token", token});
    EXPECT_EQ(verified.exitCode, 1) << token;
    EXPECT_EQ(verified.out, "") << token;
    EXPECT_EQ(verified.err, "glimmark verify: malformed token\n") << token;
  }
}

TEST(GlimmarkCli, BadCommandLinesGiveUsageOnStderrAndExitCode2) {
  const std::vector<std::vector<std::string>> badLines = {
      {},
      {"bogus"},
      {"token", "--password", "pw"},                                   // --text missing
      {"token", "--password", "pw", "--text"},                         // value missing
      {"token", "--password", "pw", "--text", "t", "--colour"},        // unknown option
      {"token", "--password", "pw", "--text", "t", "stray"},           // stray argument
      {"token", "--password", "a", "--password", "b", "--text", "t"},  // repeated
      {"token", "--password", "pw", "--text", "t", "--json=yes"},      // flag with value
      {"verify", "--password", "pw"},                                  // --token missing
      {"verify", "--password", "\xC3(", "--token", "123"},             // not UTF-8
  };
  for (const auto& args : badLines) {
    const RunResult result = RunGlimmark(args);
    std::string line;
    for (const std::string& arg : args) line += arg + " ";
    EXPECT_EQ(result.exitCode, 2) << line;
    EXPECT_EQ(result.out, "") << line;
    EXPECT_NE(result.err, "") << line;
  }
}

TEST(GlimmarkCli, HelpListsCommandsAndOptions) {
  const RunResult overview = RunGlimmark({"--help"});
  EXPECT_EQ(overview.exitCode, 0);
  EXPECT_NE(overview.out.find("token"), std::string::npos);
  EXPECT_NE(overview.out.find("verify"), std::string::npos);
  const RunResult tokenHelp = RunGlimmark({"token", "--help"});
  EXPECT_EQ(tokenHelp.exitCode, 0);
  EXPECT_NE(tokenHelp.out.find("--password"), std::string::npos);
  EXPECT_NE(tokenHelp.out.find("--json"), std::string::npos);
}

}  // namespace

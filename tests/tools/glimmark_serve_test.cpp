// `glimmark serve` as an operator starts it: what it refuses before it
// listens, and what it says. Each run has an empty registry file of its own,
// so a run that got past its checks would still stop at the component (and
// the address below cannot be bound here, so nothing ever serves).
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/cli_runner.h"

namespace {

// A documentation address (TEST-NET-1): binding it fails on any host.
const char kUnbindable[] = "192.0.2.1";

class GlimmarkServe : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string base = ::testing::TempDir() + "glimmark-serve-" + std::to_string(getpid());
    registry_ = base + ".db";
    passwordFile_ = base + ".password";
    const char* saved = std::getenv("GLIMMARK_REGISTRY");
    savedRegistry_ = saved != nullptr ? saved : "";
    std::remove(registry_.c_str());
    setenv("GLIMMARK_REGISTRY", registry_.c_str(), 1);  // for the tool
    WritePasswordFile("s3cret\n");
  }
  void TearDown() override {
    setenv("GLIMMARK_REGISTRY", savedRegistry_.c_str(), 1);
    for (const std::string& file : {registry_, passwordFile_}) std::remove(file.c_str());
  }
  void WritePasswordFile(const std::string& content) {
    FILE* file = std::fopen(passwordFile_.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fwrite(content.data(), 1, content.size(), file);
    std::fclose(file);
  }
  RunResult Serve(std::vector<std::string> args) {
    args.insert(args.begin(), {"serve", "--bind", kUnbindable});
    return RunGlimmark(args);
  }
  std::string registry_;
  std::string passwordFile_;
  std::string savedRegistry_;
};

TEST_F(GlimmarkServe, RefusesToStartWithoutAComponentThatDraws) {
  const RunResult run = Serve({"--password-file", passwordFile_});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.out, "");
  for (const std::string& part :
       {std::string("cannot create and draw with \"tolvek.Glimmark\" (0x800401F3)"), registry_,
        std::string("`glimmark register`")}) {
    EXPECT_NE(run.err.find(part), std::string::npos) << part << "\n" << run.err;
  }
}

TEST_F(GlimmarkServe, APasswordOnTheCommandLineIsWarnedAboutAndAFileIsNot) {
  const std::string warning = "visible to every local user in the process list";
  const RunResult onCommandLine = Serve({"--password", "s3cret"});
  EXPECT_NE(onCommandLine.err.find(warning), std::string::npos) << onCommandLine.err;
  const RunResult fromFile = Serve({"--password-file", passwordFile_});
  EXPECT_EQ(fromFile.err.find(warning), std::string::npos) << fromFile.err;
  EXPECT_EQ(fromFile.err.find("s3cret"), std::string::npos);  // never printed
}

TEST_F(GlimmarkServe, BadSettingsAreRefusedBeforeAnythingStarts) {
  WritePasswordFile("");
  const struct {
    std::vector<std::string> args;
    const char* message;
  } cases[] = {
      {{"--password-file", passwordFile_}, "is empty"},
      {{"--password-file", passwordFile_ + ".missing"}, "cannot read the password file"},
      {{"--password", "a", "--password-file", passwordFile_}, "not both"},
      {{"--size", "39x70"}, "--size"},
      {{"--size", "200x 70"}, "--size"},
      {{"--lines", "+5"}, "--lines"},
      {{"--line-width", " 5"}, "--line-width"},
      {{"--quality", "101"}, "--quality"},
      {{"--colors", "FF000000"}, "--colors"},
      {{"--colors", "000000,FFFFFF"}, "--colors"},
      {{"--format", "png"}, "--format"},
      {{"--trusted-proxy", "127.0.0.1", "--trusted-proxy", "proxy.example"}, "--trusted-proxy"},
      {{"--port", "-1"}, "--port"},
  };
  for (const auto& c : cases) {
    const RunResult run = Serve(c.args);
    EXPECT_EQ(run.exitCode, 2) << c.message;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
  }
}

}  // namespace

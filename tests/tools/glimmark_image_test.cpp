// `glimmark image` run as a user runs it: the picture it writes, what it
// prints, and how it refuses bad options and reports failed output.
#include <gtest/gtest.h>
#include <unistd.h>

#include <regex>
#include <string>
#include <vector>

#include "support/cli_runner.h"
#include "support/image_decoding.h"

namespace {

std::string ScratchPath(const std::string& name) {
  return ::testing::TempDir() + "glimmark_image_" + std::to_string(getpid()) + "_" + name;
}

constexpr int64_t kMadeAt = 1'700'000'000;

std::vector<uint8_t> Bytes(const std::string& text) {
  return std::vector<uint8_t>(text.begin(), text.end());
}

TEST(GlimmarkImage, WritesTheFileAndPrintsARandomText) {
  const std::string path = ScratchPath("default.jpg");
  const RunResult run = RunGlimmark({"image", "--out", path});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_TRUE(std::regex_match(run.out, std::regex("[A-Za-z1-9]{4,6}\n"))) << run.out;
  const DecodedImage image = DecodeJpeg(Bytes(ReadFile(path)));
  EXPECT_TRUE(image.ok);
  EXPECT_EQ(image.width, 200);
  EXPECT_EQ(image.height, 70);
  std::remove(path.c_str());
}

TEST(GlimmarkImage, OptionsShapeThePictureAndJsonCarriesTheToken) {
  const std::string path = ScratchPath("options.gif");
  const RunResult run = RunGlimmarkAt(
      kMadeAt, {"image",  "--out",        path,       "--format",     "gif",      "--size",
                "150x50", "--text",       "Hello",    "--lines",      "3",        "--line-width",
                "2",      "--font-color", "FF2040A0", "--background", "FFF0F0E0", "--password",
                "pw",     "--json"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  std::smatch match;
  ASSERT_TRUE(std::regex_match(
      run.out, match,
      std::regex("\\{\"text\": \"Hello\", \"file\": \"[^\"]+\", \"token\": \"([0-9]{48})\"\\}\n")))
      << run.out;
  const DecodedImage image = DecodeGif(Bytes(ReadFile(path)));
  EXPECT_TRUE(image.ok);
  EXPECT_EQ(image.width, 150);
  EXPECT_EQ(image.height, 50);
  const RunResult verified =
      RunGlimmarkAt(kMadeAt, {"verify", "--password", "pw", "--token", match[1].str()});
  EXPECT_EQ(verified.out, "text: Hello\nage: 0\n");
  std::remove(path.c_str());
}

// The name goes to the file system and into the JSON as written, UTF-8.
TEST(GlimmarkImage, NonAsciiFileNameIsPrintedAsWritten) {
  const std::string path = ScratchPath("caf\xC3\xA9.jpg");
  const RunResult run = RunGlimmark({"image", "--out", path, "--json", "--text", "x"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, "{\"text\": \"x\", \"file\": \"" + path + "\"}\n");
  EXPECT_TRUE(DecodeJpeg(Bytes(ReadFile(path))).ok);
  std::remove(path.c_str());
}

TEST(GlimmarkImage, PictureToStdoutAndTextToStderr) {
  const RunResult run = RunGlimmark({"image", "--out", "-", "--length", "5"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_TRUE(DecodeJpeg(Bytes(run.out)).ok);
  EXPECT_TRUE(std::regex_match(run.err, std::regex("[A-Za-z1-9]{5}\n"))) << run.err;
}

TEST(GlimmarkImage, BadOptionsGiveUsageAndExitCodeTwo) {
  const std::vector<std::vector<std::string>> badCalls = {{"image", "--size", "0x70"},
                                                          {"image", "--size", "200"},
                                                          {"image", "--format", "png"},
                                                          {"image", "--quality", "0"},
                                                          {"image", "--font-color", "red"},
                                                          {"image", "--length", "6-4"},
                                                          {"image", "--length", "98"},
                                                          {"image", "--lines", "-1"},
                                                          {"image", "--lines", " 5"},
                                                          {"image", "--quality", "+5"},
                                                          {"image", "--size", "200x 70"},
                                                          {"image", "--font-color", "FF0000"},
                                                          {"image", "--text", "a", "--length", "4"},
                                                          {"image", "--nope"},
                                                          {"image", "--out"}};
  for (const auto& call : badCalls) {
    const RunResult run = RunGlimmark(call);
    EXPECT_EQ(run.exitCode, 2) << call[1];
    EXPECT_NE(run.err.find("usage: glimmark image"), std::string::npos) << run.err;
    EXPECT_EQ(run.out, "");
  }
}

TEST(GlimmarkImage, FailedOutputPrintsTheComponentsMessage) {
  const RunResult run = RunGlimmark({"image", "--out", ScratchPath("missing/dir/x.jpg")});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("Cannot save into the file"), std::string::npos) << run.err;
  EXPECT_EQ(run.out, "");
}

}  // namespace

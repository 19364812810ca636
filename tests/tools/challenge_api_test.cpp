// The challenge API for sites written in other languages: GET /challenge's
// JSON as the site makes it (the envelope, the picture's address, the expiry)
// must lead to a picture and to an accepted answer, and JSON strings must be
// escaped. The HTTP route itself is exercised by the Python example's test.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "support/scratch_registry.h"
#include "support/server_registration.h"
#include "tools/pagehost/captcha_site.h"
#include "tools/pagehost/form_decoding.h"
#include "tools/pagehost/json_text.h"
#include "tools/pagehost/page_object.h"

namespace {

TEST(JsonStringLiteral, EscapesWhatJsonForbidsAndKeepsUtf8) {
  EXPECT_EQ(JsonStringLiteral(""), "\"\"");
  EXPECT_EQ(JsonStringLiteral("a\"b\\c"), "\"a\\\"b\\\\c\"");
  EXPECT_EQ(JsonStringLiteral(std::string("\n\t\x01\x1f\x7f", 5)),
            "\"\\u000a\\u0009\\u0001\\u001f\\u007f\"");
  EXPECT_EQ(JsonStringLiteral(std::string("nul\0!", 5)), "\"nul\\u0000!\"");
  EXPECT_EQ(JsonStringLiteral("caf\xC3\xA9 /captcha?token=x_-"),
            "\"caf\xC3\xA9 /captcha?token=x_-\"");
}

class ChallengeApiTest : public ScratchRegistry {
 protected:
  void SetUp() override {
    ScratchRegistry::SetUp();
    ASSERT_EQ(RegisterBuiltServer(), S_OK);
    EnterPageApartment();
  }
  void TearDown() override {
    LeavePageApartment();
    ScratchRegistry::TearDown();
  }
};

TEST_F(ChallengeApiTest, TheJsonLeadsToThePictureAndToAnAcceptedAnswer) {
  SiteSettings settings;
  settings.password = u"pw";
  settings.key = RandomHostKey();
  settings.maxAgeSeconds = 120;
  CaptchaSite site(settings);

  const int64_t before = HostClockSeconds();
  const PageResult challenge = site.Challenge();
  const int64_t after = HostClockSeconds();
  ASSERT_EQ(challenge.status, 200) << challenge.body;
  EXPECT_EQ(challenge.contentType, "application/json");
  std::smatch json;
  ASSERT_TRUE(std::regex_match(challenge.body, json,
                               std::regex("\\{\"token\": \"([A-Za-z0-9_-]+)\", \"picture\": "
                                          "\"(/captcha\\?token=([A-Za-z0-9_-]+))\", "
                                          "\"audio\": \"/audio\\?token=([A-Za-z0-9_-]+)\", "
                                          "\"expires\": ([0-9]+)\\}\n")))
      << challenge.body;
  const std::string envelope = json[1].str();
  EXPECT_EQ(json[3].str(), envelope);
  EXPECT_EQ(json[4].str(), envelope);
  const int64_t expires = std::stoll(json[5].str());
  EXPECT_GE(expires, before + settings.maxAgeSeconds);
  EXPECT_LE(expires, after + settings.maxAgeSeconds);
  // What the JSON says is what the envelope holds.
  const auto contents = OpenEnvelope(settings.key, envelope);
  ASSERT_TRUE(contents.has_value());
  EXPECT_EQ(contents->expiresAt, expires);

  // The picture's address, as a client would follow it.
  const std::string picture = json[2].str();
  QueryValues query;
  std::string reason;
  ASSERT_TRUE(DecodeForm(picture.substr(picture.find('?') + 1), query, reason)) << reason;
  const PageResult image = site.Picture(query);
  EXPECT_EQ(image.status, 200) << image.body;
  EXPECT_EQ(image.contentType, "image/jpeg");

  // Two challenges are two envelopes.
  EXPECT_NE(site.Challenge().body, challenge.body);
  // The envelope answers as the form's does: a wrong answer is refused.
  // With the audio off the JSON names no audio.
  SiteSettings silent = settings;
  silent.audio = false;
  EXPECT_EQ(CaptchaSite(silent).Challenge().body.find("\"audio\""), std::string::npos);
  const PageResult wrong =
      site.Verify({{"token", envelope}, {"answer", "?"}}, {"127.0.0.1", ""}, true);
  EXPECT_EQ(wrong.body, "{\"ok\": false, \"reason\": \"wrong answer\"}\n");
}

}  // namespace

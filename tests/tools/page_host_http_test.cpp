// The page host over real HTTP: malformed requests refused with their reason
// while the host keeps serving, many clients at once, no component token in
// anything served, tampered envelopes refused, the failed-answer limit.
// The built library is registered into the test program's registry first:
// pages create the object by ProgID and call it by name only.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "component/cglimmark.h"
#include "dll/glimmark_client.h"
#include "support/image_decoding.h"
#include "support/scratch_registry.h"
#include "support/server_registration.h"
#include "tools/pagehost/page_host.h"
#include "tools/pagehost/page_object.h"

// After the Windows headers: its system headers define a few of the same names.
#include <httplib.h>

namespace {

constexpr char16_t kPassword[] = u"s3cret-pw";

// The text a token restores to under the test's password.
std::string RestoredText(const std::string& token) {
  IGlimmark* object = nullptr;
  if (FAILED(CreateGlimmark(&object))) return "";
  BSTR password = SysAllocString(kPassword);
  object->SetPassword(password);
  SysFreeString(password);
  std::u16string wide(token.begin(), token.end());
  BSTR value = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
  object->put_EncryptedText(value);
  SysFreeString(value);
  BSTR text = nullptr;
  object->get_Text(&text);
  std::string narrow;
  for (UINT i = 0; text != nullptr && i < SysStringLen(text); ++i)
    narrow.push_back(static_cast<char>(text[i]));
  SysFreeString(text);
  object->Release();
  return narrow;
}

class PageHostThreadsTest : public ScratchRegistry {
 protected:
  void SetUp() override {
    ScratchRegistry::SetUp();
    ASSERT_EQ(RegisterBuiltServer(), S_OK);
    HostOptions options;
    options.port = 0;
    options.threads = 8;
    options.site.password = kPassword;
    options.site.key = RandomHostKey();
    options.site.maxFailuresPerMinute = maxFailuresPerMinute;
    options.site.audio = audio;
    key = options.site.key;
    host = std::make_unique<PageHost>(options);
    std::string error;
    ASSERT_TRUE(host->Bind(error)) << error;
    serving = std::thread([this] { host->Serve(); });
  }
  void TearDown() override {
    if (host) {
      host->Stop();
      serving.join();
    }
    ScratchRegistry::TearDown();
  }
  httplib::Client Client() { return httplib::Client("127.0.0.1", host->Port()); }

  // GET / and the envelope its form carries.
  std::string NewEnvelope(httplib::Client& client, std::string* page = nullptr) {
    auto result = client.Get("/");
    if (!result || result->status != 200) return "";
    if (page != nullptr) *page = result->body;
    std::smatch match;
    static const std::regex field("name=\"token\" value=\"([A-Za-z0-9_-]+)\"");
    return std::regex_search(result->body, match, field) ? match[1].str() : "";
  }
  std::string AnswerOf(const std::string& envelope) {
    auto contents = OpenEnvelope(key, envelope);
    return contents ? RestoredText(contents->token) : "";
  }
  httplib::Result Verify(httplib::Client& client, const std::string& envelope,
                         const std::string& answer) {
    const httplib::Headers json = {{"Accept", "application/json"}};
    return client.Post("/verify", json, "token=" + envelope + "&answer=" + answer,
                       "application/x-www-form-urlencoded");
  }

  int maxFailuresPerMinute = FailureLimiter::kDefaultMaxFailures;
  bool audio = true;
  HostKey key{};
  std::unique_ptr<PageHost> host;
  std::thread serving;
};

TEST_F(PageHostThreadsTest, MalformedRequestsGetTheirReasonAndTheHostKeepsServing) {
  httplib::Client client = Client();
  const std::string envelope = NewEnvelope(client);
  ASSERT_FALSE(envelope.empty());
  struct Case {
    const char* method;
    std::string target;
    std::string body;
    int status;
    const char* reason;
  };
  const Case cases[] = {
      {"GET", "/captcha", "", 400, "missing parameter: token"},
      {"GET", "/captcha?token=" + envelope + "&width=5", "", 400, "width must be"},
      {"GET", "/captcha?token=" + envelope + "&format=bmp", "", 400, "format must be"},
      {"GET", "/captcha?token=" + envelope + "&fg=red", "", 400, "fg must be"},
      {"GET", "/captcha?token=" + envelope + "&token=x", "", 400, "field given twice"},
      {"GET", "/captcha?token=%zz", "", 400, "malformed form or query field"},
      {"GET", "/captcha?token=AAAA", "", 400, "malformed token"},
      {"GET", "/captcha?token=" + std::string(8200, 'A'), "", 414, ""},
      {"GET", "/audio", "", 400, "missing parameter: token"},
      {"GET", "/audio?token=" + envelope + "&lines=0", "", 400, "/audio takes the token only"},
      {"GET", "/audio?token=AAAA", "", 400, "malformed token"},
      {"POST", "/audio", "token=" + envelope, 405, "method not allowed"},
      {"GET", "/nothing", "", 404, "no such page"},
      {"GET", "/verify", "", 405, "method not allowed"},
      {"POST", "/verify", "token=" + envelope, 400, "missing field: answer"},
      {"POST", "/verify", "answer=x", 400, "missing field: token"},
      {"POST", "/verify", std::string(70 * 1024, 'a'), 413, ""},
  };
  for (const Case& c : cases) {
    auto result = std::string(c.method) == "GET"
                      ? client.Get(c.target.c_str())
                      : client.Post(c.target.c_str(), c.body, "application/x-www-form-urlencoded");
    ASSERT_TRUE(result) << c.target.substr(0, 60);
    EXPECT_EQ(result->status, c.status) << c.target.substr(0, 60);
    EXPECT_EQ(result->body.rfind(c.reason, 0), 0u) << result->body;
    EXPECT_EQ(std::count(result->body.begin(), result->body.end(), '\n'), 1);
    auto still = Client().Get("/");
    ASSERT_TRUE(still);
    EXPECT_EQ(still->status, 200);
  }
}

// The 16-bit mono samples of a WAV answer, after checking its header: 16 kHz
// PCM, sizes that agree with the body.
std::vector<int16_t> WavSamples(const std::string& body) {
  auto field = [&body](size_t at, int bytes) {
    uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; --i)
      value = value << 8 | static_cast<unsigned char>(body[at + i]);
    return value;
  };
  std::vector<int16_t> samples;
  if (body.size() < 44 || body.compare(0, 4, "RIFF") != 0 || body.compare(8, 8, "WAVEfmt ") != 0)
    return samples;
  EXPECT_EQ(field(4, 4), body.size() - 8);
  EXPECT_EQ(field(20, 2), 1u);  // PCM
  EXPECT_EQ(field(22, 2), 1u);  // mono
  EXPECT_EQ(field(24, 4), 16000u);
  EXPECT_EQ(field(34, 2), 16u);
  EXPECT_EQ(field(40, 4), body.size() - 44);
  for (size_t at = 44; at + 1 < body.size(); at += 2)
    samples.push_back(static_cast<int16_t>(field(at, 2)));
  return samples;
}

TEST_F(PageHostThreadsTest, TheFormOffersTheSpokenChallengeUntilItIsAnswered) {
  httplib::Client client = Client();
  std::string page;
  const std::string envelope = NewEnvelope(client, &page);
  ASSERT_FALSE(envelope.empty());
  // After the picture, a player with controls and a label, fetching nothing
  // until played.
  const size_t picture = page.find("<img id=\"captcha\"");
  const size_t player = page.find(
      "<audio id=\"captcha-audio\" controls preload=\"none\" "
      "aria-labelledby=\"audio-label\" src=\"/audio?token=" +
      envelope + "\"");
  ASSERT_NE(player, std::string::npos) << page;
  EXPECT_LT(picture, player);
  EXPECT_NE(page.find("id=\"audio-label\""), std::string::npos);

  auto audio = client.Get(("/audio?token=" + envelope).c_str());
  ASSERT_TRUE(audio);
  ASSERT_EQ(audio->status, 200) << audio->body;
  EXPECT_EQ(audio->get_header_value("Content-Type"), "audio/wav");
  EXPECT_EQ(audio->get_header_value("Cache-Control"), "no-store");
  const double seconds = double(WavSamples(audio->body).size()) / 16000;
  EXPECT_GE(seconds, 2.0);
  EXPECT_LE(seconds, 15.0);

  // Once answered, the challenge is over: no more audio of it.
  auto verdict = Verify(client, envelope, AnswerOf(envelope));
  ASSERT_TRUE(verdict);
  EXPECT_EQ(verdict->body, "{\"ok\": true}\n");
  auto after = client.Get(("/audio?token=" + envelope).c_str());
  ASSERT_TRUE(after);
  ASSERT_EQ(after->status, 410);
  EXPECT_EQ(after->body, "already used\n");
}

class PageHostWithoutAudioThreadsTest : public PageHostThreadsTest {
 protected:
  void SetUp() override {
    audio = false;
    PageHostThreadsTest::SetUp();
  }
};

TEST_F(PageHostWithoutAudioThreadsTest, NeitherRouteNorPlayerIsThere) {
  httplib::Client client = Client();
  std::string page;
  const std::string envelope = NewEnvelope(client, &page);
  ASSERT_FALSE(envelope.empty());
  EXPECT_EQ(page.find("<audio"), std::string::npos);
  EXPECT_EQ(page.find("/audio"), std::string::npos);
  auto audio = client.Get(("/audio?token=" + envelope).c_str());
  ASSERT_TRUE(audio);
  EXPECT_EQ(audio->status, 404);
}

TEST_F(PageHostThreadsTest, AFlippedCharacterOfAnEnvelopeIsRefused) {
  httplib::Client client = Client();
  std::string envelope = NewEnvelope(client);
  ASSERT_FALSE(envelope.empty());
  envelope[envelope.size() / 2] ^= 0x01;  // stays in the base64 alphabet for letters
  auto picture = client.Get(("/captcha?token=" + envelope).c_str());
  ASSERT_TRUE(picture);
  EXPECT_EQ(picture->status, 400);
  auto verdict = Verify(client, envelope, "x");
  ASSERT_TRUE(verdict);
  EXPECT_EQ(verdict->body, "{\"ok\": false, \"reason\": \"malformed token\"}\n");
}

TEST_F(PageHostThreadsTest, TheEleventhWrongAnswerInAMinuteGets429) {
  httplib::Client client = Client();
  const std::string envelope = NewEnvelope(client);
  for (int i = 0; i < 10; ++i) {
    auto result = Verify(client, envelope, "wrong");
    ASSERT_TRUE(result);
    EXPECT_EQ(result->body, "{\"ok\": false, \"reason\": \"wrong answer\"}\n") << i;
  }
  auto limited = Verify(client, envelope, AnswerOf(envelope));
  ASSERT_TRUE(limited);
  EXPECT_EQ(limited->status, 429);
  const int retry = std::stoi(limited->get_header_value("Retry-After"));
  EXPECT_GT(retry, 0);
  EXPECT_LE(retry, 60);
}

// All clients come from one address, whose refused second uses would soon
// reach the failed-answer limit: here it is lifted.
class ManyClientsThreadsTest : public PageHostThreadsTest {
 protected:
  void SetUp() override {
    maxFailuresPerMinute = 1000;
    PageHostThreadsTest::SetUp();
  }
};

// Each client: a form, its picture, the right answer accepted, the same token
// refused the second time; nothing served carries a component token.
TEST_F(ManyClientsThreadsTest, AHundredClientsAtOnceEachGetTheirOwnPictureAndVerdict) {
  constexpr int kClients = 100;
  std::atomic<int> accepted{0}, refusedAgain{0}, pictures{0}, tokensSeen{0};
  std::vector<std::thread> clients;
  for (int i = 0; i < kClients; ++i) {
    clients.emplace_back([&] {
      httplib::Client client = Client();
      std::string page;
      const std::string envelope = NewEnvelope(client, &page);
      const auto contents = OpenEnvelope(key, envelope);
      if (!contents) return;
      std::vector<std::string> served = {page, envelope};
      auto picture = client.Get(("/captcha?token=" + envelope).c_str());
      if (picture && picture->status == 200 &&
          picture->get_header_value("Content-Type") == "image/jpeg") {
        const DecodedImage image =
            DecodeJpeg(std::vector<uint8_t>(picture->body.begin(), picture->body.end()));
        if (image.ok && image.width == 200 && image.height == 70) ++pictures;
        served.push_back(picture->body);
      }
      const std::string answer = RestoredText(contents->token);
      auto first = Verify(client, envelope, answer);
      auto second = Verify(client, envelope, answer);
      if (first && first->body == "{\"ok\": true}\n") ++accepted;
      if (second && second->body == "{\"ok\": false, \"reason\": \"already used\"}\n")
        ++refusedAgain;
      for (auto* result : {&first, &second}) {
        if (*result) served.push_back((*result)->body);
      }
      for (const std::string& text : served) {
        if (text.find(contents->token) != std::string::npos) ++tokensSeen;
      }
    });
  }
  for (std::thread& client : clients) client.join();
  EXPECT_EQ(pictures, kClients);
  EXPECT_EQ(accepted, kClients);
  EXPECT_EQ(refusedAgain, kClients);
  EXPECT_EQ(tokensSeen, 0);
}

}  // namespace

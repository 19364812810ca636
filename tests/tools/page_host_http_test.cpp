// The page host over real HTTP: malformed requests refused with their reason
// while the host keeps serving, many clients at once, no component token in
// anything served, tampered envelopes refused, the failed-answer limit.
// The built library is registered into the test program's registry first:
// pages create the object by ProgID and call it by name only.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "support/image_decoding.h"
#include "support/loopback_client.h"
#include "support/scratch_registry.h"
#include "support/server_registration.h"
#include "tools/pagehost/page_host.h"
#include "tools/pagehost/page_object.h"
#include "tools/restored_text.h"

// After the Windows headers: its system headers define a few of the same names.
#include <httplib.h>

namespace {

constexpr char16_t kPassword[] = u"s3cret-pw";
constexpr time_t kClientTimeoutSeconds = 60;

class PageHostThreadsTest : public ScratchRegistry {
 protected:
  void SetUp() override {
    ScratchRegistry::SetUp();
    if (registerServer_) {
      ASSERT_EQ(RegisterBuiltServer(), S_OK);
    }
    HostOptions options;
    options.port = 0;
    options.threads = 8;
    options.site.password = kPassword;
    options.site.key = RandomHostKey();
    options.site.failureWindows.maxFailures = maxFailuresPerMinute_;
    options.site.trustedProxies = trustedProxies_;
    options.site.audio = audio_;
    key_ = options.site.key;
    host_ = std::make_unique<PageHost>(options);
    std::string error;
    ASSERT_TRUE(host_->Bind(error)) << error;
    serving_ = std::thread([this] { host_->Serve(); });
  }
  void TearDown() override {
    if (host_) {
      host_->Stop();
      serving_.join();
    }
    ScratchRegistry::TearDown();
  }
  // A client whose connections come from `source` (any 127.x.y.z), so that
  // many clients are not one address to the host's per-address limits.
  httplib::Client Client(const std::string& source = "") {
    httplib::Client client("127.0.0.1", host_->Port());
    if (!source.empty()) client.set_interface(source);
    // A sanitizer build on a busy machine takes ~100 ms a picture; a hundred
    // clients at once wait far longer than the library's 5 s.
    client.set_read_timeout(kClientTimeoutSeconds, 0);
    return client;
  }

  // GET / and the envelope its form carries.
  std::string NewEnvelope(httplib::Client& client, std::string* page = nullptr) {
    auto result = client.Get("/");
    if (!result || result->status != 200) return "";
    if (page != nullptr) *page = result->body;
    return EnvelopeInForm(result->body);
  }
  std::string AnswerOf(const std::string& envelope) {
    return AnswerOfEnvelope(key_, kPassword, envelope);
  }
  httplib::Result Verify(httplib::Client& client, const std::string& envelope,
                         const std::string& answer) {
    const httplib::Headers json = {{"Accept", "application/json"}};
    return client.Post("/verify", json, "token=" + envelope + "&answer=" + answer,
                       "application/x-www-form-urlencoded");
  }

  int maxFailuresPerMinute_ = FailureWindowSettings().maxFailures;
  std::vector<std::string> trustedProxies_;
  bool registerServer_ = true;
  bool audio_ = true;
  HostKey key_{};
  std::unique_ptr<PageHost> host_;
  std::thread serving_;
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
      {"GET", "/captcha?token=" + envelope + "&token=x", "", 400, "field given twice"},
      {"GET", "/captcha?token=%zz", "", 400, "malformed form or query field"},
      {"GET", "/captcha?token=AAAA", "", 400, "malformed token"},
      {"GET", "/captcha?token=" + std::string(8200, 'A'), "", 414, ""},
      {"GET", "/audio", "", 400, "missing parameter: token"},
      {"GET", "/audio?token=" + envelope + "&lines=0", "", 400, "the audio takes the envelope"},
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
  for (int i = 0; i < 10; ++i) {
    auto result = Verify(client, NewEnvelope(client), "wrong");
    ASSERT_TRUE(result);
    EXPECT_EQ(result->body, "{\"ok\": false, \"reason\": \"wrong answer\"}\n") << i;
  }
  const std::string envelope = NewEnvelope(client);
  auto limited = Verify(client, envelope, AnswerOf(envelope));
  ASSERT_TRUE(limited);
  EXPECT_EQ(limited->status, 429);
  const int retry = std::stoi(limited->get_header_value("Retry-After"));
  EXPECT_GT(retry, 0);
  EXPECT_LE(retry, 60);
}

// One answer per envelope: a wrong guess uses it up as a right one would.
TEST_F(PageHostThreadsTest, WrongThenRightOnOneEnvelopeIsAlreadyUsed) {
  httplib::Client client = Client();
  const std::string envelope = NewEnvelope(client);
  auto wrong = Verify(client, envelope, "wrong");
  auto right = Verify(client, envelope, AnswerOf(envelope));
  ASSERT_TRUE(wrong && right);
  EXPECT_EQ(wrong->body, "{\"ok\": false, \"reason\": \"wrong answer\"}\n");
  EXPECT_EQ(right->status, 403);
  EXPECT_EQ(right->body, "{\"ok\": false, \"reason\": \"already used\"}\n");
}

// The host chooses the look; a visitor's request names the envelope only,
// and every fetch of one envelope gets the bytes of its first rendering.
TEST_F(PageHostThreadsTest, ThePictureTakesTheEnvelopeOnlyAndIsRenderedOnce) {
  httplib::Client client = Client();
  const std::string envelope = NewEnvelope(client);
  const std::string picture = "/captcha?token=" + envelope;
  for (const char* look :
       {"&width=600", "&height=200", "&lines=0", "&line_width=1", "&fg=FF000000", "&bg=FFFFFFFF",
        "&format=gif", "&quality=100", "&size=600x200", "&anything=1"}) {
    auto refused = client.Get((picture + look).c_str());
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->status, 400) << look;
    EXPECT_EQ(refused->body, "the picture takes the envelope (token) only\n") << look;
  }
  auto first = client.Get(picture.c_str());
  auto second = Client().Get(picture.c_str());
  ASSERT_TRUE(first && second);
  EXPECT_EQ(first->status, 200);
  EXPECT_EQ(second->status, 200);
  EXPECT_FALSE(first->body.empty());
  EXPECT_TRUE(first->body == second->body) << "two renderings of one envelope";
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

TEST_F(PageHostThreadsTest, TheFormOffersOneSpokenChallengePerEnvelopeUntilItIsAnswered) {
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

  const std::string audio = "/audio?token=" + envelope;
  auto first = client.Get(audio.c_str());
  ASSERT_TRUE(first);
  ASSERT_EQ(first->status, 200) << first->body;
  EXPECT_EQ(first->get_header_value("Content-Type"), "audio/wav");
  EXPECT_EQ(first->get_header_value("Cache-Control"), "no-store");
  const double seconds = double(WavSamples(first->body).size()) / 16000;
  EXPECT_GE(seconds, 2.0);
  EXPECT_LE(seconds, 15.0);
  auto second = Client().Get(audio.c_str());
  ASSERT_TRUE(second);
  EXPECT_TRUE(second->body == first->body) << "two audios of one envelope";

  // Once answered, no audio is made for an envelope that had none.
  const std::string answered = NewEnvelope(client);
  auto verdict = Verify(client, answered, AnswerOf(answered));
  ASSERT_TRUE(verdict);
  EXPECT_EQ(verdict->body, "{\"ok\": true}\n");
  auto after = client.Get(("/audio?token=" + answered).c_str());
  ASSERT_TRUE(after);
  ASSERT_EQ(after->status, 410);
  EXPECT_EQ(after->body, "no audio for this challenge: answered, or no longer kept\n");
}

class PageHostWithoutAudioThreadsTest : public PageHostThreadsTest {
 protected:
  void SetUp() override {
    audio_ = false;
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

// The test's client connects from 127.0.0.1, named a trusted proxy here, and
// says in X-Forwarded-For which IPv6 address it answers for: the host needs
// no IPv6 listener, and the loopback test reaches every address of a /64.
class BehindAProxyThreadsTest : public PageHostThreadsTest {
 protected:
  void SetUp() override {
    trustedProxies_ = {"127.0.0.1"};
    PageHostThreadsTest::SetUp();
  }
};

// 10,000 wrong answers, each from another address of one /64 and each on an
// envelope of its own (sealed here under the host's key): the first ten are
// judged, every later one is 429 without a look at its answer.
TEST_F(BehindAProxyThreadsTest, TenThousandAddressesOfOneSlash64AreOneClient) {
  constexpr int kAnswers = 10000;
  httplib::Client client = Client();
  const auto contents = OpenEnvelope(key_, NewEnvelope(client));
  ASSERT_TRUE(contents.has_value());
  int wrong = 0, limited = 0, other = 0;
  for (int i = 0; i < kAnswers; ++i) {
    char address[48];
    std::snprintf(address, sizeof(address), "2001:db8:5:6:%x:%x::1", i >> 8, i & 0xFF);
    const std::string envelope = SealEnvelope(key_, {contents->token, contents->expiresAt, {}});
    const httplib::Headers headers = {{"Accept", "application/json"}, {"X-Forwarded-For", address}};
    auto result = client.Post("/verify", headers, "token=" + envelope + "&answer=wrong",
                              "application/x-www-form-urlencoded");
    ASSERT_TRUE(result) << i;
    if (result->status == 403 && i < 10) {
      ++wrong;
    } else if (result->status == 429 && i >= 10) {
      ++limited;
    } else {
      ++other;
    }
  }
  EXPECT_EQ(wrong, 10);
  EXPECT_EQ(limited, kAnswers - 10);
  EXPECT_EQ(other, 0);
  // Another /64, through the same proxy, is another client.
  const std::string envelope = NewEnvelope(client);
  const httplib::Headers elsewhere = {{"Accept", "application/json"},
                                      {"X-Forwarded-For", "2001:db8:5:7::1"}};
  auto accepted =
      client.Post("/verify", elsewhere, "token=" + envelope + "&answer=" + AnswerOf(envelope),
                  "application/x-www-form-urlencoded");
  ASSERT_TRUE(accepted);
  EXPECT_EQ(accepted->body, "{\"ok\": true}\n");
}

TEST_F(PageHostThreadsTest, PagesCarryTheirSecurityFieldsAndEveryAnswerADate) {
  httplib::Client client = Client();
  const std::string envelope = NewEnvelope(client);
  auto form = client.Get("/");
  auto picture = client.Get(("/captcha?token=" + envelope).c_str());
  auto verdict = client.Post("/verify", "token=" + envelope + "&answer=x",
                             "application/x-www-form-urlencoded");
  auto missing = client.Get("/nothing");
  auto health = client.Get("/healthz");
  for (auto* result : {&form, &picture, &verdict, &missing, &health}) {
    ASSERT_TRUE(*result);
    EXPECT_TRUE((*result)->has_header("Date")) << (*result)->status;
  }
  for (auto* page : {&form, &verdict}) {
    const std::string policy = (*page)->get_header_value("Content-Security-Policy");
    EXPECT_NE(policy.find("default-src 'none'"), std::string::npos) << policy;
    EXPECT_NE(policy.find("frame-ancestors 'none'"), std::string::npos) << policy;
    EXPECT_NE(policy.find("img-src 'self'"), std::string::npos) << policy;
    EXPECT_EQ((*page)->get_header_value("X-Content-Type-Options"), "nosniff");
    EXPECT_EQ((*page)->get_header_value("Referrer-Policy"), "no-referrer");
  }
  EXPECT_FALSE(picture->has_header("Content-Security-Policy"));  // only pages carry it
  EXPECT_EQ(health->status, 200);
  EXPECT_EQ(health->body, "ok\n");
}

// The attack that took the host before: connections that send a request line
// and then a header byte every 2 s, more of them than page threads and from
// several addresses (each within its per-address share). A well-formed client
// meanwhile gets every page; once the tricklers go, nothing is left held.
TEST_F(PageHostThreadsTest, TricklingHeadsFromManyAddressesDoNotStopAWellFormedClient) {
  constexpr int kAddresses = 8;
  constexpr int kPerAddress = 8;  // 64 tricklers against 8 page threads
  constexpr auto kTrickleInterval = std::chrono::seconds(2);
  std::vector<LoopbackConnection> tricklers;
  for (int a = 1; a <= kAddresses; ++a) {
    for (int i = 0; i < kPerAddress; ++i) {
      tricklers.emplace_back("127.0.20." + std::to_string(a), host_->Port());
      ASSERT_TRUE(tricklers.back().Send("GET / HTTP/1.1\r\nHost: t\r\nX-Slow: "));
    }
  }
  std::atomic<bool> stop{false};
  std::thread trickle([&] {
    while (!stop) {
      for (LoopbackConnection& trickler : tricklers) trickler.Send("a");
      for (auto slept = std::chrono::milliseconds(0); !stop && slept < kTrickleInterval;
           slept += std::chrono::milliseconds(50))
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  });
  for (int round = 0; round < 3; ++round) {
    if (round > 0) std::this_thread::sleep_for(std::chrono::seconds(1));  // across trickles
    httplib::Client client = Client();
    const std::string envelope = NewEnvelope(client);
    ASSERT_FALSE(envelope.empty()) << round;
    auto picture = client.Get(("/captcha?token=" + envelope).c_str());
    ASSERT_TRUE(picture) << round;
    EXPECT_EQ(picture->status, 200);
    auto verdict = Verify(client, envelope, AnswerOf(envelope));
    ASSERT_TRUE(verdict) << round;
    EXPECT_EQ(verdict->body, "{\"ok\": true}\n");
  }
  EXPECT_GE(host_->OpenConnections(), tricklers.size());  // still trickling, none cut
  stop = true;
  trickle.join();
  tricklers.clear();
  for (int waited = 0; waited < 100 && host_->OpenConnections() != 0; ++waited)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(host_->OpenConnections(), 0u);
}

// Without the class registered no object can be made: the health check says so.
class UnregisteredHostTest : public PageHostThreadsTest {
 protected:
  void SetUp() override {
    registerServer_ = false;
    PageHostThreadsTest::SetUp();
  }
};

TEST_F(UnregisteredHostTest, TheHealthCheckAnswers503WhenNoObjectCanBeMade) {
  auto health = Client().Get("/healthz");
  ASSERT_TRUE(health);
  EXPECT_EQ(health->status, 503);
  EXPECT_EQ(health->body.rfind("the captcha object cannot draw (0x", 0), 0u) << health->body;
}

// All clients come from one address, whose refused second uses would soon
// reach the failed-answer limit: here it is lifted.
class ManyClientsThreadsTest : public PageHostThreadsTest {
 protected:
  void SetUp() override {
    maxFailuresPerMinute_ = 1000;
    PageHostThreadsTest::SetUp();
  }
};

// Each client: a form, its picture, the right answer accepted, the same token
// refused the second time; nothing served carries a component token.
TEST_F(ManyClientsThreadsTest, AHundredClientsAtOnceEachGetTheirOwnPictureAndVerdict) {
  constexpr int kClients = 100;
  std::atomic<int> accepted{0}, refusedAgain{0}, pictures{0}, tokensSeen{0};
  std::vector<std::thread> clients;
  constexpr int kAddresses = 25;  // four clients each, within the per-address limit
  for (int i = 0; i < kClients; ++i) {
    clients.emplace_back([&, i] {
      httplib::Client client = Client("127.0.1." + std::to_string(1 + i % kAddresses));
      std::string page;
      const std::string envelope = NewEnvelope(client, &page);
      const auto contents = OpenEnvelope(key_, envelope);
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
      const std::string answer = RestoredText(kPassword, contents->token);
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

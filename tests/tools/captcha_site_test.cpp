// The site's decisions without HTTP, under a pinned clock: which answers are
// accepted, which envelopes refused and why, one answer, one picture and one
// audio per envelope, and whose failures count where (IPv6 /64s, trusted
// proxies, full tables).
#include "tools/pagehost/captcha_site.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "support/scratch_registry.h"
#include "support/server_registration.h"
#include "tools/restored_text.h"

namespace {

// Not a multiple of 10,000: the component seeds its distortions from the
// seconds modulo 10,000 times the milliseconds, and the picture test needs
// two clock readings that give two seeds.
constexpr int64_t kNow = 1'800'001'234;
constexpr char16_t kPassword[] = u"site-pw";
const ClientOrigin kSomeone = {"192.0.2.1", ""};

class CaptchaSiteTest : public ScratchRegistry {
 protected:
  void SetUp() override {
    ScratchRegistry::SetUp();
    ASSERT_EQ(RegisterBuiltServer(), S_OK);
    GlimmarkTest_PinClock(kNow, 0);
    settings_.password = kPassword;
    settings_.key = RandomHostKey();
    settings_.failureWindows = {10, 60};
  }
  void TearDown() override {
    site_.reset();
    GlimmarkTest_UnpinClock();
    ScratchRegistry::TearDown();
  }
  CaptchaSite& Site() {
    if (!site_) site_ = std::make_unique<CaptchaSite>(settings_);
    return *site_;
  }
  // A form made at kNow + `at`: its envelope.
  std::string NewEnvelope(int64_t at = 0) {
    GlimmarkTest_PinClock(kNow + at, 0);
    const PageResult form = Site().Form();
    GlimmarkTest_PinClock(kNow, 0);
    return EnvelopeInForm(form.body);
  }
  std::string AnswerOf(const std::string& envelope) {
    return AnswerOfEnvelope(settings_.key, kPassword, envelope);
  }
  // POST /verify at kNow + `at`, as JSON.
  PageResult Answer(const std::string& envelope, const std::string& answer,
                    const ClientOrigin& origin = kSomeone, int64_t at = 0) {
    GlimmarkTest_PinClock(kNow + at, 0);
    PageResult result = Site().Verify({{"token", envelope}, {"answer", answer}}, origin, true);
    GlimmarkTest_PinClock(kNow, 0);
    return result;
  }
  static std::string Refused(const char* reason) {
    return std::string("{\"ok\": false, \"reason\": \"") + reason + "\"}\n";
  }
  static std::string Header(const PageResult& result, const char* name) {
    for (const auto& [key, value] : result.headers) {
      if (key == name) return value;
    }
    return "";
  }

  ScopedApartment apartment_;
  SiteSettings settings_;
  std::unique_ptr<CaptchaSite> site_;
};

TEST_F(CaptchaSiteTest, EachEnvelopeIsJudgedByItsAgeAndItsAnswer) {
  const struct {
    const char* what;
    int64_t madeAt;      // seconds after kNow
    int64_t answeredAt;  // seconds after kNow
    bool right;
    int status;
    const char* body;
  } cases[] = {
      {"right", 0, 10, true, 200, "{\"ok\": true}\n"},
      {"wrong", 0, 10, false, 403, "wrong answer"},
      {"right at the last second", 0, 300, true, 200, "{\"ok\": true}\n"},
      {"right, expired", 0, 301, true, 403, "expired"},
      {"right, made in the future", 100, 0, true, 400, "malformed token"},
  };
  for (const auto& c : cases) {
    const std::string envelope = NewEnvelope(c.madeAt);
    ASSERT_FALSE(envelope.empty());
    const std::string answer = c.right ? AnswerOf(envelope) : "Wrong";
    const PageResult result = Answer(envelope, answer, kSomeone, c.answeredAt);
    EXPECT_EQ(result.status, c.status) << c.what;
    EXPECT_EQ(result.body, c.status == 200 ? c.body : Refused(c.body)) << c.what;
  }
  std::string forged = NewEnvelope();
  forged[10] = forged[10] == 'A' ? 'B' : 'A';
  EXPECT_EQ(Answer(forged, "x").body, Refused("malformed token"));
}

TEST_F(CaptchaSiteTest, TheFirstAnswerUsesTheEnvelopeUp) {
  const std::string wrongFirst = NewEnvelope();
  EXPECT_EQ(Answer(wrongFirst, "Wrong").body, Refused("wrong answer"));
  EXPECT_EQ(Answer(wrongFirst, AnswerOf(wrongFirst)).body, Refused("already used"));
  const std::string rightFirst = NewEnvelope();
  EXPECT_EQ(Answer(rightFirst, AnswerOf(rightFirst)).status, 200);
  EXPECT_EQ(Answer(rightFirst, AnswerOf(rightFirst)).body, Refused("already used"));
  EXPECT_EQ(Answer(rightFirst, "Wrong", {"198.51.100.1", ""}).body, Refused("already used"));
}

TEST(AnswerMatches, ExactlyWhateverTheAnswerHolds) {
  EXPECT_TRUE(AnswerMatches(u"aBc45", "aBc45"));
  for (const char* other : {"abc45", "aBc4", "aBc456", "", "aBc4\xC3\xA9", "aBc4 ", "ABC45"}) {
    EXPECT_FALSE(AnswerMatches(u"aBc45", other)) << other;
  }
  EXPECT_FALSE(AnswerMatches(u"aBc45", std::string("aBc45\0", 6)));
  EXPECT_FALSE(AnswerMatches(u"\u00e9", "\xE9"));  // a byte above ASCII never matches
}

TEST_F(CaptchaSiteTest, AFullGuardAsksToRetryAndForgetsNoUsedEnvelope) {
  MemoryStoreLimits limits;
  limits.maxClaimedEnvelopes = 2;
  settings_.store = std::make_shared<MemorySiteStore>(settings_.failureWindows, limits);
  const std::string first = NewEnvelope(), second = NewEnvelope(), third = NewEnvelope();
  EXPECT_EQ(Answer(first, AnswerOf(first)).status, 200);
  EXPECT_EQ(Answer(second, "Wrong").status, 403);
  const PageResult busy = Answer(third, AnswerOf(third));
  EXPECT_EQ(busy.status, 503);
  EXPECT_EQ(Header(busy, "Retry-After"), "301");  // when the first claim expires
  EXPECT_EQ(Answer(first, AnswerOf(first)).body, Refused("already used"));
  EXPECT_EQ(Answer(third, AnswerOf(third), kSomeone, 299).status, 503);
}

// Counts the renderings offered to the store: one per envelope.
class CountingStore : public MemorySiteStore {
 public:
  StoreStatus KeepFirstRendering(const std::string& key, const std::string& rendering,
                                 int64_t expiresAt, int64_t now, std::string& kept) override {
    ++offered;
    if (key.rfind("audio:", 0) == 0) ++audios;
    return MemorySiteStore::KeepFirstRendering(key, rendering, expiresAt, now, kept);
  }
  int offered = 0;
  int audios = 0;
};

TEST_F(CaptchaSiteTest, OnePicturePerEnvelopeInTheHostsLook) {
  settings_.look.format = kPictureFormatGif;
  const auto store = std::make_shared<CountingStore>();
  settings_.store = store;
  const std::string envelope = NewEnvelope();
  const PageResult first = Site().Picture({{"token", envelope}});
  // The component seeds its distortions from the clock's milliseconds: a
  // second rendering would differ.
  GlimmarkTest_PinClock(kNow, 500);
  const PageResult second = Site().Picture({{"token", envelope}});
  ASSERT_EQ(first.status, 200) << first.body;
  EXPECT_EQ(first.contentType, "image/gif");
  EXPECT_TRUE(first.body == second.body) << "a second rendering of one envelope";
  EXPECT_EQ(store->offered, 1);  // the second request was answered without drawing
  const PageResult other = Site().Picture({{"token", NewEnvelope()}});
  EXPECT_FALSE(other.body == first.body);
  for (const char* look : {"width", "format", "fg", "lines", "quality", "x"}) {
    const PageResult refused = Site().Picture({{"token", envelope}, {look, "1"}});
    EXPECT_EQ(refused.status, 400) << look;
  }
  EXPECT_EQ(Site().Picture({}).status, 400);
}

// A store that has let a rendering's bytes go, or cannot be reached.
class StoreThatLetGo : public MemorySiteStore {
 public:
  StoreStatus KeepFirstRendering(const std::string&, const std::string&, int64_t, int64_t,
                                 std::string& kept) override {
    kept.clear();
    return StoreStatus::kOk;
  }
};

class UnreachableStore : public MemorySiteStore {
 public:
  AnswerOutcome SettleAnswer(const std::string&, const std::string&, int64_t, bool,
                             int64_t) override {
    AnswerOutcome outcome;
    outcome.status = StoreStatus::kUnavailable;
    return outcome;
  }
  StoreStatus KeepFirstRendering(const std::string&, const std::string&, int64_t, int64_t,
                                 std::string&) override {
    return StoreStatus::kUnavailable;
  }
};

TEST_F(CaptchaSiteTest, APictureLetGoIsGoneAndAnUnreachableStoreServesNothing) {
  settings_.store = std::make_shared<StoreThatLetGo>();
  EXPECT_EQ(Site().Picture({{"token", NewEnvelope()}}).status, 410);
  site_.reset();
  settings_.store = std::make_shared<UnreachableStore>();
  const std::string envelope = NewEnvelope();
  const PageResult picture = Site().Picture({{"token", envelope}});
  EXPECT_EQ(picture.status, 503);
  EXPECT_TRUE(picture.contentType.rfind("text/plain", 0) == 0);
  const PageResult answer = Answer(envelope, AnswerOf(envelope));
  EXPECT_EQ(answer.status, 503);  // fails closed: never accepted unclaimed
  EXPECT_NE(Header(answer, "Retry-After"), "");
}

const char kNoAudio[] = "no audio for this challenge: answered, or no longer kept\n";

// An envelope's audio after what was done with the envelope before it: one
// audio per envelope, as for the picture (and apart from it), none made once
// the envelope is answered, and fetching it uses nothing up.
TEST_F(CaptchaSiteTest, OneAudioPerEnvelopeAndNoneMadeOnceAnswered) {
  enum Step { kAudio, kPicture, kRightAnswer, kWrongAnswer };
  const struct {
    const char* what;
    std::vector<Step> before;
    int status;
    bool sameAsBefore;  // the bytes of the audio fetched in `before`
    int audiosMade;
  } cases[] = {
      {"the first fetch", {}, 200, false, 1},
      {"a later fetch", {kAudio}, 200, true, 1},
      {"after the picture", {kPicture}, 200, false, 1},
      {"answered right before", {kRightAnswer}, 410, false, 0},
      {"answered wrong before", {kWrongAnswer}, 410, false, 0},
      {"fetched, then answered right", {kAudio, kRightAnswer}, 200, true, 1},
  };
  for (const auto& c : cases) {
    site_.reset();
    const auto store = std::make_shared<CountingStore>();
    settings_.store = store;
    const std::string envelope = NewEnvelope();
    std::string earlier;
    for (const Step step : c.before) {
      if (step == kAudio) {
        earlier = Site().Audio({{"token", envelope}}).body;
      } else if (step == kPicture) {
        ASSERT_EQ(Site().Picture({{"token", envelope}}).status, 200) << c.what;
      } else {
        const bool right = step == kRightAnswer;
        EXPECT_EQ(Answer(envelope, right ? AnswerOf(envelope) : "Wrong").status, right ? 200 : 403)
            << c.what << ": the answer";
      }
    }
    const PageResult audio = Site().Audio({{"token", envelope}});
    EXPECT_EQ(audio.status, c.status) << c.what;
    if (c.status == 200) {
      EXPECT_EQ(audio.contentType, "audio/wav") << c.what;
      EXPECT_EQ(audio.body.rfind("RIFF", 0), 0u) << c.what;
    } else {
      EXPECT_TRUE(audio.body == kNoAudio) << c.what;  // never a WAV printed whole
    }
    if (c.sameAsBefore) {
      EXPECT_TRUE(audio.body == earlier) << c.what << ": a second audio";
    }
    EXPECT_EQ(store->audios, c.audiosMade) << c.what;
  }
}

TEST_F(CaptchaSiteTest, AnAudioTakesAnUnexpiredEnvelopeAndNothingElse) {
  const std::string envelope = NewEnvelope();
  std::string forged = envelope;
  forged[10] = forged[10] == 'A' ? 'B' : 'A';
  const struct {
    const char* what;
    QueryValues query;
    const char* reason;
  } cases[] = {
      {"no envelope", {}, "missing parameter: token"},
      {"a look asked for",
       {{"token", envelope}, {"lines", "0"}},
       "the audio takes the envelope (token) only"},
      {"a forged envelope", {{"token", forged}}, "malformed token"},
      {"an expired envelope", {{"token", NewEnvelope(-301)}}, "expired"},
  };
  for (const auto& c : cases) {
    const PageResult audio = Site().Audio(c.query);
    EXPECT_EQ(audio.status, 400) << c.what;
    EXPECT_TRUE(audio.body == std::string(c.reason) + "\n")
        << c.what << ": " << audio.body.substr(0, 60);
  }
  EXPECT_EQ(Site().Audio({{"token", NewEnvelope(-300)}}).status, 200) << "the last second";
}

// A store that cannot say whether an envelope was answered.
class StoreThatCannotTellAnswered : public MemorySiteStore {
 public:
  StoreStatus IsAnswered(const std::string&, int64_t, bool&) override {
    return StoreStatus::kUnavailable;
  }
};

TEST_F(CaptchaSiteTest, AnAudioLetGoIsGoneAndAStoreInDoubtServesNone) {
  const struct {
    const char* what;
    std::shared_ptr<SiteStore> store;
    int status;
  } cases[] = {
      {"let go", std::make_shared<StoreThatLetGo>(), 410},
      {"unreachable", std::make_shared<UnreachableStore>(), 503},
      {"answered or not unknown", std::make_shared<StoreThatCannotTellAnswered>(), 503},
  };
  for (const auto& c : cases) {
    site_.reset();
    settings_.store = c.store;
    const PageResult audio = Site().Audio({{"token", NewEnvelope()}});
    EXPECT_EQ(audio.status, c.status) << c.what;
    EXPECT_EQ(audio.contentType.rfind("text/plain", 0), 0u) << c.what;
    EXPECT_EQ(Header(audio, "Retry-After"), c.status == 503 ? "10" : "") << c.what;
  }
}

TEST_F(CaptchaSiteTest, WithoutAudioNeitherRouteNorPlayerNorAddress) {
  const std::string envelope = NewEnvelope();
  EXPECT_NE(Site().Challenge().body.find("\"audio\": \"/audio?token="), std::string::npos);
  site_.reset();
  settings_.audio = false;
  EXPECT_EQ(Site().Audio({{"token", envelope}}).status, 404);
  EXPECT_EQ(Site().Audio({}).status, 404);
  EXPECT_EQ(Site().Form().body.find("<audio"), std::string::npos);
  EXPECT_EQ(Site().Challenge().body.find("audio"), std::string::npos);
  // The envelope is answered as before.
  EXPECT_EQ(Answer(envelope, AnswerOf(envelope)).status, 200);
}

// Ten wrong answers from one /64 (each from an address of its own), then
// the eleventh: refused before its answer is looked at.
TEST_F(CaptchaSiteTest, FailuresCountPerIpv4AddressAndPerIpv6Slash64) {
  const struct {
    const char* what;
    const char* failing;  // the ten failing peers, '#' standing for 1..10
    const char* next;     // the eleventh peer
    bool limited;
  } cases[] = {
      {"one /64", "2001:db8:7:7::#", "2001:db8:7:7:ffff::1", true},
      {"the next /64 is another client", "2001:db8:8:8::#", "2001:db8:8:9::1", false},
      {"mapped IPv4 is IPv4", "::ffff:192.0.2.1", "192.0.2.1", true},
      {"IPv4 addresses one by one", "198.51.100.#", "198.51.100.99", false},
  };
  for (const auto& c : cases) {
    for (int i = 1; i <= 10; ++i) {
      std::string peer = c.failing;
      if (const size_t mark = peer.find('#'); mark != std::string::npos)
        peer.replace(mark, 1, std::to_string(i));
      EXPECT_EQ(Answer(NewEnvelope(), "Wrong", {peer, ""}).status, 403) << c.what << " " << i;
    }
    const std::string envelope = NewEnvelope();
    const PageResult result = Answer(envelope, AnswerOf(envelope), {c.next, ""});
    EXPECT_EQ(result.status, c.limited ? 429 : 200) << c.what;
    if (c.limited) {
      EXPECT_EQ(Header(result, "Retry-After"), "60") << c.what;
    }
  }
}

TEST_F(CaptchaSiteTest, ATrustedProxyNamesTheClientAndNobodyElseDoes) {
  settings_.trustedProxies = {"127.0.0.1"};
  // Ten failures of 203.0.113.5, through the proxy, each claiming another
  // address on the left of the header.
  for (int i = 0; i < 10; ++i) {
    const std::string forged = "10.9.9." + std::to_string(i) + ", 203.0.113.5";
    EXPECT_EQ(Answer(NewEnvelope(), "Wrong", {"127.0.0.1", forged}).status, 403) << i;
  }
  const struct {
    const char* what;
    ClientOrigin origin;
    int status;
  } cases[] = {
      {"the client again, through the proxy", {"127.0.0.1", "203.0.113.5"}, 429},
      {"another client through the proxy", {"127.0.0.1", "203.0.113.6"}, 200},
      {"the header from an untrusted peer is ignored", {"192.0.2.50", "203.0.113.5"}, 200},
      {"the proxy itself is not the limited client", {"127.0.0.1", ""}, 200},
  };
  for (const auto& c : cases) {
    const std::string envelope = NewEnvelope();
    EXPECT_EQ(Answer(envelope, AnswerOf(envelope), c.origin).status, c.status) << c.what;
  }
}

TEST_F(CaptchaSiteTest, AFullFailureTableMakesNewClientsWaitAndKeepsEveryLiveWindow) {
  MemoryStoreLimits limits;
  limits.maxClientWindows = 2;
  settings_.store = std::make_shared<MemorySiteStore>(settings_.failureWindows, limits);
  EXPECT_EQ(Answer(NewEnvelope(), "Wrong", {"192.0.2.1", ""}).status, 403);
  EXPECT_EQ(Answer(NewEnvelope(), "Wrong", {"192.0.2.2", ""}, 5).status, 403);
  const std::string waiting = NewEnvelope();
  const PageResult newcomer = Answer(waiting, AnswerOf(waiting), {"192.0.2.3", ""}, 10);
  EXPECT_EQ(newcomer.status, 429);
  EXPECT_EQ(Header(newcomer, "Retry-After"), "50");
  for (int i = 0; i < 9; ++i) {
    EXPECT_EQ(Answer(NewEnvelope(), "Wrong", {"192.0.2.1", ""}, 20).status, 403) << i;
  }
  EXPECT_EQ(Answer(NewEnvelope(), "Wrong", {"192.0.2.1", ""}, 21).status, 429);
  // Once the first window ends the newcomer's unclaimed envelope still works.
  EXPECT_EQ(Answer(waiting, AnswerOf(waiting), {"192.0.2.3", ""}, 60).status, 200);
}

}  // namespace

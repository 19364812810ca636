// The Redis store against a real redis-server of the test's own (Unix socket,
// temporary folder): one answer per envelope and one failure count per client
// across store objects as across hosts, expiries kept by Redis, prefixes kept
// apart, AUTH, and failing closed within the deadline when the server is
// gone or stalled, then serving again once it is back.
#include "tools/pagehost/redis_site_store.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/redis_server_process.h"
#include "tools/pagehost/password_file.h"
#include "tools/pagehost/store_address.h"

namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

constexpr int64_t kNow = 1796644800;
constexpr int64_t kExpiresAt = kNow + 300;
constexpr int kMaxFailures = 4;
// Generous for a sanitizer build on a shared machine; the deadline test sets its own.
constexpr milliseconds kTestTimeout{2000};

class RedisStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string missing = RedisServerProcess::Missing();
    if (!missing.empty()) GTEST_SKIP() << missing;
    server_ = std::make_unique<RedisServerProcess>(Password());
    std::string error;
    ASSERT_TRUE(server_->Start(error)) << error;
  }

  virtual std::string Password() const { return ""; }

  RedisStoreSettings Settings(const std::string& prefix = "site") const {
    RedisStoreSettings settings;
    std::string reason;
    EXPECT_TRUE(
        ParseStoreAddress(server_->StoreAddressText(), settings.connection.address, reason));
    settings.connection.password = Password();
    settings.connection.connectTimeout = kTestTimeout;
    settings.connection.commandTimeout = kTestTimeout;
    settings.prefix = prefix;
    settings.maxFailures = kMaxFailures;
    return settings;
  }

  std::unique_ptr<RedisSiteStore> Store(RedisStoreSettings settings) {
    return std::make_unique<RedisSiteStore>(std::move(settings), [this](const std::string& line) {
      const std::lock_guard<std::mutex> lock(logMutex_);
      log_.push_back(line);
    });
  }
  std::unique_ptr<RedisSiteStore> Store(const std::string& prefix = "site") {
    return Store(Settings(prefix));
  }

  std::vector<std::string> LogLines() {
    const std::lock_guard<std::mutex> lock(logMutex_);
    return log_;
  }

  std::unique_ptr<RedisServerProcess> server_;
  std::mutex logMutex_;
  std::vector<std::string> log_;
};

AnswerVerdict Settle(SiteStore& store, const std::string& client, const std::string& envelope,
                     bool correct) {
  const AnswerOutcome outcome = store.SettleAnswer(client, envelope, kExpiresAt, correct, kNow);
  EXPECT_EQ(outcome.status, StoreStatus::kOk);
  return outcome.verdict;
}

// Calls `call` until the store answers (it backs off after a failure), for
// at most `limit`.
template <typename Call>
bool AnswersWithin(milliseconds limit, Call call) {
  const auto deadline = Clock::now() + limit;
  while (Clock::now() < deadline) {
    if (call()) return true;
    std::this_thread::sleep_for(milliseconds(50));
  }
  return false;
}

TEST(StoreAddress, ReadsTheThreeFormsAndRefusesTheRest) {
  StoreAddress address;
  std::string reason;
  ASSERT_TRUE(ParseStoreAddress("memory", address, reason));
  EXPECT_EQ(address.kind, StoreAddress::Kind::kMemory);
  ASSERT_TRUE(ParseStoreAddress("redis://10.0.0.7:6380/3", address, reason)) << reason;
  EXPECT_EQ(address.kind, StoreAddress::Kind::kRedisTcp);
  EXPECT_EQ(address.host, "10.0.0.7");
  EXPECT_EQ(address.port, 6380);
  EXPECT_EQ(address.database, 3);
  ASSERT_TRUE(ParseStoreAddress("redis://[::1]:6379", address, reason)) << reason;
  EXPECT_EQ(address.host, "::1");
  EXPECT_EQ(address.database, 0);
  EXPECT_EQ(address.Describe(), "redis://[::1]:6379/0");
  ASSERT_TRUE(ParseStoreAddress("unix:///run/redis/redis.sock", address, reason));
  EXPECT_EQ(address.kind, StoreAddress::Kind::kRedisUnix);
  EXPECT_EQ(address.path, "/run/redis/redis.sock");

  for (const char* bad :
       {"", "redis", "redis://host", "redis://host:0", "redis://host:65536", "redis://:6379",
        "redis://host:6379/x", "redis://host:port", "redis://user@host:6379", "redis://[::1:6379",
        "unix://relative.sock", "http://host:80", "Memory"}) {
    EXPECT_FALSE(ParseStoreAddress(bad, address, reason)) << bad;
    EXPECT_FALSE(reason.empty()) << bad;
  }
}

TEST_F(RedisStoreTest, AnEnvelopeIsSettledOnceRightOrWrong) {
  auto store = Store();
  EXPECT_EQ(Settle(*store, "192.0.2.1", "e1", true), AnswerVerdict::kAccepted);
  EXPECT_EQ(Settle(*store, "192.0.2.1", "e1", true), AnswerVerdict::kAlreadyUsed);
  EXPECT_EQ(Settle(*store, "192.0.2.2", "e1", false), AnswerVerdict::kAlreadyUsed);
  EXPECT_EQ(Settle(*store, "192.0.2.1", "e2", false), AnswerVerdict::kWrong);
  EXPECT_EQ(Settle(*store, "192.0.2.1", "e2", true), AnswerVerdict::kAlreadyUsed);
  EXPECT_EQ(server_->Command({"GET", "site:failures:192.0.2.1"}), "1");
  EXPECT_EQ(server_->Command({"GET", "site:failures:192.0.2.2"}), "(nil)");

  // A late request (the audio) asks whether an envelope was answered, by
  // either answer, and a fresh one was not.
  for (const auto& [id, expected] : {std::pair{"e1", true}, {"e2", true}, {"e3", false}}) {
    bool answered = !expected;
    EXPECT_EQ(store->IsAnswered(id, kNow, answered), StoreStatus::kOk) << id;
    EXPECT_EQ(answered, expected) << id;
  }
}

TEST_F(RedisStoreTest, ConcurrentCallersOnTwoStoresClaimEachEnvelopeOnce) {
  constexpr int kEnvelopes = 40;
  constexpr int kThreadsPerStore = 4;
  auto first = Store();
  auto second = Store();
  std::atomic<int> accepted[kEnvelopes] = {};
  std::atomic<int> unavailable{0};
  std::vector<std::thread> callers;
  for (SiteStore* store :
       {static_cast<SiteStore*>(first.get()), static_cast<SiteStore*>(second.get())}) {
    for (int t = 0; t < kThreadsPerStore; ++t) {
      callers.emplace_back([&, store] {
        for (int e = 0; e < kEnvelopes; ++e) {
          const AnswerOutcome outcome = store->SettleAnswer(
              "198.51.100.9", "env" + std::to_string(e), kExpiresAt, true, kNow);
          if (outcome.status != StoreStatus::kOk) ++unavailable;
          if (outcome.verdict == AnswerVerdict::kAccepted) ++accepted[e];
        }
      });
    }
  }
  for (std::thread& caller : callers) caller.join();
  EXPECT_EQ(unavailable, 0);
  for (int e = 0; e < kEnvelopes; ++e) EXPECT_EQ(accepted[e], 1) << "envelope " << e;
}

TEST_F(RedisStoreTest, FailuresOnTwoStoresAddUpToOneLimit) {
  auto first = Store();
  auto second = Store();
  int envelope = 0;
  auto fail = [&envelope](SiteStore& store) {
    return Settle(store, "203.0.113.5", "w" + std::to_string(envelope++), false);
  };
  for (int i = 0; i < kMaxFailures / 2; ++i) {
    EXPECT_EQ(fail(*first), AnswerVerdict::kWrong);
    EXPECT_EQ(fail(*second), AnswerVerdict::kWrong);
  }
  const AnswerOutcome limited =
      second->SettleAnswer("203.0.113.5", "fresh", kExpiresAt, true, kNow);
  EXPECT_EQ(limited.verdict, AnswerVerdict::kLimited);
  EXPECT_GE(limited.retryAfterSeconds, 1);
  EXPECT_LE(limited.retryAfterSeconds, 60);
  EXPECT_EQ(server_->Command({"EXISTS", "site:used:fresh"}),
            "0");  // a limited client claims nothing
  const AnswerOutcome alsoLimited =
      first->SettleAnswer("203.0.113.5", "fresh", kExpiresAt, true, kNow);
  EXPECT_EQ(alsoLimited.verdict, AnswerVerdict::kLimited);
}

TEST_F(RedisStoreTest, RetryAfterRemembersTheLimitedClientsWithoutARoundTrip) {
  auto store = Store();
  for (int i = 0; i < kMaxFailures; ++i)
    Settle(*store, "203.0.113.8", "r" + std::to_string(i), false);
  int64_t wait = -1;
  EXPECT_EQ(store->RetryAfter("203.0.113.8", kNow, wait), StoreStatus::kOk);
  EXPECT_EQ(wait, 0);  // full, but not yet refused here: SettleAnswer decides
  const AnswerOutcome limited = store->SettleAnswer("203.0.113.8", "n", kExpiresAt, true, kNow);
  ASSERT_EQ(limited.verdict, AnswerVerdict::kLimited);
  const uint64_t roundTrips = store->RoundTrips();
  EXPECT_EQ(store->RetryAfter("203.0.113.8", kNow, wait), StoreStatus::kOk);
  EXPECT_EQ(wait, limited.retryAfterSeconds);
  EXPECT_EQ(store->RetryAfter("203.0.113.8", kNow + limited.retryAfterSeconds - 1, wait),
            StoreStatus::kOk);
  EXPECT_EQ(wait, 1);
  EXPECT_EQ(store->RetryAfter("203.0.113.8", kNow + limited.retryAfterSeconds, wait),
            StoreStatus::kOk);
  EXPECT_EQ(wait, 0);
  EXPECT_EQ(store->RetryAfter("203.0.113.9", kNow, wait), StoreStatus::kOk);
  EXPECT_EQ(wait, 0);
  EXPECT_EQ(store->RoundTrips(), roundTrips);
}

TEST_F(RedisStoreTest, RedisExpiresTheWindowAndTheClaims) {
  RedisStoreSettings settings = Settings();
  settings.windowSeconds = 1;
  auto store = Store(settings);
  for (int i = 0; i < kMaxFailures; ++i)
    EXPECT_EQ(Settle(*store, "203.0.113.7", "x" + std::to_string(i), false), AnswerVerdict::kWrong);
  const long pttl = std::stol(server_->Command({"PTTL", "site:failures:203.0.113.7"}));
  EXPECT_GT(pttl, 0);
  EXPECT_LE(pttl, 1000);
  EXPECT_EQ(store->SettleAnswer("203.0.113.7", "y", kExpiresAt, true, kNow).verdict,
            AnswerVerdict::kLimited);
  // The claim lasts until the envelope's expiry, its last second included.
  const long claimTtl = std::stol(server_->Command({"PTTL", "site:used:x0"}));
  EXPECT_GT(claimTtl, 300 * 1000 - 5000);
  EXPECT_LE(claimTtl, 301 * 1000);
  std::this_thread::sleep_for(milliseconds(1100));
  EXPECT_EQ(Settle(*store, "203.0.113.7", "y", true), AnswerVerdict::kAccepted);
}

TEST_F(RedisStoreTest, PrefixesKeepSitesApart) {
  auto shop = Store("shop");
  auto forum = Store("forum");
  EXPECT_EQ(Settle(*shop, "192.0.2.9", "same", true), AnswerVerdict::kAccepted);
  EXPECT_EQ(Settle(*forum, "192.0.2.9", "same", true), AnswerVerdict::kAccepted);
  for (int i = 0; i < kMaxFailures; ++i) Settle(*shop, "192.0.2.9", "f" + std::to_string(i), false);
  EXPECT_EQ(shop->SettleAnswer("192.0.2.9", "n", kExpiresAt, true, kNow).verdict,
            AnswerVerdict::kLimited);
  EXPECT_EQ(Settle(*forum, "192.0.2.9", "n", true), AnswerVerdict::kAccepted);
  std::string kept;
  ASSERT_EQ(shop->KeepFirstRendering("picture:same", "shop bytes", kExpiresAt, kNow, kept),
            StoreStatus::kOk);
  ASSERT_EQ(forum->KeepFirstRendering("picture:same", "forum bytes", kExpiresAt, kNow, kept),
            StoreStatus::kOk);
  EXPECT_EQ(kept, "forum bytes");
}

TEST_F(RedisStoreTest, TheFirstRenderingWinsOnEveryStore) {
  auto first = Store();
  auto second = Store();
  const std::string bytes("\xFF\xD8\x00picture\x00\xFF\xD9", 13);  // binary, NULs inside
  std::string kept;
  ASSERT_EQ(first->KeepFirstRendering("picture:e7", bytes, kExpiresAt, kNow, kept),
            StoreStatus::kOk);
  EXPECT_EQ(kept, bytes);
  ASSERT_EQ(second->KeepFirstRendering("picture:e7", "another", kExpiresAt, kNow, kept),
            StoreStatus::kOk);
  EXPECT_EQ(kept, bytes);
  ASSERT_EQ(second->KeepFirstRendering("audio:e7", "sound", kExpiresAt, kNow, kept),
            StoreStatus::kOk);
  EXPECT_EQ(kept, "sound");
  const long ttl = std::stol(server_->Command({"PTTL", "site:picture:e7"}));
  EXPECT_GT(ttl, 290 * 1000);
  EXPECT_LE(ttl, 301 * 1000);
}

TEST_F(RedisStoreTest, OneRoundTripPerCallAndItsScriptsSurviveAFlush) {
  auto store = Store();
  ASSERT_TRUE(store->Healthy());  // connects: set-up is one round trip, PING another
  const uint64_t before = store->RoundTrips();
  Settle(*store, "192.0.2.3", "r1", true);
  std::string kept;
  store->KeepFirstRendering("picture:r1", "bytes", kExpiresAt, kNow, kept);
  EXPECT_EQ(store->RoundTrips() - before, 2u);

  EXPECT_EQ(server_->Command({"SCRIPT", "FLUSH"}), "OK");
  EXPECT_EQ(Settle(*store, "192.0.2.3", "r2", true), AnswerVerdict::kAccepted);
  EXPECT_EQ(Settle(*store, "192.0.2.3", "r2", true), AnswerVerdict::kAlreadyUsed);
}

class RedisStoreWithPasswordTest : public RedisStoreTest {
 protected:
  std::string Password() const override { return "correct horse"; }
};

TEST_F(RedisStoreWithPasswordTest, AuthenticatesWithThePasswordAndNamesARefusal) {
  const std::string path = server_->Folder() + "/store-password";
  std::ofstream(path) << Password() << "\n";
  RedisStoreSettings settings = Settings();
  std::string reason;
  ASSERT_TRUE(LoadPasswordFile(path, settings.connection.password, reason)) << reason;
  auto store = Store(settings);
  EXPECT_TRUE(store->Healthy());
  EXPECT_EQ(Settle(*store, "192.0.2.4", "a1", true), AnswerVerdict::kAccepted);

  settings.connection.password = "wrong horse";
  auto refused = Store(settings);
  EXPECT_FALSE(refused->Healthy());
  EXPECT_EQ(refused->SettleAnswer("192.0.2.4", "a2", kExpiresAt, true, kNow).status,
            StoreStatus::kUnavailable);
  settings.connection.password.clear();
  EXPECT_FALSE(Store(settings)->Healthy());
  const std::vector<std::string> lines = LogLines();
  ASSERT_FALSE(lines.empty());
  EXPECT_NE(lines[0].find("AUTH refused"), std::string::npos) << lines[0];
  for (const std::string& line : lines) EXPECT_EQ(line.find("horse"), std::string::npos) << line;
}

TEST_F(RedisStoreTest, AStoreThatIsNotThereIsUnavailableAtOnce) {
  RedisStoreSettings settings = Settings();
  settings.connection.address.path = server_->Folder() + "/nobody.sock";
  auto store = Store(settings);
  const auto start = Clock::now();
  const AnswerOutcome outcome = store->SettleAnswer("192.0.2.5", "u1", kExpiresAt, true, kNow);
  EXPECT_EQ(outcome.status, StoreStatus::kUnavailable);
  EXPECT_GE(outcome.retryAfterSeconds, 1);
  std::string kept = "untouched";
  EXPECT_EQ(store->KeepFirstRendering("picture:u1", "bytes", kExpiresAt, kNow, kept),
            StoreStatus::kUnavailable);
  EXPECT_EQ(kept, "untouched");
  bool answered = false;
  EXPECT_EQ(store->IsAnswered("u1", kNow, answered), StoreStatus::kUnavailable);
  EXPECT_FALSE(store->Healthy());
  EXPECT_LT(Clock::now() - start, milliseconds(500));
  ASSERT_EQ(LogLines().size(), 1u);  // one line when it goes down, not one per call
  EXPECT_NE(LogLines()[0].find("unavailable"), std::string::npos);
}

TEST_F(RedisStoreTest, AStalledStoreFailsWithinTheCommandDeadline) {
  RedisStoreSettings settings = Settings();
  constexpr milliseconds kDeadline{300};
  settings.connection.commandTimeout = kDeadline;
  auto store = Store(settings);
  ASSERT_TRUE(store->Healthy());
  const std::string pid = server_->Command({"INFO", "server"});
  const size_t at = pid.find("process_id:");
  ASSERT_NE(at, std::string::npos);
  const pid_t serverPid = std::stoi(pid.substr(at + 11));
  ASSERT_EQ(kill(serverPid, SIGSTOP), 0);
  const auto start = Clock::now();
  const AnswerOutcome outcome = store->SettleAnswer("192.0.2.6", "s1", kExpiresAt, true, kNow);
  const auto waited = Clock::now() - start;
  // Calls during the back-off are refused without waiting at all.
  const auto again = Clock::now();
  EXPECT_EQ(store->SettleAnswer("192.0.2.6", "s2", kExpiresAt, true, kNow).status,
            StoreStatus::kUnavailable);
  const auto waitedAgain = Clock::now() - again;
  kill(serverPid, SIGCONT);
  EXPECT_EQ(outcome.status, StoreStatus::kUnavailable);
  EXPECT_GE(waited, kDeadline - milliseconds(10));
  EXPECT_LT(waited, kDeadline + milliseconds(700));
  EXPECT_LT(waitedAgain, milliseconds(50));
  EXPECT_TRUE(AnswersWithin(milliseconds(10000), [&] { return store->Healthy(); }));
}

TEST_F(RedisStoreTest, ServesAgainAfterARestartWithWhatWasClaimedBefore) {
  auto store = Store();
  EXPECT_EQ(Settle(*store, "192.0.2.8", "kept", true), AnswerVerdict::kAccepted);
  server_->Kill();
  EXPECT_EQ(store->SettleAnswer("192.0.2.8", "new", kExpiresAt, true, kNow).status,
            StoreStatus::kUnavailable);
  EXPECT_FALSE(store->Healthy());
  std::string error;
  ASSERT_TRUE(server_->Start(error)) << error;
  ASSERT_TRUE(AnswersWithin(milliseconds(10000), [&] { return store->Healthy(); }));
  EXPECT_EQ(Settle(*store, "192.0.2.8", "kept", true), AnswerVerdict::kAlreadyUsed);
  EXPECT_EQ(Settle(*store, "192.0.2.8", "new", true), AnswerVerdict::kAccepted);
  const std::vector<std::string> lines = LogLines();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_NE(lines.back().find("answers again"), std::string::npos) << lines.back();
}

}  // namespace

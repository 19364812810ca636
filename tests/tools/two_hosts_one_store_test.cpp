// Two page hosts in this process, each with a store object of its own on one
// redis-server of the test's (Unix socket, append-only file), as two machines
// behind a balancer would be: whichever host is asked, an envelope is
// answered once, its picture is the same bytes, one address's failures add up
// to one limit; with Redis gone both refuse (503 + Retry-After) and accept
// nothing, and once it is back both serve again without a restart, the claims
// made before still held.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "support/redis_server_process.h"
#include "support/scratch_registry.h"
#include "support/server_registration.h"
#include "tools/pagehost/page_host.h"
#include "tools/pagehost/redis_site_store.h"
#include "tools/pagehost/store_address.h"
#include "tools/restored_text.h"

// After the Windows headers: its system headers define a few of the same names.
#include <httplib.h>

namespace {

constexpr char16_t kPassword[] = u"two-hosts-pw";
constexpr int kMaxFailures = 6;
// Generous for a sanitizer build on a shared machine.
constexpr std::chrono::milliseconds kStoreTimeout{2000};
constexpr std::chrono::seconds kRecovery{15};

// One host serving on its own thread until the end of the test.
class RunningHost {
 public:
  RunningHost(SiteSettings site, std::string& error) {
    HostOptions options;
    options.port = 0;
    options.threads = 4;
    options.site = std::move(site);
    host_ = std::make_unique<PageHost>(options);
    if (host_->Bind(error)) serving_ = std::thread([this] { host_->Serve(); });
  }
  ~RunningHost() {
    host_->Stop();
    if (serving_.joinable()) serving_.join();
  }
  httplib::Client Client() const { return httplib::Client("127.0.0.1", host_->Port()); }

 private:
  std::unique_ptr<PageHost> host_;
  std::thread serving_;
};

class TwoHostsOneStoreTest : public ScratchRegistry {
 protected:
  void SetUp() override {
    const std::string missing = RedisServerProcess::Missing();
    if (!missing.empty()) GTEST_SKIP() << missing;
    ScratchRegistry::SetUp();
    ASSERT_EQ(RegisterBuiltServer(), S_OK);
    std::string error;
    ASSERT_TRUE(redis_.Start(error)) << error;
    key_ = RandomHostKey();
    for (auto* host : {&a_, &b_}) {
      *host = std::make_unique<RunningHost>(Site(), error);
      ASSERT_TRUE(error.empty()) << error;
    }
  }
  void TearDown() override {
    a_.reset();
    b_.reset();
    ScratchRegistry::TearDown();
  }

  // The same secrets, and a store object of its own on the shared server.
  SiteSettings Site() {
    SiteSettings site;
    site.password = kPassword;
    site.key = key_;
    site.failureWindows.maxFailures = kMaxFailures;
    RedisStoreSettings store;
    std::string reason;
    EXPECT_TRUE(ParseStoreAddress(redis_.StoreAddressText(), store.connection.address, reason));
    store.connection.connectTimeout = kStoreTimeout;
    store.connection.commandTimeout = kStoreTimeout;
    store.maxFailures = kMaxFailures;
    auto redisStore = std::make_shared<RedisSiteStore>(store);
    stores_.push_back(redisStore.get());
    site.store = std::move(redisStore);
    return site;
  }

  std::string NewEnvelope(const RunningHost& host) {
    auto result = host.Client().Get("/");
    return result && result->status == 200 ? EnvelopeInForm(result->body) : "";
  }
  std::string AnswerOf(const std::string& envelope) {
    return AnswerOfEnvelope(key_, kPassword, envelope);
  }
  // The status and the JSON body of an answer.
  std::pair<int, std::string> Verify(const RunningHost& host, const std::string& envelope,
                                     const std::string& answer, std::string* retryAfter = nullptr) {
    const httplib::Headers json = {{"Accept", "application/json"}};
    auto result = host.Client().Post("/verify", json, "token=" + envelope + "&answer=" + answer,
                                     "application/x-www-form-urlencoded");
    if (!result) return {0, "no answer"};
    if (retryAfter != nullptr) *retryAfter = result->get_header_value("Retry-After");
    return {result->status, result->body};
  }
  int Status(const RunningHost& host, const std::string& target) {
    auto result = host.Client().Get(target.c_str());
    return result ? result->status : 0;
  }

  RedisServerProcess redis_;
  HostKey key_{};
  std::vector<RedisSiteStore*> stores_;  // a's, then b's
  std::unique_ptr<RunningHost> a_;
  std::unique_ptr<RunningHost> b_;
};

const std::pair<int, std::string> kAccepted = {200, "{\"ok\": true}\n"};
const std::pair<int, std::string> kAlreadyUsed = {
    403, "{\"ok\": false, \"reason\": \"already used\"}\n"};
const std::pair<int, std::string> kWrong = {403, "{\"ok\": false, \"reason\": \"wrong answer\"}\n"};

TEST_F(TwoHostsOneStoreTest, AnEnvelopeAnsweredOnOneHostIsUsedOnTheOther) {
  const std::string envelope = NewEnvelope(*a_);
  const std::string answer = AnswerOf(envelope);
  ASSERT_FALSE(answer.empty());
  EXPECT_EQ(Verify(*a_, envelope, answer), kAccepted);
  EXPECT_EQ(Verify(*b_, envelope, answer), kAlreadyUsed);
  EXPECT_EQ(Verify(*a_, envelope, answer), kAlreadyUsed);

  const std::string second = NewEnvelope(*b_);
  EXPECT_EQ(Verify(*b_, second, "wrong"), kWrong);
  EXPECT_EQ(Verify(*a_, second, AnswerOf(second)), kAlreadyUsed);
}

TEST_F(TwoHostsOneStoreTest, FailuresOnBothHostsAddUpToOneLimit) {
  for (int i = 0; i < kMaxFailures; ++i) {
    const RunningHost& host = i % 2 == 0 ? *a_ : *b_;
    EXPECT_EQ(Verify(host, NewEnvelope(host), "wrong"), kWrong) << i;
  }
  for (const RunningHost* host : {a_.get(), b_.get()}) {
    std::string retryAfter;
    const std::string envelope = NewEnvelope(*host);
    EXPECT_EQ(Verify(*host, envelope, AnswerOf(envelope), &retryAfter).first, 429);
    EXPECT_GE(std::stoi(retryAfter), 1);
  }
}

TEST_F(TwoHostsOneStoreTest, BothHostsServeTheFirstPictureOfAnEnvelope) {
  const std::string target = "/captcha?token=" + NewEnvelope(*a_);
  auto fromB = b_->Client().Get(target.c_str());
  auto fromA = a_->Client().Get(target.c_str());
  ASSERT_TRUE(fromA && fromB);
  ASSERT_EQ(fromB->status, 200);
  ASSERT_EQ(fromA->status, 200);
  EXPECT_EQ(fromA->get_header_value("Content-Type"), "image/jpeg");
  EXPECT_EQ(fromA->body, fromB->body);
}

TEST_F(TwoHostsOneStoreTest, EachAnswerAndEachPictureIsOneRoundTrip) {
  const std::string envelope = NewEnvelope(*a_);
  const std::string target = "/captcha?token=" + envelope;
  ASSERT_EQ(Status(*a_, target), 200);  // a's first connection is set up here
  ASSERT_EQ(Status(*b_, target), 200);
  const uint64_t before = stores_[0]->RoundTrips() + stores_[1]->RoundTrips();
  EXPECT_EQ(Status(*a_, target), 200);
  EXPECT_EQ(Verify(*b_, envelope, AnswerOf(envelope)), kAccepted);
  EXPECT_EQ(Verify(*a_, envelope, "wrong"), kAlreadyUsed);
  EXPECT_EQ(Status(*a_, "/"), 200);  // the form: none
  EXPECT_EQ(stores_[0]->RoundTrips() + stores_[1]->RoundTrips() - before, 3u);
}

TEST_F(TwoHostsOneStoreTest, WithoutTheStoreNothingIsAcceptedAndBothServeAgainWhenItIsBack) {
  const std::string used = NewEnvelope(*a_);
  ASSERT_EQ(Verify(*a_, used, AnswerOf(used)), kAccepted);
  const std::string pending = NewEnvelope(*b_);
  const std::string pendingAnswer = AnswerOf(pending);

  redis_.Kill();
  for (const RunningHost* host : {a_.get(), b_.get()}) {
    std::string retryAfter;
    EXPECT_EQ(Verify(*host, pending, pendingAnswer, &retryAfter).first, 503);
    EXPECT_GE(std::stoi(retryAfter.empty() ? "0" : retryAfter), 1);
    EXPECT_EQ(Status(*host, "/captcha?token=" + pending), 503);
    EXPECT_EQ(Status(*host, "/healthz"), 503);
    EXPECT_EQ(Status(*host, "/"), 200);  // the form needs no store
  }

  std::string error;
  ASSERT_TRUE(redis_.Start(error)) << error;
  const auto deadline = std::chrono::steady_clock::now() + kRecovery;
  while (std::chrono::steady_clock::now() < deadline &&
         (Status(*a_, "/healthz") != 200 || Status(*b_, "/healthz") != 200)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  EXPECT_EQ(Verify(*b_, used, AnswerOf(used)), kAlreadyUsed);  // kept through the restart
  EXPECT_EQ(Verify(*a_, pending, pendingAnswer), kAccepted);
  EXPECT_EQ(Verify(*b_, pending, pendingAnswer), kAlreadyUsed);
}

}  // namespace

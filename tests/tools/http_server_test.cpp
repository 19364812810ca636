// The page host's HTTP layer under the attacks a slow or greedy client would
// try, over real loopback sockets from many 127.x.y.z source addresses: every
// limit of http_limits.h is run into and must answer or cut as it says, and
// leave nothing held afterwards. Bounded in count and time; loopback only.
#include "tools/pagehost/http_server.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/loopback_client.h"
#include "tools/pagehost/http_limits.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
namespace limits = http_limits;

// How long a test waits for what should come at once (sanitizer builds on a
// busy machine are slow), and the slack allowed past a deadline.
constexpr auto kPrompt = 5000ms;
constexpr auto kSlack = 2500ms;
// More than loopback's socket buffers on both sides can hold (a few MiB each).
constexpr size_t kLargeBody = 32 * 1024 * 1024;

std::string Get(const std::string& path, const char* connection = "keep-alive") {
  return "GET " + path + " HTTP/1.1\r\nHost: test\r\nConnection: " + connection + "\r\n\r\n";
}

class HttpServerTest : public ::testing::Test {
 protected:
  void Start(HttpServerOptions options = {}) {
    options.port = 0;
    server_ = std::make_unique<HttpServer>(
        options, [this](const HttpRequest& request) { return Handle(request); });
    std::string error;
    ASSERT_TRUE(server_->Bind(error)) << error;
    serving_ = std::thread([this] { server_->Serve(); });
  }
  void TearDown() override {
    Release();
    if (server_) {
      server_->Stop();
      serving_.join();
    }
  }

  // Answers "METHOD PATH BODY"; a request for /hold waits until Release, one
  // for /large gets kLargeBody bytes.
  PageResult Handle(const HttpRequest& request) {
    if (request.path == "/large") return TextResult(200, std::string(kLargeBody, 'x'));
    if (request.path == "/hold") {
      std::unique_lock<std::mutex> lock(mutex_);
      ++held_;
      changed_.notify_all();
      changed_.wait(lock, [this] { return released_; });
    }
    return TextResult(200, request.method + " " + request.path + " " + request.body);
  }
  void Release() {
    const std::lock_guard<std::mutex> lock(mutex_);
    released_ = true;
    changed_.notify_all();
  }
  bool WaitForHeld(int count) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, kPrompt, [&] { return held_ >= count; });
  }
  // Waits until the server holds `count` connections.
  bool WaitForOpenConnections(size_t count, std::chrono::milliseconds timeout = kPrompt) {
    for (const Clock::time_point end = Clock::now() + timeout; Clock::now() < end;) {
      if (server_->OpenConnections() == count) return true;
      std::this_thread::sleep_for(10ms);
    }
    return server_->OpenConnections() == count;
  }
  LoopbackConnection Connect(const std::string& source) {
    return LoopbackConnection(source, server_->Port());
  }

  std::unique_ptr<HttpServer> server_;
  std::thread serving_;
  std::mutex mutex_;
  std::condition_variable changed_;
  int held_ = 0;
  bool released_ = false;
};

TEST_F(HttpServerTest, OneAddressHoldsAtMostItsShareOfConnections) {
  Start();
  std::vector<LoopbackConnection> idle;
  for (size_t i = 0; i < limits::kMaxConnectionsPerAddress; ++i)
    idle.push_back(Connect("127.0.3.1"));
  ASSERT_TRUE(WaitForOpenConnections(limits::kMaxConnectionsPerAddress));

  LoopbackConnection over = Connect("127.0.3.1");
  ASSERT_TRUE(over.Connected());
  bool closed = false;
  const std::string refusal = over.ReadUntilClosed(kPrompt, closed);
  EXPECT_EQ(StatusOf(refusal), 503) << refusal;
  EXPECT_EQ(HeaderOf(refusal, "Retry-After"), std::to_string(limits::kRetryAfter.count()));
  EXPECT_NE(refusal.find("too many connections from your address"), std::string::npos);
  EXPECT_TRUE(closed);

  {
    // Another address is served meanwhile.
    LoopbackConnection other = Connect("127.0.3.2");
    ASSERT_TRUE(other.Send(Get("/")));
    EXPECT_EQ(StatusOf(other.ReadAnswer(kPrompt)), 200);
  }
  idle.clear();
  EXPECT_TRUE(WaitForOpenConnections(0));
}

TEST_F(HttpServerTest, ATrustedProxyIsNotHeldToTheShareOfOneAddress) {
  HttpServerOptions options;
  options.unlimitedPeers = {"127.0.3.9"};
  Start(options);
  constexpr size_t kProxied = limits::kMaxConnectionsPerAddress * 2;
  std::vector<LoopbackConnection> proxied;
  for (size_t i = 0; i < kProxied; ++i) proxied.push_back(Connect("127.0.3.9"));
  ASSERT_TRUE(WaitForOpenConnections(kProxied));
  for (LoopbackConnection& connection : proxied) {
    ASSERT_TRUE(connection.Send(Get("/")));
    EXPECT_EQ(StatusOf(connection.ReadAnswer(kPrompt)), 200);
  }
  proxied.clear();
  EXPECT_TRUE(WaitForOpenConnections(0));
}

TEST_F(HttpServerTest, AFullHostAnswers503WithRetryAfterAndServesAgainWhenASlotFrees) {
  HttpServerOptions options;
  options.maxConnections = 4;
  Start(options);
  std::vector<LoopbackConnection> idle;
  for (int i = 1; i <= 4; ++i) idle.push_back(Connect("127.0.4." + std::to_string(i)));
  ASSERT_TRUE(WaitForOpenConnections(4));

  LoopbackConnection refused = Connect("127.0.4.5");
  refused.Send(Get("/"));
  bool closed = false;
  const std::string refusal = refused.ReadUntilClosed(kPrompt, closed);
  EXPECT_EQ(StatusOf(refusal), 503) << refusal;
  EXPECT_EQ(HeaderOf(refusal, "Retry-After"), std::to_string(limits::kRetryAfter.count()));
  EXPECT_NE(refusal.find("the host is full"), std::string::npos);
  EXPECT_TRUE(closed);

  idle.pop_back();
  ASSERT_TRUE(WaitForOpenConnections(3));
  LoopbackConnection served = Connect("127.0.4.5");
  ASSERT_TRUE(served.Send(Get("/")));
  EXPECT_EQ(StatusOf(served.ReadAnswer(kPrompt)), 200);
}

TEST_F(HttpServerTest, RequestsBeyondTheQueueGet503WhileEveryPageThreadIsBusy) {
  HttpServerOptions options;
  options.threads = 1;
  options.maxQueued = 1;
  Start(options);
  LoopbackConnection running = Connect("127.0.5.1");
  LoopbackConnection queued = Connect("127.0.5.2");
  LoopbackConnection refused = Connect("127.0.5.3");
  ASSERT_TRUE(running.Send(Get("/hold")));
  ASSERT_TRUE(WaitForHeld(1));
  ASSERT_TRUE(queued.Send(Get("/queued")));
  std::this_thread::sleep_for(200ms);  // the I/O thread queues it
  ASSERT_TRUE(refused.Send(Get("/refused")));
  const std::string refusal = refused.ReadAnswer(kPrompt);
  EXPECT_EQ(StatusOf(refusal), 503) << refusal;
  EXPECT_EQ(HeaderOf(refusal, "Retry-After"), std::to_string(limits::kRetryAfter.count()));

  Release();
  EXPECT_EQ(StatusOf(running.ReadAnswer(kPrompt)), 200);
  EXPECT_EQ(StatusOf(queued.ReadAnswer(kPrompt)), 200);
}

// One byte every half second: no single read ever waits long, so only a
// deadline on the whole head (or body) can cut these.
TEST_F(HttpServerTest, AHeadOrBodyTrickledPastItsDeadlineIsCut) {
  Start();
  LoopbackConnection head = Connect("127.0.6.1");
  LoopbackConnection body = Connect("127.0.6.2");
  const Clock::time_point start = Clock::now();
  ASSERT_TRUE(body.Send("POST /verify HTTP/1.1\r\nHost: test\r\nContent-Length: 1000\r\n\r\n"));
  ASSERT_TRUE(head.Send("GET / HTTP/1.1\r\nX-Slow: "));
  const Clock::time_point giveUp = start + limits::kHeadDeadline + kSlack;
  bool headCut = false, bodyCut = false;
  std::string headAnswer, bodyAnswer;
  while (Clock::now() < giveUp && !(headCut && bodyCut)) {
    // Reads first, so that an answer is taken before a send can meet a reset.
    bool closed = false;
    if (!headCut) headAnswer += head.ReadUntilClosed(250ms, closed), headCut = closed;
    if (!bodyCut) bodyAnswer += body.ReadUntilClosed(250ms, closed), bodyCut = closed;
    if (!headCut && !head.Send("a")) headCut = true;
    if (!bodyCut && !body.Send("a")) bodyCut = true;
  }
  const auto taken = Clock::now() - start;
  EXPECT_TRUE(headCut);
  EXPECT_TRUE(bodyCut);
  EXPECT_GE(taken, limits::kHeadDeadline - 1s);
  EXPECT_EQ(StatusOf(headAnswer), 408) << headAnswer;
  EXPECT_EQ(StatusOf(bodyAnswer), 408) << bodyAnswer;
  EXPECT_TRUE(WaitForOpenConnections(0));
}

TEST_F(HttpServerTest, AnIdleKeptAliveConnectionIsClosedAfterItsIdleTime) {
  Start();
  LoopbackConnection client = Connect("127.0.7.1");
  ASSERT_TRUE(client.Send(Get("/first")));
  ASSERT_EQ(StatusOf(client.ReadAnswer(kPrompt)), 200);
  std::this_thread::sleep_for(limits::kKeepAliveIdle / 2);
  ASSERT_TRUE(client.Send(Get("/second")));  // still open, and reused
  ASSERT_EQ(StatusOf(client.ReadAnswer(kPrompt)), 200);
  const Clock::time_point idleFrom = Clock::now();
  bool closed = false;
  const std::string after = client.ReadUntilClosed(limits::kKeepAliveIdle + kSlack, closed);
  EXPECT_TRUE(closed);
  EXPECT_EQ(after, "");  // closed without an answer: no request was started
  EXPECT_GE(Clock::now() - idleFrom, limits::kKeepAliveIdle - 500ms);
  EXPECT_TRUE(WaitForOpenConnections(0));
}

// A client that asks for an answer and never reads it holds its connection
// only until the write deadline.
TEST_F(HttpServerTest, AReaderThatNeverReadsIsCutAtTheWriteDeadline) {
  Start();
  LoopbackConnection client = Connect("127.0.7.2");
  ASSERT_TRUE(client.Send(Get("/large")));
  ASSERT_TRUE(WaitForOpenConnections(1));
  std::this_thread::sleep_for(limits::kWriteDeadline - 1s);
  EXPECT_EQ(server_->OpenConnections(), 1u);  // still writing
  EXPECT_TRUE(WaitForOpenConnections(0, 1s + kSlack));
}

// After an error answer the host reads out what the client still sends for a
// moment, then lets go even of a client that never closes.
TEST_F(HttpServerTest, ARefusedClientThatNeverClosesIsLetGoAfterTheLingerTime) {
  Start();
  LoopbackConnection client = Connect("127.0.8.2");
  ASSERT_TRUE(client.Send("BROKEN\r\n\r\n"));
  EXPECT_EQ(StatusOf(client.ReadAnswer(kPrompt)), 400);
  EXPECT_TRUE(WaitForOpenConnections(0, limits::kLingerTime + kSlack));
}

TEST_F(HttpServerTest, MalformedHeadsAreRefusedWithTheirStatusAndTheConnectionClosed) {
  Start();
  struct Case {
    std::string bytes;
    int status;
  };
  const Case cases[] = {
      {"GET / HTTP/1.1\r\n\r\n", 400},  // no Host
      {"GET / HTTP/2.0\r\nHost: t\r\n\r\n", 505},
      {"GET /" + std::string(limits::kMaxTargetBytes, 'a') + " HTTP/1.1\r\nHost: t\r\n\r\n", 414},
      {"GET / HTTP/1.1\r\nHost: t\r\nX: " + std::string(limits::kMaxHeadBytes, 'a'), 431},
      {"POST / HTTP/1.1\r\nHost: t\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n", 501},
      {"POST / HTTP/1.1\r\nHost: t\r\nContent-Length: 1\r\nContent-Length: 1\r\n\r\nab", 400},
      {"POST / HTTP/1.1\r\nHost: t\r\nContent-Length: 70000\r\n\r\n", 413},
  };
  for (const Case& c : cases) {
    LoopbackConnection client = Connect("127.0.8.1");
    client.Send(c.bytes);
    bool closed = false;
    const std::string answer = client.ReadUntilClosed(kPrompt, closed);
    EXPECT_EQ(StatusOf(answer), c.status) << c.bytes.substr(0, 60);
    EXPECT_FALSE(HeaderOf(answer, "Date").empty());
    EXPECT_TRUE(closed);
  }
  EXPECT_TRUE(WaitForOpenConnections(0));
}

TEST_F(HttpServerTest, PipelinedRequestsAreAnsweredInOrderAndBodiesArriveWhole) {
  Start();
  LoopbackConnection client = Connect("127.0.9.1");
  ASSERT_TRUE(client.Send(Get("/one") +
                          "POST /two HTTP/1.1\r\nHost: t\r\nContent-Length: 5\r\n\r\nhello" +
                          Get("/three", "close")));
  const std::string one = client.ReadAnswer(kPrompt);
  const std::string two = client.ReadAnswer(kPrompt);
  bool closed = false;
  const std::string three = client.ReadUntilClosed(kPrompt, closed);
  EXPECT_NE(one.find("GET /one"), std::string::npos) << one;
  EXPECT_NE(two.find("POST /two hello"), std::string::npos) << two;
  EXPECT_NE(three.find("GET /three"), std::string::npos) << three;
  EXPECT_EQ(HeaderOf(three, "Connection"), "close");
  EXPECT_TRUE(closed);
}

// Page threads send their answers and arm the connection for the next
// request themselves: a request that comes right after its answer, on many
// connections at once, must each be read and answered, in order, none lost.
TEST_F(HttpServerTest, RequestsRightAfterTheirAnswersOnManyConnectionsAreAllAnswered) {
  HttpServerOptions options;
  options.threads = 2;
  Start(options);
  constexpr int kConnections = 8;
  constexpr int kRequestsEach = 150;
  std::atomic<int> answered{0};
  std::vector<std::thread> clients;
  for (int i = 0; i < kConnections; ++i) {
    clients.emplace_back([&, i] {
      LoopbackConnection client = Connect("127.0.11." + std::to_string(i + 1));
      for (int n = 0; n < kRequestsEach; ++n) {
        const std::string path = "/" + std::to_string(i) + "-" + std::to_string(n);
        if (!client.Send(Get(path))) return;
        const std::string answer = client.ReadAnswer(kPrompt);
        if (answer.find("GET " + path + " ") == std::string::npos) return;
        ++answered;
      }
    });
  }
  for (std::thread& client : clients) client.join();
  EXPECT_EQ(answered.load(), kConnections * kRequestsEach);
  EXPECT_TRUE(WaitForOpenConnections(0));
}

// A client that leaves while its page runs is closed when the answer finds
// it gone, long before the idle deadline.
TEST_F(HttpServerTest, AClientGoneWhileItsPageRunsIsClosedOnceTheAnswerIsDone) {
  Start();
  {
    LoopbackConnection client = Connect("127.0.11.20");
    ASSERT_TRUE(client.Send(Get("/hold")));
    ASSERT_TRUE(WaitForHeld(1));
  }
  Release();
  EXPECT_TRUE(WaitForOpenConnections(0, limits::kKeepAliveIdle / 2));
}

// An answer to HEAD says how long the body would be and sends none, so the
// next answer on the connection starts where the client expects it.
TEST_F(HttpServerTest, AnAnswerToHeadCarriesNoBody) {
  Start();
  LoopbackConnection client = Connect("127.0.9.2");
  ASSERT_TRUE(client.Send("HEAD /one HTTP/1.1\r\nHost: t\r\n\r\n" + Get("/two")));
  const std::string head = client.ReadAnswer(kPrompt, true);
  EXPECT_EQ(StatusOf(head), 200) << head;
  EXPECT_EQ(HeaderOf(head, "Content-Length"), "11");  // of "HEAD /one \n"
  EXPECT_EQ(head.substr(head.size() - 4), "\r\n\r\n");
  const std::string next = client.ReadAnswer(kPrompt);
  EXPECT_EQ(StatusOf(next), 200) << next;
  EXPECT_NE(next.find("GET /two"), std::string::npos) << next;
}

TEST_F(HttpServerTest, EveryAnswerCarriesDateAndMakesOneAccessLogLine) {
  std::ostringstream logged;
  {
    AccessLog log(logged);
    HttpServerOptions options;
    options.log = &log;
    Start(options);
    LoopbackConnection client = Connect("127.0.10.1");
    ASSERT_TRUE(client.Send(Get("/a?b=c") + Get("/\"quoted\x01")));
    const std::string answer = client.ReadAnswer(kPrompt);
    bool closed = false;
    const std::string refusal = client.ReadUntilClosed(kPrompt, closed);
    const std::regex date("[A-Z][a-z]{2}, \\d{2} [A-Z][a-z]{2} \\d{4} \\d{2}:\\d{2}:\\d{2} GMT");
    EXPECT_TRUE(std::regex_match(HeaderOf(answer, "Date"), date)) << answer;
    EXPECT_TRUE(std::regex_match(HeaderOf(refusal, "Date"), date)) << refusal;
    server_->Stop();
    serving_.join();
    server_.reset();
  }
  const std::string lines = logged.str();
  const std::regex line(
      "127\\.0\\.10\\.1 - - \\[\\d{2}/[A-Z][a-z]{2}/\\d{4}:\\d{2}:\\d{2}:\\d{2} \\+0000\\] "
      "\"([^\"]*)\" (\\d{3}) (\\d+) (\\d+)\n");
  std::vector<std::smatch> matches;
  for (auto it = std::sregex_iterator(lines.begin(), lines.end(), line);
       it != std::sregex_iterator(); ++it)
    matches.push_back(*it);
  ASSERT_EQ(matches.size(), 2u) << lines;
  EXPECT_EQ(matches[0][1], "GET /a?b=c HTTP/1.1");
  EXPECT_EQ(matches[0][2], "200");
  // A request line that could forge a field, escaped; refused, still logged.
  EXPECT_EQ(matches[1][1], "GET /\\x22quoted\\x01 HTTP/1.1");
  EXPECT_EQ(matches[1][2], "400");
}

}  // namespace

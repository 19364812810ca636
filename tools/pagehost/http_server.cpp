#include "tools/pagehost/http_server.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "tools/pagehost/apartment_pool.h"
#include "tools/pagehost/http_limits.h"
#include "tools/pagehost/http_response.h"

namespace {

using Clock = std::chrono::steady_clock;
using WallClock = std::chrono::system_clock;
namespace limits = http_limits;

// Connections waiting in the kernel before the I/O thread accepts them.
constexpr int kListenBacklog = 256;
// Events taken from epoll in one call.
constexpr int kMaxEvents = 256;
// epoll keys of the two descriptors that are not connections.
constexpr uint64_t kListenerKey = 0;
constexpr uint64_t kWakeKey = 1;
constexpr uint64_t kFirstConnectionKey = 2;
// Longest request line kept for the access log.
constexpr size_t kMaxLoggedLine = limits::kMaxTargetBytes + 32;

const char kContinue[] = "HTTP/1.1 100 Continue\r\n\r\n";

// A peer as the limits count it (`key`: an IPv4 address whole, an IPv6
// address by its /64, one subscriber's prefix) and as pages and logs name it.
struct Peer {
  std::string key;
  std::string text;
};

Peer DescribePeer(const sockaddr_storage& address) {
  char text[INET6_ADDRSTRLEN] = "";
  if (address.ss_family == AF_INET) {
    const auto& v4 = reinterpret_cast<const sockaddr_in&>(address);
    inet_ntop(AF_INET, &v4.sin_addr, text, sizeof(text));
    return {"4" + std::string(reinterpret_cast<const char*>(&v4.sin_addr), 4), text};
  }
  const auto& v6 = reinterpret_cast<const sockaddr_in6&>(address);
  if (IN6_IS_ADDR_V4MAPPED(&v6.sin6_addr)) {
    const auto* v4 = reinterpret_cast<const char*>(&v6.sin6_addr) + 12;
    inet_ntop(AF_INET, v4, text, sizeof(text));
    return {"4" + std::string(v4, 4), text};
  }
  inet_ntop(AF_INET6, &v6.sin6_addr, text, sizeof(text));
  return {"6" + std::string(reinterpret_cast<const char*>(&v6.sin6_addr), 8), text};
}

// Raises the soft descriptor limit towards what kMaxConnections needs, and
// returns how many connections fit under the limit there is.
size_t FitConnectionsToDescriptorLimit() {
  const rlim_t overhead = limits::kMaxLingering + limits::kReservedDescriptors;
  const rlim_t wanted = limits::kMaxConnections + overhead;
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return limits::kMaxConnectionsPerAddress;
  if (limit.rlim_cur < wanted && limit.rlim_cur != RLIM_INFINITY) {
    rlimit raised = limit;
    raised.rlim_cur = limit.rlim_max == RLIM_INFINITY ? wanted : std::min(wanted, limit.rlim_max);
    if (setrlimit(RLIMIT_NOFILE, &raised) == 0) limit = raised;
  }
  if (limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur >= wanted) return limits::kMaxConnections;
  if (limit.rlim_cur <= overhead + limits::kMaxConnectionsPerAddress)
    return limits::kMaxConnectionsPerAddress;
  return static_cast<size_t>(limit.rlim_cur - overhead);
}

// The first line of what a client sent, for the log.
std::string FirstLine(const std::string& input) {
  std::string line = input.substr(0, std::min(input.find('\n'), kMaxLoggedLine));
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

}  // namespace

// One open connection and where it stands. Only the I/O thread touches it.
struct Connection {
  enum class State {
    kHead,       // reading a request head (or idle between requests)
    kBody,       // reading the body the head announced
    kBusy,       // a page thread has the request; nothing is read
    kWriting,    // writing the answer
    kLingering,  // answer written, write side shut: reading and dropping until the peer closes
  };
  uint64_t key = 0;
  int fd = -1;
  Peer peer;
  bool counted = true;  // in the connection limits (refused connections are not)
  bool closed = false;
  State state = State::kHead;
  bool firstRequest = true;  // the head deadline runs from the accept
  bool started = false;      // bytes of the current request have come
  Clock::time_point deadline;
  Clock::time_point requestStart;
  std::string input;
  RequestHead head;
  std::string output;
  size_t written = 0;
  bool keepAlive = false;  // after the answer being written
  // The events the descriptor is armed for; 0 once one was reported (every
  // connection is watched one event at a time, EPOLLONESHOT).
  uint32_t armed = 0;
  AccessRecord record;
};

// What a page thread did with its answer, for the I/O thread to finish (the
// page thread sends the answer itself: SendFromPage).
struct Completion {
  uint64_t key;
  std::string rest;  // what the socket did not take at once
  bool failed;       // the socket refused the answer: the client is gone
  int status;
  size_t bodyBytes;
  bool keepAlive;
  bool rearmed;                // sent whole, and armed for the next request
  bool inputWaits;             // the next request's bytes were read already
  Clock::time_point finished;  // when the page thread was done sending
};

class HttpServer::Loop {
 public:
  explicit Loop(HttpServer& server) : server_(server) {
    epoll_ = epoll_create1(EPOLL_CLOEXEC);
    wake_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    Watch(wake_, kWakeKey, EPOLLIN, EPOLL_CTL_ADD);
  }
  ~Loop() {
    for (auto& [key, connection] : connections_) {
      if (!connection->closed) ::close(connection->fd);
    }
    if (listener_ >= 0) ::close(listener_);
    ::close(wake_);
    ::close(epoll_);
  }

  bool Listen(const std::string& bind, int port, int& boundPort, std::string& error);
  void Run();
  void RequestStop() {
    stopRequested_ = true;
    Wake();
  }

 private:
  void Watch(int fd, uint64_t key, uint32_t events, int operation) {
    epoll_event event{};
    event.events = events;
    event.data.u64 = key;
    epoll_ctl(epoll_, operation, fd, &event);
  }
  // Arms the connection for one event of `events` (nothing when it already is).
  void Arm(Connection& c, uint32_t events) {
    if (c.armed == events) return;
    c.armed = events;
    Watch(c.fd, c.key, events | EPOLLONESHOT, EPOLL_CTL_MOD);
  }
  void Wake() {
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t ignored = ::write(wake_, &one, sizeof(one));
  }

  void AcceptAll();
  bool IsUnlimited(const Peer& peer) const {
    const std::vector<std::string>& unlimited = server_.options_.unlimitedPeers;
    return std::find(unlimited.begin(), unlimited.end(), peer.text) != unlimited.end();
  }
  Connection& Add(int fd, Peer peer, bool counted);
  void Refuse(int fd, Peer peer, const char* reason);
  void OnEvent(Connection& c, uint32_t events);
  void ReadInput(Connection& c);
  void Advance(Connection& c);
  void Dispatch(Connection& c);
  void AnswerError(Connection& c, int status, const std::string& reason);
  void StartWriting(Connection& c, std::string bytes, int status, size_t bodyBytes, bool keepAlive);
  void WriteSome(Connection& c);
  void FinishedWriting(Connection& c, Clock::time_point finished);
  void Linger(Connection& c);
  void Close(Connection& c);
  void ExpireDeadlines(Clock::time_point now);
  void SendFromPage(int fd, const std::string& answer, Completion& done);
  void TakeCompletions();
  void Finish(Connection& c, Completion& completion);
  void BeginStop();
  void SweepClosed();

  HttpServer& server_;
  int epoll_ = -1;
  int wake_ = -1;
  int listener_ = -1;
  std::atomic<bool> stopRequested_{false};
  bool stopping_ = false;
  Clock::time_point stopDeadline_;
  Clock::time_point nextExpiry_;
  bool acceptPaused_ = false;
  std::unique_ptr<ApartmentPool> pool_;
  std::unordered_map<uint64_t, std::unique_ptr<Connection>> connections_;
  std::vector<uint64_t> closedKeys_;
  std::unordered_map<std::string, size_t> perAddress_;
  size_t counted_ = 0;
  size_t refusedLingering_ = 0;
  uint64_t nextKey_ = kFirstConnectionKey;
  std::mutex completionsMutex_;
  std::vector<Completion> completions_;
  bool woken_ = false;  // a wake is on its way for completions_
};

bool HttpServer::Loop::Listen(const std::string& bind, int port, int& boundPort,
                              std::string& error) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
  addrinfo* found = nullptr;
  const std::string service = std::to_string(port);
  if (getaddrinfo(bind.c_str(), service.c_str(), &hints, &found) != 0 || found == nullptr) {
    error = "cannot resolve " + bind;
    return false;
  }
  for (addrinfo* at = found; at != nullptr && listener_ < 0; at = at->ai_next) {
    const int fd = socket(at->ai_family, at->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) continue;
    const int yes = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
    if (::bind(fd, at->ai_addr, at->ai_addrlen) == 0 && ::listen(fd, kListenBacklog) == 0) {
      listener_ = fd;
    } else {
      ::close(fd);
    }
  }
  freeaddrinfo(found);
  if (listener_ < 0) {
    error = "cannot listen on " + bind + ":" + std::to_string(port);
    return false;
  }
  sockaddr_storage address{};
  socklen_t length = sizeof(address);
  getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
  boundPort = ntohs(address.ss_family == AF_INET
                        ? reinterpret_cast<const sockaddr_in&>(address).sin_port
                        : reinterpret_cast<const sockaddr_in6&>(address).sin6_port);
  return true;
}

void HttpServer::Loop::Run() {
  if (stopRequested_ || listener_ < 0) return;
  pool_ = std::make_unique<ApartmentPool>(server_.options_.threads, server_.options_.maxQueued);
  Watch(listener_, kListenerKey, EPOLLIN, EPOLL_CTL_ADD);
  epoll_event events[kMaxEvents];
  for (;;) {
    if (stopRequested_ && !stopping_) BeginStop();
    if (stopping_ && (connections_.empty() || Clock::now() >= stopDeadline_)) break;
    const int count =
        epoll_wait(epoll_, events, kMaxEvents, static_cast<int>(limits::kDeadlineTick.count()));
    // Answers first: a connection whose page thread armed it for its next
    // request may have an event in this batch already.
    TakeCompletions();
    for (int i = 0; i < count; ++i) {
      const uint64_t key = events[i].data.u64;
      if (key == kListenerKey) {
        AcceptAll();
      } else if (key == kWakeKey) {
        uint64_t ignored;
        while (::read(wake_, &ignored, sizeof(ignored)) > 0) {
        }
        TakeCompletions();
      } else if (auto found = connections_.find(key); found != connections_.end()) {
        OnEvent(*found->second, events[i].events);
      }
    }
    ExpireDeadlines(Clock::now());
    SweepClosed();
  }
  // Page threads finish what they hold; their answers have nowhere to go.
  pool_.reset();
  for (auto& [key, connection] : connections_) Close(*connection);
  SweepClosed();
}

void HttpServer::Loop::BeginStop() {
  stopping_ = true;
  stopDeadline_ = Clock::now() + limits::kStopGrace;
  if (!acceptPaused_) epoll_ctl(epoll_, EPOLL_CTL_DEL, listener_, nullptr);
  ::close(listener_);
  listener_ = -1;
  for (auto& [key, c] : connections_) {
    if (c->state != Connection::State::kBusy && c->state != Connection::State::kWriting) Close(*c);
  }
  SweepClosed();
}

void HttpServer::Loop::AcceptAll() {
  for (int i = 0; i < limits::kAcceptsPerTurn; ++i) {
    sockaddr_storage address{};
    socklen_t length = sizeof(address);
    const int fd = accept4(listener_, reinterpret_cast<sockaddr*>(&address), &length,
                           SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
      if (errno == EINTR || errno == ECONNABORTED) continue;
      // Out of descriptors or memory: the listener would wake every turn
      // with nothing to take, so it rests until the next tick.
      if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
        epoll_ctl(epoll_, EPOLL_CTL_DEL, listener_, nullptr);
        acceptPaused_ = true;
      }
      return;  // EAGAIN: none left
    }
    const int yes = 1;
    // The answer goes out in one write; without this a second write (a
    // large answer) would wait for the client's delayed acknowledgement.
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof(yes));
    Peer peer = DescribePeer(address);
    if (counted_ >= std::min(server_.maxConnections_, server_.options_.maxConnections)) {
      Refuse(fd, std::move(peer), "the host is full; try again shortly");
    } else if (perAddress_[peer.key] >= limits::kMaxConnectionsPerAddress && !IsUnlimited(peer)) {
      Refuse(fd, std::move(peer), "too many connections from your address; try again shortly");
    } else {
      Add(fd, std::move(peer), true);
    }
  }
}

Connection& HttpServer::Loop::Add(int fd, Peer peer, bool counted) {
  auto connection = std::make_unique<Connection>();
  Connection& c = *connection;
  c.key = nextKey_++;
  c.fd = fd;
  c.peer = std::move(peer);
  c.counted = counted;
  c.requestStart = Clock::now();
  c.deadline = c.requestStart + limits::kHeadDeadline;
  c.record.received = WallClock::now();
  if (counted) {
    ++counted_;
    ++perAddress_[c.peer.key];
  } else {
    ++refusedLingering_;
  }
  connections_.emplace(c.key, std::move(connection));
  server_.openConnections_ = connections_.size();
  c.armed = EPOLLIN;
  Watch(c.fd, c.key, EPOLLIN | EPOLLONESHOT, EPOLL_CTL_ADD);
  return c;
}

// A connection over a limit gets 503 and Retry-After before any of its
// request is read; while too many refused ones linger, it is closed at once.
void HttpServer::Loop::Refuse(int fd, Peer peer, const char* reason) {
  if (refusedLingering_ >= limits::kMaxLingering) {
    PageResult busy = TextResult(503, reason);
    busy.headers.emplace_back("Retry-After", std::to_string(limits::kRetryAfter.count()));
    const std::string bytes = SerializeResponse(busy, false, WallClock::now());
    [[maybe_unused]] ssize_t sent = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    ::close(fd);
    return;
  }
  AnswerError(Add(fd, std::move(peer), false), 503, reason);
}

void HttpServer::Loop::OnEvent(Connection& c, uint32_t events) {
  c.armed = 0;  // one event per arming
  // Nothing is read while a page runs, and its descriptor stays open: the
  // page thread arms the connection again when it has sent the answer. (Only
  // a request that came in one read with the one before gets here busy.)
  if (c.state == Connection::State::kBusy) return;
  if ((events & (EPOLLERR | EPOLLHUP)) != 0) return Close(c);
  if ((events & EPOLLIN) != 0) ReadInput(c);
  if ((events & EPOLLOUT) != 0 && c.state == Connection::State::kWriting) WriteSome(c);
  if (!c.closed && c.state != Connection::State::kBusy)
    Arm(c, c.state == Connection::State::kWriting ? EPOLLOUT : EPOLLIN);
}

void HttpServer::Loop::ReadInput(Connection& c) {
  if (c.closed) return;
  char buffer[limits::kReadChunkBytes];
  const ssize_t got = ::recv(c.fd, buffer, sizeof(buffer), 0);
  if (got < 0) {
    if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) Close(c);
    return;
  }
  if (got == 0) return Close(c);                         // the client is done, or gave up
  if (c.state == Connection::State::kLingering) return;  // dropped
  c.input.append(buffer, static_cast<size_t>(got));
  Advance(c);
}

void HttpServer::Loop::Advance(Connection& c) {
  const Clock::time_point now = Clock::now();
  if (c.state == Connection::State::kHead) {
    if (!c.started) {
      // Empty lines before a request line are allowed (after a POST body).
      const size_t first = c.input.find_first_not_of("\r\n");
      c.input.erase(0, first);
      if (c.input.empty()) return;
      c.started = true;
      c.requestStart = now;
      c.record.received = WallClock::now();
      if (!c.firstRequest) c.deadline = now + limits::kHeadDeadline;
    }
    const size_t end = FindHeadEnd(c.input);
    if (end == std::string::npos && c.input.size() <= limits::kMaxHeadBytes) return;
    c.record.requestLine = FirstLine(c.input);
    if (end == std::string::npos || end > limits::kMaxHeadBytes)
      return AnswerError(c, 431, "request head larger than 16 KiB");
    const HeadRefusal refusal = ParseRequestHead(std::string_view(c.input).substr(0, end), c.head);
    if (refusal.status != 0) return AnswerError(c, refusal.status, refusal.reason);
    c.input.erase(0, end);
    if (c.head.contentLength == 0) return Dispatch(c);
    c.state = Connection::State::kBody;
    c.deadline = now + limits::kBodyDeadline;
    if (c.head.expectsContinue && c.input.empty()) {
      const ssize_t sent = ::send(c.fd, kContinue, sizeof(kContinue) - 1, MSG_NOSIGNAL);
      if (sent != static_cast<ssize_t>(sizeof(kContinue) - 1)) return Close(c);
    }
  }
  if (c.state == Connection::State::kBody && c.input.size() >= c.head.contentLength) {
    c.head.request.body = c.input.substr(0, c.head.contentLength);
    c.input.erase(0, c.head.contentLength);
    Dispatch(c);
  }
}

// The connection's descriptor is not armed (its request came in the event
// being handled) or, for a request sent along with the one before, armed by
// that one's page thread; either way it is not read until the answer is sent.
void HttpServer::Loop::Dispatch(Connection& c) {
  c.state = Connection::State::kBusy;
  HttpRequest request = std::move(c.head.request);
  request.peer = c.peer.text;
  const bool keepAlive = c.head.keepAlive;
  const AnswerBody body = request.method == "HEAD" ? AnswerBody::kOmitted : AnswerBody::kSent;
  // Bytes read beyond this request (pipelined) arm nothing: the I/O thread
  // must be woken to start on them when this answer is done.
  const bool inputWaits = !c.input.empty();
  auto task = [this, key = c.key, fd = c.fd, keepAlive, inputWaits, body,
               request = std::move(request)] {
    PageResult result;
    try {
      result = server_.handler_(request);
    } catch (const std::exception&) {
      result = TextResult(500, "the page failed");
    }
    Completion done{key,   {},         false, result.status, result.body.size(), keepAlive,
                    false, inputWaits, {}};
    SendFromPage(fd, SerializeResponse(result, keepAlive, WallClock::now(), body), done);
  };
  if (!pool_->TrySubmit(std::move(task)))
    AnswerError(c, 503, "the host is busy; try again shortly");
}

// Runs on a page thread, which sends its answer itself: handing every answer
// to the I/O thread cost two thread wake-ups a request and made that one
// thread the host's bottleneck. When the answer went whole on a kept-alive
// connection, the page thread also arms it for the next request, and the I/O
// thread is not woken: it takes the completion (the access-log line, the idle
// deadline) on its next turn. Anything else (a socket that took part of the
// answer, a client gone, a connection to end, a request already read behind
// this one) wakes it to finish there. The I/O thread neither reads, closes
// nor arms a busy connection, so `fd` is the page thread's to use until its
// completion is taken.
void HttpServer::Loop::SendFromPage(int fd, const std::string& answer, Completion& done) {
  size_t sent = 0;
  while (sent < answer.size()) {
    const ssize_t now = ::send(fd, answer.data() + sent, answer.size() - sent, MSG_NOSIGNAL);
    if (now < 0) {
      if (errno == EINTR) continue;
      done.failed = errno != EAGAIN && errno != EWOULDBLOCK;
      break;
    }
    sent += static_cast<size_t>(now);
  }
  done.finished = Clock::now();
  if (sent < answer.size() && !done.failed) done.rest = answer.substr(sent);
  done.rearmed = sent == answer.size() && done.keepAlive;
  bool wake = false;
  {
    // Armed under the lock, so that the I/O thread cannot take the completion
    // (and close the descriptor, or let its number be reused) before.
    const std::lock_guard<std::mutex> lock(completionsMutex_);
    if (done.rearmed) Watch(fd, done.key, EPOLLIN | EPOLLONESHOT, EPOLL_CTL_MOD);
    wake = (!done.rearmed || done.inputWaits) && !woken_;
    woken_ = woken_ || wake;
    completions_.push_back(std::move(done));
  }
  if (wake) Wake();
}

void HttpServer::Loop::TakeCompletions() {
  std::vector<Completion> done;
  {
    const std::lock_guard<std::mutex> lock(completionsMutex_);
    done.swap(completions_);
    woken_ = false;
  }
  for (Completion& completion : done) {
    const auto found = connections_.find(completion.key);
    if (found == connections_.end() || found->second->closed) continue;  // stopped meanwhile
    Finish(*found->second, completion);
  }
}

void HttpServer::Loop::Finish(Connection& c, Completion& done) {
  if (done.failed) return Close(c);
  if (!done.rest.empty())
    return StartWriting(c, std::move(done.rest), done.status, done.bodyBytes, done.keepAlive);
  c.record.status = done.status;
  c.record.bodyBytes = done.bodyBytes;
  c.keepAlive = done.keepAlive;
  if (done.rearmed) c.armed = EPOLLIN;
  FinishedWriting(c, done.finished);
}

// Every error answer closes the connection: what follows the refused part of
// the stream cannot be trusted to start a request.
void HttpServer::Loop::AnswerError(Connection& c, int status, const std::string& reason) {
  PageResult result = TextResult(status, reason);
  if (status == 503)
    result.headers.emplace_back("Retry-After", std::to_string(limits::kRetryAfter.count()));
  StartWriting(c, SerializeResponse(result, false, WallClock::now()), status, result.body.size(),
               false);
}

void HttpServer::Loop::StartWriting(Connection& c, std::string bytes, int status, size_t bodyBytes,
                                    bool keepAlive) {
  c.state = Connection::State::kWriting;
  c.output = std::move(bytes);
  c.written = 0;
  c.keepAlive = keepAlive;
  c.deadline = Clock::now() + limits::kWriteDeadline;
  c.record.status = status;
  c.record.bodyBytes = bodyBytes;
  WriteSome(c);
}

void HttpServer::Loop::WriteSome(Connection& c) {
  if (c.closed) return;
  while (c.written < c.output.size()) {
    const ssize_t sent =
        ::send(c.fd, c.output.data() + c.written, c.output.size() - c.written, MSG_NOSIGNAL);
    if (sent < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) return Arm(c, EPOLLOUT);
      return Close(c);
    }
    c.written += static_cast<size_t>(sent);
  }
  FinishedWriting(c, Clock::now());
}

// `finished`: when the answer's last byte went.
void HttpServer::Loop::FinishedWriting(Connection& c, Clock::time_point finished) {
  if (server_.options_.log != nullptr) {
    c.record.peer = c.peer.text;
    c.record.taken =
        std::chrono::duration_cast<std::chrono::microseconds>(finished - c.requestStart);
    server_.options_.log->Write(c.record);
  }
  c.output.clear();
  c.record = AccessRecord();
  if (!c.keepAlive || stopping_) return Linger(c);
  c.state = Connection::State::kHead;
  c.started = false;
  c.firstRequest = false;
  c.deadline = finished + limits::kKeepAliveIdle;
  Arm(c, EPOLLIN);
  Advance(c);  // a request sent before this answer (pipelined) is already here
}

void HttpServer::Loop::Linger(Connection& c) {
  shutdown(c.fd, SHUT_WR);
  c.state = Connection::State::kLingering;
  c.input.clear();
  c.deadline = Clock::now() + limits::kLingerTime;
  Arm(c, EPOLLIN);
}

// Closes at once; the record goes at the end of the loop's turn, so that a
// caller still holding `c` may look at it.
void HttpServer::Loop::Close(Connection& c) {
  if (c.closed) return;
  c.closed = true;
  ::close(c.fd);  // also leaves the epoll set
  if (c.counted) {
    --counted_;
    const auto address = perAddress_.find(c.peer.key);
    if (--address->second == 0) perAddress_.erase(address);
  } else {
    --refusedLingering_;
  }
  closedKeys_.push_back(c.key);
}

void HttpServer::Loop::SweepClosed() {
  for (uint64_t key : closedKeys_) connections_.erase(key);
  closedKeys_.clear();
  server_.openConnections_ = connections_.size();
}

// Deadlines are looked at once a tick, not on every turn: a busy loop turns
// thousands of times a second, and a deadline met a tick late costs nothing.
void HttpServer::Loop::ExpireDeadlines(Clock::time_point now) {
  if (now < nextExpiry_) return;
  nextExpiry_ = now + limits::kDeadlineTick;
  if (acceptPaused_ && !stopping_) {
    acceptPaused_ = false;
    Watch(listener_, kListenerKey, EPOLLIN, EPOLL_CTL_ADD);
  }
  for (auto& [key, connection] : connections_) {
    Connection& c = *connection;
    if (c.closed || c.state == Connection::State::kBusy || c.deadline > now) continue;
    switch (c.state) {
      case Connection::State::kHead:
        // Nothing sent at all (or nothing since the last answer): just close.
        if (!c.started) {
          Close(c);
        } else {
          c.record.requestLine = FirstLine(c.input);
          AnswerError(c, 408, "request head not complete within 10 s");
        }
        break;
      case Connection::State::kBody:
        AnswerError(c, 408, "request body not complete within 10 s");
        break;
      default:
        Close(c);
    }
  }
}

HttpServer::HttpServer(HttpServerOptions options, RequestHandler handler)
    : options_(std::move(options)),
      handler_(std::move(handler)),
      loop_(std::make_unique<Loop>(*this)) {}

HttpServer::~HttpServer() = default;

bool HttpServer::Bind(std::string& error) {
  maxConnections_ = FitConnectionsToDescriptorLimit();
  return loop_->Listen(options_.bind, options_.port, port_, error);
}

void HttpServer::Serve() {
  loop_->Run();
  if (options_.log != nullptr) options_.log->Flush();
}

void HttpServer::Stop() { loop_->RequestStop(); }

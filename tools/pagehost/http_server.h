// The page host's HTTP/1.1 server: one I/O thread that owns every connection
// (epoll, non-blocking, one event at a time per connection), and the apartment
// pool (apartment_pool.h) that runs the pages. A connection waiting for bytes
// costs a descriptor and a buffer, never a page thread; the I/O thread hands a
// page thread only a complete request (head and body). The page thread sends
// its answer itself and arms the connection for the next request; only an
// answer the socket does not take at once goes back to the I/O thread.
//
// What a slow or greedy client can hold is bounded by http_limits.h: a head
// and a body each have a deadline as a whole, idle kept-alive connections
// close, one address holds at most kMaxConnectionsPerAddress connections
// (except the proxies the host trusts: each carries many clients), and when connections or queued
// requests are at their limit the host answers 503 with Retry-After at once. Every answer carries
// Date; every answer is one access-log line when a log is given.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tools/pagehost/access_log.h"
#include "tools/pagehost/captcha_site.h"
#include "tools/pagehost/http_limits.h"
#include "tools/pagehost/http_request.h"

// Runs on a page thread, once per complete request.
using RequestHandler = std::function<PageResult(const HttpRequest&)>;

struct HttpServerOptions {
  std::string bind = "127.0.0.1";
  int port = 0;  // 0: any free port
  int threads = 16;
  AccessLog* log = nullptr;  // none: no access log
  // Lower than the defaults only where a test fills the host.
  size_t maxConnections = http_limits::kMaxConnections;
  size_t maxQueued = http_limits::kMaxQueuedRequests;
  // Peers (CanonicalAddress texts) that the per-address limit leaves out: a
  // proxy in front of the host brings every client's connections from one
  // address. The total limit still counts them.
  std::vector<std::string> unlimitedPeers;
};

class HttpServer {
 public:
  HttpServer(HttpServerOptions options, RequestHandler handler);
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  // Listens on the address; false with a reason when it cannot. Port() then
  // tells the port bound.
  bool Bind(std::string& error);
  int Port() const { return port_; }

  // Serves until Stop; then answers what page threads have in hand (for at
  // most kStopGrace), closes every connection and returns.
  void Serve();
  // Safe from any thread, before or during Serve.
  void Stop();

  // Connections open now, refused ones still lingering included (tests and
  // the benchmark check it falls back to zero).
  size_t OpenConnections() const { return openConnections_.load(); }
  // The most connections this process can hold at once (kMaxConnections, or
  // fewer when the descriptor limit cannot be raised that far).
  size_t MaxConnections() const { return maxConnections_; }

 private:
  class Loop;
  HttpServerOptions options_;
  RequestHandler handler_;
  int port_ = 0;
  size_t maxConnections_ = 0;
  std::atomic<size_t> openConnections_{0};
  std::unique_ptr<Loop> loop_;
};

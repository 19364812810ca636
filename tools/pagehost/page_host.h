// The page host: the HTTP server (http_server.h: one I/O thread, a pool of
// page threads each in its own single-threaded apartment, as ASP's are) and
// the routes that hand parsed, size-checked requests to the site's pages
// (captcha_site.h):
//   GET  /                 the challenge form
//   GET  /challenge        a new envelope as JSON (Accept: application/json, else 406)
//   GET  /captcha?token=…  the picture of an envelope (the envelope only)
//   GET  /audio?token=…    the envelope's text spoken, a WAV (404 with audio off)
//   POST /verify           token and answer; JSON with Accept: application/json
//   GET  /healthz          200 when a captcha object can be made and draw, else 503
// HEAD is answered as GET without the body. Anything else is 404, other
// methods 405; every refusal carries a one-line reason. HTML answers carry a
// Content-Security-Policy, nosniff and no-referrer. The limits of the HTTP
// layer are in http_limits.h.
#pragma once

#include <memory>
#include <ostream>
#include <string>

#include "tools/pagehost/captcha_site.h"
#include "tools/pagehost/http_limits.h"
#include "tools/pagehost/http_request.h"

constexpr int kDefaultPort = 8080;
// Page threads. Connections hold no thread, so this bounds pages running at
// once, not clients served. A page that waits for a shared store's round
// trips holds its thread meanwhile: 16 keep the cores busy through them.
constexpr int kDefaultThreads = 16;
constexpr int kMaxThreads = 256;

// The page threads `glimmark serve` starts unless told: kDefaultThreads for a
// store a page waits on; for the memory store, where a page never waits,
// one per core and one more (a thread the system lets run takes the next
// request straight from the queue; more threads than that only add wake-ups
// and switches between them, measured in BENCHMARKS.md).
int DefaultPageThreads(bool pagesWaitOnStore);

struct HostOptions {
  std::string bind = "127.0.0.1";
  int port = kDefaultPort;  // 0: any free port (tests)
  int threads = kDefaultThreads;
  std::ostream* accessLog = nullptr;  // one line per answer; none when null
  // Lower than the defaults only where a test fills the host.
  size_t maxConnections = http_limits::kMaxConnections;
  size_t maxQueued = http_limits::kMaxQueuedRequests;
  SiteSettings site;
};

// What a route answers to one request; runs on a page thread.
PageResult RouteRequest(CaptchaSite& site, const HttpRequest& request);

class PageHost {
 public:
  explicit PageHost(HostOptions options);
  ~PageHost();
  PageHost(const PageHost&) = delete;
  PageHost& operator=(const PageHost&) = delete;

  // Binds the address; false with a reason when it cannot. Port() then tells
  // the port bound (useful with port 0).
  bool Bind(std::string& error);
  int Port() const;

  // Serves until Stop; returns when the answers in hand are written.
  void Serve();
  // Stops serving; safe from any thread (a signal-waiting thread, a test).
  void Stop();

  // Connections open now (tests check that attackers leave none behind).
  size_t OpenConnections() const;

 private:
  struct Server;
  std::unique_ptr<Server> server_;
};

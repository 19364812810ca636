// The page host: an HTTP/1.1 server (cpp-httplib) whose worker threads each
// enter a single-threaded apartment before serving, as ASP's do, and whose
// routes hand parsed, size-checked requests to the site's pages
// (captcha_site.h):
//   GET  /                 the challenge form
//   GET  /captcha?token=…  the picture of an envelope (the envelope only)
//   POST /verify           token and answer; JSON with Accept: application/json
// Anything else is 404, other methods 405. Queries over kMaxQueryBytes get
// 414, bodies over kMaxBodyBytes 413; every refusal carries a one-line reason.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "tools/pagehost/captcha_site.h"

constexpr size_t kMaxQueryBytes = 8 * 1024;
constexpr size_t kMaxBodyBytes = 64 * 1024;
constexpr int kDefaultPort = 8080;
// httplib gives each keep-alive connection a thread for as long as it stays
// open, so the pool must outnumber the connections expected at once.
constexpr int kDefaultThreads = 16;
constexpr int kMaxThreads = 256;
// Waiting connections the kernel keeps before the workers take them.
constexpr int kListenBacklog = 256;

struct HostOptions {
  std::string bind = "127.0.0.1";
  int port = kDefaultPort;  // 0: any free port (tests)
  int threads = kDefaultThreads;
  SiteSettings site;
};

class PageHost {
 public:
  explicit PageHost(HostOptions options);
  ~PageHost();
  PageHost(const PageHost&) = delete;
  PageHost& operator=(const PageHost&) = delete;

  // Binds the address; false with a reason when it cannot. Port() then tells
  // the port bound (useful with port 0).
  bool Bind(std::string& error);
  int Port() const { return port_; }

  // Serves until Stop; returns when every worker has finished its request.
  void Serve();
  // Stops serving; safe from any thread (a signal-waiting thread, a test).
  void Stop();

 private:
  struct Server;
  HostOptions options_;
  int port_ = 0;
  std::unique_ptr<Server> server_;
  std::atomic<bool> started_{false};
  std::atomic<bool> stopRequested_{false};
  std::atomic<bool> finished_{false};
};

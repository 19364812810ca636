#include "tools/pagehost/page_host.h"

#include <gdiplus.h>
#include <httplib.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "tools/pagehost/form_decoding.h"
#include "tools/pagehost/page_object.h"

namespace {

const char kFormContentType[] = "application/x-www-form-urlencoded";

// A fixed pool of page threads, each in its own apartment for its lifetime.
class ApartmentTaskQueue : public httplib::TaskQueue {
 public:
  explicit ApartmentTaskQueue(int threads) {
    for (int i = 0; i < threads; ++i) workers_.emplace_back([this] { Work(); });
  }
  ~ApartmentTaskQueue() override = default;

  void enqueue(std::function<void()> task) override {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      tasks_.push_back(std::move(task));
    }
    ready_.notify_one();
  }

  void shutdown() override {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
    }
    ready_.notify_all();
    for (std::thread& worker : workers_) worker.join();
  }

 private:
  void Work() {
    EnterPageApartment();
    for (;;) {
      std::function<void()> task;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        ready_.wait(lock, [this] { return stopping_ || !tasks_.empty(); });
        if (tasks_.empty()) break;  // stopping and nothing left
        task = std::move(tasks_.front());
        tasks_.pop_front();
      }
      task();
    }
    LeavePageApartment();
  }

  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<std::function<void()>> tasks_;
  std::vector<std::thread> workers_;
  bool stopping_ = false;
};

void Answer(const PageResult& page, httplib::Response& response) {
  response.status = page.status;
  for (const auto& [name, value] : page.headers) response.set_header(name, value);
  response.set_content(page.body, page.contentType.c_str());
}

void Refuse(int status, const std::string& reason, httplib::Response& response) {
  Answer(TextResult(status, reason), response);
}

bool WantsJson(const httplib::Request& request) {
  return request.get_header_value("Accept").find("application/json") != std::string::npos;
}

// Every X-Forwarded-For value, joined with commas in the order received.
std::string ForwardedFor(const httplib::Request& request) {
  std::string joined;
  const size_t count = request.get_header_value_count("X-Forwarded-For");
  for (size_t i = 0; i < count; ++i) {
    if (i > 0) joined += ',';
    joined += request.get_header_value("X-Forwarded-For", i);
  }
  return joined;
}

// The query part of the request target, undecoded.
std::string RawQuery(const httplib::Request& request) {
  const size_t mark = request.target.find('?');
  return mark == std::string::npos ? std::string() : request.target.substr(mark + 1);
}

// Decodes the query, answering 414 or 400 itself; false when it did.
bool ReadQuery(const httplib::Request& request, httplib::Response& response, QueryValues& query) {
  const std::string raw = RawQuery(request);
  if (raw.size() > kMaxQueryBytes) {
    Refuse(414, "query longer than 8 KiB", response);
    return false;
  }
  std::string reason;
  if (!DecodeForm(raw, query, reason)) {
    Refuse(400, reason, response);
    return false;
  }
  return true;
}

const char* StatusReason(int status) {
  switch (status) {
    case 400:
      return "malformed request";
    case 404:
      return "no such page";
    case 405:
      return "method not allowed here";
    case 413:
      return "body larger than 64 KiB";
    case 414:
      return "request target longer than 8 KiB";
    default:
      return "request refused";
  }
}

}  // namespace

// The graphics library started once for the host's life, as it stays loaded
// in a web server's worker process: otherwise every page's object would be
// the last one to shut it down, and the next would start it (fonts and all)
// again.
class GraphicsLifetime {
 public:
  GraphicsLifetime() {
    const Gdiplus::GdiplusStartupInput input;
    Gdiplus::GdiplusStartup(&token_, &input, nullptr);
  }
  ~GraphicsLifetime() { Gdiplus::GdiplusShutdown(token_); }
  GraphicsLifetime(const GraphicsLifetime&) = delete;
  GraphicsLifetime& operator=(const GraphicsLifetime&) = delete;

 private:
  ULONG_PTR token_ = 0;
};

struct PageHost::Server {
  GraphicsLifetime graphics;
  httplib::Server http;
  CaptchaSite site;
  explicit Server(SiteSettings settings) : site(std::move(settings)) {}
};

PageHost::PageHost(HostOptions options)
    : options_(std::move(options)), server_(std::make_unique<Server>(options_.site)) {
  httplib::Server& http = server_->http;
  CaptchaSite& site = server_->site;
  const int threads = options_.threads;
  http.new_task_queue = [threads] { return new ApartmentTaskQueue(threads); };
  http.set_payload_max_length(kMaxBodyBytes);

  http.Get("/", [&site](const httplib::Request& request, httplib::Response& response) {
    if (!RawQuery(request).empty()) return Refuse(400, "/ takes no query", response);
    Answer(site.Form(), response);
  });
  http.Get("/captcha", [&site](const httplib::Request& request, httplib::Response& response) {
    QueryValues query;
    if (ReadQuery(request, response, query)) Answer(site.Picture(query), response);
  });
  http.Get("/healthz", [&site](const httplib::Request&, httplib::Response& response) {
    Answer(site.Health(), response);
  });
  http.Post("/verify", [&site](const httplib::Request& request, httplib::Response& response) {
    if (request.get_header_value("Content-Type").rfind(kFormContentType, 0) != 0) {
      return Refuse(415, "the form must be sent as application/x-www-form-urlencoded", response);
    }
    QueryValues form;
    std::string reason;
    if (!DecodeForm(request.body, form, reason)) return Refuse(400, reason, response);
    Answer(site.Verify(form, {request.remote_addr, ForwardedFor(request)}, WantsJson(request)),
           response);
  });
  // The right path with the wrong method.
  auto wrongMethod = [](const httplib::Request&, httplib::Response& response) {
    Refuse(405, "method not allowed here", response);
  };
  http.Post("/", wrongMethod);
  http.Post("/captcha", wrongMethod);
  http.Get("/verify", wrongMethod);
  // Statuses the library sets by itself (404, 413, 414, 400 for a broken
  // request line) get a reason line too.
  http.set_error_handler([](const httplib::Request&, httplib::Response& response) {
    if (!response.body.empty()) return;
    Refuse(response.status, StatusReason(response.status), response);
  });
}

PageHost::~PageHost() = default;

bool PageHost::Bind(std::string& error) {
  int listening = -1;
  server_->http.set_socket_options([&listening](socket_t socket) {
    int yes = 1;
    setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
    // Headers and body go out in two writes: without this the second waits
    // for the client's delayed acknowledgement, 40 ms a response. Accepted
    // connections inherit it from the listening socket.
    setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof(yes));
    listening = socket;
  });
  if (options_.port == 0) {
    port_ = server_->http.bind_to_any_port(options_.bind);
  } else {
    port_ = server_->http.bind_to_port(options_.bind, options_.port) ? options_.port : -1;
  }
  if (port_ <= 0) {
    error = "cannot listen on " + options_.bind + ":" + std::to_string(options_.port);
    return false;
  }
  // The library listens with a short queue; many clients at once need more.
  if (listening >= 0) ::listen(listening, kListenBacklog);
  return true;
}

void PageHost::Serve() {
  started_ = true;
  if (!stopRequested_) server_->http.listen_after_bind();
  finished_ = true;
}

// Stop may come before the server has begun listening, when the library's
// stop() would find nothing to stop: it is repeated until Serve has returned.
void PageHost::Stop() {
  stopRequested_ = true;
  if (!started_) return;  // Serve will see the request and not start
  while (!finished_) {
    server_->http.stop();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

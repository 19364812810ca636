#include "tools/pagehost/page_host.h"

#include <gdiplus.h>

#include <algorithm>
#include <thread>

#include "tools/pagehost/access_log.h"
#include "tools/pagehost/form_decoding.h"
#include "tools/pagehost/html_pages.h"
#include "tools/pagehost/http_server.h"

namespace {

const char kFormContentType[] = "application/x-www-form-urlencoded";
// The longest query decoded (a picture's query is under 1 KiB).
constexpr size_t kMaxQueryBytes = 8 * 1024;

PageResult Refuse(int status, const std::string& reason) { return TextResult(status, reason); }

bool WantsJson(const HttpRequest& request) {
  return request.Header("Accept").find("application/json") != std::string_view::npos;
}

// Every X-Forwarded-For value, joined with commas in the order received.
std::string ForwardedFor(const HttpRequest& request) {
  std::string joined;
  for (const auto& [name, value] : request.headers) {
    if (!EqualsIgnoringCase(name, "X-Forwarded-For")) continue;
    if (!joined.empty()) joined += ',';
    joined += value;
  }
  return joined;
}

// Decodes the query; false with the answer (414 or 400) when it cannot.
bool ReadQuery(const HttpRequest& request, QueryValues& query, PageResult& refusal) {
  if (request.rawQuery.size() > kMaxQueryBytes) {
    refusal = Refuse(414, "query longer than 8 KiB");
    return false;
  }
  std::string reason;
  if (!DecodeForm(request.rawQuery, query, reason)) {
    refusal = Refuse(400, reason);
    return false;
  }
  return true;
}

PageResult FormPage(CaptchaSite& site, const HttpRequest& request) {
  if (!request.rawQuery.empty()) return Refuse(400, "/ takes no query");
  return site.Form();
}

PageResult ChallengePage(CaptchaSite& site, const HttpRequest& request) {
  if (!request.rawQuery.empty()) return Refuse(400, "/challenge takes no query");
  if (!WantsJson(request)) return Refuse(406, "/challenge answers Accept: application/json");
  return site.Challenge();
}

PageResult PicturePage(CaptchaSite& site, const HttpRequest& request) {
  QueryValues query;
  PageResult refusal;
  if (!ReadQuery(request, query, refusal)) return refusal;
  return site.Picture(query);
}

PageResult AudioPage(CaptchaSite& site, const HttpRequest& request) {
  QueryValues query;
  PageResult refusal;
  if (!ReadQuery(request, query, refusal)) return refusal;
  return site.Audio(query);
}

PageResult VerifyPage(CaptchaSite& site, const HttpRequest& request) {
  if (request.Header("Content-Type").rfind(kFormContentType, 0) != 0)
    return Refuse(415, "the form must be sent as application/x-www-form-urlencoded");
  QueryValues form;
  std::string reason;
  if (!DecodeForm(request.body, form, reason)) return Refuse(400, reason);
  return site.Verify(form, {request.peer, ForwardedFor(request)}, WantsJson(request));
}

PageResult HealthPage(CaptchaSite& site, const HttpRequest& request) {
  if (!request.rawQuery.empty()) return Refuse(400, "/healthz takes no query");
  return site.Health();
}

struct Route {
  const char* method;
  const char* path;
  PageResult (*page)(CaptchaSite&, const HttpRequest&);
};

const Route kRoutes[] = {
    {"GET", "/", FormPage},
    {"GET", "/challenge", ChallengePage},
    {"GET", "/captcha", PicturePage},
    {"GET", "/audio", AudioPage},
    {"POST", "/verify", VerifyPage},
    {"GET", "/healthz", HealthPage},
};

// What every HTML page carries: no scripts, no framing, nothing from
// elsewhere; no guessing of types; no address handed on when leaving.
void AddPageSecurityFields(PageResult& result) {
  if (result.contentType.rfind("text/html", 0) != 0) return;
  result.headers.emplace_back("Content-Security-Policy", HtmlContentSecurityPolicy());
  result.headers.emplace_back("X-Content-Type-Options", "nosniff");
  result.headers.emplace_back("Referrer-Policy", "no-referrer");
}

}  // namespace

int DefaultPageThreads(bool pagesWaitOnStore) {
  if (pagesWaitOnStore) return kDefaultThreads;
  const int cores = static_cast<int>(std::thread::hardware_concurrency());
  return std::clamp(cores + 1, 2, kMaxThreads);  // 0 cores: not known
}

PageResult RouteRequest(CaptchaSite& site, const HttpRequest& request) {
  // HEAD is GET whose body the server leaves out.
  const std::string& method = request.method == "HEAD" ? "GET" : request.method;
  bool pathKnown = false;
  for (const Route& route : kRoutes) {
    if (request.path != route.path) continue;
    pathKnown = true;
    if (method != route.method) continue;
    PageResult result = route.page(site, request);
    AddPageSecurityFields(result);
    return result;
  }
  return pathKnown ? Refuse(405, "method not allowed here") : Refuse(404, "no such page");
}

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

// Members in the order they must start; they end in reverse: the server (and
// its page threads) before the site and the log they use.
struct PageHost::Server {
  GraphicsLifetime graphics;
  CaptchaSite site;
  std::unique_ptr<AccessLog> log;
  HttpServer http;

  explicit Server(const HostOptions& options)
      : site(options.site),
        log(options.accessLog != nullptr ? std::make_unique<AccessLog>(*options.accessLog)
                                         : nullptr),
        http({options.bind, options.port, options.threads, log.get(), options.maxConnections,
              options.maxQueued, options.site.trustedProxies},
             [this](const HttpRequest& request) { return RouteRequest(site, request); }) {}
};

PageHost::PageHost(HostOptions options) : server_(std::make_unique<Server>(options)) {}

PageHost::~PageHost() = default;

bool PageHost::Bind(std::string& error) { return server_->http.Bind(error); }
int PageHost::Port() const { return server_->http.Port(); }
void PageHost::Serve() { server_->http.Serve(); }
void PageHost::Stop() { server_->http.Stop(); }
size_t PageHost::OpenConnections() const { return server_->http.OpenConnections(); }

// `glimmark serve`: runs the page host (tools/pagehost) until SIGINT or
// SIGTERM, then finishes the requests in hand and exits 0.
#include <signal.h>
#include <sodium.h>

#include <atomic>
#include <cstdlib>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "tools/glimmark/captcha_client.h"
#include "tools/glimmark/command_line.h"
#include "tools/glimmark/subcommand.h"
#include "tools/glimmark/text_encoding.h"
#include "tools/options/option_values.h"
#include "tools/pagehost/client_address.h"
#include "tools/pagehost/page_host.h"
#include "tools/pagehost/page_object.h"
#include "tools/pagehost/password_file.h"
#include "tools/pagehost/site_store_choice.h"

namespace {

// Upper bound of --max-age: a day; tokens are meant for minutes.
constexpr NumberRange kMaxAgeRange = {1, 86400};
constexpr NumberRange kPortRange = {0, 65535};  // 0: any free port
constexpr NumberRange kThreadRange = {1, kMaxThreads};
// Length of the password drawn when none is given (only its first four
// characters make the component's key; the rest costs nothing).
constexpr size_t kRandomPasswordLength = 16;

const PictureOptions kDefaultLook;

const std::vector<OptionSpec> kServeOptions = {
    {"port", "N", false, "port to listen on; 0 picks a free one (default 8080)"},
    {"bind", "ADDRESS", false, "address to listen on (default 127.0.0.1)"},
    {"password-file", "FILE", false, "the component's password: the file's first line"},
    {"password", "P", false, "the password itself (seen by every local user; prefer the file)"},
    {"key-file", "FILE", false, "32-byte host key sealing the tokens (default: random per start)"},
    {"max-age", "SECONDS", false,
     "oldest answer accepted, " + RangeText(kMaxAgeRange) + " (default " +
         std::to_string(SiteSettings().maxAgeSeconds) + ")"},
    {"threads", "N", false,
     "page threads, " + RangeText(kThreadRange) +
         " (default: the cores + 1 with the memory store, " + std::to_string(kDefaultThreads) +
         " with Redis)"},
    {"size", "WxH", false,
     "picture size, " + RangeText(kWidthLimits) + " x " + RangeText(kHeightLimits) + " (default " +
         std::to_string(kDefaultLook.width) + "x" + std::to_string(kDefaultLook.height) + ")"},
    {"lines", "N", false,
     "noise curves, " + RangeText(kLinesLimits) + " (default " +
         std::to_string(kDefaultLook.lines) + ")"},
    {"line-width", "W", false,
     "width of the curves, " + RangeText(kLineWidthLimits) + " (default " +
         std::to_string(kDefaultLook.lineWidth) + ")"},
    {"colors", "FG,BG", false,
     "glyph and background colours, AARRGGBB (default " + ArgbColorText(kDefaultLook.fontColor) +
         "," + ArgbColorText(kDefaultLook.backgroundColor) + ")"},
    {"format", "jpeg|gif", false, "picture format (default jpeg)"},
    {"quality", "Q", false,
     "JPEG quality, " + RangeText(kQualityLimits) + " (default " +
         std::to_string(kDefaultLook.quality) + ")"},
    {"trusted-proxy", "ADDRESS", false,
     "a proxy whose X-Forwarded-For names the client (repeatable)", true},
    {"store", "memory|redis://HOST:PORT[/DB]|unix:///PATH", false,
     "where the hosts of one site keep what they share (default memory: this process)"},
    {"store-password-file", "FILE", false, "the Redis password: the file's first line"},
    {"store-prefix", "NAME", false,
     "prefix of this site's Redis keys (default " +
         std::string(RedisStoreSettings::kDefaultPrefix) + ")"},
    {"quiet", nullptr, false, "no access log on standard output"},
    {"no-audio", nullptr, false, "no spoken challenge: neither /audio nor the form's player"},
    ConfigFileOption(),
};

std::u16string RandomPassword() {
  static const char kCharacters[] = "ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnpqrstuvwxyz23456789";
  std::u16string password;
  for (size_t i = 0; i < kRandomPasswordLength; ++i) {
    password.push_back(
        static_cast<char16_t>(kCharacters[randombytes_uniform(sizeof(kCharacters) - 1)]));
  }
  return password;
}

// The component's password from --password-file, --password or, with
// neither, drawn at random; false with a message.
bool ReadPassword(const ParsedOptions& options, std::u16string& password, std::ostream& err) {
  const bool fromFile = options.values.count("password-file") != 0;
  const bool onCommandLine = options.values.count("password") != 0;
  if (fromFile && onCommandLine) {
    err << "glimmark serve: give --password-file or --password, not both\n";
    return false;
  }
  std::string utf8;
  if (fromFile) {
    std::string error;
    if (!LoadPasswordFile(options.values.at("password-file"), utf8, error)) {
      err << "glimmark serve: " << error << "\n";
      return false;
    }
  } else if (onCommandLine) {
    utf8 = options.values.at("password");
    // A settings file is as private as its mode; a command line is not.
    if (options.fromConfigFile.count("password") == 0) {
      err << "glimmark serve: warning: --password on the command line is visible to every local "
             "user in the process list; use --password-file\n";
    }
  } else {
    password = RandomPassword();
    err << "glimmark serve: no --password-file: using a random password; tokens will not survive "
           "a restart\n";
    return true;
  }
  if (!Utf8ToUtf16(utf8, password) || password.empty()) {
    err << "glimmark serve: the password must be non-empty UTF-8\n";
    return false;
  }
  return true;
}

// Reads the picture's look into `look`; false with the option's message.
bool ReadLook(const ParsedOptions& options, PictureOptions& look, std::string& bad) {
  auto given = [&options](const char* name) { return options.values.count(name) != 0; };
  auto value = [&options](const char* name) { return options.values.at(name); };
  int32_t number = 0;
  if (given("size") &&
      !ParseNumberPair(value("size"), 'x', kWidthLimits, kHeightLimits, look.width, look.height))
    return (bad = "size"), false;
  if (given("lines")) {
    if (!ParseNumber(value("lines"), kLinesLimits, number)) return (bad = "lines"), false;
    look.lines = number;
  }
  if (given("line-width")) {
    if (!ParseNumber(value("line-width"), kLineWidthLimits, number))
      return (bad = "line-width"), false;
    look.lineWidth = number;
  }
  if (given("colors")) {
    const std::string colors = value("colors");
    const size_t comma = colors.find(',');
    uint32_t fg = 0, bg = 0;
    if (comma == std::string::npos || !ParseArgbColor(colors.substr(0, comma), fg) ||
        !ParseArgbColor(colors.substr(comma + 1), bg))
      return (bad = "colors"), false;
    look.fontColor = fg;
    look.backgroundColor = bg;
  }
  if (given("format")) {
    if (value("format") != "jpeg" && value("format") != "gif") return (bad = "format"), false;
    look.format = value("format") == "gif" ? kPictureFormatGif : kPictureFormatJpeg;
  }
  if (given("quality")) {
    if (!ParseNumber(value("quality"), kQualityLimits, number)) return (bad = "quality"), false;
    look.quality = number;
  }
  return true;
}

// Opens the store the --store options name for `host`'s site; false with a
// message. The store's down and up lines go to `err`.
bool OpenStore(const ParsedOptions& options, HostOptions& host, OpenedStore& opened,
               std::ostream& err) {
  StoreChoice choice;
  for (auto [name, field] :
       {std::pair{"store", &choice.address}, std::pair{"store-password-file", &choice.passwordFile},
        std::pair{"store-prefix", &choice.prefix}}) {
    if (options.values.count(name) != 0) *field = options.values.at(name);
  }
  auto log = [&err](const std::string& line) {
    err << "glimmark serve: " + line + "\n" << std::flush;
  };
  if (options.values.count("threads") == 0)
    host.threads = DefaultPageThreads(choice.address != "memory");
  std::string error;
  if (!OpenSiteStore(choice, host.site.failureWindows, static_cast<size_t>(host.threads), log,
                     opened, error)) {
    err << "glimmark serve: " << error << "\n";
    return false;
  }
  host.site.store = opened.store;
  return true;
}

// Reads the options into `host`; false with a message on the first bad one.
bool ReadHostOptions(const ParsedOptions& options, HostOptions& host, std::ostream& err) {
  auto has = [&options](const char* name) { return options.values.count(name) != 0; };
  auto value = [&options](const char* name) { return options.values.at(name); };
  auto bad = [&err](const std::string& name) {
    err << "glimmark serve: bad value for --" << name << " (see --help for its form)\n";
    return false;
  };
  if (has("port") && !ParseNumber(value("port"), kPortRange, host.port)) return bad("port");
  if (has("bind")) host.bind = value("bind");
  host.site.audio = !options.Has("no-audio");
  int32_t maxAge = 0;
  if (has("max-age")) {
    if (!ParseNumber(value("max-age"), kMaxAgeRange, maxAge)) return bad("max-age");
    host.site.maxAgeSeconds = maxAge;
  }
  if (has("threads") && !ParseNumber(value("threads"), kThreadRange, host.threads))
    return bad("threads");
  std::string badLook;
  if (!ReadLook(options, host.site.look, badLook)) return bad(badLook);
  if (const auto proxies = options.lists.find("trusted-proxy"); proxies != options.lists.end()) {
    for (const std::string& proxy : proxies->second) {
      const std::string canonical = CanonicalAddress(proxy);
      if (canonical.empty()) return bad("trusted-proxy");
      host.site.trustedProxies.push_back(canonical);
    }
  }
  if (!ReadPassword(options, host.site.password, err)) return false;
  if (has("key-file")) {
    std::string error;
    if (!LoadHostKey(value("key-file"), host.site.key, error)) {
      err << "glimmark serve: " << error << "\n";
      return false;
    }
  } else {
    host.site.key = RandomHostKey();
    err << "glimmark serve: no --key-file: using a random host key; pages will not survive a "
           "restart\n";
  }
  return true;
}

// The registry file this process reads, for messages.
std::string RegistryFileName() {
  char path[4096];
  return GlimmarkRegistryFile(path, sizeof(path)) > 0 ? std::string(path)
                                                      : std::string("(no location found)");
}

// Whether a page could create and draw with the component; says why not.
bool ComponentServes(std::ostream& err) {
  EnterPageApartment();
  const HRESULT hr = ProbeCaptchaObject();
  LeavePageApartment();
  if (SUCCEEDED(hr)) return true;
  err << "glimmark serve: cannot create and draw with \""
      << Utf16ToUtf8(std::u16string(kCaptchaProgId)) << "\" (" << ResultText(hr)
      << ") using the registry file " << RegistryFileName()
      << "; register the component there with `glimmark register` (or `glimmark register "
         "--user`)\n";
  return false;
}

// Waits for SIGINT or SIGTERM (blocked in every thread) and stops the host;
// gives up when `done` is set.
void StopOnSignal(const sigset_t& signals, PageHost& host, const std::atomic<bool>& done) {
  const timespec poll = {0, 200 * 1000 * 1000};
  while (!done) {
    if (sigtimedwait(&signals, nullptr, &poll) > 0) {
      host.Stop();
      return;
    }
  }
}

}  // namespace

int RunServeCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  ParsedOptions options;
  std::string error;
  if (!ParseOptions(args, kServeOptions, options, error)) {
    err << "glimmark serve: " << error << "\n" << OptionsUsage("serve", kServeOptions);
    return kExitUsage;
  }
  if (options.helpRequested) {
    out << OptionsUsage("serve", kServeOptions);
    return kExitSuccess;
  }
  if (sodium_init() < 0) {
    err << "glimmark serve: no cryptographic random source\n";
    return kExitFailure;
  }
  HostOptions hostOptions;
  OpenedStore store;
  if (!ReadHostOptions(options, hostOptions, err) || !OpenStore(options, hostOptions, store, err))
    return kExitUsage;
  if (!ComponentServes(err)) return kExitFailure;
  if (!options.Has("quiet")) hostOptions.accessLog = &out;

  // Block the stop signals before any thread starts, so that only the
  // waiting thread below receives them.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  PageHost host(hostOptions);
  if (!host.Bind(error)) {
    err << "glimmark serve: " << error << "\n";
    return kExitFailure;
  }
  out << "serving on http://" << hostOptions.bind << ":" << host.Port() << "/" << std::endl;
  std::atomic<bool> done{false};
  std::thread waiter(StopOnSignal, std::cref(signals), std::ref(host), std::cref(done));
  host.Serve();
  done = true;
  waiter.join();
  if (store.redis != nullptr) out << "store round trips: " << store.redis->RoundTrips() << "\n";
  out << "stopped" << std::endl;
  return kExitSuccess;
}

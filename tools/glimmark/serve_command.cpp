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

#include "tools/glimmark/command_line.h"
#include "tools/glimmark/subcommand.h"
#include "tools/glimmark/text_encoding.h"
#include "tools/pagehost/page_host.h"

namespace {

// Upper bound of --max-age: a day; tokens are meant for minutes.
constexpr long long kMaxAgeLimit = 86400;
// Length of the password drawn when none is given (only its first four
// characters make the component's key; the rest costs nothing).
constexpr size_t kRandomPasswordLength = 16;

const std::vector<OptionSpec> kServeOptions = {
    {"port", "N", false, "port to listen on (default 8080)"},
    {"bind", "ADDRESS", false, "address to listen on (default 127.0.0.1)"},
    {"password", "P", false, "the component's password (default: random per start)"},
    {"key-file", "FILE", false, "32-byte host key sealing the tokens (default: random per start)"},
    {"max-age", "SECONDS", false, "oldest answer accepted, 1..86400 (default 300)"},
    {"threads", "N", false, "page threads, 1..256 (default 16)"},
    {"no-audio", nullptr, false, "no spoken challenge: neither /audio nor the form's player"},
};

bool ParseBoundedNumber(const std::string& text, long long low, long long high, int& value) {
  if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos)
    return false;
  const long long parsed = std::stoll(text);
  if (parsed < low || parsed > high) return false;
  value = static_cast<int>(parsed);
  return true;
}

std::u16string RandomPassword() {
  static const char kCharacters[] = "ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnpqrstuvwxyz23456789";
  std::u16string password;
  for (size_t i = 0; i < kRandomPasswordLength; ++i) {
    password.push_back(
        static_cast<char16_t>(kCharacters[randombytes_uniform(sizeof(kCharacters) - 1)]));
  }
  return password;
}

// Reads the options into `host`; false with a message on the first bad one.
bool ReadHostOptions(const ParsedOptions& options, HostOptions& host, std::ostream& err) {
  auto has = [&options](const char* name) { return options.values.count(name) != 0; };
  auto value = [&options](const char* name) { return options.values.at(name); };
  auto bad = [&err](const char* name, const char* expected) {
    err << "glimmark serve: --" << name << " must be " << expected << "\n";
    return false;
  };
  if (has("port") && !ParseBoundedNumber(value("port"), 1, 65535, host.port))
    return bad("port", "a port number 1..65535");
  if (has("bind")) host.bind = value("bind");
  host.site.audio = !options.flags.count("no-audio");
  int maxAge = static_cast<int>(host.site.maxAgeSeconds);
  if (has("max-age") && !ParseBoundedNumber(value("max-age"), 1, kMaxAgeLimit, maxAge))
    return bad("max-age", "a number of seconds 1..86400");
  host.site.maxAgeSeconds = maxAge;
  if (has("threads") && !ParseBoundedNumber(value("threads"), 1, kMaxThreads, host.threads))
    return bad("threads", "a number 1..256");
  if (has("password")) {
    if (!Utf8ToUtf16(value("password"), host.site.password) || host.site.password.empty())
      return bad("password", "non-empty UTF-8");
  } else {
    host.site.password = RandomPassword();
    err << "glimmark serve: no --password: using a random one; tokens will not survive a restart\n";
  }
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
  if (!ReadHostOptions(options, hostOptions, err)) return kExitUsage;

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
  out << "stopped" << std::endl;
  return kExitSuccess;
}

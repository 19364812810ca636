#include "support/redis_server_process.h"

#include <hiredis/hiredis.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

namespace {

const char kServerProgram[] = "redis-server";
// A sanitizer build on a busy machine may take a while to be scheduled;
// redis-server itself is ready in milliseconds.
constexpr auto kStartTimeout = std::chrono::seconds(20);
constexpr auto kStartPoll = std::chrono::milliseconds(20);

bool OnPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::string folders = path != nullptr ? path : "/usr/bin:/bin";
  size_t start = 0;
  while (start <= folders.size()) {
    const size_t end = folders.find(':', start);
    const std::string folder = folders.substr(start, end - start);
    if (!folder.empty() && access((folder + "/" + program).c_str(), X_OK) == 0) return true;
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return false;
}

std::string ReplyText(const redisReply* reply) {
  switch (reply->type) {
    case REDIS_REPLY_STRING:
    case REDIS_REPLY_STATUS:
      return std::string(reply->str, reply->len);
    case REDIS_REPLY_ERROR:
      return "ERR: " + std::string(reply->str, reply->len);
    case REDIS_REPLY_INTEGER:
      return std::to_string(reply->integer);
    case REDIS_REPLY_NIL:
      return "(nil)";
    default:
      return "(array)";
  }
}

}  // namespace

std::string RedisServerProcess::Missing() {
  if (!OnPath(kServerProgram)) return "no redis-server on PATH (scripts/install-deps installs it)";
  return "";
}

RedisServerProcess::RedisServerProcess(std::string password) : password_(std::move(password)) {
  char pattern[] = "/tmp/glimmark-redis-XXXXXX";
  if (mkdtemp(pattern) != nullptr) folder_ = pattern;
}

RedisServerProcess::~RedisServerProcess() {
  if (Running()) Kill();
  std::error_code ignored;
  if (!folder_.empty()) std::filesystem::remove_all(folder_, ignored);
}

bool RedisServerProcess::Start(std::string& error) {
  if (folder_.empty()) {
    error = "cannot make a folder under /tmp";
    return false;
  }
  const std::string config = folder_ + "/redis.conf";
  {
    std::ofstream out(config);
    out << "port 0\n"
        << "unixsocket " << SocketPath() << "\n"
        << "unixsocketperm 700\n"
        << "dir " << folder_ << "\n"
        << "logfile " << folder_ << "/redis.log\n"
        << "save \"\"\n"
        << "appendonly yes\n"
        << "appendfsync always\n";
    if (!password_.empty()) out << "requirepass \"" << password_ << "\"\n";  // no quotes inside
  }
  char* argv[] = {const_cast<char*>(kServerProgram), const_cast<char*>(config.c_str()), nullptr};
  pid_ = fork();
  if (pid_ == 0) {
    // The server goes with the test, even when the test crashes.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    execvp(kServerProgram, argv);
    _exit(127);
  }
  if (pid_ < 0) {
    error = "cannot start redis-server";
    return false;
  }
  const auto deadline = std::chrono::steady_clock::now() + kStartTimeout;
  while (std::chrono::steady_clock::now() < deadline) {
    if (Command({"PING"}) == "PONG") return true;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      error = "redis-server exited; see " + folder_ + "/redis.log";
      return false;
    }
    std::this_thread::sleep_for(kStartPoll);
  }
  Kill();
  error = "redis-server did not answer within 20 s";
  return false;
}

void RedisServerProcess::Kill() {
  if (!Running()) return;
  ::kill(pid_, SIGKILL);
  WaitForExit();
}

void RedisServerProcess::Stop() {
  if (!Running()) return;
  ::kill(pid_, SIGTERM);
  WaitForExit();
}

void RedisServerProcess::WaitForExit() {
  int status = 0;
  waitpid(pid_, &status, 0);
  pid_ = -1;
}

std::string RedisServerProcess::Command(const std::vector<std::string>& arguments) const {
  const timeval timeout = {2, 0};
  redisContext* context = redisConnectUnixWithTimeout(SocketPath().c_str(), timeout);
  if (context == nullptr || context->err != 0) {
    if (context != nullptr) redisFree(context);
    return "ERR: no connection";
  }
  redisSetTimeout(context, timeout);
  auto run = [context](const std::vector<std::string>& command) {
    std::vector<const char*> argv;
    std::vector<size_t> lengths;
    for (const std::string& argument : command) {
      argv.push_back(argument.data());
      lengths.push_back(argument.size());
    }
    auto* reply = static_cast<redisReply*>(
        redisCommandArgv(context, static_cast<int>(argv.size()), argv.data(), lengths.data()));
    std::string text = reply != nullptr ? ReplyText(reply) : "ERR: no reply";
    if (reply != nullptr) freeReplyObject(reply);
    return text;
  };
  std::string text = "OK";
  if (!password_.empty()) text = run({"AUTH", password_});
  if (text == "OK") text = run(arguments);
  redisFree(context);
  return text;
}

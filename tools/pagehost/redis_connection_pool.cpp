#include "tools/pagehost/redis_connection_pool.h"

#include <signal.h>
#include <sys/time.h>

#include <cerrno>
#include <utility>

struct RedisConnectionPool::Connection {
  redisContext* context = nullptr;  // null until connected
  uint64_t generation = 0;
  bool probe = false;  // the one attempt after a back-off

  ~Connection() {
    if (context != nullptr) redisFree(context);
  }
};

namespace {

timeval ToTimeval(std::chrono::milliseconds duration) {
  const auto count = duration.count();
  return timeval{static_cast<time_t>(count / 1000), static_cast<suseconds_t>(count % 1000 * 1000)};
}

std::string ReplyText(const redisReply& reply) { return std::string(reply.str, reply.len); }

// hiredis writes with write(), and writing to a connection the server has
// closed raises SIGPIPE, which would end the whole host. The signal is
// blocked in this thread while it talks to Redis, and one raised meanwhile is
// taken off the thread before the mask is restored; the write itself then
// fails with EPIPE, which is reported as the connection's failure.
class SigpipeHeldBack {
 public:
  SigpipeHeldBack() {
    sigemptyset(&pipe_);
    sigaddset(&pipe_, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe_, &previous_);
  }
  ~SigpipeHeldBack() {
    sigset_t pending;
    sigpending(&pending);
    if (sigismember(&pending, SIGPIPE) == 1 && sigismember(&previous_, SIGPIPE) == 0) {
      const timespec now = {0, 0};
      sigtimedwait(&pipe_, nullptr, &now);
    }
    pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
  }
  SigpipeHeldBack(const SigpipeHeldBack&) = delete;
  SigpipeHeldBack& operator=(const SigpipeHeldBack&) = delete;

 private:
  sigset_t pipe_;
  sigset_t previous_;
};

}  // namespace

RedisConnectionPool::RedisConnectionPool(RedisConnectionSettings settings,
                                         std::vector<std::string> scripts, LogLine log)
    : settings_(std::move(settings)), scripts_(std::move(scripts)), log_(std::move(log)) {}

RedisConnectionPool::~RedisConnectionPool() = default;

bool RedisConnectionPool::RoundTrip(const std::vector<RedisCommand>& commands,
                                    std::vector<RedisReply>& replies) {
  replies.clear();
  ConnectionPtr connection = Acquire();
  if (!connection) return false;
  std::string failure;
  bool healthy = true;
  if (connection->context == nullptr) healthy = Open(*connection, failure);
  if (healthy) healthy = Exchange(*connection, commands, replies, failure);
  Release(std::move(connection), healthy, failure);
  return healthy;
}

RedisConnectionPool::ConnectionPtr RedisConnectionPool::Acquire() {
  std::unique_lock<std::mutex> lock(mutex_);
  const Clock::time_point deadline = Clock::now() + settings_.commandTimeout;
  for (;;) {
    if (down_) {
      if (probing_ || Clock::now() < retryAt_) return nullptr;
      probing_ = true;
      ++open_;
      auto probe = std::make_unique<Connection>();
      probe->generation = generation_;
      probe->probe = true;
      return probe;
    }
    if (!idle_.empty()) {
      ConnectionPtr connection = std::move(idle_.back());
      idle_.pop_back();
      return connection;
    }
    if (open_ < settings_.maxConnections) {
      ++open_;
      auto slot = std::make_unique<Connection>();
      slot->generation = generation_;
      return slot;
    }
    if (returned_.wait_until(lock, deadline) == std::cv_status::timeout && idle_.empty())
      return nullptr;
  }
}

void RedisConnectionPool::Release(ConnectionPtr connection, bool healthy,
                                  const std::string& failure) {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (connection->probe) probing_ = false;
  const bool current = connection->generation == generation_;
  if (healthy && current) {
    if (down_) MarkUp();
    connection->probe = false;
    idle_.push_back(std::move(connection));
  } else {
    --open_;
    // A connection from before the store went down failing now says nothing new.
    if (!healthy && current) MarkDown(failure);
    connection.reset();
  }
  returned_.notify_one();
}

bool RedisConnectionPool::Open(Connection& connection, std::string& failure) {
  const timeval connectTimeout = ToTimeval(settings_.connectTimeout);
  const StoreAddress& address = settings_.address;
  connection.context =
      address.kind == StoreAddress::Kind::kRedisUnix
          ? redisConnectUnixWithTimeout(address.path.c_str(), connectTimeout)
          : redisConnectWithTimeout(address.host.c_str(), address.port, connectTimeout);
  if (connection.context == nullptr) {
    failure = "cannot allocate a connection";
    return false;
  }
  if (connection.context->err != 0) {
    failure = std::string("cannot connect: ") + connection.context->errstr;
    return false;
  }
  redisSetTimeout(connection.context, ToTimeval(settings_.commandTimeout));
  if (address.kind == StoreAddress::Kind::kRedisTcp) redisEnableKeepAlive(connection.context);

  std::vector<RedisCommand> setup;
  if (!settings_.password.empty()) setup.push_back({"AUTH", settings_.password});
  if (address.database != 0) setup.push_back({"SELECT", std::to_string(address.database)});
  const size_t firstScript = setup.size();
  for (const std::string& script : scripts_) setup.push_back({"SCRIPT", "LOAD", script});
  std::vector<RedisReply> replies;
  if (!Exchange(connection, setup, replies, failure)) return false;
  for (size_t i = 0; i < replies.size(); ++i) {
    if (replies[i]->type == REDIS_REPLY_ERROR) {
      // The first word of the command, never its arguments (the password).
      failure = setup[i][0] + " refused: " + ReplyText(*replies[i]);
      return false;
    }
  }
  const std::lock_guard<std::mutex> lock(mutex_);
  if (shas_.empty()) {
    for (size_t i = firstScript; i < replies.size(); ++i) shas_.push_back(ReplyText(*replies[i]));
  }
  return true;
}

bool RedisConnectionPool::Exchange(Connection& connection,
                                   const std::vector<RedisCommand>& commands,
                                   std::vector<RedisReply>& replies, std::string& failure) {
  const SigpipeHeldBack heldBack;
  redisContext* context = connection.context;
  for (const RedisCommand& command : commands) {
    std::vector<const char*> argv;
    std::vector<size_t> lengths;
    for (const std::string& argument : command) {
      argv.push_back(argument.data());
      lengths.push_back(argument.size());
    }
    if (redisAppendCommandArgv(context, static_cast<int>(argv.size()), argv.data(),
                               lengths.data()) != REDIS_OK) {
      failure = context->errstr;
      return false;
    }
  }
  ++roundTrips_;
  for (size_t i = 0; i < commands.size(); ++i) {
    void* reply = nullptr;
    if (redisGetReply(context, &reply) != REDIS_OK) {
      const bool timedOut =
          context->err == REDIS_ERR_IO && (errno == EAGAIN || errno == EWOULDBLOCK);
      failure = timedOut
                    ? "no reply within " + std::to_string(settings_.commandTimeout.count()) + " ms"
                    : std::string(context->errstr);
      return false;
    }
    replies.emplace_back(static_cast<redisReply*>(reply));
  }
  return true;
}

void RedisConnectionPool::MarkDown(const std::string& failure) {
  if (!down_) {
    down_ = true;
    backoff_ = kFirstBackoff;
    if (log_)
      log_("store " + settings_.address.Describe() + " unavailable (" + failure +
           "): refusing answers and pictures until it answers again");
  } else {
    backoff_ = std::min(backoff_ * 2, kMaxBackoff);
  }
  retryAt_ = Clock::now() + backoff_;
  ++generation_;
  open_ -= idle_.size();
  idle_.clear();
}

void RedisConnectionPool::MarkUp() {
  down_ = false;
  backoff_ = std::chrono::milliseconds(0);
  if (log_) log_("store " + settings_.address.Describe() + " answers again");
}

std::string RedisConnectionPool::ScriptSha(size_t index) const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return index < shas_.size() ? shas_[index] : std::string();
}

int64_t RedisConnectionPool::RetryAfterSeconds() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (!down_) return 1;
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(retryAt_ - Clock::now());
  return std::max<int64_t>(1, (left.count() + 999) / 1000);
}

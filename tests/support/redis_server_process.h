// A redis-server of the test's own: a fresh folder under /tmp, a Unix socket
// in it (no TCP port), append-only persistence with fsync on every write so
// that a killed server loses nothing it acknowledged, and an optional
// password. Started and stopped by the test; the folder is removed at the end.
// Kill() then Start() again is a crash and restart over the same data.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

class RedisServerProcess {
 public:
  // Why redis-server cannot run here, or empty when it can.
  static std::string Missing();

  explicit RedisServerProcess(std::string password = "");
  ~RedisServerProcess();
  RedisServerProcess(const RedisServerProcess&) = delete;
  RedisServerProcess& operator=(const RedisServerProcess&) = delete;

  // Starts the server and waits until it answers PING; false with the reason.
  bool Start(std::string& error);
  // SIGKILL, as a crash would; waits for the process to end.
  void Kill();
  // SIGTERM, as an operator would; waits for the process to end.
  void Stop();
  bool Running() const { return pid_ > 0; }

  const std::string& Folder() const { return folder_; }
  std::string SocketPath() const { return folder_ + "/redis.sock"; }
  std::string StoreAddressText() const { return "unix://" + SocketPath(); }

  // Runs one command on a connection of its own (authenticated); the reply
  // as text: a string or status, an integer in decimal, "(nil)", or
  // "ERR: ..." for an error or no connection.
  std::string Command(const std::vector<std::string>& arguments) const;

 private:
  void WaitForExit();

  std::string password_;
  std::string folder_;
  pid_t pid_ = -1;
};

// A bare TCP client for the HTTP attack tests: it connects from a chosen
// loopback source address (any 127.x.y.z, so that one test can be many
// clients to the host's per-address limits), sends exactly the bytes it is
// given, however slowly, and reads what comes back. Loopback only.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

class LoopbackConnection {
 public:
  // Connects from `source` (a 127.x.y.z address) to 127.0.0.1:`port`.
  LoopbackConnection(const std::string& source, int port);
  ~LoopbackConnection();
  LoopbackConnection(LoopbackConnection&& other) noexcept;
  LoopbackConnection(const LoopbackConnection&) = delete;
  LoopbackConnection& operator=(const LoopbackConnection&) = delete;

  bool Connected() const { return fd_ >= 0; }
  // Sends all of `bytes`; false when the host has closed or reset.
  bool Send(std::string_view bytes);
  // Reads one answer (head and Content-Length body; the head alone for an
  // answer to HEAD); empty when none came within `timeout` or the
  // connection closed first.
  std::string ReadAnswer(std::chrono::milliseconds timeout, bool headOnly = false);
  // Reads until the host closes (or resets) the connection, for at most
  // `timeout`. Returns what came; `closed` tells whether the close came.
  std::string ReadUntilClosed(std::chrono::milliseconds timeout, bool& closed);

 private:
  // Reads what is there within `timeout` into `received_`; false on close.
  bool ReadSome(std::chrono::milliseconds timeout, bool& closed);

  int fd_ = -1;
  std::string received_;
};

// The status code of an answer ("HTTP/1.1 503 ..."), 0 when there is none.
int StatusOf(const std::string& answer);
// The value of header `name` in an answer (any case), empty when absent.
std::string HeaderOf(const std::string& answer, const std::string& name);

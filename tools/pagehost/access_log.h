// The host's access log: one line per answer in the common log format plus
// the time taken, written to a stream (standard output) by a thread of its
// own, so that a slow reader of the log never stalls the I/O thread. Lines
// wait in a bounded buffer; when the reader falls that far behind, lines are
// dropped and the count of dropped lines is written when it catches up.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <ostream>
#include <string>
#include <string_view>
#include <thread>

// Bytes of log lines waiting for the stream: about 10,000 lines.
constexpr size_t kMaxPendingLogBytes = 1024 * 1024;

// What one line tells.
struct AccessRecord {
  std::string peer;
  std::chrono::system_clock::time_point received;  // when the request began
  std::string requestLine;                         // as sent; empty when none was read
  int status = 0;
  size_t bodyBytes = 0;
  std::chrono::microseconds taken{0};  // from the request's first byte to the answer's last
};

// `peer - - [10/Oct/2000:13:55:36 +0000] "GET / HTTP/1.1" 200 2326 1234`:
// the last field is the time taken in microseconds. Bytes of the request line
// outside printable ASCII, and '"' and '\', are written as \xHH, so that no
// client can forge or break a line.
std::string FormatAccessLine(const AccessRecord& record);

class AccessLog {
 public:
  explicit AccessLog(std::ostream& out);
  // Writes what is pending, then stops the writing thread.
  ~AccessLog();
  AccessLog(const AccessLog&) = delete;
  AccessLog& operator=(const AccessLog&) = delete;

  // Queues one line; never waits for the stream.
  void Write(const AccessRecord& record);
  // Waits until every queued line has been written and flushed.
  void Flush();

 private:
  void Run();

  std::ostream& out_;
  std::mutex mutex_;
  std::condition_variable pending_;
  std::condition_variable written_;
  std::string lines_;
  size_t dropped_ = 0;
  bool writing_ = false;
  bool stopping_ = false;
  std::thread writer_;
};

#include "loopback_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

using Clock = std::chrono::steady_clock;

sockaddr_in LoopbackAddress(const std::string& text, int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  inet_pton(AF_INET, text.c_str(), &address.sin_addr);
  return address;
}

}  // namespace

LoopbackConnection::LoopbackConnection(const std::string& source, int port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return;
  const sockaddr_in from = LoopbackAddress(source, 0);
  const sockaddr_in to = LoopbackAddress("127.0.0.1", port);
  if (bind(fd, reinterpret_cast<const sockaddr*>(&from), sizeof(from)) != 0 ||
      connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof(to)) != 0) {
    close(fd);
    return;
  }
  fd_ = fd;
}

LoopbackConnection::~LoopbackConnection() {
  if (fd_ >= 0) close(fd_);
}

LoopbackConnection::LoopbackConnection(LoopbackConnection&& other) noexcept
    : fd_(other.fd_), received_(std::move(other.received_)) {
  other.fd_ = -1;
}

bool LoopbackConnection::Send(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t sent = send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(sent));
  }
  return true;
}

bool LoopbackConnection::ReadSome(std::chrono::milliseconds timeout, bool& closed) {
  pollfd ready = {fd_, POLLIN, 0};
  if (poll(&ready, 1, static_cast<int>(timeout.count())) <= 0) return true;
  char buffer[16384];
  const ssize_t got = recv(fd_, buffer, sizeof(buffer), 0);
  if (got <= 0) {
    closed = true;  // an orderly close or a reset
    return false;
  }
  received_.append(buffer, static_cast<size_t>(got));
  return true;
}

std::string LoopbackConnection::ReadAnswer(std::chrono::milliseconds timeout, bool headOnly) {
  const Clock::time_point end = Clock::now() + timeout;
  bool closed = false;
  for (;;) {
    const size_t headEnd = received_.find("\r\n\r\n");
    if (headEnd != std::string::npos) {
      const std::string length = HeaderOf(received_.substr(0, headEnd + 2), "Content-Length");
      const size_t total = headEnd + 4 + (headOnly ? 0 : std::strtoul(length.c_str(), nullptr, 10));
      if (received_.size() >= total) {
        std::string answer = received_.substr(0, total);
        received_.erase(0, total);
        return answer;
      }
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
    if (left.count() <= 0 || !ReadSome(left, closed)) return "";
  }
}

std::string LoopbackConnection::ReadUntilClosed(std::chrono::milliseconds timeout, bool& closed) {
  const Clock::time_point end = Clock::now() + timeout;
  closed = false;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
    if (left.count() <= 0 || !ReadSome(left, closed)) break;
  }
  std::string all;
  all.swap(received_);
  return all;
}

int StatusOf(const std::string& answer) {
  if (answer.rfind("HTTP/1.", 0) != 0 || answer.size() < 12) return 0;
  return std::atoi(answer.c_str() + 9);
}

std::string HeaderOf(const std::string& answer, const std::string& name) {
  const std::string head = answer.substr(0, answer.find("\r\n\r\n"));
  for (size_t at = head.find("\r\n"); at != std::string::npos; at = head.find("\r\n", at + 2)) {
    const size_t lineStart = at + 2;
    if (strncasecmp(head.c_str() + lineStart, name.c_str(), name.size()) != 0 ||
        head.compare(lineStart + name.size(), 2, ": ") != 0)
      continue;
    const size_t valueStart = lineStart + name.size() + 2;
    return head.substr(valueStart, head.find("\r\n", valueStart) - valueStart);
  }
  return "";
}

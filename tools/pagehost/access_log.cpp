#include "tools/pagehost/access_log.h"

#include <cstdio>

#include "tools/pagehost/http_response.h"

namespace {

std::string EscapeForLog(std::string_view text) {
  std::string escaped;
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte >= 0x7F || c == '"' || c == '\\') {
      char hex[8];
      std::snprintf(hex, sizeof(hex), "\\x%02X", byte);
      escaped += hex;
    } else {
      escaped.push_back(c);
    }
  }
  return escaped;
}

std::string LogTime(std::chrono::system_clock::time_point when) {
  const UtcTime utc = ToUtcTime(when);
  char text[40];
  std::snprintf(text, sizeof(text), "[%02d/%s/%04d:%02d:%02d:%02d +0000]", utc.fields.tm_mday,
                utc.month, utc.fields.tm_year + 1900, utc.fields.tm_hour, utc.fields.tm_min,
                utc.fields.tm_sec);
  return text;
}

}  // namespace

std::string FormatAccessLine(const AccessRecord& record) {
  const std::string request = record.requestLine.empty() ? "-" : EscapeForLog(record.requestLine);
  return record.peer + " - - " + LogTime(record.received) + " \"" + request + "\" " +
         std::to_string(record.status) + " " + std::to_string(record.bodyBytes) + " " +
         std::to_string(record.taken.count()) + "\n";
}

AccessLog::AccessLog(std::ostream& out) : out_(out), writer_([this] { Run(); }) {}

AccessLog::~AccessLog() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  pending_.notify_one();
  writer_.join();
}

void AccessLog::Write(const AccessRecord& record) {
  const std::string line = FormatAccessLine(record);
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (lines_.size() + line.size() > kMaxPendingLogBytes) {
      ++dropped_;
      return;
    }
    lines_ += line;
  }
  pending_.notify_one();
}

void AccessLog::Flush() {
  std::unique_lock<std::mutex> lock(mutex_);
  written_.wait(lock, [this] { return lines_.empty() && dropped_ == 0 && !writing_; });
}

void AccessLog::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    pending_.wait(lock, [this] { return stopping_ || !lines_.empty() || dropped_ != 0; });
    if (lines_.empty() && dropped_ == 0) break;  // stopping, and all written
    std::string batch;
    batch.swap(lines_);
    if (dropped_ != 0) {
      batch += "access log: " + std::to_string(dropped_) + " lines dropped (output too slow)\n";
      dropped_ = 0;
    }
    writing_ = true;
    lock.unlock();
    out_ << batch;
    out_.flush();
    lock.lock();
    writing_ = false;
    written_.notify_all();
  }
}

#include "tools/pagehost/http_response.h"

#include <cstdio>
#include <ctime>

namespace {

bool HasLineBreak(const std::string& text) {
  return text.find_first_of("\r\n") != std::string::npos;
}

}  // namespace

UtcTime ToUtcTime(std::chrono::system_clock::time_point when) {
  static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
  UtcTime utc{};
  gmtime_r(&seconds, &utc.fields);
  utc.day = kDays[utc.fields.tm_wday];
  utc.month = kMonths[utc.fields.tm_mon];
  return utc;
}

std::string HttpDate(std::chrono::system_clock::time_point when) {
  const UtcTime utc = ToUtcTime(when);
  char text[32];
  std::snprintf(text, sizeof(text), "%s, %02d %s %04d %02d:%02d:%02d GMT", utc.day,
                utc.fields.tm_mday, utc.month, utc.fields.tm_year + 1900, utc.fields.tm_hour,
                utc.fields.tm_min, utc.fields.tm_sec);
  return text;
}

const char* StatusText(int status) {
  switch (status) {
    case 100:
      return "Continue";
    case 200:
      return "OK";
    case 400:
      return "Bad Request";
    case 403:
      return "Forbidden";
    case 404:
      return "Not Found";
    case 405:
      return "Method Not Allowed";
    case 408:
      return "Request Timeout";
    case 410:
      return "Gone";
    case 413:
      return "Content Too Large";
    case 414:
      return "URI Too Long";
    case 415:
      return "Unsupported Media Type";
    case 417:
      return "Expectation Failed";
    case 429:
      return "Too Many Requests";
    case 431:
      return "Request Header Fields Too Large";
    case 500:
      return "Internal Server Error";
    case 501:
      return "Not Implemented";
    case 503:
      return "Service Unavailable";
    case 505:
      return "HTTP Version Not Supported";
    default:
      return "Unknown";
  }
}

std::string SerializeResponse(const PageResult& result, bool keepAlive,
                              std::chrono::system_clock::time_point now, AnswerBody body) {
  std::string bytes = "HTTP/1.1 " + std::to_string(result.status) + " " +
                      StatusText(result.status) + "\r\nDate: " + HttpDate(now) + "\r\n";
  if (!result.contentType.empty() && !HasLineBreak(result.contentType))
    bytes += "Content-Type: " + result.contentType + "\r\n";
  bytes += "Content-Length: " + std::to_string(result.body.size()) + "\r\n";
  bytes += keepAlive ? "Connection: keep-alive\r\n" : "Connection: close\r\n";
  for (const auto& [name, value] : result.headers) {
    if (HasLineBreak(name) || HasLineBreak(value)) continue;
    bytes += name + ": " + value + "\r\n";
  }
  bytes += "\r\n";
  if (body == AnswerBody::kSent) bytes += result.body;
  return bytes;
}

// Feeds arbitrary bytes to the page host's request-head parser, as a client
// would send them: no sanitizer report, and whatever is accepted keeps the
// promises the routes rely on (a path that starts with '/' and holds no '?',
// a body length within the limit, at most the allowed fields, trimmed
// values); whatever is refused has a status the server knows and a one-line
// reason.
#include <cstdint>
#include <string_view>

#include "tools/pagehost/http_limits.h"
#include "tools/pagehost/http_request.h"

namespace {

bool IsRefusalStatus(int status) {
  for (int known : {400, 413, 414, 417, 431, 501, 505}) {
    if (status == known) return true;
  }
  return false;
}

void CheckAccepted(const RequestHead& head) {
  const HttpRequest& request = head.request;
  if (request.method.empty() || request.path.empty() || request.path.front() != '/')
    __builtin_trap();
  if (request.path.find('?') != std::string::npos) __builtin_trap();
  if (request.path.size() + request.rawQuery.size() > http_limits::kMaxTargetBytes)
    __builtin_trap();
  if (head.contentLength > http_limits::kMaxBodyBytes) __builtin_trap();
  if (request.headers.size() > http_limits::kMaxHeaderFields) __builtin_trap();
  for (const auto& [name, value] : request.headers) {
    if (name.empty() || name.find_first_of(" \t\r\n:") != std::string::npos) __builtin_trap();
    if (value.find_first_of("\r\n") != std::string::npos) __builtin_trap();
    if (!value.empty() && (value.front() == ' ' || value.back() == ' ')) __builtin_trap();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const size_t end = FindHeadEnd(bytes);
  if (end != std::string_view::npos && (end > size || end < 2)) __builtin_trap();
  RequestHead head;
  const HeadRefusal refusal = ParseRequestHead(bytes.substr(0, end), head);
  if (refusal.status == 0) {
    CheckAccepted(head);
  } else if (!IsRefusalStatus(refusal.status) || refusal.reason.empty() ||
             refusal.reason.find('\n') != std::string::npos) {
    __builtin_trap();
  }
  return 0;
}

#include "tools/pagehost/http_request.h"

#include "tools/pagehost/http_limits.h"

namespace {

// Digits of a Content-Length: 64 KiB needs 5, and no more than 9 are read so
// that the value cannot overflow.
constexpr size_t kMaxLengthDigits = 9;

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// tchar of RFC 9110: the characters of methods, field names and tokens.
bool IsTokenChar(char c) {
  if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) return true;
  return std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

bool IsToken(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text) {
    if (!IsTokenChar(c)) return false;
  }
  return true;
}

// Visible ASCII only: no space, no control, no byte above 0x7E.
bool IsTargetChar(char c) { return c > 0x20 && c < 0x7F; }

// Field values: visible characters, space, tab, and bytes above 0x7F.
bool IsFieldValueChar(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte == '\t' || (byte >= 0x20 && byte != 0x7F);
}

std::string_view TrimSpaceAndTab(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// Splits off the next line (without its CRLF or LF).
std::string_view NextLine(std::string_view& rest) {
  const size_t end = rest.find('\n');
  std::string_view line = rest.substr(0, end);
  rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

HeadRefusal Refuse(int status, std::string reason) { return {status, std::move(reason)}; }

// Does the comma-separated list `value` hold `token` (any case)?
bool ListHasToken(std::string_view value, std::string_view token) {
  while (!value.empty()) {
    const size_t comma = value.find(',');
    if (EqualsIgnoringCase(TrimSpaceAndTab(value.substr(0, comma)), token)) return true;
    if (comma == std::string_view::npos) break;
    value.remove_prefix(comma + 1);
  }
  return false;
}

HeadRefusal ParseRequestLine(std::string_view line, HttpRequest& request, bool& http11) {
  const size_t firstSpace = line.find(' ');
  const size_t lastSpace = line.rfind(' ');
  if (firstSpace == std::string_view::npos || firstSpace == lastSpace)
    return Refuse(400, "malformed request line");
  const std::string_view method = line.substr(0, firstSpace);
  const std::string_view target = line.substr(firstSpace + 1, lastSpace - firstSpace - 1);
  const std::string_view version = line.substr(lastSpace + 1);
  if (!IsToken(method)) return Refuse(400, "malformed request line");
  if (target.size() > http_limits::kMaxTargetBytes)
    return Refuse(414, "request target longer than 8 KiB");
  if (target.empty() || target.front() != '/') return Refuse(400, "request target must be a path");
  for (char c : target) {
    if (!IsTargetChar(c)) return Refuse(400, "malformed request line");
  }
  if (version.size() != 8 || version.substr(0, 5) != "HTTP/" || version[6] != '.' ||
      version[5] < '0' || version[5] > '9' || version[7] < '0' || version[7] > '9')
    return Refuse(400, "malformed request line");
  if (version != "HTTP/1.1" && version != "HTTP/1.0")
    return Refuse(505, "only HTTP/1.0 and HTTP/1.1 are served");
  http11 = version == "HTTP/1.1";
  request.method = method;
  const size_t mark = target.find('?');
  request.path = target.substr(0, mark);
  if (mark != std::string_view::npos) request.rawQuery = target.substr(mark + 1);
  return {};
}

HeadRefusal ParseField(std::string_view line, HttpRequest& request) {
  if (line.front() == ' ' || line.front() == '\t') return Refuse(400, "folded header line");
  const size_t colon = line.find(':');
  if (colon == std::string_view::npos || !IsToken(line.substr(0, colon)))
    return Refuse(400, "malformed header field");
  const std::string_view value = TrimSpaceAndTab(line.substr(colon + 1));
  for (char c : value) {
    if (!IsFieldValueChar(c)) return Refuse(400, "malformed header field");
  }
  if (request.headers.size() == http_limits::kMaxHeaderFields)
    return Refuse(431, "more than 64 header fields");
  request.headers.emplace_back(line.substr(0, colon), value);
  return {};
}

// Content-Length, Transfer-Encoding, Host, Connection and Expect: what the
// server itself needs from the fields.
HeadRefusal ReadFraming(RequestHead& parsed, bool http11) {
  int lengths = 0, hosts = 0;
  for (const auto& [name, value] : parsed.request.headers) {
    if (EqualsIgnoringCase(name, "Transfer-Encoding"))
      return Refuse(501, "transfer codings are not accepted; send Content-Length");
    if (EqualsIgnoringCase(name, "Host")) ++hosts;
    if (!EqualsIgnoringCase(name, "Content-Length")) continue;
    if (++lengths > 1) return Refuse(400, "Content-Length given twice");
    if (value.empty() || value.find_first_not_of("0123456789") != std::string::npos)
      return Refuse(400, "malformed Content-Length");
    if (value.size() > kMaxLengthDigits) return Refuse(413, "body larger than 64 KiB");
    parsed.contentLength = std::stoul(value);
    if (parsed.contentLength > http_limits::kMaxBodyBytes)
      return Refuse(413, "body larger than 64 KiB");
  }
  if (hosts > 1 || (http11 && hosts == 0)) return Refuse(400, "one Host field is required");
  const std::string_view connection = parsed.request.Header("Connection");
  parsed.keepAlive =
      http11 ? !ListHasToken(connection, "close") : ListHasToken(connection, "keep-alive");
  const std::string_view expect = parsed.request.Header("Expect");
  if (!expect.empty()) {
    if (!EqualsIgnoringCase(expect, "100-continue"))
      return Refuse(417, "only Expect: 100-continue is understood");
    parsed.expectsContinue = true;
  }
  return {};
}

}  // namespace

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

std::string_view HttpRequest::Header(std::string_view name) const {
  for (const auto& [field, value] : headers) {
    if (EqualsIgnoringCase(field, name)) return value;
  }
  return {};
}

size_t FindHeadEnd(std::string_view bytes) {
  for (size_t at = bytes.find('\n'); at != std::string_view::npos; at = bytes.find('\n', at + 1)) {
    if (at + 1 < bytes.size() && bytes[at + 1] == '\n') return at + 2;
    if (at + 2 < bytes.size() && bytes[at + 1] == '\r' && bytes[at + 2] == '\n') return at + 3;
  }
  return std::string_view::npos;
}

HeadRefusal ParseRequestHead(std::string_view head, RequestHead& parsed) {
  parsed = RequestHead();
  std::string_view rest = head;
  bool http11 = true;
  HeadRefusal refusal = ParseRequestLine(NextLine(rest), parsed.request, http11);
  if (refusal.status != 0) return refusal;
  for (std::string_view line = NextLine(rest); !line.empty(); line = NextLine(rest)) {
    refusal = ParseField(line, parsed.request);
    if (refusal.status != 0) return refusal;
  }
  return ReadFraming(parsed, http11);
}

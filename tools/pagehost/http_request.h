// One HTTP/1.1 request as the page host's routes see it (HttpRequest), and
// the parser that makes it from the bytes of a request head. The parser is
// pure: it sees one complete head (http_server.cc finds its end and bounds
// its size and time) and either fills a RequestHead or names the status and
// reason to refuse it with. Everything it accepts is within http_limits.h.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// What a route gets: nothing of the connection but the peer's address.
struct HttpRequest {
  std::string method;    // as sent: "GET", "POST", ...
  std::string path;      // the target up to '?', undecoded
  std::string rawQuery;  // the target after '?', undecoded; empty without one
  std::vector<std::pair<std::string, std::string>> headers;  // in order, values trimmed
  std::string body;
  std::string peer;  // the client's address as text: "127.0.0.1", "::1"

  // The value of the first field named `name` (any case); empty when absent.
  std::string_view Header(std::string_view name) const;
};

// A parsed head and how the connection goes on after it.
struct RequestHead {
  HttpRequest request;  // without body and peer
  size_t contentLength = 0;
  bool keepAlive = true;         // HTTP/1.1 unless "Connection: close"; 1.0 only on "keep-alive"
  bool expectsContinue = false;  // "Expect: 100-continue"
};

// Why a head was refused: the status to answer and a one-line reason.
struct HeadRefusal {
  int status = 0;  // 0: accepted
  std::string reason;
};

// Where the head in `bytes` ends: the offset just past its empty line (CRLF
// or LF line ends), or npos when the empty line has not come yet.
size_t FindHeadEnd(std::string_view bytes);

// Parses one head (request line, fields, the empty line). Refuses with 400
// for anything malformed or ambiguous (a second Content-Length, a folded
// line, a missing Host on 1.1), 414 for a target over the limit, 431 for too
// many fields, 413 for a declared body over the limit, 417 for an unknown
// expectation, 501 for any Transfer-Encoding, 505 for a version other than
// HTTP/1.0 or 1.1.
HeadRefusal ParseRequestHead(std::string_view head, RequestHead& parsed);

// Case-insensitive ASCII comparison, as field names and tokens are compared.
bool EqualsIgnoringCase(std::string_view a, std::string_view b);

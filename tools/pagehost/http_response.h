// The bytes of one HTTP/1.1 answer: status line, Date, Content-Type,
// Content-Length, Connection, the page's own fields, the body. Used by the
// page threads (http_server.h), which hand the I/O thread bytes ready to go.
#pragma once

#include <chrono>
#include <ctime>
#include <string>

#include "tools/pagehost/captcha_site.h"

// `when` in UTC, with the English day and month abbreviations that HTTP
// dates and the access log use whatever the process's locale.
struct UtcTime {
  std::tm fields;
  const char* day;    // "Sun" .. "Sat"
  const char* month;  // "Jan" .. "Dec"
};
UtcTime ToUtcTime(std::chrono::system_clock::time_point when);

// An IMF-fixdate ("Sun, 06 Nov 1994 08:49:37 GMT"), as every answer's Date.
std::string HttpDate(std::chrono::system_clock::time_point when);

// The reason phrase of `status` ("OK", "Not Found", ...).
const char* StatusText(int status);

// How the answer is framed.
enum class AnswerBody {
  kSent,     // the body follows the head
  kOmitted,  // an answer to HEAD: the head says the body's length, no body follows
};

// Serialises `result`. `keepAlive` chooses the Connection field. A field of
// the page whose name or value holds CR or LF is left out, so that no page
// can split the answer.
std::string SerializeResponse(const PageResult& result, bool keepAlive,
                              std::chrono::system_clock::time_point now,
                              AnswerBody body = AnswerBody::kSent);

// The page host's request-head parser, table-driven: what it accepts and how
// it reads it, and each way a head is refused with its status. What the
// routes rely on (path without query, case-blind field look-up, framing) is
// checked on accepted heads; a fuzz target (fuzz/http_request_head.cpp)
// covers arbitrary bytes.
#include "tools/pagehost/http_request.h"

#include <gtest/gtest.h>

#include <string>

#include "tools/pagehost/http_limits.h"
#include "tools/pagehost/http_response.h"

namespace {

RequestHead Accept(const std::string& head) {
  RequestHead parsed;
  const HeadRefusal refusal = ParseRequestHead(head, parsed);
  EXPECT_EQ(refusal.status, 0) << refusal.reason << " for " << head;
  return parsed;
}

TEST(HttpRequestHead, AcceptedHeadsAreReadAsTheRoutesNeedThem) {
  const RequestHead picture =
      Accept("GET /captcha?token=a%2Bb&x= HTTP/1.1\r\nHost: h\r\nACCEPT:  image/*  \r\n\r\n");
  EXPECT_EQ(picture.request.method, "GET");
  EXPECT_EQ(picture.request.path, "/captcha");
  EXPECT_EQ(picture.request.rawQuery, "token=a%2Bb&x=");
  EXPECT_EQ(picture.request.Header("accept"), "image/*");
  EXPECT_EQ(picture.request.Header("Missing"), "");
  EXPECT_TRUE(picture.keepAlive);
  EXPECT_EQ(picture.contentLength, 0u);

  const RequestHead verify = Accept(
      "POST /verify HTTP/1.1\r\nHost: h\r\nContent-Length: 27\r\nConnection: TE, Close\r\n"
      "Expect: 100-Continue\r\n\r\n");
  EXPECT_EQ(verify.contentLength, 27u);
  EXPECT_FALSE(verify.keepAlive);
  EXPECT_TRUE(verify.expectsContinue);

  EXPECT_FALSE(Accept("GET / HTTP/1.0\r\n\r\n").keepAlive);  // 1.0 needs no Host
  EXPECT_TRUE(Accept("GET / HTTP/1.0\r\nConnection: keep-alive\r\n\r\n").keepAlive);
  EXPECT_EQ(Accept("GET /x HTTP/1.1\nHost: h\n\n").request.path, "/x");  // bare LF lines
}

TEST(HttpRequestHead, EachMalformedOrUnservedHeadIsRefusedWithItsStatus) {
  struct Case {
    std::string head;
    int status;
  };
  const std::string host = "Host: h\r\n";
  const Case cases[] = {
      {"GET / HTTP/1.1\r\n\r\n", 400},  // HTTP/1.1 without Host
      {"GET / HTTP/1.1\r\n" + host + host + "\r\n", 400},
      {"GET  / HTTP/1.1\r\n" + host + "\r\n", 400},
      {"GET / HTTP/1.1 \r\n" + host + "\r\n", 400},
      {"G(T / HTTP/1.1\r\n" + host + "\r\n", 400},
      {"GET http://elsewhere/ HTTP/1.1\r\n" + host + "\r\n", 400},
      {"GET /a\x7f HTTP/1.1\r\n" + host + "\r\n", 400},
      {"GET / HTTPS/1.1\r\n" + host + "\r\n", 400},
      {"GET / HTTP/2.0\r\n" + host + "\r\n", 505},
      {"GET / HTTP/0.9\r\n" + host + "\r\n", 505},
      {"GET /" + std::string(http_limits::kMaxTargetBytes, 'a') + " HTTP/1.1\r\n" + host + "\r\n",
       414},
      {"GET / HTTP/1.1\r\n" + host + " folded\r\n\r\n", 400},
      {"GET / HTTP/1.1\r\n" + host + "Bad Name: x\r\n\r\n", 400},
      {"GET / HTTP/1.1\r\n" + host + "Name : x\r\n\r\n", 400},
      {"GET / HTTP/1.1\r\n" + host + "NoColon\r\n\r\n", 400},
      {"GET / HTTP/1.1\r\n" + host + "X: a\rb\r\n\r\n", 400},
      {"POST / HTTP/1.1\r\n" + host + "Content-Length: 1\r\ncontent-length: 1\r\n\r\n", 400},
      {"POST / HTTP/1.1\r\n" + host + "Content-Length: -1\r\n\r\n", 400},
      {"POST / HTTP/1.1\r\n" + host + "Content-Length: 1 2\r\n\r\n", 400},
      {"POST / HTTP/1.1\r\n" + host + "Content-Length: 65537\r\n\r\n", 413},
      {"POST / HTTP/1.1\r\n" + host + "Content-Length: 99999999999999999999\r\n\r\n", 413},
      {"POST / HTTP/1.1\r\n" + host + "Transfer-Encoding: chunked\r\n\r\n", 501},
      {"POST / HTTP/1.1\r\n" + host + "Expect: 200-ok\r\n\r\n", 417},
  };
  for (const Case& c : cases) {
    RequestHead parsed;
    const HeadRefusal refusal = ParseRequestHead(c.head, parsed);
    EXPECT_EQ(refusal.status, c.status) << c.head.substr(0, 70);
    EXPECT_FALSE(refusal.reason.empty());
  }
  std::string many = "GET / HTTP/1.1\r\n" + host;
  for (size_t i = 1; i < http_limits::kMaxHeaderFields; ++i) many += "X: y\r\n";
  EXPECT_EQ(Accept(many + "\r\n").request.headers.size(), http_limits::kMaxHeaderFields);
  RequestHead parsed;
  EXPECT_EQ(ParseRequestHead(many + "X: y\r\n\r\n", parsed).status, 431);
}

TEST(HttpRequestHead, TheHeadEndsAtTheFirstEmptyLine) {
  EXPECT_EQ(FindHeadEnd("GET / HTTP/1.1\r\nHost: h\r\n\r\nbody"), 27u);
  EXPECT_EQ(FindHeadEnd("GET / HTTP/1.1\nHost: h\n\nbody"), 24u);
  EXPECT_EQ(FindHeadEnd("GET / HTTP/1.1\r\nHost: h\r\n"), std::string::npos);
  EXPECT_EQ(FindHeadEnd("GET / HTTP/1.1\r\nHost: h\r\n\r"), std::string::npos);
}

TEST(HttpResponse, AnswersAreFramedAndNoPageFieldCanSplitThem) {
  PageResult page;
  page.contentType = "text/plain";
  page.body = "hello";
  page.headers = {{"Retry-After", "2"}, {"X-Split", "a\r\nSet-Cookie: b"}, {"Bad\n", "c"}};
  const std::string bytes =
      SerializeResponse(page, false, std::chrono::system_clock::from_time_t(784111777));
  EXPECT_EQ(bytes,
            "HTTP/1.1 200 OK\r\nDate: Sun, 06 Nov 1994 08:49:37 GMT\r\n"
            "Content-Type: text/plain\r\nContent-Length: 5\r\nConnection: close\r\n"
            "Retry-After: 2\r\n\r\nhello");
}

}  // namespace

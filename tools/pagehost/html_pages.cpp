#include "tools/pagehost/html_pages.h"

#include <sodium.h>

namespace {

// The pages' one style sheet, inline; the Content-Security-Policy allows it
// by its hash and nothing else.
const char kStyleSheet[] =
    "body{font-family:sans-serif;margin:2em}"
    "img{border:1px solid #888;display:block;margin:0 0 1em}"
    "input{font-size:1.2em}";
std::string PageStart() {
  return std::string(
             "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
             "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
             "<title>Glimmark</title>\n<style>") +
         kStyleSheet + "</style>\n</head>\n<body>\n";
}

// 'sha256-…' of the style sheet, as a policy names an inline style.
std::string StyleSheetSource() {
  if (sodium_init() < 0) return "'none'";  // no library: no inline style rather than any
  unsigned char digest[crypto_hash_sha256_BYTES];
  crypto_hash_sha256(digest, reinterpret_cast<const unsigned char*>(kStyleSheet),
                     sizeof(kStyleSheet) - 1);
  std::string text(sodium_base64_ENCODED_LEN(sizeof(digest), sodium_base64_VARIANT_ORIGINAL), '\0');
  sodium_bin2base64(text.data(), text.size(), digest, sizeof(digest),
                    sodium_base64_VARIANT_ORIGINAL);
  text.resize(text.find('\0'));
  return "'sha256-" + text + "'";
}
const char kPageEnd[] = "</body>\n</html>\n";

}  // namespace

std::string HtmlEscape(const std::string& text) {
  std::string escaped;
  escaped.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&':
        escaped += "&amp;";
        break;
      case '<':
        escaped += "&lt;";
        break;
      case '>':
        escaped += "&gt;";
        break;
      case '"':
        escaped += "&quot;";
        break;
      case '\'':
        escaped += "&#39;";
        break;
      default:
        escaped.push_back(c);
    }
  }
  return escaped;
}

std::string ChallengeFormHtml(const std::string& envelope, int width, int height) {
  const std::string sealed = HtmlEscape(envelope);
  return PageStart() + "<h1>Type the characters you see</h1>\n" +
         "<form method=\"post\" action=\"/verify\">\n" +
         "<img id=\"captcha\" src=\"/captcha?token=" + sealed + "\" width=\"" +
         std::to_string(width) + "\" height=\"" + std::to_string(height) +
         "\" alt=\"challenge picture\">\n" + "<input type=\"hidden\" name=\"token\" value=\"" +
         sealed + "\">\n" +
         "<label>Answer: <input id=\"answer\" name=\"answer\" autocomplete=\"off\" "
         "autocapitalize=\"off\" spellcheck=\"false\" required autofocus></label>\n"
         "<button id=\"submit\" type=\"submit\">Check</button>\n</form>\n"
         "<p><a id=\"new-picture\" href=\"/\">New picture</a></p>\n" +
         kPageEnd;
}

std::string VerdictHtml(bool accepted, const std::string& reason) {
  const std::string verdict =
      accepted ? "<p id=\"verdict\" class=\"ok\">Accepted.</p>\n"
               : "<p id=\"verdict\" class=\"refused\">Refused: <span id=\"reason\">" +
                     HtmlEscape(reason) + "</span></p>\n";
  return PageStart() + verdict + "<p><a id=\"new-picture\" href=\"/\">New picture</a></p>\n" +
         kPageEnd;
}

const std::string& HtmlContentSecurityPolicy() {
  static const std::string policy = "default-src 'none'; img-src 'self'; style-src " +
                                    StyleSheetSource() +
                                    "; form-action 'self'; frame-ancestors 'none'; base-uri 'none'";
  return policy;
}

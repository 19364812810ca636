// `glimmark image`: makes one captcha object, applies the options, writes the
// picture and prints the challenge text (and the token when a password is
// given), going through the object exactly as a page would.
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "component/cglimmark.h"
#include "server/com_object.h"

namespace {

const char kImageUsage[] =
    "usage: glimmark image [options]\n"
    "  --out FILE            picture file (default captcha.jpg or captcha.gif; - for stdout)\n"
    "  --size WxH            picture size in pixels (default 200x70)\n"
    "  --font-color AARRGGBB glyph and curve colour (default FF000000)\n"
    "  --background AARRGGBB background colour (default FFFFFFFF)\n"
    "  --lines N             number of noise curves (default 2)\n"
    "  --line-width W        width of the curves (default 4)\n"
    "  --format jpeg|gif     encoding (default jpeg)\n"
    "  --quality Q           JPEG quality, 1..100 (default 85)\n"
    "  --text TEXT           the challenge text, or\n"
    "  --length MIN[-MAX]    length of a random text (default 4-6)\n"
    "  --password P          also print the encrypted token of the text\n"
    "  --json                print one JSON object: text, file, token\n";

struct ImageOptions {
  std::string out;
  LONG width = 200, height = 70;
  DWORD fontColor = 0xFF000000, background = 0xFFFFFFFF;
  LONG lines = 2, lineWidth = 4;
  bool gif = false;
  LONG quality = 85;
  std::optional<std::string> text;
  LONG minLength = 4, maxLength = 6;
  std::optional<std::string> password;
  bool json = false;
};

struct UsageError {
  std::string message;
};

bool ParseLong(const std::string& text, LONG* value) {
  if (text.empty()) return false;
  char* end = nullptr;
  const long long parsed = std::strtoll(text.c_str(), &end, 10);
  if (*end != '\0' || parsed < INT32_MIN || parsed > INT32_MAX) return false;
  *value = static_cast<LONG>(parsed);
  return true;
}

bool ParseColor(const std::string& text, DWORD* value) {
  if (text.size() != 8) return false;
  char* end = nullptr;
  const unsigned long long parsed = std::strtoull(text.c_str(), &end, 16);
  if (*end != '\0') return false;
  *value = static_cast<DWORD>(parsed);
  return true;
}

// "W" "x" "H", both positive.
bool ParseSize(const std::string& text, LONG* width, LONG* height) {
  const size_t x = text.find('x');
  return x != std::string::npos && ParseLong(text.substr(0, x), width) &&
         ParseLong(text.substr(x + 1), height);
}

// "N" or "MIN-MAX".
bool ParseLength(const std::string& text, LONG* min, LONG* max) {
  const size_t dash = text.find('-', 1);
  if (dash == std::string::npos) return ParseLong(text, min) && ParseLong(text, max);
  return ParseLong(text.substr(0, dash), min) && ParseLong(text.substr(dash + 1), max);
}

ImageOptions ParseImageOptions(const std::vector<std::string>& args) {
  ImageOptions options;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& name = args[i];
    if (name == "--json") {
      options.json = true;
      continue;
    }
    if (i + 1 >= args.size()) throw UsageError{"missing value for " + name};
    const std::string& value = args[++i];
    bool ok = true;
    if (name == "--out") {
      options.out = value;
      ok = !value.empty();
    } else if (name == "--size") {
      ok = ParseSize(value, &options.width, &options.height);
    } else if (name == "--font-color") {
      ok = ParseColor(value, &options.fontColor);
    } else if (name == "--background") {
      ok = ParseColor(value, &options.background);
    } else if (name == "--lines") {
      ok = ParseLong(value, &options.lines);
    } else if (name == "--line-width") {
      ok = ParseLong(value, &options.lineWidth);
    } else if (name == "--format") {
      ok = value == "jpeg" || value == "gif";
      options.gif = value == "gif";
    } else if (name == "--quality") {
      ok = ParseLong(value, &options.quality) && options.quality >= 1 && options.quality <= 100;
    } else if (name == "--text") {
      options.text = value;
    } else if (name == "--length") {
      ok = ParseLength(value, &options.minLength, &options.maxLength) && options.minLength >= 0 &&
           options.minLength <= options.maxLength && options.maxLength <= 97;
    } else if (name == "--password") {
      options.password = value;
    } else {
      throw UsageError{"unknown option " + name};
    }
    if (!ok) throw UsageError{"bad value for " + name + ": " + value};
  }
  if (options.out.empty()) options.out = options.gif ? "captcha.gif" : "captcha.jpg";
  return options;
}

}  // namespace

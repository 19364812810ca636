// `glimmark image`: makes one captcha object, applies the options, writes the
// picture and prints the challenge text (and the token when a password is
// given), going through the object exactly as a page would.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "component/glimmark_interface.h"
#include "tools/glimmark/captcha_client.h"
#include "tools/glimmark/command_line.h"
#include "tools/glimmark/subcommand.h"
#include "tools/glimmark/text_encoding.h"

namespace {

const std::vector<OptionSpec> kImageOptions = {
    {"out", "FILE", false, "picture file (default captcha.jpg or captcha.gif; - for stdout)"},
    {"size", "WxH", false, "picture size in pixels (default 200x70)"},
    {"font-color", "AARRGGBB", false, "colour of the glyphs and curves (default FF000000)"},
    {"background", "AARRGGBB", false, "background colour (default FFFFFFFF)"},
    {"lines", "N", false, "number of noise curves (default 2)"},
    {"line-width", "W", false, "width of the noise curves in pixels (default 4)"},
    {"format", "jpeg|gif", false, "encoding (default jpeg)"},
    {"quality", "Q", false, "JPEG quality 1..100 (default 85)"},
    {"text", "TEXT", false, "the challenge text (at most 97 characters are kept)"},
    {"length", "MIN[-MAX]", false, "length of a random text, 0..97 (default 4-6)"},
    {"password", "P", false, "also print the encrypted token of the text"},
    {"json", nullptr, false, "print one JSON object with text, file and token"},
};

constexpr LONG kGifFormat = 1;
constexpr LONG kJpegFormat = 2;

struct ImageSettings {
  LONG width = 200, height = 70;
  DWORD fontColor = 0xFF000000, background = 0xFFFFFFFF;
  LONG lines = 2, lineWidth = 4;
  LONG format = kJpegFormat;
  LONG quality = 85;
  LONG minLength = 4, maxLength = 6;
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
  if (text.size() != 8 || text.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
    return false;
  }
  *value = static_cast<DWORD>(std::strtoul(text.c_str(), nullptr, 16));
  return true;
}

// Two numbers around a separator ("200x70", "4-6"), or one for both.
bool ParsePair(const std::string& text, char separator, bool single, LONG* first, LONG* second) {
  const size_t at = text.find(separator, 1);
  if (at == std::string::npos) return single && ParseLong(text, first) && ParseLong(text, second);
  return ParseLong(text.substr(0, at), first) && ParseLong(text.substr(at + 1), second);
}

// Checks every option's value; on the first bad one returns its message.
bool ReadSettings(const ParsedOptions& options, ImageSettings* s, std::string* error) {
  auto value = [&options](const char* name) { return options.values.at(name); };
  auto bad = [error](const char* name, const std::string& text) {
    *error = std::string("bad value for --") + name + ": " + text;
    return false;
  };
  if (options.values.count("size") &&
      !(ParsePair(value("size"), 'x', false, &s->width, &s->height) && s->width > 0 &&
        s->height > 0)) {
    return bad("size", value("size"));
  }
  if (options.values.count("font-color") && !ParseColor(value("font-color"), &s->fontColor)) {
    return bad("font-color", value("font-color"));
  }
  if (options.values.count("background") && !ParseColor(value("background"), &s->background)) {
    return bad("background", value("background"));
  }
  if (options.values.count("lines") && !(ParseLong(value("lines"), &s->lines) && s->lines >= 0)) {
    return bad("lines", value("lines"));
  }
  if (options.values.count("line-width") && !ParseLong(value("line-width"), &s->lineWidth)) {
    return bad("line-width", value("line-width"));
  }
  if (options.values.count("format")) {
    const std::string format = value("format");
    if (format != "jpeg" && format != "gif") return bad("format", format);
    s->format = format == "gif" ? kGifFormat : kJpegFormat;
  }
  if (options.values.count("quality") &&
      !(ParseLong(value("quality"), &s->quality) && s->quality >= 1 && s->quality <= 100)) {
    return bad("quality", value("quality"));
  }
  if (options.values.count("length") &&
      !(ParsePair(value("length"), '-', true, &s->minLength, &s->maxLength) && s->minLength >= 0 &&
        s->minLength <= s->maxLength && s->maxLength <= 97)) {
    return bad("length", value("length"));
  }
  if (options.values.count("text") && options.values.count("length")) {
    *error = "--text and --length exclude each other";
    return false;
  }
  return true;
}

void ApplySettings(IGlimmark& object, const ImageSettings& s) {
  object.SetSize(s.width, s.height);
  object.SetColor(s.fontColor, s.background);
  object.SetLines(s.lines, s.lineWidth);
  object.SetOutputFormat(s.format, s.quality);
}

int Fail(const std::string& message, std::ostream& err) {
  err << "glimmark image: " << message << "\n";
  return kExitFailure;
}

// The component's own message for a failed output, or the result code.
std::string OutputFailure(HRESULT hr) {
  const std::u16string description = CaptchaClient::TakeErrorDescription();
  if (!description.empty()) return Utf16ToUtf8(description);
  char code[32];
  std::snprintf(code, sizeof(code), "failed (0x%08X)", static_cast<unsigned>(hr));
  return code;
}

}  // namespace

int RunImageCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  ParsedOptions options;
  std::string error;
  ImageSettings settings;
  if (!ParseOptions(args, kImageOptions, options, error) ||
      (!options.helpRequested && !ReadSettings(options, &settings, &error))) {
    err << "glimmark image: " << error << "\n" << OptionsUsage("image", kImageOptions);
    return kExitUsage;
  }
  if (options.helpRequested) {
    out << OptionsUsage("image", kImageOptions);
    return kExitSuccess;
  }
  // Look-ups by find: operator[] would add the options that were not given.
  auto valueOf = [&options](const char* name) {
    const auto found = options.values.find(name);
    return found != options.values.end() ? found->second : std::string();
  };
  const bool withText = options.values.count("text") > 0;
  const bool withToken = options.values.count("password") > 0;
  std::u16string text, password;
  if (!Utf8ToUtf16(valueOf("text"), text) || !Utf8ToUtf16(valueOf("password"), password)) {
    err << "glimmark image: arguments must be valid UTF-8\n";
    return kExitUsage;
  }
  const std::string file = options.values.count("out")     ? valueOf("out")
                           : settings.format == kGifFormat ? "captcha.gif"
                                                           : "captcha.jpg";

  CaptchaClient client;
  if (!client.Ok()) return Fail("cannot create the captcha object", err);
  ApplySettings(client.Object(), settings);
  if (withText) {
    client.PutText(text);
  } else {
    client.Object().SetRandomText(settings.minLength, settings.maxLength);
  }

  // With the picture on stdout, the text goes to stderr.
  std::ostream& report = file == "-" ? err : out;
  if (file == "-") {
    std::vector<uint8_t> bytes;
    const HRESULT hr = client.SaveToBytes(bytes);
    if (FAILED(hr)) return Fail(OutputFailure(hr), err);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.flush();
  } else {
    std::u16string wideFile;
    Utf8ToUtf16(file, wideFile);
    const HRESULT hr = client.SaveToFile(wideFile);
    if (FAILED(hr)) return Fail(OutputFailure(hr) + ": " + file, err);
  }

  std::u16string challenge, token;
  client.GetText(challenge);
  if (withToken) {
    client.SetPassword(password);
    client.GetEncryptedText(token);
  }
  if (options.flags.count("json")) {
    report << "{\"text\": " << JsonString(challenge)
           << ", \"file\": " << JsonString(std::u16string(file.begin(), file.end()));
    if (withToken) report << ", \"token\": " << JsonString(token);
    report << "}\n";
  } else {
    report << Utf16ToUtf8(challenge) << "\n";
    if (withToken) report << Utf16ToUtf8(token) << "\n";
  }
  return kExitSuccess;
}

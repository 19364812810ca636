// `glimmark image`: makes one captcha object, applies the options, writes the
// picture and prints the challenge text (and the token when a password is
// given), going through the object exactly as a page would.
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "component/glimmark_interface.h"
#include "state/challenge_defaults.h"
#include "text/random_text.h"
#include "tools/glimmark/captcha_client.h"
#include "tools/glimmark/command_line.h"
#include "tools/glimmark/subcommand.h"
#include "tools/glimmark/text_encoding.h"
#include "tools/options/option_values.h"
#include "tools/pagehost/picture_options.h"

namespace {

// The tool's own choices; the picture's defaults are the object's.
constexpr LONG kDefaultMinLength = 4;
constexpr LONG kDefaultMaxLength = 6;
constexpr const char* kDefaultJpegFile = "captcha.jpg";
constexpr const char* kDefaultGifFile = "captcha.gif";
constexpr const char* kStandardOutput = "-";

std::string Default(const std::string& value) { return " (default " + value + ")"; }

const std::vector<OptionSpec> kImageOptions = {
    {"out", "FILE", false,
     std::string("picture file (default ") + kDefaultJpegFile + " or " + kDefaultGifFile + "; " +
         kStandardOutput + " for stdout)"},
    {"size", "WxH", false,
     "picture size in pixels, " + RangeText(kWidthLimits) + " x " + RangeText(kHeightLimits) +
         Default(std::to_string(kDefaultWidth) + "x" + std::to_string(kDefaultHeight))},
    {"font-color", "AARRGGBB", false,
     "colour of the glyphs and curves" + Default(ArgbColorText(kDefaultFontColor))},
    {"background", "AARRGGBB", false,
     "background colour" + Default(ArgbColorText(kDefaultBackgroundColor))},
    {"lines", "N", false,
     "number of noise curves, " + RangeText(kLinesLimits) +
         Default(std::to_string(kDefaultLineCount))},
    {"line-width", "W", false,
     "width of the noise curves in pixels, " + RangeText(kLineWidthLimits) +
         Default(std::to_string(kDefaultLineWidth))},
    {"format", "jpeg|gif", false,
     "encoding" + Default(kDefaultOutputFormat == kOutputFormatGif ? "gif" : "jpeg")},
    {"quality", "Q", false,
     "JPEG quality " + RangeText(kQualityLimits) + Default(std::to_string(kDefaultJpegQuality))},
    {"text", "TEXT", false,
     "the challenge text (at most " + std::to_string(kMaxRandomTextLength) +
         " characters are kept)"},
    {"length", "MIN[-MAX]", false,
     "length of a random text, 0.." + std::to_string(kMaxRandomTextLength) +
         Default(std::to_string(kDefaultMinLength) + "-" + std::to_string(kDefaultMaxLength))},
    {"password", "P", false, "also print the encrypted token of the text"},
    {"json", nullptr, false, "print one JSON object with text, file and token"},
};

struct ImageSettings {
  LONG width = kDefaultWidth, height = kDefaultHeight;
  DWORD fontColor = kDefaultFontColor, background = kDefaultBackgroundColor;
  LONG lines = kDefaultLineCount, lineWidth = kDefaultLineWidth;
  LONG format = kDefaultOutputFormat;
  LONG quality = kDefaultJpegQuality;
  LONG minLength = kDefaultMinLength, maxLength = kDefaultMaxLength;
};

// A random text's length: "N" for both ends, or "MIN-MAX".
bool ParseLength(const std::string& text, LONG* minLength, LONG* maxLength) {
  const NumberRange lengths = {0, kMaxRandomTextLength};
  int32_t first = 0, second = 0;
  if (text.find('-') == std::string::npos) {
    if (!ParseNumber(text, lengths, first)) return false;
    second = first;
  } else if (!ParseNumberPair(text, '-', lengths, lengths, first, second)) {
    return false;
  }
  *minLength = first;
  *maxLength = second;
  return true;
}

// Checks every option's value; on the first bad one returns its message.
bool ReadSettings(const ParsedOptions& options, ImageSettings* s, std::string* error) {
  auto value = [&options](const char* name) { return options.values.at(name); };
  auto bad = [error](const char* name, const std::string& text) {
    *error = std::string("bad value for --") + name + ": " + text;
    return false;
  };
  int32_t number = 0;
  uint32_t color = 0;
  if (options.values.count("size") &&
      !ParseNumberPair(value("size"), 'x', kWidthLimits, kHeightLimits, s->width, s->height)) {
    return bad("size", value("size"));
  }
  if (options.values.count("font-color")) {
    if (!ParseArgbColor(value("font-color"), color)) return bad("font-color", value("font-color"));
    s->fontColor = color;
  }
  if (options.values.count("background")) {
    if (!ParseArgbColor(value("background"), color)) return bad("background", value("background"));
    s->background = color;
  }
  if (options.values.count("lines")) {
    if (!ParseNumber(value("lines"), kLinesLimits, number)) return bad("lines", value("lines"));
    s->lines = number;
  }
  if (options.values.count("line-width")) {
    if (!ParseNumber(value("line-width"), kLineWidthLimits, number))
      return bad("line-width", value("line-width"));
    s->lineWidth = number;
  }
  if (options.values.count("format")) {
    const std::string format = value("format");
    if (format != "jpeg" && format != "gif") return bad("format", format);
    s->format = format == "gif" ? kOutputFormatGif : kOutputFormatJpeg;
  }
  if (options.values.count("quality")) {
    if (!ParseNumber(value("quality"), kQualityLimits, number))
      return bad("quality", value("quality"));
    s->quality = number;
  }
  if (options.values.count("length") &&
      !(ParseLength(value("length"), &s->minLength, &s->maxLength) &&
        s->minLength <= s->maxLength)) {
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
  return "failed (" + ResultText(hr) + ")";
}

// The string arguments, converted once to the component's UTF-16.
struct ImageStrings {
  std::string file;  // as given, UTF-8
  std::u16string wideFile, text, password;
};

bool ConvertStrings(const ParsedOptions& options, LONG format, ImageStrings* strings) {
  auto valueOf = [&options](const char* name) {
    const auto found = options.values.find(name);  // find: [] would add what was not given
    return found != options.values.end() ? found->second : std::string();
  };
  strings->file = options.values.count("out")  ? valueOf("out")
                  : format == kOutputFormatGif ? kDefaultGifFile
                                               : kDefaultJpegFile;
  return Utf8ToUtf16(strings->file, strings->wideFile) &&
         Utf8ToUtf16(valueOf("text"), strings->text) &&
         Utf8ToUtf16(valueOf("password"), strings->password);
}

// Writes the picture to the file, or its bytes to `out` for "-".
HRESULT WritePicture(CaptchaClient& client, const ImageStrings& strings, std::ostream& out) {
  if (strings.file != kStandardOutput) return client.SaveToFile(strings.wideFile);
  std::vector<uint8_t> bytes;
  const HRESULT hr = client.SaveToBytes(bytes);
  if (FAILED(hr)) return hr;
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  out.flush();
  return S_OK;
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
  ImageStrings strings;
  if (!ConvertStrings(options, settings.format, &strings)) {
    err << "glimmark image: arguments must be valid UTF-8\n";
    return kExitUsage;
  }
  const bool withToken = options.values.count("password") > 0;

  CaptchaClient client;
  if (!client.Ok()) return Fail("cannot create the captcha object", err);
  ApplySettings(client.Object(), settings);
  HRESULT hr = options.values.count("text")
                   ? client.PutText(strings.text)
                   : client.Object().SetRandomText(settings.minLength, settings.maxLength);
  if (FAILED(hr)) return Fail("setting the text failed (" + ResultText(hr) + ")", err);
  hr = WritePicture(client, strings, out);
  if (FAILED(hr)) {
    const std::string failure = OutputFailure(hr);
    return Fail(strings.file == kStandardOutput ? failure : failure + ": " + strings.file, err);
  }

  std::u16string challenge, token;
  hr = client.GetText(challenge);
  if (FAILED(hr)) return Fail("reading the text failed (" + ResultText(hr) + ")", err);
  if (withToken) {
    hr = client.SetPassword(strings.password);
    if (SUCCEEDED(hr)) hr = client.GetEncryptedText(token);
    if (FAILED(hr)) return Fail("making the token failed (" + ResultText(hr) + ")", err);
  }
  // With the picture on stdout, the text goes to stderr.
  std::ostream& report = strings.file == kStandardOutput ? err : out;
  if (options.flags.count("json")) {
    report << "{\"text\": " << JsonString(challenge)
           << ", \"file\": " << JsonString(strings.wideFile);
    if (withToken) report << ", \"token\": " << JsonString(token);
    report << "}\n";
  } else {
    report << Utf16ToUtf8(challenge) << "\n";
    if (withToken) report << Utf16ToUtf8(token) << "\n";
  }
  return kExitSuccess;
}

// `glimmark token` and `glimmark verify`: a token for a text at the current
// time, and the text and age restored from a token, through the object.
#include <string>
#include <vector>

#include "text/random_text.h"
#include "tools/glimmark/captcha_client.h"
#include "tools/glimmark/command_line.h"
#include "tools/glimmark/subcommand.h"
#include "tools/glimmark/text_encoding.h"
#include "tools/pagehost/sealed_envelope.h"
#include "tools/token_shape/token_shape.h"

namespace {

const std::vector<OptionSpec> kTokenOptions = {
    {"password", "P", true, "password; its first four characters make the key"},
    {"text", "T", true,
     "challenge text (at most " + std::to_string(kMaxRandomTextLength) + " characters are kept)"},
    {"json", nullptr, false, "print {\"token\": ...}"},
};

const std::vector<OptionSpec> kVerifyOptions = {
    {"password", "P", true, "the password the token was made with"},
    {"token", "DIGITS", true, "the token, as printed by `glimmark token` (or an envelope)"},
    {"key-file", "FILE", false, "the page host's key: the token is a sealed envelope"},
    {"json", nullptr, false, "print {\"text\": ..., \"age\": ...}"},
};

// Options parsed and the string values converted to UTF-16; `exitCode` is
// set when the command should stop (help shown or a usage error).
struct Invocation {
  ParsedOptions options;
  std::u16string password;
  std::u16string value;  // --text or --token
  bool proceed = false;
  int exitCode = kExitSuccess;
};

Invocation Parse(const char* command, const char* valueOption, const std::vector<OptionSpec>& specs,
                 const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  Invocation invocation;
  std::string error;
  if (!ParseOptions(args, specs, invocation.options, error)) {
    err << "glimmark " << command << ": " << error << "\n" << OptionsUsage(command, specs);
    invocation.exitCode = kExitUsage;
    return invocation;
  }
  if (invocation.options.helpRequested) {
    out << OptionsUsage(command, specs);
    return invocation;
  }
  if (!Utf8ToUtf16(invocation.options.values["password"], invocation.password) ||
      !Utf8ToUtf16(invocation.options.values[valueOption], invocation.value)) {
    err << "glimmark " << command << ": arguments must be valid UTF-8\n";
    invocation.exitCode = kExitUsage;
    return invocation;
  }
  invocation.proceed = true;
  return invocation;
}

int ReportFailure(const char* command, const char* step, HRESULT hr, std::ostream& err) {
  err << "glimmark " << command << ": " << step << " failed (" << ResultText(hr) << ")\n";
  return kExitFailure;
}

// With --key-file the token given is a page host's envelope: replaces it by
// the component's token inside. False, with the message written, when the
// key cannot be read or the envelope does not open under it.
bool OpenSealedToken(Invocation& call, std::ostream& err) {
  HostKey key;
  std::string error;
  if (!LoadHostKey(call.options.values["key-file"], key, error)) {
    err << "glimmark verify: " << error << "\n";
    return false;
  }
  const std::optional<EnvelopeContents> contents = OpenEnvelope(key, call.options.values["token"]);
  if (!contents) {
    err << "glimmark verify: malformed token (not sealed under this key)\n";
    return false;
  }
  call.value.assign(contents->token.begin(), contents->token.end());
  return true;
}

}  // namespace

int RunTokenCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  const Invocation call = Parse("token", "text", kTokenOptions, args, out, err);
  if (!call.proceed) return call.exitCode;
  CaptchaClient client;
  if (!client.Ok())
    return ReportFailure("token", "creating the object", client.CreationResult(), err);
  std::u16string token;
  HRESULT hr = client.SetPassword(call.password);
  if (FAILED(hr)) return ReportFailure("token", "SetPassword", hr, err);
  hr = client.PutText(call.value);
  if (FAILED(hr)) return ReportFailure("token", "Text", hr, err);
  hr = client.GetEncryptedText(token);
  if (FAILED(hr)) return ReportFailure("token", "EncryptedText", hr, err);
  if (call.options.flags.count("json")) {
    out << "{\"token\": " << JsonString(token) << "}\n";
  } else {
    out << Utf16ToUtf8(token) << "\n";
  }
  return kExitSuccess;
}

int RunVerifyCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  Invocation call = Parse("verify", "token", kVerifyOptions, args, out, err);
  if (!call.proceed) return call.exitCode;
  if (call.options.values.count("key-file") && !OpenSealedToken(call, err)) return kExitFailure;
  // The object would restore some text and age from anything; the tool
  // refuses what no token can be.
  if (!IsWellFormedToken(call.value)) {
    err << "glimmark verify: malformed token\n";
    return kExitFailure;
  }
  CaptchaClient client;
  if (!client.Ok())
    return ReportFailure("verify", "creating the object", client.CreationResult(), err);
  std::u16string text;
  LONG age = 0;
  HRESULT hr = client.SetPassword(call.password);
  if (FAILED(hr)) return ReportFailure("verify", "SetPassword", hr, err);
  hr = client.PutEncryptedText(call.value);
  if (FAILED(hr)) return ReportFailure("verify", "EncryptedText", hr, err);
  hr = client.GetText(text);
  if (FAILED(hr)) return ReportFailure("verify", "Text", hr, err);
  hr = client.GetEncryptionAge(age);
  if (FAILED(hr)) return ReportFailure("verify", "EncryptionAge", hr, err);
  if (call.options.flags.count("json")) {
    out << "{\"text\": " << JsonString(text) << ", \"age\": " << age << "}\n";
  } else {
    out << "text: " << Utf16ToUtf8(text) << "\nage: " << age << "\n";
  }
  return kExitSuccess;
}

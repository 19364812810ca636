#include "tools/pagehost/captcha_site.h"

#include <cstdio>
#include <functional>

#include "tools/pagehost/challenge_text.h"
#include "tools/pagehost/dispatch_caller.h"
#include "tools/pagehost/html_pages.h"
#include "tools/pagehost/http_intrinsics.h"
#include "tools/pagehost/page_object.h"
#include "tools/spoken_challenge/spoken_challenge.h"

const char kReasonWrongAnswer[] = "wrong answer";
const char kReasonExpired[] = "expired";
const char kReasonMalformedToken[] = "malformed token";
const char kReasonAlreadyUsed[] = "already used";

namespace {

// Longest answer compared: a text holds at most 97 characters.
constexpr size_t kMaxAnswerLength = 100;
constexpr int64_t kFileTimeTicksPerSecond = 10000000;
constexpr int64_t kFileTimeToUnixSeconds = 11644473600;  // 1601-01-01 to 1970-01-01

std::string Narrow(const std::u16string& text) {
  std::string narrow;
  for (char16_t c : text) narrow.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  return narrow;
}

// The answer as typed (UTF-8) against the restored text: exact, case and all.
// Texts are ASCII, so any other byte is a mismatch.
bool SameText(const std::u16string& text, const std::string& answer) {
  if (text.size() != answer.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(answer[i]);
    if (byte >= 0x80 || text[i] != byte) return false;
  }
  return true;
}

// Runs one page: object by ProgID, OnStartPage with the exchange's context,
// `script`, OnEndPage, release. Returns the first failure.
HRESULT RunPage(PageReply& reply, LONG requestBytes,
                const std::function<HRESULT(DispatchCaller&)>& script) {
  IScriptingContext* context = NewHttpScriptingContext(reply, requestBytes);
  if (context == nullptr) return E_OUTOFMEMORY;
  IDispatch* object = nullptr;
  HRESULT hr = CreateCaptchaObject(&object);
  if (SUCCEEDED(hr)) {
    DispatchCaller page(object);
    const ScriptValue contextArgument(static_cast<IUnknown*>(context));
    hr = page.Call(u"OnStartPage", {contextArgument.value});
    if (SUCCEEDED(hr)) hr = script(page);
    page.Call(u"OnEndPage", {});
    object->Release();
  }
  context->Release();
  return hr;
}

// Sets the password and restores text and age from a token.
HRESULT RestoreToken(DispatchCaller& page, const std::u16string& password,
                     const std::string& token) {
  HRESULT hr = page.Call(u"SetPassword", {ScriptValue(password).value});
  if (FAILED(hr)) return hr;
  return page.Put(u"EncryptedText", ScriptValue(std::u16string(token.begin(), token.end())).value);
}

PageResult ComponentFailure(HRESULT hr) {
  char code[16];
  std::snprintf(code, sizeof(code), "0x%08X", static_cast<unsigned>(hr));
  return TextResult(500, std::string("the captcha object failed (") + code + ")");
}

std::string JsonVerdict(bool ok, const std::string& reason) {
  if (ok) return "{\"ok\": true}\n";
  return "{\"ok\": false, \"reason\": \"" + reason + "\"}\n";  // reasons are fixed ASCII
}

PageResult Verdict(int status, bool ok, const std::string& reason, bool wantsJson) {
  PageResult result;
  result.status = status;
  result.contentType = wantsJson ? "application/json" : "text/html; charset=utf-8";
  result.body = wantsJson ? JsonVerdict(ok, reason) : VerdictHtml(ok, reason);
  return result;
}

}  // namespace

int64_t HostClockSeconds() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  const int64_t ticks =
      static_cast<int64_t>((static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime);
  return ticks / kFileTimeTicksPerSecond - kFileTimeToUnixSeconds;
}

PageResult TextResult(int status, const std::string& reason) {
  PageResult result;
  result.status = status;
  result.contentType = "text/plain; charset=utf-8";
  result.body = reason + "\n";
  return result;
}

PageResult CaptchaSite::Form() {
  PageReply reply;
  std::string token;
  const HRESULT hr = RunPage(reply, 0, [this, &token](DispatchCaller& page) {
    HRESULT step = page.Call(u"SetPassword", {ScriptValue(settings_.password).value});
    if (SUCCEEDED(step)) step = page.Put(u"Text", ScriptValue(DrawChallengeText()).value);
    ScriptValue sealed;
    if (SUCCEEDED(step)) step = page.Get(u"EncryptedText", &sealed.value);
    token = Narrow(sealed.Text());
    return step;
  });
  if (FAILED(hr)) return ComponentFailure(hr);
  const std::string envelope =
      SealEnvelope(settings_.key, {token, HostClockSeconds() + settings_.maxAgeSeconds});
  PageResult result;
  result.contentType = "text/html; charset=utf-8";
  const PictureOptions look;
  result.body = ChallengeFormHtml(envelope, look.width, look.height, settings_.audio);
  return result;
}

PageResult CaptchaSite::Picture(const QueryValues& query) {
  const auto token = query.find("token");
  if (token == query.end()) return TextResult(400, "missing parameter: token");
  PictureOptions look;
  std::string reason;
  if (!ReadPictureOptions(query, look, reason)) return TextResult(400, reason);
  const std::optional<EnvelopeContents> contents = OpenEnvelope(settings_.key, token->second);
  if (!contents) return TextResult(400, kReasonMalformedToken);
  if (contents->expiresAt < HostClockSeconds()) return TextResult(400, kReasonExpired);

  PageReply reply;
  const HRESULT hr = RunPage(reply, 0, [this, &contents, &look](DispatchCaller& page) {
    HRESULT step = RestoreToken(page, settings_.password, contents->token);
    if (SUCCEEDED(step))
      step = page.Call(u"SetSize", {ScriptValue(look.width).value, ScriptValue(look.height).value});
    if (SUCCEEDED(step))
      step = page.Call(u"SetLines",
                       {ScriptValue(look.lines).value, ScriptValue(look.lineWidth).value});
    if (SUCCEEDED(step)) {
      step = page.Call(u"SetColor", {ScriptValue(static_cast<double>(look.fontColor)).value,
                                     ScriptValue(static_cast<double>(look.backgroundColor)).value});
    }
    if (SUCCEEDED(step))
      step = page.Call(u"SetOutputFormat",
                       {ScriptValue(look.format).value, ScriptValue(look.quality).value});
    if (SUCCEEDED(step)) step = page.Call(u"Send", {});
    return step;
  });
  if (FAILED(hr)) return ComponentFailure(hr);
  PageResult result;
  result.contentType = reply.contentType;
  result.body = std::move(reply.body);
  result.headers.emplace_back("Cache-Control", "no-store");
  return result;
}

PageResult CaptchaSite::Audio(const QueryValues& query) {
  if (!settings_.audio) return TextResult(404, "no such page");
  const auto token = query.find("token");
  if (token == query.end()) return TextResult(400, "missing parameter: token");
  if (query.size() != 1) return TextResult(400, "/audio takes the token only");
  const std::optional<EnvelopeContents> contents = OpenEnvelope(settings_.key, token->second);
  if (!contents) return TextResult(400, kReasonMalformedToken);
  const int64_t now = HostClockSeconds();
  if (contents->expiresAt < now) return TextResult(400, kReasonExpired);
  // An answered challenge is over: its audio would only help a guesser.
  if (usedTokens_.UsedBefore(contents->token, now)) return TextResult(410, kReasonAlreadyUsed);

  PageReply reply;
  std::u16string text;
  const HRESULT hr = RunPage(reply, 0, [this, &contents, &text](DispatchCaller& page) {
    HRESULT step = RestoreToken(page, settings_.password, contents->token);
    ScriptValue restored;
    if (SUCCEEDED(step)) step = page.Get(u"Text", &restored.value);
    text = restored.Text();
    return step;
  });
  if (FAILED(hr)) return ComponentFailure(hr);
  std::string wav = SpokenChallengeWav(text);
  if (wav.empty()) return TextResult(500, "the spoken challenge could not be made");
  PageResult result;
  result.contentType = "audio/wav";
  result.body = std::move(wav);
  result.headers.emplace_back("Cache-Control", "no-store");
  return result;
}

PageResult CaptchaSite::Verify(const QueryValues& form, const std::string& client, bool wantsJson) {
  const int64_t now = HostClockSeconds();
  const int64_t wait = failures_.RetryAfter(client, now);
  if (wait > 0) {
    PageResult result = TextResult(429, "too many wrong answers; try again later");
    result.headers.emplace_back("Retry-After", std::to_string(wait));
    return result;
  }
  const auto token = form.find("token");
  const auto answer = form.find("answer");
  if (token == form.end()) return TextResult(400, "missing field: token");
  if (answer == form.end()) return TextResult(400, "missing field: answer");
  if (answer->second.size() > kMaxAnswerLength) return TextResult(400, "answer too long");

  auto refuse = [&](int status, const char* reason) {
    failures_.RecordFailure(client, now);
    return Verdict(status, false, reason, wantsJson);
  };
  const std::optional<EnvelopeContents> contents = OpenEnvelope(settings_.key, token->second);
  if (!contents) return refuse(400, kReasonMalformedToken);
  if (contents->expiresAt < now) return refuse(403, kReasonExpired);

  PageReply reply;
  std::u16string text;
  LONG age = 0;
  const HRESULT hr = RunPage(reply, static_cast<LONG>(token->second.size() + answer->second.size()),
                             [this, &contents, &text, &age](DispatchCaller& page) {
                               HRESULT step =
                                   RestoreToken(page, settings_.password, contents->token);
                               ScriptValue restored, restoredAge;
                               if (SUCCEEDED(step)) step = page.Get(u"Text", &restored.value);
                               if (SUCCEEDED(step))
                                 step = page.Get(u"EncryptionAge", &restoredAge.value);
                               text = restored.Text();
                               age = restoredAge.value.vt == VT_I4 ? restoredAge.value.lVal : 0;
                               return step;
                             });
  if (FAILED(hr)) return ComponentFailure(hr);
  // A token from the future was not made by this host's clock.
  if (age < 0) return refuse(400, kReasonMalformedToken);
  if (age > settings_.maxAgeSeconds) return refuse(403, kReasonExpired);
  if (!SameText(text, answer->second)) return refuse(403, kReasonWrongAnswer);
  switch (usedTokens_.ClaimToken(contents->token, contents->expiresAt, now)) {
    case UsedTokenGuard::Claim::kFirstUse:
      return Verdict(200, true, "", wantsJson);
    case UsedTokenGuard::Claim::kUsedBefore:
      return refuse(403, kReasonAlreadyUsed);
    case UsedTokenGuard::Claim::kFull:
      break;
  }
  PageResult busy = TextResult(503, "too many answers at once; try again later");
  busy.headers.emplace_back("Retry-After", "10");
  return busy;
}

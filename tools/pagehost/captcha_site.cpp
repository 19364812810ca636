#include "tools/pagehost/captcha_site.h"

#include <algorithm>
#include <cstdio>
#include <functional>

#include "text/system_clock.h"
#include "tools/dispatch_caller/dispatch_caller.h"
#include "tools/pagehost/challenge_text.h"
#include "tools/pagehost/client_address.h"
#include "tools/pagehost/html_pages.h"
#include "tools/pagehost/http_intrinsics.h"
#include "tools/pagehost/json_text.h"
#include "tools/pagehost/page_object.h"
#include "tools/spoken_challenge/spoken_challenge.h"

const char kReasonWrongAnswer[] = "wrong answer";
const char kReasonExpired[] = "expired";
const char kReasonMalformedToken[] = "malformed token";
const char kReasonAlreadyUsed[] = "already used";

namespace {

// Longest answer compared: a text holds at most 97 characters.
constexpr size_t kMaxAnswerLength = 100;
// Seconds a client is asked to wait when the store is full or unreachable.
constexpr int64_t kBusyRetrySeconds = 10;
// A text character no answer byte can stand for: a noncharacter.
constexpr char16_t kNeverTyped = 0xFFFF;

std::string Narrow(const std::u16string& text) {
  std::string narrow;
  for (char16_t c : text) narrow.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  return narrow;
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

PageResult WithRetryAfter(PageResult result, int64_t seconds) {
  result.headers.emplace_back("Retry-After", std::to_string(seconds));
  return result;
}

PageResult Busy(int64_t seconds) {
  return WithRetryAfter(TextResult(503, "too many answers or pictures at once; try again later"),
                        seconds);
}

PageResult Limited(int64_t seconds) {
  return WithRetryAfter(TextResult(429, "too many wrong answers; try again later"), seconds);
}

std::shared_ptr<SiteStore> StoreOf(SiteSettings& settings) {
  if (!settings.store) settings.store = std::make_shared<MemorySiteStore>(settings.failureWindows);
  return settings.store;
}

// What Send declares for the look's format (the same choice it encodes by).
std::string PictureContentType(const PictureOptions& look) {
  return look.format == kPictureFormatGif ? "image/gif" : "image/jpeg";
}

// The look, set through the object's settings operations by name.
HRESULT ApplyLook(DispatchCaller& page, const PictureOptions& look) {
  HRESULT step =
      page.Call(u"SetSize", {ScriptValue(look.width).value, ScriptValue(look.height).value});
  if (SUCCEEDED(step))
    step =
        page.Call(u"SetLines", {ScriptValue(look.lines).value, ScriptValue(look.lineWidth).value});
  if (SUCCEEDED(step)) {
    step = page.Call(u"SetColor", {ScriptValue(static_cast<double>(look.fontColor)).value,
                                   ScriptValue(static_cast<double>(look.backgroundColor)).value});
  }
  if (SUCCEEDED(step))
    step = page.Call(u"SetOutputFormat",
                     {ScriptValue(look.format).value, ScriptValue(look.quality).value});
  return step;
}

// The envelope a picture's or an audio's query names, which is all it may
// hold, unexpired at `now`; nothing, with the refusal, otherwise.
std::optional<EnvelopeContents> EnvelopeOfRendering(const QueryValues& query, const HostKey& key,
                                                    const char* rendering, int64_t now,
                                                    PageResult& refusal) {
  const auto token = query.find("token");
  std::optional<EnvelopeContents> contents;
  if (token == query.end()) {
    refusal = TextResult(400, "missing parameter: token");
  } else if (query.size() != 1) {
    refusal = TextResult(400, std::string("the ") + rendering + " takes the envelope (token) only");
  } else if (!(contents = OpenEnvelope(key, token->second))) {
    refusal = TextResult(400, kReasonMalformedToken);
  } else if (contents->expiresAt < now) {
    refusal = TextResult(400, kReasonExpired);
    contents.reset();
  }
  return contents;
}

// The site store's key of an envelope's one audio.
std::string AudioKey(const std::string& envelopeId) { return "audio:" + envelopeId; }
// Why an envelope has no audio: answered before its first audio was asked
// for, or a bounded store let the audio go.
const char kNoAudioReason[] = "no audio for this challenge: answered, or no longer kept";

}  // namespace

bool AnswerMatches(const std::u16string& text, const std::string& answer) {
  // Every position up to the longest answer compared is visited, whatever
  // the lengths; differences are gathered without a branch on them.
  unsigned difference = static_cast<unsigned>(text.size() != answer.size());
  difference |= static_cast<unsigned>(text.size() > kMaxAnswerLength);
  for (size_t i = 0; i < kMaxAnswerLength; ++i) {
    const char16_t expected = i < text.size() ? text[i] : 0;
    const auto byte = static_cast<unsigned char>(i < answer.size() ? answer[i] : 0);
    const char16_t typed = byte < 0x80 ? byte : kNeverTyped;
    difference |= static_cast<unsigned>(expected ^ typed);
  }
  return difference == 0;
}

int64_t HostClockSeconds() { return ReadSystemClock().seconds; }

PageResult TextResult(int status, const std::string& reason) {
  PageResult result;
  result.status = status;
  result.contentType = "text/plain; charset=utf-8";
  result.body = reason + "\n";
  return result;
}

CaptchaSite::CaptchaSite(SiteSettings settings)
    : settings_(std::move(settings)), store_(*StoreOf(settings_)) {}

HRESULT CaptchaSite::NewEnvelope(std::string& envelope, int64_t& expiresAt) {
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
  if (FAILED(hr)) return hr;
  expiresAt = HostClockSeconds() + settings_.maxAgeSeconds;
  envelope = SealEnvelope(settings_.key, {token, expiresAt, {}});
  return S_OK;
}

PageResult CaptchaSite::Form() {
  std::string envelope;
  int64_t expiresAt = 0;
  const HRESULT hr = NewEnvelope(envelope, expiresAt);
  if (FAILED(hr)) return ComponentFailure(hr);
  PageResult result;
  result.contentType = "text/html; charset=utf-8";
  result.body =
      ChallengeFormHtml(envelope, settings_.look.width, settings_.look.height, settings_.audio);
  // Coming back to the form (the back button) asks for a new one rather than
  // showing an envelope that may be used up.
  result.headers.emplace_back("Cache-Control", "no-store");
  return result;
}

PageResult CaptchaSite::Challenge() {
  std::string envelope;
  int64_t expiresAt = 0;
  const HRESULT hr = NewEnvelope(envelope, expiresAt);
  if (FAILED(hr)) return ComponentFailure(hr);
  PageResult result;
  result.contentType = "application/json";
  // Envelopes are URL-safe base64: the query needs no further encoding.
  result.body = "{\"token\": " + JsonStringLiteral(envelope) +
                ", \"picture\": " + JsonStringLiteral("/captcha?token=" + envelope);
  if (settings_.audio)
    result.body += ", \"audio\": " + JsonStringLiteral("/audio?token=" + envelope);
  result.body += ", \"expires\": " + std::to_string(expiresAt) + "}\n";
  result.headers.emplace_back("Cache-Control", "no-store");
  return result;
}

PageResult CaptchaSite::Picture(const QueryValues& query) {
  const int64_t now = HostClockSeconds();
  PageResult refusal;
  const std::optional<EnvelopeContents> contents =
      EnvelopeOfRendering(query, settings_.key, "picture", now, refusal);
  if (!contents) return refusal;

  // Only the first rendering of an envelope is ever served: new distortions
  // of the same text, fetched again and again, would add up to a clean one.
  const std::string key = "picture:" + contents->id;
  PageResult result;
  result.contentType = PictureContentType(settings_.look);
  if (!store_.FindRendering(key, now, result.body)) {
    PageReply reply;
    const HRESULT hr = RunPage(reply, 0, [this, &contents](DispatchCaller& page) {
      HRESULT step = RestoreToken(page, settings_.password, contents->token);
      if (SUCCEEDED(step)) step = ApplyLook(page, settings_.look);
      if (SUCCEEDED(step)) step = page.Call(u"Send", {});
      return step;
    });
    if (FAILED(hr)) return ComponentFailure(hr);
    if (store_.KeepFirstRendering(key, reply.body, contents->expiresAt, now, result.body) !=
        StoreStatus::kOk) {
      return Busy(kBusyRetrySeconds);
    }
  }
  if (result.body.empty()) {
    return TextResult(410, "this picture is no longer kept; load the form again");
  }
  result.headers.emplace_back("Cache-Control", "no-store");
  return result;
}

PageResult CaptchaSite::Audio(const QueryValues& query) {
  if (!settings_.audio) return TextResult(404, "no such page");
  const int64_t now = HostClockSeconds();
  PageResult refusal;
  const std::optional<EnvelopeContents> contents =
      EnvelopeOfRendering(query, settings_.key, "audio", now, refusal);
  if (!contents) return refusal;

  // One audio per envelope, as for the picture: new voices and noise of the
  // same text, fetched again and again, would add up to a clean one. None is
  // made for an envelope already answered.
  const std::string key = AudioKey(contents->id);
  PageResult result;
  result.contentType = "audio/wav";
  if (!store_.FindRendering(key, now, result.body)) {
    bool answered = false;
    if (store_.IsAnswered(contents->id, now, answered) != StoreStatus::kOk)
      return Busy(kBusyRetrySeconds);
    if (answered) return TextResult(410, kNoAudioReason);
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
    const std::string wav = SpokenChallengeWav(text);
    if (wav.empty()) return TextResult(500, "the spoken challenge could not be made");
    if (store_.KeepFirstRendering(key, wav, contents->expiresAt, now, result.body) !=
        StoreStatus::kOk) {
      return Busy(kBusyRetrySeconds);
    }
  }
  if (result.body.empty()) return TextResult(410, kNoAudioReason);
  result.headers.emplace_back("Cache-Control", "no-store");
  return result;
}

PageResult CaptchaSite::Verify(const QueryValues& form, const ClientOrigin& origin,
                               bool wantsJson) {
  const int64_t now = HostClockSeconds();
  const std::string client =
      ClientKey(ClientAddress(origin.peer, origin.forwardedFor, settings_.trustedProxies));
  int64_t wait = 0;
  if (store_.RetryAfter(client, now, wait) != StoreStatus::kOk) return Busy(kBusyRetrySeconds);
  if (wait > 0) return Limited(wait);
  const auto token = form.find("token");
  const auto answer = form.find("answer");
  if (token == form.end()) return TextResult(400, "missing field: token");
  if (answer == form.end()) return TextResult(400, "missing field: answer");
  if (answer->second.size() > kMaxAnswerLength) return TextResult(400, "answer too long");

  // Refusals that tell nothing about any text count no failure: nobody can
  // make an envelope without the host's key.
  const std::optional<EnvelopeContents> contents = OpenEnvelope(settings_.key, token->second);
  if (!contents) return Verdict(400, false, kReasonMalformedToken, wantsJson);
  if (contents->expiresAt < now) return Verdict(403, false, kReasonExpired, wantsJson);

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
  if (age < 0) return Verdict(400, false, kReasonMalformedToken, wantsJson);
  if (age > settings_.maxAgeSeconds) return Verdict(403, false, kReasonExpired, wantsJson);

  const AnswerOutcome outcome = store_.SettleAnswer(client, contents->id, contents->expiresAt,
                                                    AnswerMatches(text, answer->second), now);
  if (outcome.status != StoreStatus::kOk)
    return Busy(std::max<int64_t>(1, outcome.retryAfterSeconds));
  switch (outcome.verdict) {
    case AnswerVerdict::kAccepted:
      return Verdict(200, true, "", wantsJson);
    case AnswerVerdict::kWrong:
      return Verdict(403, false, kReasonWrongAnswer, wantsJson);
    case AnswerVerdict::kAlreadyUsed:
      return Verdict(403, false, kReasonAlreadyUsed, wantsJson);
    case AnswerVerdict::kLimited:
      break;
  }
  return Limited(outcome.retryAfterSeconds);
}

PageResult CaptchaSite::Health() {
  PageReply reply;
  const HRESULT hr = RunPage(reply, 0, [](DispatchCaller& page) {
    const HRESULT step = page.Put(u"Text", ScriptValue(std::u16string(u"health")).value);
    return SUCCEEDED(step) ? page.Call(u"Send", {}) : step;
  });
  if (FAILED(hr) || reply.body.empty()) {
    char code[16];
    std::snprintf(code, sizeof(code), "0x%08X", static_cast<unsigned>(FAILED(hr) ? hr : E_FAIL));
    PageResult result =
        TextResult(503, std::string("the captcha object cannot draw (") + code + ")");
    result.headers.emplace_back("Cache-Control", "no-store");
    return result;
  }
  PageResult result =
      store_.Healthy() ? TextResult(200, "ok") : TextResult(503, "the site store does not answer");
  result.headers.emplace_back("Cache-Control", "no-store");
  return result;
}

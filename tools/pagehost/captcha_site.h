// The page host's three pages, written as ASP page scripts would be: each
// creates the captcha object by ProgID, hands it the exchange's scripting
// context (OnStartPage), drives it only through IDispatch by name, and ends
// the page (OnEndPage). Routes and limits live in page_host.h; here is what
// each page does with already-parsed input.
//
//   form     draws a text from the system's random source, puts it into Text,
//            reads EncryptedText and seals that token into an envelope.
//   challenge  the same new envelope as JSON, for sites that show the
//            challenge on pages of their own (the picture's address, expiry).
//   picture  opens the envelope, puts its token into EncryptedText (the
//            component restores the text), applies the host's look, Send;
//            the first rendering of an envelope is the only one ever served.
//   audio    opens the envelope, restores the text through the object and
//            speaks it character by character (tools/spoken_challenge); the
//            first audio of an envelope is the only one ever served, and none
//            once the envelope is answered.
//   verify   opens the envelope, restores text and age through the object,
//            compares the answer; the first answer uses the envelope up,
//            and wrong answers count against the client's failure window.
// The component's token never leaves the host: only envelopes do. What
// several hosts of one site must agree on goes through the SiteStore.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "tools/pagehost/form_decoding.h"
#include "tools/pagehost/memory_site_store.h"
#include "tools/pagehost/picture_options.h"
#include "tools/pagehost/sealed_envelope.h"
#include "tools/pagehost/site_store.h"

struct SiteSettings {
  std::u16string password;      // the component's password (its key)
  HostKey key{};                // seals the envelopes
  int64_t maxAgeSeconds = 300;  // oldest token accepted
  PictureOptions look;          // every picture's look, chosen by the operator
  FailureWindowSettings failureWindows;
  // Canonical addresses (CanonicalAddress) whose X-Forwarded-For is believed.
  std::vector<std::string> trustedProxies;
  // The shared decisions; null: a MemorySiteStore of this process.
  std::shared_ptr<SiteStore> store;
  bool audio = true;  // the spoken challenge: its route and the form's player
};

// One HTTP answer. `headers` come in addition to Content-Type.
struct PageResult {
  int status = 200;
  std::string contentType;
  std::string body;
  std::vector<std::pair<std::string, std::string>> headers;
};

// Where an answer comes from: the connection's peer address and the request's
// X-Forwarded-For values (joined with commas in the order received).
struct ClientOrigin {
  std::string peer;
  std::string forwardedFor;
};

// Reasons a submission fails, as the page says them.
extern const char kReasonWrongAnswer[];
extern const char kReasonExpired[];
extern const char kReasonMalformedToken[];
extern const char kReasonAlreadyUsed[];

class CaptchaSite {
 public:
  explicit CaptchaSite(SiteSettings settings);

  // GET /
  PageResult Form();
  // GET /challenge (Accept: application/json): {"token": envelope, "picture":
  // "/captcha?token=envelope", "audio": "/audio?token=envelope" (unless the
  // audio is off), "expires": seconds since 1970}.
  PageResult Challenge();
  // GET /captcha; `query` must hold the envelope (`token`) and nothing else.
  PageResult Picture(const QueryValues& query);
  // GET /audio; `query` must hold the envelope (`token`) and nothing else.
  // 404 with audio off.
  PageResult Audio(const QueryValues& query);
  // POST /verify with the form fields.
  PageResult Verify(const QueryValues& form, const ClientOrigin& origin, bool wantsJson);
  // GET /healthz: 200 when a captcha object can be made by ProgID and draws
  // a picture and the site store answers, else 503 with the failure.
  PageResult Health();

  const SiteSettings& Settings() const { return settings_; }

 private:
  // A new challenge text's token, sealed with its expiry; fails with the
  // component's HRESULT.
  HRESULT NewEnvelope(std::string& envelope, int64_t& expiresAt);

  SiteSettings settings_;
  SiteStore& store_;
};

// Seconds since 1970 by the platform's clock (the one the component stamps
// its tokens with, and tests pin).
int64_t HostClockSeconds();

// A one-line plain-text answer: `status` with `reason`.
PageResult TextResult(int status, const std::string& reason);

// Whether the answer as typed (UTF-8) is exactly the restored text, in a time
// that depends on neither where they differ nor the text's length.
bool AnswerMatches(const std::u16string& text, const std::string& answer);

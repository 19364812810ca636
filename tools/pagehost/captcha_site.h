// The page host's three pages, written as ASP page scripts would be: each
// creates the captcha object by ProgID, hands it the exchange's scripting
// context (OnStartPage), drives it only through IDispatch by name, and ends
// the page (OnEndPage). Routes and limits live in page_host.h; here is what
// each page does with already-parsed input.
//
//   form     draws a text from the system's random source, puts it into Text,
//            reads EncryptedText and seals that token into an envelope.
//   picture  opens the envelope, puts its token into EncryptedText (the
//            component restores the text), applies the look, Send.
//   audio    opens the envelope, restores the text through the object, and
//            speaks it character by character (tools/spoken_challenge).
//   verify   opens the envelope, restores text and age through the object,
//            compares the answer, bounds the age, refuses a second use.
// The component's token never leaves the host: only envelopes do.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "tools/pagehost/failure_limiter.h"
#include "tools/pagehost/picture_options.h"
#include "tools/pagehost/sealed_envelope.h"
#include "tools/pagehost/used_token_guard.h"

struct SiteSettings {
  std::u16string password;      // the component's password (its key)
  HostKey key{};                // seals the envelopes
  int64_t maxAgeSeconds = 300;  // oldest token accepted
  int maxFailuresPerMinute = FailureLimiter::kDefaultMaxFailures;
  bool audio = true;  // the spoken challenge: its route and the form's player
};

// One HTTP answer. `headers` come in addition to Content-Type.
struct PageResult {
  int status = 200;
  std::string contentType;
  std::string body;
  std::vector<std::pair<std::string, std::string>> headers;
};

// Reasons a submission fails, as the page says them.
extern const char kReasonWrongAnswer[];
extern const char kReasonExpired[];
extern const char kReasonMalformedToken[];
extern const char kReasonAlreadyUsed[];

class CaptchaSite {
 public:
  explicit CaptchaSite(SiteSettings settings) : settings_(std::move(settings)) {}

  // GET /
  PageResult Form();
  // GET /captcha; `query` holds the token and the picture's look.
  PageResult Picture(const QueryValues& query);
  // GET /audio; `query` holds the token only. 404 with audio off.
  PageResult Audio(const QueryValues& query);
  // POST /verify with the form fields; `client` is the peer's address.
  PageResult Verify(const QueryValues& form, const std::string& client, bool wantsJson);

  const SiteSettings& Settings() const { return settings_; }

 private:
  SiteSettings settings_;
  UsedTokenGuard usedTokens_;
  FailureLimiter failures_{settings_.maxFailuresPerMinute};
};

// Seconds since 1970 by the platform's clock (the one the component stamps
// its tokens with, and tests pin).
int64_t HostClockSeconds();

// A one-line plain-text answer: `status` with `reason`.
PageResult TextResult(int status, const std::string& reason);

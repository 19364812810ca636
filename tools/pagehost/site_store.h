// What every host of one site must agree on: one answer per envelope, one
// rendering (picture, audio) per envelope, and the failure windows per
// client key (an IPv4 address, or the /64 of an IPv6 one).
#pragma once

#include <cstdint>
#include <string>

enum class StoreStatus {
  kOk,
  kFull,         // a bounded memory store cannot take more: answer 503 + Retry-After
  kUnavailable,  // the shared store did not answer within its deadline: 503, fail closed
};

enum class AnswerVerdict {
  kAccepted,     // first answer for the envelope, and right
  kWrong,        // first answer, wrong: the envelope is used up and one failure counted
  kAlreadyUsed,  // the envelope was answered before (right or wrong)
  kLimited,      // the client's failure window is full: nothing claimed
};

struct AnswerOutcome {
  StoreStatus status = StoreStatus::kOk;
  AnswerVerdict verdict = AnswerVerdict::kAlreadyUsed;  // meaningful when status is kOk
  int64_t retryAfterSeconds = 0;                        // with kLimited, kFull, kUnavailable
};

class SiteStore {
 public:
  virtual ~SiteStore() = default;

  // One call per submitted answer, after it was compared; atomic across the
  // hosts that share the store. A client whose failure window is full gets
  // kLimited and claims nothing. Otherwise `envelopeId` is claimed until
  // `expiresAt` (Unix seconds), right or wrong (kAlreadyUsed when claimed
  // before), and a wrong answer counts one failure in the client's window.
  virtual AnswerOutcome SettleAnswer(const std::string& clientKey, const std::string& envelopeId,
                                     int64_t expiresAt, bool correct, int64_t now) = 0;

  // Seconds until `clientKey` may answer again (0: now), in `seconds`.
  virtual StoreStatus RetryAfter(const std::string& clientKey, int64_t now, int64_t& seconds) = 0;

  // Keeps `rendering` as the one rendering called `key` ("picture:" or
  // "audio:" followed by the envelope id) until `expiresAt`, unless one is
  // kept already; `kept` receives the bytes every host must serve for it.
  virtual StoreStatus KeepFirstRendering(const std::string& key, const std::string& rendering,
                                         int64_t expiresAt, int64_t now, std::string& kept) = 0;

  // Added by this store's first implementation; a store without it answers
  // false and the host renders before KeepFirstRendering as before. True
  // when a rendering called `key` is kept: `kept` receives its bytes, or
  // nothing when a bounded store had to let them go (the host answers 410
  // then; KeepFirstRendering gives the same empty `kept`). Saves rendering
  // again for every repeated request of one envelope.
  virtual bool FindRendering(const std::string& /*key*/, int64_t /*now*/, std::string& /*kept*/) {
    return false;
  }

  // Whether `envelopeId` was answered (claimed by SettleAnswer), in
  // `answered`. Asked only before making a rendering on a late request (the
  // audio), never on an answer's own path, which stays one call.
  virtual StoreStatus IsAnswered(const std::string& envelopeId, int64_t now, bool& answered) = 0;

  // Whether the store answers now (GET /healthz).
  virtual bool Healthy() = 0;
};

// The site store of one process, decision by decision under explicit clocks:
// one answer per envelope, failure windows that full tables never drop, the
// one kept rendering per key and what happens to it when memory runs out.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/pagehost/memory_site_store.h"

namespace {

constexpr int64_t kWindow = 60;

// One SettleAnswer call and what it must give.
struct Answer {
  const char* what;
  const char* client;
  const char* envelope;
  int64_t expiresAt;
  bool correct;
  int64_t now;
  StoreStatus status;
  AnswerVerdict verdict;  // checked when status is kOk
  int64_t retryAfter;     // checked when not 0
};

void Replay(MemorySiteStore& store, const std::vector<Answer>& answers) {
  for (const Answer& a : answers) {
    const AnswerOutcome outcome =
        store.SettleAnswer(a.client, a.envelope, a.expiresAt, a.correct, a.now);
    EXPECT_EQ(outcome.status, a.status) << a.what;
    if (a.status == StoreStatus::kOk) {
      EXPECT_EQ(outcome.verdict, a.verdict) << a.what;
    }
    if (a.retryAfter != 0) {
      EXPECT_EQ(outcome.retryAfterSeconds, a.retryAfter) << a.what;
    }
  }
}

constexpr StoreStatus kOk = StoreStatus::kOk;
constexpr AnswerVerdict kAccepted = AnswerVerdict::kAccepted;
constexpr AnswerVerdict kWrong = AnswerVerdict::kWrong;
constexpr AnswerVerdict kUsed = AnswerVerdict::kAlreadyUsed;
constexpr AnswerVerdict kLimited = AnswerVerdict::kLimited;

TEST(MemorySiteStore, TheFirstAnswerUsesAnEnvelopeUpRightOrWrong) {
  MemorySiteStore store({10, kWindow});
  Replay(store, {
                    {"right first", "a", "e1", 100, true, 10, kOk, kAccepted, 0},
                    {"right again", "a", "e1", 100, true, 11, kOk, kUsed, 0},
                    {"another client", "b", "e1", 100, true, 12, kOk, kUsed, 0},
                    {"wrong first", "a", "e2", 100, false, 13, kOk, kWrong, 0},
                    {"then right", "a", "e2", 100, true, 14, kOk, kUsed, 0},
                    {"still used at its expiry", "a", "e1", 100, true, 100, kOk, kUsed, 0},
                    {"forgotten once expired", "a", "e1", 100, true, 101, kOk, kAccepted, 0},
                });
}

TEST(MemorySiteStore, WrongAnswersFillTheClientsWindowUntilItEnds) {
  MemorySiteStore store({2, kWindow});
  Replay(store,
         {
             {"first failure opens the window", "a", "e1", 500, false, 100, kOk, kWrong, 0},
             {"a used envelope, wrong, counts", "a", "e1", 500, false, 110, kOk, kUsed, 0},
             {"window full: even a right answer", "a", "e2", 500, true, 120, kOk, kLimited, 40},
             {"others are free", "b", "e2", 500, true, 121, kOk, kAccepted, 0},
             {"a right answer counts nothing", "b", "e2", 500, true, 122, kOk, kUsed, 0},
             {"limited one second before the end", "a", "e3", 500, true, 159, kOk, kLimited, 1},
             {"a new window", "a", "e3", 500, true, 160, kOk, kAccepted, 0},
         });
  int64_t wait = -1;
  EXPECT_EQ(store.RetryAfter("a", 160, wait), kOk);
  EXPECT_EQ(wait, 0);
  EXPECT_EQ(store.ClaimCount(), 3u);
}

TEST(MemorySiteStore, AFullGuardRefusesNewAnswersAndForgetsNoLiveClaim) {
  MemoryStoreLimits limits;
  limits.maxClaimedEnvelopes = 2;
  MemorySiteStore store({10, kWindow}, limits);
  Replay(store, {
                    {"first claim", "a", "e1", 100, true, 10, kOk, kAccepted, 0},
                    {"second claim", "b", "e2", 200, false, 11, kOk, kWrong, 0},
                    {"full: retry once e1 has gone", "c", "e3", 300, true, 50, StoreStatus::kFull,
                     kAccepted, 51},
                    {"e1 is still used", "c", "e1", 100, true, 51, kOk, kUsed, 0},
                    {"e1 expired: room again", "c", "e3", 300, true, 101, kOk, kAccepted, 0},
                });
}

TEST(MemorySiteStore, AFullWindowTableMakesNewClientsWaitAndKeepsLiveWindows) {
  MemoryStoreLimits limits;
  limits.maxClientWindows = 2;
  MemorySiteStore store({3, kWindow}, limits);
  Replay(store, {
                    {"a opens a window", "a", "e1", 900, false, 0, kOk, kWrong, 0},
                    {"b opens a window", "b", "e2", 900, false, 5, kOk, kWrong, 0},
                    {"c has none and none is free", "c", "e3", 900, true, 10, kOk, kLimited, 50},
                    {"a keeps counting", "a", "e4", 900, false, 11, kOk, kWrong, 0},
                    {"a keeps counting", "a", "e5", 900, false, 12, kOk, kWrong, 0},
                    {"a is limited, not forgotten", "a", "e6", 900, true, 13, kOk, kLimited, 47},
                    {"a's window ended: c gets in", "c", "e3", 900, true, 60, kOk, kAccepted, 0},
                });
  int64_t wait = 0;
  EXPECT_EQ(store.RetryAfter("d", 61, wait), kOk);
  EXPECT_EQ(wait, 0);  // a's window ended and c's right answer took none
  EXPECT_EQ(store.WindowCount(), 1u);
}

TEST(MemorySiteStore, TheFirstRenderingIsTheOneKept) {
  MemorySiteStore store;
  std::string kept;
  EXPECT_FALSE(store.FindRendering("picture:e1", 10, kept));
  EXPECT_EQ(store.KeepFirstRendering("picture:e1", "first", 100, 10, kept), kOk);
  kept.clear();
  EXPECT_TRUE(store.FindRendering("picture:e1", 100, kept));
  EXPECT_EQ(kept, "first");
  EXPECT_EQ(kept, "first");
  EXPECT_EQ(store.KeepFirstRendering("picture:e1", "second", 100, 20, kept), kOk);
  EXPECT_EQ(kept, "first");
  EXPECT_EQ(store.KeepFirstRendering("audio:e1", "sound", 100, 20, kept), kOk);
  EXPECT_EQ(kept, "sound");
  EXPECT_EQ(store.KeepFirstRendering("picture:e1", "third", 100, 100, kept), kOk);
  EXPECT_EQ(kept, "first");  // kept through its expiry second
  EXPECT_FALSE(store.FindRendering("picture:e1", 101, kept));
  EXPECT_EQ(store.KeepFirstRendering("picture:e1", "fourth", 200, 101, kept), kOk);
  EXPECT_EQ(kept, "fourth");  // expired and forgotten: a new envelope may reuse nothing else
}

TEST(MemorySiteStore, OutOfBytesTheSoonestToExpireAreLetGoButNeverReplaced) {
  MemoryStoreLimits limits;
  limits.maxRenderingBytes = 10;
  limits.maxRenderings = 3;
  MemorySiteStore store({}, limits);
  std::string kept;
  ASSERT_EQ(store.KeepFirstRendering("k1", "aaaa", 100, 0, kept), kOk);
  ASSERT_EQ(store.KeepFirstRendering("k2", "bbbb", 300, 0, kept), kOk);
  ASSERT_EQ(store.KeepFirstRendering("k3", "cccc", 200, 0, kept), kOk);
  EXPECT_EQ(kept, "cccc");
  EXPECT_EQ(store.RenderingBytes(), 8u);
  // k1 expires first: its bytes went to make room, and its key answers empty.
  EXPECT_EQ(store.KeepFirstRendering("k1", "new!", 100, 1, kept), kOk);
  EXPECT_EQ(kept, "");
  kept = "x";
  EXPECT_TRUE(store.FindRendering("k1", 1, kept));
  EXPECT_EQ(kept, "");
  EXPECT_EQ(store.KeepFirstRendering("k2", "new!", 300, 1, kept), kOk);
  EXPECT_EQ(kept, "bbbb");
  // Every entry taken by a live key: nothing new until one expires.
  EXPECT_EQ(store.KeepFirstRendering("k4", "dd", 400, 2, kept), StoreStatus::kFull);
  EXPECT_EQ(store.KeepFirstRendering("big", std::string(11, 'x'), 400, 101, kept),
            StoreStatus::kFull);
  EXPECT_EQ(store.KeepFirstRendering("k4", "dddd", 400, 101, kept), kOk);
  EXPECT_EQ(kept, "dddd");
  EXPECT_EQ(store.RenderingCount(), 3u);
  EXPECT_EQ(store.RenderingBytes(), 8u);  // k3 let go for k4: it expires before k2
  EXPECT_EQ(store.KeepFirstRendering("k3", "new!", 200, 102, kept), kOk);
  EXPECT_EQ(kept, "");
}

}  // namespace

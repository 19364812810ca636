#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <thread>

namespace {

TEST(CriticalSection, OwnerMayEnterAgain) {
  CRITICAL_SECTION section;
  InitializeCriticalSection(&section);
  EnterCriticalSection(&section);
  EnterCriticalSection(&section);  // would deadlock if not recursive
  EXPECT_TRUE(TryEnterCriticalSection(&section));
  LeaveCriticalSection(&section);
  LeaveCriticalSection(&section);
  LeaveCriticalSection(&section);
  DeleteCriticalSection(&section);
}

TEST(CriticalSection, ExcludesAnotherThreadUntilFullyLeft) {
  CRITICAL_SECTION section;
  InitializeCriticalSection(&section);
  EnterCriticalSection(&section);
  EnterCriticalSection(&section);
  std::atomic<bool> otherGotIn{false};
  std::thread other([&] {
    EXPECT_FALSE(TryEnterCriticalSection(&section));
    EnterCriticalSection(&section);
    otherGotIn = true;
    LeaveCriticalSection(&section);
  });
  LeaveCriticalSection(&section);  // still held once
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_FALSE(otherGotIn);
  LeaveCriticalSection(&section);
  other.join();
  EXPECT_TRUE(otherGotIn);
  DeleteCriticalSection(&section);
}

TEST(CriticalSection, ProtectsAPlainCounterAcrossTwoThreads) {
  CRITICAL_SECTION section;
  InitializeCriticalSection(&section);
  int counter = 0;
  auto work = [&] {
    for (int i = 0; i < 100000; ++i) {
      EnterCriticalSection(&section);
      ++counter;
      LeaveCriticalSection(&section);
    }
  };
  std::thread a(work);
  std::thread b(work);
  a.join();
  b.join();
  EXPECT_EQ(counter, 200000);
  DeleteCriticalSection(&section);
}

}  // namespace

#include <gtest/gtest.h>
#include <windows.h>

#include <thread>

namespace {

TEST(Interlocked, ResultsAreTheNewValueOrThePreviousOne) {
  LONG volatile value = 5;
  EXPECT_EQ(InterlockedIncrement(&value), 6);
  EXPECT_EQ(InterlockedDecrement(&value), 5);
  EXPECT_EQ(InterlockedExchange(&value, 9), 5);
  EXPECT_EQ(InterlockedExchangeAdd(&value, 3), 9);
  EXPECT_EQ(InterlockedCompareExchange(&value, 1, 0), 12);  // no match: unchanged
  EXPECT_EQ(value, 12);
  EXPECT_EQ(InterlockedCompareExchange(&value, 1, 12), 12);
  EXPECT_EQ(value, 1);
  int target = 0;
  PVOID volatile pointer = nullptr;
  EXPECT_EQ(InterlockedCompareExchangePointer(&pointer, &target, nullptr), nullptr);
  EXPECT_EQ(pointer, &target);
  EXPECT_EQ(InterlockedExchangePointer(&pointer, nullptr), &target);
}

TEST(Interlocked, CountersStayExactUnderTwoThreads) {
  LONG volatile counter = 0;
  LONG volatile zeroCrossings = 0;
  auto work = [&](bool up) {
    for (int i = 0; i < 200000; ++i) {
      if (up) {
        InterlockedIncrement(&counter);
      } else if (InterlockedDecrement(&counter) == 0) {
        InterlockedIncrement(&zeroCrossings);
      }
    }
  };
  std::thread a(work, true);
  std::thread b(work, true);
  a.join();
  b.join();
  EXPECT_EQ(counter, 400000);
  std::thread c(work, false);
  std::thread d(work, false);
  c.join();
  d.join();
  EXPECT_EQ(counter, 0);
  EXPECT_EQ(zeroCrossings, 1);  // exactly one thread saw the count reach zero
}

}  // namespace

// Threads sharing the module: racing for the first class factory, then
// making and releasing objects in parallel. Meant to run under
// ThreadSanitizer as well (suite names end in ThreadsTest).
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "dll/server_module.h"
#include "testing/glimmark_client.h"

namespace {

constexpr int kThreads = 8;
constexpr int kObjectsPerThread = 10000;

TEST(ClassFactoryThreadsTest, RacingThreadsShareOneFactoryAndLeaveNoLock) {
  std::atomic<int> waiting{kThreads};
  std::vector<IClassFactory*> factories(kThreads, nullptr);
  std::vector<int> made(kThreads, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      waiting.fetch_sub(1);
      while (waiting.load() > 0) {
      }  // all threads ask for the factory at once
      DllGetClassObject(CLSID_Glimmark, IID_IClassFactory, reinterpret_cast<void**>(&factories[t]));
      if (factories[t] == nullptr) return;
      for (int i = 0; i < kObjectsPerThread; ++i) {
        IGlimmark* object = nullptr;
        if (factories[t]->CreateInstance(nullptr, IID_IGlimmark,
                                         reinterpret_cast<void**>(&object)) != S_OK) {
          return;
        }
        object->Release();
        ++made[t];
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int t = 0; t < kThreads; ++t) {
    ASSERT_NE(factories[t], nullptr);
    EXPECT_EQ(factories[t], factories[0]) << "thread " << t;
    EXPECT_EQ(made[t], kObjectsPerThread) << "thread " << t;
  }
  for (IClassFactory* factory : factories) factory->Release();
  EXPECT_EQ(ServerModule().GetLockCount(), 0);
  EXPECT_EQ(DllCanUnloadNow(), S_OK);
}

}  // namespace

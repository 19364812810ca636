// Threads of one process sharing the registry: the handle table grows, hands
// out and takes back handles under its lock while other threads resolve
// theirs, and every handle keeps naming its own key.
#include <string>
#include <thread>
#include <vector>

#include "support/scratch_registry.h"

namespace {

constexpr int kThreads = 4;
constexpr int kRounds = 40;
// Handles each thread holds open at once, so that the table grows (and moves)
// while other threads look theirs up.
constexpr int kHeldAtOnce = 24;

std::u16string KeyPath(int thread, int index) {
  const std::string path = "Threads\\t" + std::to_string(thread) + "\\k" + std::to_string(index);
  return std::u16string(path.begin(), path.end());
}

DWORD Stamp(int thread, int round, int index) {
  return static_cast<DWORD>((thread * kRounds + round) * kHeldAtOnce + index);
}

// One round: opens kHeldAtOnce keys, writes a stamp through each handle, reads
// every stamp back through a second handle, closes all and checks that a
// closed handle is refused. Returns the number of mismatches and failures.
int RunRound(int thread, int round) {
  int faults = 0;
  std::vector<HKEY> handles(kHeldAtOnce, nullptr);
  for (int i = 0; i < kHeldAtOnce; ++i) {
    faults += RegCreateKeyExW(HKEY_LOCAL_MACHINE, KeyPath(thread, i).c_str(), 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &handles[i], nullptr) != ERROR_SUCCESS;
    const DWORD stamp = Stamp(thread, round, i);
    faults += RegSetValueExW(handles[i], u"stamp", 0, REG_DWORD,
                             reinterpret_cast<const BYTE*>(&stamp), sizeof(stamp)) != ERROR_SUCCESS;
  }
  for (int i = 0; i < kHeldAtOnce; ++i) {
    HKEY again = nullptr;
    faults += RegOpenKeyExW(HKEY_LOCAL_MACHINE, KeyPath(thread, i).c_str(), 0, KEY_READ, &again) !=
              ERROR_SUCCESS;
    DWORD stamp = 0, size = sizeof(stamp);
    faults += RegQueryValueExW(again, u"stamp", nullptr, nullptr, reinterpret_cast<BYTE*>(&stamp),
                               &size) != ERROR_SUCCESS;
    faults += stamp != Stamp(thread, round, i);
    faults += RegCloseKey(again) != ERROR_SUCCESS;
  }
  for (HKEY handle : handles) faults += RegCloseKey(handle) != ERROR_SUCCESS;
  faults += RegCloseKey(handles[0]) != ERROR_INVALID_HANDLE;  // closed, whoever reused its slot
  return faults;
}

class RegistryThreads : public ScratchRegistry {};

TEST_F(RegistryThreads, HandlesStayTheirOwnWhileOtherThreadsOpenAndClose) {
  std::vector<int> faults(kThreads, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &faults] {
      for (int round = 0; round < kRounds; ++round) faults[t] += RunRound(t, round);
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(faults[t], 0) << "thread " << t;
  EXPECT_EQ(GlimmarkTest_CheckRegistryIntegrity(), ERROR_SUCCESS);
}

}  // namespace

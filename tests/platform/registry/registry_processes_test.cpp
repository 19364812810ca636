// Several processes on one registry file: concurrent writers never corrupt
// it, and a writer killed mid-call leaves every key whole or absent.
#include <signal.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>
#include <vector>

#include "support/scratch_registry.h"

namespace {

constexpr int kKeysPerWriter = 60;
// Large enough that writing it spans many database pages.
constexpr size_t kBulkBytes = 64 * 1024;

std::u16string Utf16(const std::string& text) { return std::u16string(text.begin(), text.end()); }

std::vector<BYTE> Pattern(int seed) {
  std::vector<BYTE> data(kBulkBytes);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<BYTE>(seed * 31 + i * 7);
  return data;
}

// Where a writer is killed: nowhere, or inside one of its two calls, after
// the call's changes are made and before they are committed.
enum class KillPoint { kNowhere, kCreatingTheKey, kWritingTheValue };

void KillThisProcess() { raise(SIGKILL); }

void KillBeforeNextCommitIf(bool chosen) {
  if (chosen) GlimmarkTest_BeforeNextRegistryCommit(KillThisProcess);
}

// One "registration": a key three levels deep made in one call, then a bulk
// value written in one call.
LSTATUS Register(const std::string& root, int index, KillPoint killAt = KillPoint::kNowhere) {
  const std::u16string path = Utf16(root + "\\k" + std::to_string(index) + "\\a\\b\\c");
  HKEY key = nullptr;
  KillBeforeNextCommitIf(killAt == KillPoint::kCreatingTheKey);
  LSTATUS status = RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                   nullptr, &key, nullptr);
  if (status != ERROR_SUCCESS) return status;
  const std::vector<BYTE> data = Pattern(index);
  KillBeforeNextCommitIf(killAt == KillPoint::kWritingTheValue);
  status =
      RegSetValueExW(key, u"Bulk", 0, REG_BINARY, data.data(), static_cast<DWORD>(data.size()));
  RegCloseKey(key);
  return status;
}

struct Census {
  int keys = 0;          // keys k<i> found, each holding the whole chain a\b\c
  int withoutValue = 0;  // of those, how many have no bulk value
};

// Every key k<i> under `root` must hold the whole chain a\b\c, and its value,
// when present, must be complete.
Census CheckWhole(const std::string& root) {
  Census found;
  for (int index = 0;; ++index) {
    const std::u16string top = Utf16(root + "\\k" + std::to_string(index));
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, top.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
      return found;
    }
    RegCloseKey(key);
    ++found.keys;
    const std::u16string leaf = top + u"\\a\\b\\c";
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, leaf.c_str(), 0, KEY_READ, &key), ERROR_SUCCESS)
        << "half-made key " << index;
    std::vector<BYTE> data(kBulkBytes + 1);
    DWORD size = static_cast<DWORD>(data.size());
    const LSTATUS status = RegQueryValueExW(key, u"Bulk", nullptr, nullptr, data.data(), &size);
    RegCloseKey(key);
    if (status == ERROR_FILE_NOT_FOUND) {
      ++found.withoutValue;
      continue;
    }
    EXPECT_EQ(status, ERROR_SUCCESS);
    data.resize(size);
    EXPECT_EQ(data, Pattern(index)) << "damaged value " << index;
  }
}

class RegistryProcesses : public ScratchRegistry {};

TEST_F(RegistryProcesses, TwoWritersAtOnceLoseNothing) {
  // Touch the file in the parent first: children must not reuse its connection.
  ASSERT_EQ(Register("Parent", 0), ERROR_SUCCESS);
  std::vector<pid_t> writers;
  for (const char* root : {"WriterA", "WriterB"}) {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      for (int i = 0; i < kKeysPerWriter; ++i) {
        if (Register(root, i) != ERROR_SUCCESS) _exit(1);
      }
      _exit(0);
    }
    writers.push_back(pid);
  }
  for (pid_t pid : writers) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  for (const char* root : {"WriterA", "WriterB"}) {
    EXPECT_EQ(CheckWhole(root).keys, kKeysPerWriter);
    EXPECT_EQ(CheckWhole(root).withoutValue, 0);
  }
  EXPECT_EQ(CheckWhole("Parent").keys, 1);
  EXPECT_EQ(GlimmarkTest_CheckRegistryIntegrity(), ERROR_SUCCESS);
}

TEST_F(RegistryProcesses, AForkedChildOpensTheFileAnewInsteadOfUsingItsParentsConnection) {
  ASSERT_EQ(Register("Parent", 0), ERROR_SUCCESS);  // the parent's connection is open
  // The file moves away under that connection: a connection opened now
  // finds a new, empty file at the path, the parent's still sees the key.
  const std::string moved = path_ + ".moved";
  for (const char* suffix : {"", "-wal", "-shm"}) {
    std::rename((path_ + suffix).c_str(), (moved + suffix).c_str());
  }
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) _exit(CheckWhole("Parent").keys == 0 ? 0 : 1);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
      << "the child read through its parent's connection";
  for (const char* suffix : {"", "-wal", "-shm"}) std::remove((moved + suffix).c_str());
}

// A writer makes kWholeRegistrations, then is killed inside one call of the
// next: the file keeps exactly what was committed, read through the parent's
// open connection and through a fresh one alike.
TEST_F(RegistryProcesses, AWriterKilledMidCallLeavesOnlyWhatWasCommitted) {
  constexpr int kWholeRegistrations = 5;
  const struct {
    KillPoint killAt;
    Census expected;
  } cases[] = {
      {KillPoint::kCreatingTheKey, {kWholeRegistrations, 0}},
      {KillPoint::kWritingTheValue, {kWholeRegistrations + 1, 1}},
  };
  ASSERT_EQ(Register("Parent", 0), ERROR_SUCCESS);
  int round = 0;
  for (const auto& c : cases) {
    const std::string root = "Killed" + std::to_string(round++);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      for (int i = 0; i < kWholeRegistrations; ++i) {
        if (Register(root, i) != ERROR_SUCCESS) _exit(1);
      }
      Register(root, kWholeRegistrations, c.killAt);
      _exit(2);  // not reached: the hook kills the process
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << root;
    const Census seen = CheckWhole(root);
    EXPECT_EQ(seen.keys, c.expected.keys) << root;
    EXPECT_EQ(seen.withoutValue, c.expected.withoutValue) << root;
    GlimmarkTest_UseRegistryFile(path_.c_str());
    EXPECT_EQ(GlimmarkTest_CheckRegistryIntegrity(), ERROR_SUCCESS) << root;
    const Census reopened = CheckWhole(root);
    EXPECT_EQ(reopened.keys, c.expected.keys) << root;
    EXPECT_EQ(reopened.withoutValue, c.expected.withoutValue) << root;
  }
  EXPECT_EQ(Register("Parent", 1), ERROR_SUCCESS);  // and it takes writes again
  EXPECT_EQ(CheckWhole("Parent").keys, 2);
}

}  // namespace

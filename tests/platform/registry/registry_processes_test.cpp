// Several processes on one registry file: concurrent writers never corrupt
// it, and a writer killed mid-call leaves every key whole or absent.
#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "tests/platform/registry/scratch_registry.h"

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

// One "registration": a key three levels deep made in one call, then a bulk
// value written in one call.
LSTATUS Register(const std::string& root, int index) {
  const std::u16string path = Utf16(root + "\\k" + std::to_string(index) + "\\a\\b\\c");
  HKEY key = nullptr;
  LSTATUS status = RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                   nullptr, &key, nullptr);
  if (status != ERROR_SUCCESS) return status;
  const std::vector<BYTE> data = Pattern(index);
  status =
      RegSetValueExW(key, u"Bulk", 0, REG_BINARY, data.data(), static_cast<DWORD>(data.size()));
  RegCloseKey(key);
  return status;
}

// Every key k<i> under `root` must hold the whole chain a\b\c, and its value,
// when present, must be complete. Returns how many keys were found.
int CheckWhole(const std::string& root) {
  int found = 0;
  for (int index = 0;; ++index) {
    const std::u16string top = Utf16(root + "\\k" + std::to_string(index));
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, top.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
      return found;
    }
    RegCloseKey(key);
    ++found;
    const std::u16string leaf = top + u"\\a\\b\\c";
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, leaf.c_str(), 0, KEY_READ, &key), ERROR_SUCCESS)
        << "half-made key " << index;
    std::vector<BYTE> data(kBulkBytes + 1);
    DWORD size = static_cast<DWORD>(data.size());
    const LSTATUS status = RegQueryValueExW(key, u"Bulk", nullptr, nullptr, data.data(), &size);
    RegCloseKey(key);
    if (status == ERROR_FILE_NOT_FOUND) continue;  // killed before the value call
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
  EXPECT_EQ(CheckWhole("WriterA"), kKeysPerWriter);
  EXPECT_EQ(CheckWhole("WriterB"), kKeysPerWriter);
  EXPECT_EQ(CheckWhole("Parent"), 1);
  EXPECT_EQ(GlimmarkTest_CheckRegistryIntegrity(), ERROR_SUCCESS);
}

TEST_F(RegistryProcesses, AWriterKilledMidwayLeavesWholeKeys) {
  ASSERT_EQ(Register("Parent", 0), ERROR_SUCCESS);
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    for (int i = 0;; ++i) Register("Killed", i);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(700));
  kill(pid, SIGKILL);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFSIGNALED(status));
  // The parent's open connection and a fresh one both read a sound file.
  EXPECT_GT(CheckWhole("Killed"), 0);
  GlimmarkTest_UseRegistryFile(path.c_str());
  EXPECT_EQ(GlimmarkTest_CheckRegistryIntegrity(), ERROR_SUCCESS);
  CheckWhole("Killed");
  EXPECT_EQ(Register("Parent", 1), ERROR_SUCCESS);  // and it takes writes again
}

}  // namespace

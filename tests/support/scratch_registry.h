// A registry file of the test's own, so that test cases running in parallel
// never share one: named after the scratch file from the environment and the
// process id, removed (with its WAL files) at the end.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "glimmark_test_seams.h"
#include "winreg.h"

class ScratchRegistry : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* base = std::getenv("GLIMMARK_REGISTRY");
    path_ = std::string(base != nullptr ? base : "/tmp/glimmark-registry-test") + "." +
            std::to_string(getpid()) + ".db";
    RemoveFiles();
    GlimmarkTest_UseRegistryFile(path_.c_str());
  }
  void TearDown() override {
    GlimmarkTest_UseRegistryFile(nullptr);
    RemoveFiles();
  }
  void RemoveFiles() {
    for (const char* suffix : {"", "-wal", "-shm"}) std::remove((path_ + suffix).c_str());
  }
  std::string path_;
};

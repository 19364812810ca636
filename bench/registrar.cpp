// Applying and removing the component's class script in a fresh registry
// file: one iteration is one registration and one unregistration.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "glimmark_test_seams.h"
#include "server/registrar/reg_object.h"
#include "server/registry_scripts.h"

namespace {

void RemoveFiles(const std::string& path) {
  for (const char* suffix : {"", "-wal", "-shm"}) std::remove((path + suffix).c_str());
}

void BM_ClassScriptRoundTrip(benchmark::State& state) {
  const std::string path = "/tmp/glimmark-bench-registrar." + std::to_string(getpid()) + ".db";
  RemoveFiles(path);
  GlimmarkTest_UseRegistryFile(path.c_str());
  CRegObject registrar;
  registrar.DefineVariable(u"APPID", u"{0F29AA7F-55FD-4FF4-B18E-5A333AA8235A}");
  registrar.DefineVariable(u"Module", u"/usr/lib/glimmark/libglimmark.so");
  registrar.DefineVariable(u"Module_Raw", u"/usr/lib/glimmark/libglimmark.so");
  for (auto _ : state) {
    if (registrar.ApplyScript(kRegistryScript_glimmark, TRUE) != S_OK ||
        registrar.ApplyScript(kRegistryScript_glimmark, FALSE) != S_OK) {
      state.SkipWithError("registration failed");
      break;
    }
  }
  GlimmarkTest_UseRegistryFile(nullptr);
  RemoveFiles(path);
}
BENCHMARK(BM_ClassScriptRoundTrip)->Unit(benchmark::kMillisecond);

}  // namespace

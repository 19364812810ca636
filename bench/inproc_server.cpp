// Making objects as a COM client does: CoCreateInstance of the built library
// (already loaded) with a first call and the release, and one object from a
// class factory the client holds.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "component/glimmark_interface.h"
#include "glimmark_test_seams.h"

namespace {

// A registry file of the benchmark's own with the class registered for the
// built library, and a thread in an apartment.
class RegisteredServer {
 public:
  RegisteredServer() {
    path_ = "/tmp/glimmark-bench-registry." + std::to_string(getpid()) + ".db";
    GlimmarkTest_UseRegistryFile(path_.c_str());
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    WCHAR clsid[39];
    StringFromGUID2(CLSID_Glimmark, clsid, 39);
    const std::u16string key = std::u16string(u"CLSID\\") + clsid + u"\\InprocServer32";
    const std::string library = GLIMMARK_SERVER_LIBRARY;
    const std::u16string value(library.begin(), library.end());
    HKEY server = nullptr;
    RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &server,
                    nullptr);
    RegSetValueExW(server, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(char16_t)));
    RegCloseKey(server);
  }
  ~RegisteredServer() {
    CoFreeUnusedLibraries();
    CoUninitialize();
    GlimmarkTest_UseRegistryFile(nullptr);
    for (const char* suffix : {"", "-wal", "-shm"}) std::remove((path_ + suffix).c_str());
  }

 private:
  std::string path_;
};

void FirstCallAndRelease(IGlimmark* object, benchmark::State& state) {
  if (object == nullptr) {
    state.SkipWithError("no object");
    return;
  }
  LONG age = 0;
  object->get_EncryptionAge(&age);
  benchmark::DoNotOptimize(age);
  object->Release();
}

void BM_CoCreateInstanceCallRelease(benchmark::State& state) {
  RegisteredServer server;
  IGlimmark* keepLoaded = nullptr;  // the library stays loaded between iterations
  CoCreateInstance(CLSID_Glimmark, nullptr, CLSCTX_INPROC_SERVER, IID_IGlimmark,
                   reinterpret_cast<void**>(&keepLoaded));
  for (auto _ : state) {
    IGlimmark* object = nullptr;
    CoCreateInstance(CLSID_Glimmark, nullptr, CLSCTX_INPROC_SERVER, IID_IGlimmark,
                     reinterpret_cast<void**>(&object));
    FirstCallAndRelease(object, state);
  }
  if (keepLoaded != nullptr) keepLoaded->Release();
}
BENCHMARK(BM_CoCreateInstanceCallRelease);

void BM_HeldFactoryCreateCallRelease(benchmark::State& state) {
  RegisteredServer server;
  IClassFactory* factory = nullptr;
  CoGetClassObject(CLSID_Glimmark, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                   reinterpret_cast<void**>(&factory));
  if (factory == nullptr) {
    state.SkipWithError("no class factory");
    return;
  }
  for (auto _ : state) {
    IGlimmark* object = nullptr;
    factory->CreateInstance(nullptr, IID_IGlimmark, reinterpret_cast<void**>(&object));
    FirstCallAndRelease(object, state);
  }
  factory->Release();
}
BENCHMARK(BM_HeldFactoryCreateCallRelease);

}  // namespace

// Making objects as a COM client does: CoCreateInstance of the built library
// (already loaded) with a first call and the release, and one object from a
// class factory the client holds; the look-ups a page host makes for each
// object (the class by ProgID, then its factory) and the type library by
// its registration.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "component/glimmark_interface.h"
#include "glimmark_test_seams.h"

namespace {

// A registry file of the benchmark's own with the built library registered
// by its own DllRegisterServer (class, ProgID, type library), and a thread in
// an apartment.
class RegisteredServer {
 public:
  RegisteredServer() {
    path_ = "/tmp/glimmark-bench-registry." + std::to_string(getpid()) + ".db";
    GlimmarkTest_UseRegistryFile(path_.c_str());
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const std::string library = GLIMMARK_SERVER_LIBRARY;
    const std::u16string path(library.begin(), library.end());
    HMODULE module = LoadLibraryW(path.c_str());
    using RegisterFunction = HRESULT(STDAPICALLTYPE*)();
    auto registerServer = module == nullptr
                              ? nullptr
                              : reinterpret_cast<RegisterFunction>(reinterpret_cast<void (*)()>(
                                    GetProcAddress(module, "DllRegisterServer")));
    registered_ = registerServer != nullptr && registerServer() == S_OK;
    if (module != nullptr) FreeLibrary(module);
  }
  bool Registered() const { return registered_; }
  ~RegisteredServer() {
    CoFreeUnusedLibraries();
    CoUninitialize();
    GlimmarkTest_UseRegistryFile(nullptr);
    for (const char* suffix : {"", "-wal", "-shm"}) std::remove((path_ + suffix).c_str());
  }

 private:
  std::string path_;
  bool registered_ = false;
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

// What a page host does for every object it makes by name: the ProgID's
// class, then that class's factory (its library already loaded).
void BM_ClassLookUpByProgId(benchmark::State& state) {
  RegisteredServer server;
  if (!server.Registered()) {
    state.SkipWithError("registration failed");
    return;
  }
  for (auto _ : state) {
    CLSID clsid{};
    IClassFactory* factory = nullptr;
    CLSIDFromProgID(u"tolvek.Glimmark", &clsid);
    CoGetClassObject(clsid, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                     reinterpret_cast<void**>(&factory));
    if (factory == nullptr) {
      state.SkipWithError("no class factory");
      return;
    }
    factory->Release();
  }
}
BENCHMARK(BM_ClassLookUpByProgId)->Unit(benchmark::kMicrosecond);

// The type library by its registration. range(0) = 1: another reference
// is held meanwhile, as the server's type-info holder holds it while its
// module is loaded, so the loaded library is handed out again; 0: nobody
// else holds it, so each call reads and decodes the file.
void BM_LoadRegTypeLib(benchmark::State& state) {
  RegisteredServer server;
  if (!server.Registered()) {
    state.SkipWithError("registration failed");
    return;
  }
  constexpr LCID kEnglishUs = 0x409;  // the locale the library registers under
  ITypeLib* held = nullptr;
  if (state.range(0) != 0) LoadRegTypeLib(LIBID_GlimmarkPrjLib, 1, 0, kEnglishUs, &held);
  for (auto _ : state) {
    ITypeLib* library = nullptr;
    const HRESULT hr = LoadRegTypeLib(LIBID_GlimmarkPrjLib, 1, 0, kEnglishUs, &library);
    if (library == nullptr) {
      state.SkipWithError(("no type library: " + std::to_string(hr)).c_str());
      break;
    }
    library->Release();
  }
  if (held != nullptr) held->Release();
}
BENCHMARK(BM_LoadRegTypeLib)->ArgName("held")->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond);

}  // namespace

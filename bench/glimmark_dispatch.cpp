// Late-bound calls against early-bound ones on the component itself, made
// and registered as a script host finds it: GetIDsOfNames answered from the
// name cache and through the type information, Invoke of SetSize (two longs)
// and of the Text property, beside the same vtable calls.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "component/glimmark_interface.h"
#include "glimmark_test_seams.h"

namespace {

// The built library registered (script, class, type library) into a registry
// file of the benchmark's own, one object made by ProgID in an apartment.
class RegisteredObject {
 public:
  RegisteredObject() {
    path_ = "/tmp/glimmark-bench-dispatch." + std::to_string(getpid()) + ".db";
    GlimmarkTest_UseRegistryFile(path_.c_str());
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const std::string file = GLIMMARK_SERVER_LIBRARY;
    library_ = LoadLibraryW(std::u16string(file.begin(), file.end()).c_str());
    using Entry = HRESULT(STDAPICALLTYPE*)();
    auto reg = reinterpret_cast<Entry>(
        reinterpret_cast<void (*)()>(GetProcAddress(library_, "DllRegisterServer")));
    CLSID clsid{};
    if (reg != nullptr && SUCCEEDED(reg()) &&
        SUCCEEDED(CLSIDFromProgID(u"tolvek.Glimmark", &clsid))) {
      CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IGlimmark,
                       reinterpret_cast<void**>(&object_));
    }
  }
  ~RegisteredObject() {
    if (object_ != nullptr) object_->Release();
    if (library_ != nullptr) FreeLibrary(library_);
    CoFreeUnusedLibraries();
    CoUninitialize();
    GlimmarkTest_UseRegistryFile(nullptr);
    for (const char* suffix : {"", "-wal", "-shm"}) std::remove((path_ + suffix).c_str());
  }
  IGlimmark* Object() const { return object_; }

 private:
  std::string path_;
  HMODULE library_ = nullptr;
  IGlimmark* object_ = nullptr;
};

RegisteredObject& Registered() {
  static RegisteredObject registered;
  return registered;
}

void LookUp(benchmark::State& state, const char16_t* name) {
  IGlimmark* object = Registered().Object();
  if (object == nullptr) return state.SkipWithError("the object could not be made");
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  DISPID id = 0;
  for (auto _ : state) {
    object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    benchmark::DoNotOptimize(id);
  }
}

void BM_GetIDsOfNames_Cached(benchmark::State& state) { LookUp(state, u"SetSize"); }
void BM_GetIDsOfNames_TypeInfo(benchmark::State& state) { LookUp(state, u"setsize"); }

void BM_Invoke_SetSize(benchmark::State& state) {
  IGlimmark* object = Registered().Object();
  if (object == nullptr) return state.SkipWithError("the object could not be made");
  VARIANT arguments[2];
  for (VARIANT& argument : arguments) {
    VariantInit(&argument);
    argument.vt = VT_I4;
  }
  arguments[0].lVal = 70;  // right to left: Height, then Width
  arguments[1].lVal = 200;
  DISPPARAMS params = {arguments, nullptr, 2, 0};
  for (auto _ : state) {
    benchmark::DoNotOptimize(object->Invoke(kDispIdSetSize, IID_NULL, LOCALE_USER_DEFAULT,
                                            DISPATCH_METHOD, &params, nullptr, nullptr, nullptr));
  }
}

void BM_Vtable_SetSize(benchmark::State& state) {
  IGlimmark* object = Registered().Object();
  if (object == nullptr) return state.SkipWithError("the object could not be made");
  for (auto _ : state) benchmark::DoNotOptimize(object->SetSize(200, 70));
}

void BM_Invoke_TextGet(benchmark::State& state) {
  IGlimmark* object = Registered().Object();
  if (object == nullptr) return state.SkipWithError("the object could not be made");
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  for (auto _ : state) {
    VARIANT text;
    VariantInit(&text);
    object->Invoke(kDispIdText, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, &text,
                   nullptr, nullptr);
    VariantClear(&text);
  }
}

void BM_Vtable_TextGet(benchmark::State& state) {
  IGlimmark* object = Registered().Object();
  if (object == nullptr) return state.SkipWithError("the object could not be made");
  for (auto _ : state) {
    BSTR text = nullptr;
    object->get_Text(&text);
    SysFreeString(text);
  }
}

BENCHMARK(BM_GetIDsOfNames_Cached);
BENCHMARK(BM_GetIDsOfNames_TypeInfo);
BENCHMARK(BM_Invoke_SetSize);
BENCHMARK(BM_Vtable_SetSize);
BENCHMARK(BM_Invoke_TextGet);
BENCHMARK(BM_Vtable_TextGet);

}  // namespace

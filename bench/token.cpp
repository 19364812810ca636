// EncryptedText get and put of the default text "Captcha Test" through the
// object, as a page calls them. The get includes making and freeing the
// returned string; nothing else allocates (tests/component checks that).
#include <benchmark/benchmark.h>

#include "component/cglimmark.h"
#include "testing/glimmark_client.h"

namespace {

class ObjectWithPassword {
 public:
  ObjectWithPassword() {
    CreateGlimmark(&object_);
    BSTR password = SysAllocString(OLESTR("s3cret"));
    object_->SetPassword(password);
    SysFreeString(password);
  }
  ~ObjectWithPassword() { object_->Release(); }
  IGlimmark* operator->() { return object_; }

 private:
  IGlimmark* object_ = nullptr;
};

void BM_EncryptedTextGet(benchmark::State& state) {
  ObjectWithPassword object;
  for (auto _ : state) {
    BSTR token = nullptr;
    object->get_EncryptedText(&token);
    benchmark::DoNotOptimize(token);
    SysFreeString(token);
  }
}

void BM_EncryptedTextPut(benchmark::State& state) {
  ObjectWithPassword object;
  BSTR token = nullptr;
  object->get_EncryptedText(&token);
  for (auto _ : state) {
    object->put_EncryptedText(token);
    benchmark::ClobberMemory();
  }
  SysFreeString(token);
}

void BM_SetPassword(benchmark::State& state) {
  ObjectWithPassword object;
  BSTR password = SysAllocString(OLESTR("another"));
  for (auto _ : state) {
    object->SetPassword(password);
    benchmark::ClobberMemory();
  }
  SysFreeString(password);
}

BENCHMARK(BM_EncryptedTextGet);
BENCHMARK(BM_EncryptedTextPut);
BENCHMARK(BM_SetPassword);

}  // namespace

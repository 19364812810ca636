// Feeds arbitrary registry scripts to the registrar, registering and
// unregistering them against a scratch registry file ($GLIMMARK_REGISTRY),
// emptied before every input so that each run starts from the same state.
#include <cstddef>
#include <cstdint>
#include <string>

#include "glimmark_test_seams.h"
#include "server/registrar/reg_object.h"

namespace {

// First byte: bit 0 registers, bit 1 unregisters afterwards, bit 2 turns on
// the per-user rewrite, bit 3 reads the rest as UTF-16 (else one unit a byte,
// which lets the fuzzer reach the ASCII grammar quickly).
constexpr uint8_t kRegister = 1;
constexpr uint8_t kUnregister = 2;
constexpr uint8_t kPerUser = 4;
constexpr uint8_t kWideText = 8;

std::u16string ScriptFrom(const uint8_t* data, size_t size, bool wide) {
  std::u16string script;
  if (wide) {
    for (size_t i = 0; i + 1 < size; i += 2) {
      script.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
    }
  } else {
    script.assign(data, data + size);
  }
  // The registrar reads up to the first null unit, as from a C string.
  return script;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t mode = data[0];
  const std::u16string script = ScriptFrom(data + 1, size - 1, (mode & kWideText) != 0);
  GlimmarkTest_ClearRegistry();
  perUserRegistration = (mode & kPerUser) != 0;
  CRegObject registrar;
  registrar.DefineVariable(u"Module", u"/opt/o''brien/libglimmark.so");
  registrar.DefineVariable(u"APPID", u"{6C0D3A8E-4F2B-4B8E-9A51-2D7C9E0B1F34}");
  registrar.DefineVariable(u"Brace", u"{ x }");
  if (mode & kRegister) registrar.ApplyScript(script.c_str(), TRUE);
  if (mode & kUnregister) registrar.ApplyScript(script.c_str(), FALSE);
  return 0;
}

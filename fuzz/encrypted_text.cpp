// Feeds arbitrary UTF-16 (the input bytes, low byte first) to EncryptedText
// put on one long-lived object, then reads Text, EncryptedText and
// EncryptionAge. Fails when the restored text is not a string within its
// 100 units or when Text disagrees with the record.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "component/cglimmark.h"
#include "testing/glimmark_client.h"

namespace {

CGlimmark* SharedObject() {
  static CGlimmark* object = [] {
    IGlimmark* created = nullptr;
    if (CreateGlimmark(&created) != S_OK) std::abort();
    CGlimmark* made = Implementation(created);
    BSTR password = SysAllocString(OLESTR("fuzzing"));
    made->SetPassword(password);
    SysFreeString(password);
    return made;
  }();
  return object;
}

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CGlimmark* object = SharedObject();
  std::vector<OLECHAR> units(size / 2);
  for (size_t i = 0; i < units.size(); ++i) {
    units[i] = static_cast<OLECHAR>(data[2 * i] | (data[2 * i + 1] << 8));
  }
  BSTR value = SysAllocStringLen(units.data(), static_cast<UINT>(units.size()));
  Check(object->put_EncryptedText(value) == S_OK);
  SysFreeString(value);

  const OLECHAR* text = object->Settings()->text;
  size_t length = 0;
  while (length < kTextCapacity && text[length] != 0) ++length;
  Check(length < kTextCapacity);

  BSTR readText = nullptr;
  Check(object->get_Text(&readText) == S_OK);
  Check(SysStringLen(readText) == length);
  SysFreeString(readText);

  BSTR token = nullptr;
  Check(object->get_EncryptedText(&token) == S_OK);
  const UINT digits = SysStringLen(token);
  Check(digits % 3 == 0 && digits >= 24 && digits <= 99);
  SysFreeString(token);

  LONG age = 0;
  Check(object->get_EncryptionAge(&age) == S_OK);
  return 0;
}

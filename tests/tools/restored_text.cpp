#include "restored_text.h"

#include "component/cglimmark.h"
#include "dll/glimmark_client.h"

std::string RestoredText(const std::u16string& password, const std::string& token) {
  IGlimmark* object = nullptr;
  if (FAILED(CreateGlimmark(&object))) return "";
  BSTR key = SysAllocString(password.c_str());
  object->SetPassword(key);
  SysFreeString(key);
  std::u16string wide(token.begin(), token.end());
  BSTR value = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
  object->put_EncryptedText(value);
  SysFreeString(value);
  BSTR text = nullptr;
  object->get_Text(&text);
  std::string narrow;
  for (UINT i = 0; text != nullptr && i < SysStringLen(text); ++i)
    narrow.push_back(static_cast<char>(text[i]));
  SysFreeString(text);
  object->Release();
  return narrow;
}

#include "restored_text.h"

#include <regex>

#include "component/cglimmark.h"
#include "testing/glimmark_client.h"

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

std::string AnswerOfEnvelope(const HostKey& key, const std::u16string& password,
                             const std::string& envelope) {
  const auto contents = OpenEnvelope(key, envelope);
  return contents ? RestoredText(password, contents->token) : "";
}

std::string EnvelopeInForm(const std::string& page) {
  static const std::regex field("name=\"token\" value=\"([A-Za-z0-9_-]+)\"");
  std::smatch match;
  return std::regex_search(page, match, field) ? match[1].str() : "";
}

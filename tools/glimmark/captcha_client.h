// The glimmark tool's handle on one captcha object: made and released here,
// called only through its IGlimmark interface with automation strings, the
// way a page script calls it. Strings cross as UTF-16.
#pragma once

#include <ole2.h>
#include <windows.h>

#include <string>

struct IGlimmark;

class CaptchaClient {
 public:
  // Makes the object; Ok() tells whether that worked, CreationResult() why not.
  CaptchaClient();
  ~CaptchaClient();
  CaptchaClient(const CaptchaClient&) = delete;
  CaptchaClient& operator=(const CaptchaClient&) = delete;

  bool Ok() const { return object_ != nullptr; }
  HRESULT CreationResult() const { return creation_; }

  // Each returns the operation's HRESULT, or E_OUTOFMEMORY when a string
  // cannot be made (including a null string handed back by a get).
  HRESULT SetPassword(const std::u16string& password);
  HRESULT PutText(const std::u16string& text);
  HRESULT GetText(std::u16string& text);
  HRESULT GetEncryptedText(std::u16string& token);
  HRESULT PutEncryptedText(const std::u16string& token);
  HRESULT GetEncryptionAge(LONG& age);

 private:
  IGlimmark* object_ = nullptr;
  HRESULT creation_ = S_OK;
};

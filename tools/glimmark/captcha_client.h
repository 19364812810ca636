// The glimmark tool's handle on one captcha object: made and released here,
// called only through its IGlimmark interface with automation strings, the
// way a page script calls it. Strings cross as UTF-16.
#pragma once

#include <ole2.h>
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

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
  HRESULT SaveToFile(const std::u16string& fileName);
  // The encoded picture's bytes, from the byte-array variant SaveToVar gives.
  HRESULT SaveToBytes(std::vector<uint8_t>& bytes);

  // The settings operations take plain values: called straight on the object.
  IGlimmark& Object() { return *object_; }

  // The description of the error information the last failed call posted on
  // this thread, taken over (empty when there is none).
  static std::u16string TakeErrorDescription();

 private:
  IGlimmark* object_ = nullptr;
  HRESULT creation_ = S_OK;
};

// A result code as the tools print it: "0x" and eight upper-case hex digits.
std::string ResultText(HRESULT hr);

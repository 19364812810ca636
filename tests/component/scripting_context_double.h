// A scripting context for tests of the page events: a real reference-counted
// COM object that hands out five recording page objects, logs every call
// made on it and on them (getters, QueryInterface, response writes, releases)
// in one ordered list, and can be told to fail any one of its five getters.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/pagehost/intrinsic_base.h"

// The getters in the order a page start calls them.
enum class ContextGetter { kRequest, kResponse, kServer, kSession, kApplication, kNone };

using CallLog = std::vector<std::string>;

// A page object that logs "Release <name>" on each release.
template <typename Defaults>
class RecordingObject : public Defaults {
 public:
  RecordingObject(const char* name, CallLog& log) : name_(name), log_(log) {}
  ULONG STDMETHODCALLTYPE Release() noexcept override {
    log_.push_back(std::string("Release ") + name_);
    return Defaults::Release();
  }

 protected:
  const char* name_;
  CallLog& log_;
};

// The response keeps what a page would send: the content type and the body.
class RecordingResponse : public RecordingObject<ResponseDefaults> {
 public:
  RecordingResponse(CallLog& log) : RecordingObject("Response", log) {}
  HRESULT STDMETHODCALLTYPE put_ContentType(BSTR type) noexcept override;
  HRESULT STDMETHODCALLTYPE BinaryWrite(VARIANT input) noexcept override;

  std::string contentType;
  std::vector<uint8_t> body;
  HRESULT answer = S_OK;  // what put_ContentType and BinaryWrite return
};

class ScriptingContextDouble : public ScriptingContextDefaults {
 public:
  // `failing` names the getter that answers `failure` instead of an object.
  explicit ScriptingContextDouble(ContextGetter failing = ContextGetter::kNone,
                                  HRESULT failure = E_FAIL);

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) noexcept override;
  // Logs "Release ScriptingContext" when logOwnReleases is set.
  ULONG STDMETHODCALLTYPE Release() noexcept override;
  HRESULT STDMETHODCALLTYPE get_Request(IRequest** out) noexcept override;
  HRESULT STDMETHODCALLTYPE get_Response(IResponse** out) noexcept override;
  HRESULT STDMETHODCALLTYPE get_Server(IServer** out) noexcept override;
  HRESULT STDMETHODCALLTYPE get_Session(ISessionObject** out) noexcept override;
  HRESULT STDMETHODCALLTYPE get_Application(IApplicationObject** out) noexcept override;

  // Reference counts of the five page objects, in getter order; 1 is the
  // context's own.
  std::vector<ULONG> PageObjectReferences() const;

  CallLog log;
  bool logOwnReleases = false;
  RecordingResponse* response;

 protected:
  ~ScriptingContextDouble() override;

 private:
  template <typename Object, typename Interface>
  HRESULT HandOut(ContextGetter getter, const char* name, Object* object, Interface** out);

  ContextGetter failing_;
  HRESULT failure_;
  RecordingObject<RequestDefaults>* request_;
  RecordingObject<ServerDefaults>* server_;
  RecordingObject<SessionDefaults>* session_;
  RecordingObject<ApplicationDefaults>* application_;
};

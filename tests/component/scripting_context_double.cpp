#include "scripting_context_double.h"

HRESULT RecordingResponse::put_ContentType(BSTR type) noexcept {
  log_.push_back("put_ContentType");
  contentType.clear();
  for (UINT i = 0; type != nullptr && i < SysStringLen(type); ++i) {
    contentType.push_back(static_cast<char>(type[i]));
  }
  return answer;
}

HRESULT RecordingResponse::BinaryWrite(VARIANT input) noexcept {
  log_.push_back("BinaryWrite");
  if (input.vt != (VT_ARRAY | VT_UI1) || input.parray == nullptr) return answer;
  LONG upper = -1;
  SafeArrayGetUBound(input.parray, 1, &upper);
  void* data = nullptr;
  if (SUCCEEDED(SafeArrayAccessData(input.parray, &data))) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    body.insert(body.end(), bytes, bytes + (upper + 1));
    SafeArrayUnaccessData(input.parray);
  }
  return answer;
}

ScriptingContextDouble::ScriptingContextDouble(ContextGetter failing, HRESULT failure)
    : response(new RecordingResponse(log)),
      failing_(failing),
      failure_(failure),
      request_(new RecordingObject<RequestDefaults>("Request", log)),
      server_(new RecordingObject<ServerDefaults>("Server", log)),
      session_(new RecordingObject<SessionDefaults>("Session", log)),
      application_(new RecordingObject<ApplicationDefaults>("Application", log)) {}

ScriptingContextDouble::~ScriptingContextDouble() {
  request_->Release();
  response->Release();
  server_->Release();
  session_->Release();
  application_->Release();
}

HRESULT ScriptingContextDouble::QueryInterface(REFIID riid, void** object) noexcept {
  log.push_back(riid == IID_IScriptingContext ? "QueryInterface IScriptingContext"
                                              : "QueryInterface other");
  return ScriptingContextDefaults::QueryInterface(riid, object);
}

ULONG ScriptingContextDouble::Release() noexcept {
  if (logOwnReleases) log.push_back("Release ScriptingContext");
  return ScriptingContextDefaults::Release();
}

template <typename Object, typename Interface>
HRESULT ScriptingContextDouble::HandOut(ContextGetter getter, const char* name, Object* object,
                                        Interface** out) {
  log.push_back(std::string("get_") + name);
  if (getter == failing_) {
    *out = nullptr;
    return failure_;
  }
  object->AddRef();
  *out = object;
  return S_OK;
}

HRESULT ScriptingContextDouble::get_Request(IRequest** out) noexcept {
  return HandOut(ContextGetter::kRequest, "Request", request_, out);
}
HRESULT ScriptingContextDouble::get_Response(IResponse** out) noexcept {
  return HandOut(ContextGetter::kResponse, "Response", response, out);
}
HRESULT ScriptingContextDouble::get_Server(IServer** out) noexcept {
  return HandOut(ContextGetter::kServer, "Server", server_, out);
}
HRESULT ScriptingContextDouble::get_Session(ISessionObject** out) noexcept {
  return HandOut(ContextGetter::kSession, "Session", session_, out);
}
HRESULT ScriptingContextDouble::get_Application(IApplicationObject** out) noexcept {
  return HandOut(ContextGetter::kApplication, "Application", application_, out);
}

std::vector<ULONG> ScriptingContextDouble::PageObjectReferences() const {
  return {request_->References(), response->References(), server_->References(),
          session_->References(), application_->References()};
}

#include "tools/pagehost/http_intrinsics.h"

#include <new>

#include "tools/pagehost/intrinsic_base.h"

namespace {

// Longest content type kept: a header value, not a body.
constexpr UINT kMaxContentTypeLength = 256;

class HttpResponse : public ResponseDefaults {
 public:
  explicit HttpResponse(PageReply& reply) : reply_(reply) {}

  HRESULT STDMETHODCALLTYPE get_ContentType(BSTR* type) noexcept override {
    if (type == nullptr) return E_POINTER;
    std::u16string wide(reply_.contentType.begin(), reply_.contentType.end());
    *type = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
    return *type != nullptr ? S_OK : E_OUTOFMEMORY;
  }

  // Only printable ASCII makes a header value; anything else is refused so
  // that a page cannot split the reply's headers.
  HRESULT STDMETHODCALLTYPE put_ContentType(BSTR type) noexcept override {
    const UINT length = SysStringLen(type);
    if (length > kMaxContentTypeLength) return E_INVALIDARG;
    std::string narrow;
    for (UINT i = 0; i < length; ++i) {
      if (type[i] < 0x20 || type[i] > 0x7E) return E_INVALIDARG;
      narrow.push_back(static_cast<char>(type[i]));
    }
    reply_.contentType = narrow;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE BinaryWrite(VARIANT input) noexcept override {
    if (input.vt != (VT_ARRAY | VT_UI1) || input.parray == nullptr) return E_INVALIDARG;
    if (SafeArrayGetDim(input.parray) != 1) return E_INVALIDARG;
    LONG lower = 0, upper = -1;
    SafeArrayGetLBound(input.parray, 1, &lower);
    SafeArrayGetUBound(input.parray, 1, &upper);
    void* data = nullptr;
    HRESULT hr = SafeArrayAccessData(input.parray, &data);
    if (FAILED(hr)) return hr;
    const size_t count = upper >= lower ? static_cast<size_t>(upper - lower) + 1 : 0;
    reply_.body.append(static_cast<const char*>(data), count);
    SafeArrayUnaccessData(input.parray);
    return S_OK;
  }

  // Text goes out as UTF-8 (the host's pages declare that charset).
  HRESULT STDMETHODCALLTYPE Write(VARIANT text) noexcept override {
    if (text.vt != VT_BSTR) return DISP_E_TYPEMISMATCH;
    const int length = static_cast<int>(SysStringLen(text.bstrVal));
    if (length == 0) return S_OK;
    const int bytes =
        WideCharToMultiByte(CP_UTF8, 0, text.bstrVal, length, nullptr, 0, nullptr, nullptr);
    if (bytes == 0) return E_OUTOFMEMORY;  // more than an int's worth of bytes
    const size_t start = reply_.body.size();
    reply_.body.resize(start + static_cast<size_t>(bytes));
    WideCharToMultiByte(CP_UTF8, 0, text.bstrVal, length, reply_.body.data() + start, bytes,
                        nullptr, nullptr);
    return S_OK;
  }

 private:
  PageReply& reply_;
};

class HttpRequest : public RequestDefaults {
 public:
  explicit HttpRequest(LONG bytes) : bytes_(bytes) {}
  HRESULT STDMETHODCALLTYPE get_TotalBytes(LONG* total) noexcept override {
    if (total == nullptr) return E_POINTER;
    *total = bytes_;
    return S_OK;
  }

 private:
  LONG bytes_;
};

// Hands out its objects with a reference added for the caller; holds its own
// until it goes.
class HttpScriptingContext : public ScriptingContextDefaults {
 public:
  HttpScriptingContext(HttpRequest* request, HttpResponse* response, ServerDefaults* server,
                       SessionDefaults* session, ApplicationDefaults* application)
      : request_(request),
        response_(response),
        server_(server),
        session_(session),
        application_(application) {}

  bool Complete() const { return request_ && response_ && server_ && session_ && application_; }

  HRESULT STDMETHODCALLTYPE get_Request(IRequest** out) noexcept override {
    return HandOut(request_, out);
  }
  HRESULT STDMETHODCALLTYPE get_Response(IResponse** out) noexcept override {
    return HandOut(response_, out);
  }
  HRESULT STDMETHODCALLTYPE get_Server(IServer** out) noexcept override {
    return HandOut(server_, out);
  }
  HRESULT STDMETHODCALLTYPE get_Session(ISessionObject** out) noexcept override {
    return HandOut(session_, out);
  }
  HRESULT STDMETHODCALLTYPE get_Application(IApplicationObject** out) noexcept override {
    return HandOut(application_, out);
  }

  template <typename Object>
  static void ReleaseIfHeld(Object* object) {
    if (object != nullptr) object->Release();
  }

 protected:
  ~HttpScriptingContext() override {
    ReleaseIfHeld(request_);
    ReleaseIfHeld(response_);
    ReleaseIfHeld(server_);
    ReleaseIfHeld(session_);
    ReleaseIfHeld(application_);
  }

 private:
  template <typename Object, typename Interface>
  static HRESULT HandOut(Object* object, Interface** out) {
    if (out == nullptr) return E_POINTER;
    object->AddRef();
    *out = object;
    return S_OK;
  }
  HttpRequest* request_;
  HttpResponse* response_;
  ServerDefaults* server_;
  SessionDefaults* session_;
  ApplicationDefaults* application_;
};

}  // namespace

IScriptingContext* NewHttpScriptingContext(PageReply& reply, LONG requestBytes) {
  auto* request = new (std::nothrow) HttpRequest(requestBytes);
  auto* response = new (std::nothrow) HttpResponse(reply);
  auto* server = new (std::nothrow) ServerDefaults();
  auto* session = new (std::nothrow) SessionDefaults();
  auto* application = new (std::nothrow) ApplicationDefaults();
  // The context takes the five references over, also when it is incomplete.
  auto* context =
      new (std::nothrow) HttpScriptingContext(request, response, server, session, application);
  if (context == nullptr) {
    HttpScriptingContext::ReleaseIfHeld(request);
    HttpScriptingContext::ReleaseIfHeld(response);
    HttpScriptingContext::ReleaseIfHeld(server);
    HttpScriptingContext::ReleaseIfHeld(session);
    HttpScriptingContext::ReleaseIfHeld(application);
    return nullptr;
  }
  if (!context->Complete()) {
    context->Release();
    return nullptr;
  }
  return context;
}

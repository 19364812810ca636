// LoadTypeLib: reads a file into one bounded buffer and decodes it.
#include "ole/typelib/type_library_loading.h"

#include <atomic>
#include <fstream>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "gdiplus/text/utf16.h"
#include "glimmark_test_seams.h"
#include "libloaderapi.h"
#include "ole/typelib/msft_format.h"
#include "ole/typelib/msft_reader.h"
#include "ole/typelib/type_library_objects.h"
#include "oleauto.h"

namespace glimmark::ole {
namespace {

constexpr size_t kMaxPathUnits = 32767;  // Windows' longest path
std::atomic<LONG> libraryLoads{0};       // GlimmarkTest_TypeLibraryLoads
// A module carries its type library as resource "TYPELIB" 1.
constexpr WORD kTypeLibResourceId = 1;

// Reads the whole file at `path` (UTF-8); a file over kMaxTypeLibraryBytes
// is refused before anything is read.
HRESULT ReadWholeFile(const std::string& path, std::vector<uint8_t>* bytes) {
  std::ifstream file(path, std::ios::binary | std::ios::ate);
  if (!file) return TYPE_E_CANTLOADLIBRARY;
  const std::streamoff size = file.tellg();
  if (size < 0) return TYPE_E_CANTLOADLIBRARY;
  if (static_cast<uint64_t>(size) > kMaxTypeLibraryBytes) return TYPE_E_INVDATAREAD;
  bytes->resize(static_cast<size_t>(size));
  file.seekg(0);
  file.read(reinterpret_cast<char*>(bytes->data()), size);
  return file ? S_OK : TYPE_E_CANTLOADLIBRARY;
}

}  // namespace

HRESULT LoadTypeLibFromBytes(std::span<const uint8_t> bytes, ITypeLib** out) noexcept {
  try {
    auto data = std::make_shared<LibraryData>();
    const HRESULT hr = ReadMsft(bytes, data.get());
    if (FAILED(hr)) return hr;
    libraryLoads.fetch_add(1, std::memory_order_relaxed);
    return TypeLibObject::Create(std::move(data), out);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT LoadTypeLibFromModuleResource(LPCOLESTR path, ITypeLib** out) noexcept {
  *out = nullptr;
  // The module is opened as data only: nothing of it runs, and its resource
  // bytes are decoded into our own records before it is let go.
  const HMODULE module = LoadLibraryExW(path, nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (module == nullptr) return TYPE_E_CANTLOADLIBRARY;
  HRESULT hr = TYPE_E_CANTLOADLIBRARY;
  const HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(kTypeLibResourceId), u"TYPELIB");
  const HGLOBAL loaded = found != nullptr ? LoadResource(module, found) : nullptr;
  const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
  if (bytes != nullptr) {
    const DWORD size = SizeofResource(module, found);
    hr = LoadTypeLibFromBytes(std::span(static_cast<const uint8_t*>(bytes), size), out);
  }
  FreeLibrary(module);
  return hr;
}

}  // namespace glimmark::ole

EXTERN_C HRESULT WINAPI LoadTypeLib(LPCOLESTR szFile, ITypeLib** pptlib) {
  using namespace glimmark::ole;
  if (pptlib == nullptr) return E_INVALIDARG;
  *pptlib = nullptr;
  if (szFile == nullptr) return E_INVALIDARG;
  const size_t length = Gdiplus::Internal::BoundedLength(szFile, kMaxPathUnits + 1);
  std::string path;
  if (length == 0 || length > kMaxPathUnits ||
      !Gdiplus::Internal::Utf16ToUtf8(szFile, length, path)) {
    return TYPE_E_CANTLOADLIBRARY;
  }
  try {
    std::vector<uint8_t> bytes;
    const HRESULT hr = ReadWholeFile(path, &bytes);
    if (FAILED(hr)) return hr;
    if (!LooksLikeMsft(bytes)) return LoadTypeLibFromModuleResource(szFile, pptlib);
    return LoadTypeLibFromBytes(bytes, pptlib);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

EXTERN_C ULONG WINAPI LHashValOfNameSys(SYSKIND syskind, LCID, LPCOLESTR szName) {
  if (szName == nullptr) return 0;
  const size_t length = Gdiplus::Internal::BoundedLength(szName, glimmark::ole::kMaxNameLength);
  const ULONG hash = glimmark::msft::NameHash(std::u16string_view(szName, length));
  return hash | (static_cast<ULONG>(syskind) << 16);
}

EXTERN_C LONG GlimmarkTest_TypeLibraryLoads(void) { return glimmark::ole::libraryLoads.load(); }

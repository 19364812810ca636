// ITypeLib over a LibraryData.
#include <new>

#include "kernel/ascii_case.h"
#include "ole/typelib/kept_type_libraries.h"
#include "ole/typelib/stdole_library.h"
#include "ole/typelib/type_library_objects.h"
#include "oleauto.h"
#include "winbase.h"

namespace glimmark::ole {

bool NamesEqual(std::u16string_view a, std::u16string_view b) {
  return kernel::EqualIgnoringAsciiCase(a, b);
}

HRESULT CopyToBstr(const std::u16string& text, BSTR* out) {
  if (out == nullptr) return S_OK;
  *out = nullptr;
  if (text.empty()) return S_OK;
  *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  return *out != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT HandOutDocumentation(const Documentation& documentation, BSTR* name, BSTR* docString,
                             DWORD* helpContext, BSTR* helpFile) {
  BSTR strings[3] = {};
  HRESULT hr = CopyToBstr(documentation.name, name ? &strings[0] : nullptr);
  if (SUCCEEDED(hr)) hr = CopyToBstr(documentation.docString, docString ? &strings[1] : nullptr);
  if (SUCCEEDED(hr)) hr = CopyToBstr(documentation.helpFile, helpFile ? &strings[2] : nullptr);
  if (FAILED(hr)) {
    for (BSTR text : strings) SysFreeString(text);
    return hr;
  }
  if (name != nullptr) *name = strings[0];
  if (docString != nullptr) *docString = strings[1];
  if (helpFile != nullptr) *helpFile = strings[2];
  if (helpContext != nullptr) *helpContext = documentation.helpContext;
  return S_OK;
}

HRESULT TypeLibObject::Create(std::shared_ptr<const LibraryData> data, ITypeLib** out) noexcept {
  if (out == nullptr) return E_POINTER;
  *out = new (std::nothrow) TypeLibObject(std::move(data));
  return *out != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT TypeLibObject::Stdole(ITypeLib** out) noexcept {
  // The built-in library lives for the whole process; the shared pointer
  // only refers to it.
  static const std::shared_ptr<const LibraryData> shared(&BuiltInStdole(),
                                                         [](const LibraryData*) {});
  return Create(shared, out);
}

HRESULT TypeLibObject::MakeTypeInfo(size_t index, bool interfaceView, ITypeInfo** out) noexcept {
  if (out == nullptr) return E_INVALIDARG;
  *out = nullptr;
  if (index >= data_->types.size()) return TYPE_E_ELEMENTNOTFOUND;
  *out = new (std::nothrow) TypeInfoObject(this, index, interfaceView);
  return *out != nullptr ? S_OK : E_OUTOFMEMORY;
}

UINT TypeLibObject::GetTypeInfoCount() noexcept { return static_cast<UINT>(data_->types.size()); }

HRESULT TypeLibObject::GetTypeInfo(UINT index, ITypeInfo** ppTInfo) noexcept {
  if (ppTInfo == nullptr) return E_INVALIDARG;
  return MakeTypeInfo(index, false, ppTInfo);
}

HRESULT TypeLibObject::GetTypeInfoType(UINT index, TYPEKIND* pTKind) noexcept {
  if (pTKind == nullptr) return E_INVALIDARG;
  if (index >= data_->types.size()) return TYPE_E_ELEMENTNOTFOUND;
  *pTKind = data_->types[index].kind;
  return S_OK;
}

HRESULT TypeLibObject::GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** ppTinfo) noexcept {
  if (ppTinfo == nullptr) return E_INVALIDARG;
  *ppTinfo = nullptr;
  for (size_t i = 0; i < data_->types.size(); ++i) {
    if (IsEqualGUID(data_->types[i].guid, guid)) return MakeTypeInfo(i, false, ppTinfo);
  }
  return TYPE_E_ELEMENTNOTFOUND;
}

HRESULT TypeLibObject::GetLibAttr(TLIBATTR** ppTLibAttr) noexcept {
  if (ppTLibAttr == nullptr) return E_INVALIDARG;
  auto* attr = new (std::nothrow) TLIBATTR{};
  *ppTLibAttr = attr;
  if (attr == nullptr) return E_OUTOFMEMORY;
  attr->guid = data_->guid;
  attr->lcid = data_->lcid;
  attr->syskind = data_->sysKind;
  attr->wMajorVerNum = data_->majorVersion;
  attr->wMinorVerNum = data_->minorVersion;
  attr->wLibFlags = data_->flags;
  return S_OK;
}

void TypeLibObject::ReleaseTLibAttr(TLIBATTR* pTLibAttr) noexcept { delete pTLibAttr; }

void TypeLibObject::LastReleased() noexcept {
  if (listed_.load(std::memory_order_acquire)) UnlistTypeLib(this);
  delete this;
}

HRESULT TypeLibObject::GetTypeComp(ITypeComp** ppTComp) noexcept {
  if (ppTComp != nullptr) *ppTComp = nullptr;
  return E_NOTIMPL;
}

HRESULT TypeLibObject::GetDocumentation(INT index, BSTR* pBstrName, BSTR* pBstrDocString,
                                        DWORD* pdwHelpContext, BSTR* pBstrHelpFile) noexcept {
  const std::u16string* name = &data_->name;
  const std::u16string* doc = &data_->docString;
  DWORD context = data_->helpContext;
  if (index != -1) {
    if (index < 0 || static_cast<size_t>(index) >= data_->types.size()) {
      return TYPE_E_ELEMENTNOTFOUND;
    }
    const TypeData& type = data_->types[static_cast<size_t>(index)];
    name = &type.name;
    doc = &type.docString;
    context = type.helpContext;
  }
  return HandOutDocumentation({*name, *doc, context, data_->helpFile}, pBstrName, pBstrDocString,
                              pdwHelpContext, pBstrHelpFile);
}

HRESULT TypeLibObject::IsName(LPOLESTR, ULONG, BOOL* pfName) noexcept {
  if (pfName != nullptr) *pfName = FALSE;
  return E_NOTIMPL;
}

HRESULT TypeLibObject::FindName(LPOLESTR, ULONG, ITypeInfo**, MEMBERID*, USHORT*) noexcept {
  return E_NOTIMPL;
}

}  // namespace glimmark::ole

// The COM objects over a loaded library: TypeLibObject (ITypeLib) owns the
// LibraryData through a shared pointer; each TypeInfoObject (ITypeInfo) holds
// a reference to its TypeLibObject and names one type and, for a dual
// interface, which of its two views it is. Both are reference counted with
// interlocked counters and may be used from any thread.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "oaidl.h"
#include "ole/com/counted_interface.h"
#include "ole/typelib/type_library_data.h"

namespace glimmark::ole {

class TypeLibObject final : public CountedInterface<ITypeLib, &IID_ITypeLib> {
 public:
  // Wraps `data` in a new object with one reference.
  static HRESULT Create(std::shared_ptr<const LibraryData> data, ITypeLib** out) noexcept;
  // The built-in stdole2 as an ITypeLib (a new reference each call).
  static HRESULT Stdole(ITypeLib** out) noexcept;

  const LibraryData& data() const { return *data_; }
  // A new ITypeInfo for type `index`; `interfaceView` picks the vtable view
  // of a dual interface.
  HRESULT MakeTypeInfo(size_t index, bool interfaceView, ITypeInfo** out) noexcept;

  UINT STDMETHODCALLTYPE GetTypeInfoCount() noexcept override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, ITypeInfo** ppTInfo) noexcept override;
  HRESULT STDMETHODCALLTYPE GetTypeInfoType(UINT index, TYPEKIND* pTKind) noexcept override;
  HRESULT STDMETHODCALLTYPE GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** ppTinfo) noexcept override;
  HRESULT STDMETHODCALLTYPE GetLibAttr(TLIBATTR** ppTLibAttr) noexcept override;
  HRESULT STDMETHODCALLTYPE GetTypeComp(ITypeComp** ppTComp) noexcept override;
  HRESULT STDMETHODCALLTYPE GetDocumentation(INT index, BSTR* pBstrName, BSTR* pBstrDocString,
                                             DWORD* pdwHelpContext,
                                             BSTR* pBstrHelpFile) noexcept override;
  HRESULT STDMETHODCALLTYPE IsName(LPOLESTR szNameBuf, ULONG lHashVal,
                                   BOOL* pfName) noexcept override;
  HRESULT STDMETHODCALLTYPE FindName(LPOLESTR szNameBuf, ULONG lHashVal, ITypeInfo** ppTInfo,
                                     MEMBERID* rgMemId, USHORT* pcFound) noexcept override;
  void STDMETHODCALLTYPE ReleaseTLibAttr(TLIBATTR* pTLibAttr) noexcept override;

  // For the table of kept libraries (kept_type_libraries.h), under its lock:
  // the path it lists this library by, and the reference it hands out.
  void MarkListed(const std::u16string& path) {
    listedPath_ = path;
    listed_.store(true, std::memory_order_release);
  }
  const std::u16string& ListedPath() const { return listedPath_; }
  using CountedInterface::AddRefUnlessReleased;

 private:
  explicit TypeLibObject(std::shared_ptr<const LibraryData> data) : data_(std::move(data)) {}
  ~TypeLibObject() override = default;
  // A listed library takes itself off the table before it goes.
  void LastReleased() noexcept override;

  std::shared_ptr<const LibraryData> data_;
  std::atomic<bool> listed_{false};
  std::u16string listedPath_;  // read and written under the table's lock
};

class TypeInfoObject final : public CountedInterface<ITypeInfo, &IID_ITypeInfo> {
 public:
  TypeInfoObject(TypeLibObject* library, size_t index, bool interfaceView);

  const TypeData& type() const { return library_->data().types[index_]; }
  size_t PointerSize() const { return library_->data().PointerSize(); }
  // The functions this view lists: a dual interface's dispatch view lists
  // its dispatch form, every other view the stored functions.
  const std::vector<FunctionData>& Functions() const;
  // Follows VT_USERDEFINED aliases (OLE_COLOR is VT_UI4) and interfaces
  // (VT_UNKNOWN / VT_DISPATCH) so that `type` names an automation type.
  TypeRef Resolve(const TypeRef& type) const;

  HRESULT STDMETHODCALLTYPE GetTypeAttr(TYPEATTR** ppTypeAttr) noexcept override;
  HRESULT STDMETHODCALLTYPE GetTypeComp(ITypeComp** ppTComp) noexcept override;
  HRESULT STDMETHODCALLTYPE GetFuncDesc(UINT index, FUNCDESC** ppFuncDesc) noexcept override;
  HRESULT STDMETHODCALLTYPE GetVarDesc(UINT index, VARDESC** ppVarDesc) noexcept override;
  HRESULT STDMETHODCALLTYPE GetNames(MEMBERID memid, BSTR* rgBstrNames, UINT cMaxNames,
                                     UINT* pcNames) noexcept override;
  HRESULT STDMETHODCALLTYPE GetRefTypeOfImplType(UINT index, HREFTYPE* pRefType) noexcept override;
  HRESULT STDMETHODCALLTYPE GetImplTypeFlags(UINT index, INT* pImplTypeFlags) noexcept override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(LPOLESTR* rgszNames, UINT cNames,
                                          MEMBERID* pMemId) noexcept override;
  HRESULT STDMETHODCALLTYPE Invoke(PVOID pvInstance, MEMBERID memid, WORD wFlags,
                                   DISPPARAMS* pDispParams, VARIANT* pVarResult,
                                   EXCEPINFO* pExcepInfo, UINT* puArgErr) noexcept override;
  HRESULT STDMETHODCALLTYPE GetDocumentation(MEMBERID memid, BSTR* pBstrName, BSTR* pBstrDocString,
                                             DWORD* pdwHelpContext,
                                             BSTR* pBstrHelpFile) noexcept override;
  HRESULT STDMETHODCALLTYPE GetDllEntry(MEMBERID memid, INVOKEKIND invKind, BSTR* pBstrDllName,
                                        BSTR* pBstrName, WORD* pwOrdinal) noexcept override;
  HRESULT STDMETHODCALLTYPE GetRefTypeInfo(HREFTYPE hRefType,
                                           ITypeInfo** ppTInfo) noexcept override;
  HRESULT STDMETHODCALLTYPE AddressOfMember(MEMBERID memid, INVOKEKIND invKind,
                                            PVOID* ppv) noexcept override;
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid,
                                           PVOID* ppvObj) noexcept override;
  HRESULT STDMETHODCALLTYPE GetMops(MEMBERID memid, BSTR* pBstrMops) noexcept override;
  HRESULT STDMETHODCALLTYPE GetContainingTypeLib(ITypeLib** ppTLib, UINT* pIndex) noexcept override;
  void STDMETHODCALLTYPE ReleaseTypeAttr(TYPEATTR* pTypeAttr) noexcept override;
  void STDMETHODCALLTYPE ReleaseFuncDesc(FUNCDESC* pFuncDesc) noexcept override;
  void STDMETHODCALLTYPE ReleaseVarDesc(VARDESC* pVarDesc) noexcept override;

 private:
  ~TypeInfoObject() override;
  bool IsDispatchView() const { return type().IsDual() && !interfaceView_; }
  // The type a reference of this library names, for alias resolution;
  // null when it lies in a library other than this one or stdole2.
  const TypeData* ReferencedType(HREFTYPE href) const;

  TypeLibObject* library_;
  size_t index_;
  bool interfaceView_;
};

// ITypeInfo::Invoke through the vtable of `instance` (type_info_invoke.cpp).
HRESULT InvokeThroughVtable(const TypeInfoObject& info, void* instance, MEMBERID memid, WORD flags,
                            DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                            UINT* argumentError) noexcept;

// Case-insensitive comparison of names, as GetIDsOfNames matches them.
bool NamesEqual(std::u16string_view a, std::u16string_view b);

// A new BSTR holding `text` into *out when out is not null; E_OUTOFMEMORY.
HRESULT CopyToBstr(const std::u16string& text, BSTR* out);

// What GetDocumentation answers, for a type library and a type alike: new
// copies of the three texts into the out pointers that are not null, and the
// help context. When a copy fails nothing is handed out and E_OUTOFMEMORY
// is returned.
struct Documentation {
  const std::u16string& name;
  const std::u16string& docString;
  DWORD helpContext;
  const std::u16string& helpFile;
};
HRESULT HandOutDocumentation(const Documentation& documentation, BSTR* name, BSTR* docString,
                             DWORD* helpContext, BSTR* helpFile);

}  // namespace glimmark::ole

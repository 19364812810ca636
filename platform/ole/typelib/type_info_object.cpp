// ITypeInfo over one type of a LibraryData. FUNCDESC and TYPEATTR records
// are handed out as single heap blocks that carry their own TYPEDESC chains,
// so they stay valid whatever the caller releases first.
#include <atomic>
#include <cstring>
#include <new>

#include "glimmark_test_seams.h"
#include "ole/typelib/stdole2_facts.h"
#include "ole/typelib/stdole_library.h"
#include "ole/typelib/type_library_objects.h"
#include "oleauto.h"
#include "winbase.h"

namespace glimmark::ole {
namespace {

// Writes `type` into `top`, taking the deeper levels from `pool`.
void FillTypeDesc(const TypeRef& type, TYPEDESC* top, TYPEDESC*& pool) {
  TYPEDESC* current = top;
  for (size_t i = 0; i < type.depth; ++i) {
    current->vt = type.chain[i];
    if (type.chain[i] == VT_USERDEFINED) {
      current->hreftype = type.href;
    } else if (i + 1 < type.depth) {
      current->lptdesc = pool;
      current = pool++;
    } else {
      current->lptdesc = nullptr;
    }
  }
}

struct TypeAttrBlock {
  TYPEATTR attr;
  TYPEDESC chain[kMaxTypeDepth];
};

GUID StdoleGuid() {
  GUID guid;
  std::memcpy(&guid, stdole2::kLibraryGuid.data(), sizeof(guid));
  return guid;
}

}  // namespace

TypeInfoObject::TypeInfoObject(TypeLibObject* library, size_t index, bool interfaceView)
    : library_(library), index_(index), interfaceView_(interfaceView) {
  library_->AddRef();
}

TypeInfoObject::~TypeInfoObject() { library_->Release(); }

const std::vector<FunctionData>& TypeInfoObject::Functions() const {
  return IsDispatchView() ? type().dispatchFunctions : type().functions;
}

HRESULT TypeInfoObject::GetTypeAttr(TYPEATTR** ppTypeAttr) noexcept {
  if (ppTypeAttr == nullptr) return E_INVALIDARG;
  auto* block = new (std::nothrow) TypeAttrBlock{};
  *ppTypeAttr = reinterpret_cast<TYPEATTR*>(block);
  if (block == nullptr) return E_OUTOFMEMORY;
  const TypeData& data = type();
  TYPEATTR& attr = block->attr;
  attr.guid = data.guid;
  attr.lcid = library_->data().lcid;
  attr.memidConstructor = MEMBERID_NIL;
  attr.memidDestructor = MEMBERID_NIL;
  attr.cbSizeInstance = data.instanceSize;
  attr.typekind = data.kind;
  attr.cFuncs = static_cast<WORD>(Functions().size());
  attr.cImplTypes = static_cast<WORD>(data.implTypes.size());
  attr.cbSizeVft = data.vtableSize;
  attr.cbAlignment = data.alignment;
  attr.wTypeFlags = data.flags;
  attr.wMajorVerNum = data.majorVersion;
  attr.wMinorVerNum = data.minorVersion;
  if (data.IsDual()) {
    if (interfaceView_) {
      attr.typekind = TKIND_INTERFACE;
    } else {
      // The dispatch view: IDispatch's vtable, and no vtable-call promise.
      attr.cbSizeVft =
          static_cast<WORD>(stdole2::kIDispatchMethods * library_->data().PointerSize());
      attr.wTypeFlags &= static_cast<WORD>(~TYPEFLAG_FOLEAUTOMATION);
    }
  }
  if (data.kind == TKIND_ALIAS) {
    TYPEDESC* pool = block->chain;
    FillTypeDesc(data.alias, &attr.tdescAlias, pool);
  }
  return S_OK;
}

void TypeInfoObject::ReleaseTypeAttr(TYPEATTR* pTypeAttr) noexcept {
  delete reinterpret_cast<TypeAttrBlock*>(pTypeAttr);
}

HRESULT TypeInfoObject::GetTypeComp(ITypeComp** ppTComp) noexcept {
  if (ppTComp != nullptr) *ppTComp = nullptr;
  return E_NOTIMPL;
}

HRESULT TypeInfoObject::GetFuncDesc(UINT index, FUNCDESC** ppFuncDesc) noexcept {
  if (ppFuncDesc == nullptr) return E_INVALIDARG;
  *ppFuncDesc = nullptr;
  const std::vector<FunctionData>& functions = Functions();
  if (index >= functions.size()) return TYPE_E_ELEMENTNOTFOUND;
  const FunctionData& function = functions[index];
  const size_t params = function.params.size();
  size_t poolSize = function.returnType.depth;
  for (const ParamData& param : function.params) poolSize += param.type.depth;
  const size_t bytes = sizeof(FUNCDESC) + params * sizeof(ELEMDESC) + poolSize * sizeof(TYPEDESC);
  auto* memory = static_cast<uint8_t*>(::operator new(bytes, std::nothrow));
  if (memory == nullptr) return E_OUTOFMEMORY;
  std::memset(memory, 0, bytes);
  auto* desc = reinterpret_cast<FUNCDESC*>(memory);
  auto* elements = reinterpret_cast<ELEMDESC*>(memory + sizeof(FUNCDESC));
  auto* pool = reinterpret_cast<TYPEDESC*>(memory + sizeof(FUNCDESC) + params * sizeof(ELEMDESC));
  desc->memid = function.memid;
  desc->lprgelemdescParam = params > 0 ? elements : nullptr;
  desc->funckind = function.funcKind;
  desc->invkind = function.invokeKind;
  desc->callconv = function.callConv;
  desc->cParams = static_cast<SHORT>(params);
  desc->cParamsOpt = function.optionalCount;
  desc->oVft = function.vtableOffset;
  desc->wFuncFlags = function.flags;
  FillTypeDesc(function.returnType, &desc->elemdescFunc.tdesc, pool);
  for (size_t p = 0; p < params; ++p) {
    FillTypeDesc(function.params[p].type, &elements[p].tdesc, pool);
    elements[p].paramdesc.wParamFlags = function.params[p].flags;
  }
  *ppFuncDesc = desc;
  return S_OK;
}

void TypeInfoObject::ReleaseFuncDesc(FUNCDESC* pFuncDesc) noexcept { ::operator delete(pFuncDesc); }

HRESULT TypeInfoObject::GetVarDesc(UINT, VARDESC** ppVarDesc) noexcept {
  if (ppVarDesc != nullptr) *ppVarDesc = nullptr;
  return TYPE_E_ELEMENTNOTFOUND;  // variables are not loaded
}

void TypeInfoObject::ReleaseVarDesc(VARDESC*) noexcept {}

HRESULT TypeInfoObject::GetNames(MEMBERID memid, BSTR* rgBstrNames, UINT cMaxNames,
                                 UINT* pcNames) noexcept {
  if (pcNames == nullptr || (rgBstrNames == nullptr && cMaxNames > 0)) return E_INVALIDARG;
  *pcNames = 0;
  for (const FunctionData& function : Functions()) {
    if (function.memid != memid) continue;
    // A property put's value has no name; the get lists the same names.
    std::vector<const std::u16string*> names = {&function.name};
    for (const ParamData& param : function.params) {
      if (!param.name.empty()) names.push_back(&param.name);
    }
    UINT count = 0;
    for (; count < cMaxNames && count < names.size(); ++count) {
      const HRESULT hr = CopyToBstr(*names[count], &rgBstrNames[count]);
      if (FAILED(hr)) {
        for (UINT i = 0; i < count; ++i) SysFreeString(rgBstrNames[i]);
        return hr;
      }
    }
    *pcNames = count;
    return S_OK;
  }
  return TYPE_E_ELEMENTNOTFOUND;
}

HRESULT TypeInfoObject::GetRefTypeOfImplType(UINT index, HREFTYPE* pRefType) noexcept {
  if (pRefType == nullptr) return E_INVALIDARG;
  if (index == static_cast<UINT>(-1)) {
    if (!IsDispatchView()) return TYPE_E_ELEMENTNOTFOUND;
    *pRefType = kDualInterfaceRef;
    return S_OK;
  }
  if (index >= type().implTypes.size()) return TYPE_E_ELEMENTNOTFOUND;
  *pRefType = type().implTypes[index].href;
  return S_OK;
}

HRESULT TypeInfoObject::GetImplTypeFlags(UINT index, INT* pImplTypeFlags) noexcept {
  if (pImplTypeFlags == nullptr) return E_INVALIDARG;
  if (index >= type().implTypes.size()) return TYPE_E_ELEMENTNOTFOUND;
  *pImplTypeFlags = type().implTypes[index].flags;
  return S_OK;
}

namespace {
std::atomic<LONG> nameLookups{0};  // GlimmarkTest_TypeInfoNameLookups
}  // namespace

HRESULT TypeInfoObject::GetIDsOfNames(LPOLESTR* rgszNames, UINT cNames, MEMBERID* pMemId) noexcept {
  nameLookups.fetch_add(1, std::memory_order_relaxed);
  if (rgszNames == nullptr || pMemId == nullptr) return E_INVALIDARG;
  if (cNames == 0) return E_INVALIDARG;
  for (UINT i = 0; i < cNames; ++i) pMemId[i] = DISPID_UNKNOWN;
  if (rgszNames[0] == nullptr) return DISP_E_UNKNOWNNAME;
  const std::u16string_view wanted(rgszNames[0]);
  for (const FunctionData& function : Functions()) {
    if (!NamesEqual(function.name, wanted)) continue;
    pMemId[0] = function.memid;
    // Further names are the function's parameters; their ids are positions.
    HRESULT result = S_OK;
    for (UINT n = 1; n < cNames; ++n) {
      if (rgszNames[n] == nullptr) {
        result = DISP_E_UNKNOWNNAME;
        continue;
      }
      for (size_t p = 0; p < function.params.size(); ++p) {
        if (NamesEqual(function.params[p].name, rgszNames[n])) {
          pMemId[n] = static_cast<MEMBERID>(p);
        }
      }
      if (pMemId[n] == DISPID_UNKNOWN) result = DISP_E_UNKNOWNNAME;
    }
    return result;
  }
  // Not ours: the base interface's (the dual's interface view inherits).
  if (!type().implTypes.empty() && type().kind != TKIND_COCLASS) {
    ITypeInfo* base = nullptr;
    if (SUCCEEDED(GetRefTypeInfo(type().implTypes[0].href, &base))) {
      const HRESULT hr = base->GetIDsOfNames(rgszNames, cNames, pMemId);
      base->Release();
      return hr;
    }
  }
  return DISP_E_UNKNOWNNAME;
}

HRESULT TypeInfoObject::Invoke(PVOID pvInstance, MEMBERID memid, WORD wFlags,
                               DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO* pExcepInfo,
                               UINT* puArgErr) noexcept {
  return InvokeThroughVtable(*this, pvInstance, memid, wFlags, pDispParams, pVarResult, pExcepInfo,
                             puArgErr);
}

HRESULT TypeInfoObject::GetDocumentation(MEMBERID memid, BSTR* pBstrName, BSTR* pBstrDocString,
                                         DWORD* pdwHelpContext, BSTR* pBstrHelpFile) noexcept {
  const std::u16string* name = nullptr;
  const std::u16string* doc = nullptr;
  DWORD context = 0;
  if (memid == MEMBERID_NIL) {
    name = &type().name;
    doc = &type().docString;
    context = type().helpContext;
  } else {
    for (const FunctionData& function : Functions()) {
      if (function.memid != memid) continue;
      name = &function.name;
      doc = &function.docString;
      context = function.helpContext;
      break;
    }
  }
  if (name == nullptr) return TYPE_E_ELEMENTNOTFOUND;
  return HandOutDocumentation({*name, *doc, context, library_->data().helpFile}, pBstrName,
                              pBstrDocString, pdwHelpContext, pBstrHelpFile);
}

HRESULT TypeInfoObject::GetDllEntry(MEMBERID, INVOKEKIND, BSTR*, BSTR*, WORD*) noexcept {
  return TYPE_E_BADMODULEKIND;
}

const TypeData* TypeInfoObject::ReferencedType(HREFTYPE href) const {
  const LibraryData& data = library_->data();
  if (!IsImportedRef(href)) {
    const size_t index = href / kLocalRefStride;
    return index < data.types.size() ? &data.types[index] : nullptr;
  }
  for (const ImportData& import : data.imports) {
    if (import.href != href) continue;
    if (!IsEqualGUID(import.libraryGuid, StdoleGuid())) return nullptr;
    const std::vector<TypeData>& stdoleTypes = BuiltInStdole().types;
    if (!import.byGuid) {
      return import.typeIndex < stdoleTypes.size() ? &stdoleTypes[import.typeIndex] : nullptr;
    }
    for (const TypeData& candidate : stdoleTypes) {
      if (IsEqualGUID(candidate.guid, import.typeGuid)) return &candidate;
    }
  }
  return nullptr;
}

TypeRef TypeInfoObject::Resolve(const TypeRef& typeRef) const {
  TypeRef resolved = typeRef;
  for (size_t guard = 0; guard < kMaxTypeDepth && resolved.Base() == VT_USERDEFINED; ++guard) {
    const TypeData* target = ReferencedType(resolved.href);
    if (target == nullptr) return resolved;
    TypeRef replacement;
    if (target->kind == TKIND_ALIAS) {
      replacement = target->alias;
    } else if (target->kind == TKIND_INTERFACE || target->kind == TKIND_DISPATCH) {
      replacement =
          TypeRef::Simple((target->flags & TYPEFLAG_FDISPATCHABLE) ? VT_DISPATCH : VT_UNKNOWN);
      // The pointer to the interface is the interface type itself.
      if (resolved.depth >= 2 && resolved.chain[resolved.depth - 2] == VT_PTR) --resolved.depth;
    } else {
      return resolved;
    }
    if (resolved.depth - 1 + replacement.depth > kMaxTypeDepth + 1) return resolved;
    for (size_t i = 0; i < replacement.depth; ++i) {
      resolved.chain[resolved.depth - 1 + i] = replacement.chain[i];
    }
    resolved.depth = resolved.depth - 1 + replacement.depth;
    resolved.href = replacement.href;
  }
  return resolved;
}

HRESULT TypeInfoObject::GetRefTypeInfo(HREFTYPE hRefType, ITypeInfo** ppTInfo) noexcept {
  if (ppTInfo == nullptr) return E_INVALIDARG;
  *ppTInfo = nullptr;
  const LibraryData& data = library_->data();
  if (hRefType == kDualInterfaceRef) {
    if (!type().IsDual()) return TYPE_E_ELEMENTNOTFOUND;
    return library_->MakeTypeInfo(index_, !interfaceView_, ppTInfo);
  }
  if (!IsImportedRef(hRefType)) {
    if (hRefType % kLocalRefStride != 0) return TYPE_E_ELEMENTNOTFOUND;
    return library_->MakeTypeInfo(hRefType / kLocalRefStride, false, ppTInfo);
  }
  for (const ImportData& import : data.imports) {
    if (import.href != hRefType) continue;
    ITypeLib* other = nullptr;
    HRESULT hr = IsEqualGUID(import.libraryGuid, StdoleGuid())
                     ? TypeLibObject::Stdole(&other)
                     : LoadRegTypeLib(import.libraryGuid, import.majorVersion, import.minorVersion,
                                      import.lcid, &other);
    if (FAILED(hr)) return hr;
    hr = import.byGuid ? other->GetTypeInfoOfGuid(import.typeGuid, ppTInfo)
                       : other->GetTypeInfo(import.typeIndex, ppTInfo);
    other->Release();
    return hr;
  }
  return TYPE_E_ELEMENTNOTFOUND;
}

HRESULT TypeInfoObject::AddressOfMember(MEMBERID, INVOKEKIND, PVOID* ppv) noexcept {
  if (ppv != nullptr) *ppv = nullptr;
  return E_NOTIMPL;
}

HRESULT TypeInfoObject::CreateInstance(IUnknown*, REFIID, PVOID* ppvObj) noexcept {
  if (ppvObj != nullptr) *ppvObj = nullptr;
  return E_NOTIMPL;
}

HRESULT TypeInfoObject::GetMops(MEMBERID, BSTR* pBstrMops) noexcept {
  if (pBstrMops != nullptr) *pBstrMops = nullptr;
  return S_OK;
}

HRESULT TypeInfoObject::GetContainingTypeLib(ITypeLib** ppTLib, UINT* pIndex) noexcept {
  if (ppTLib == nullptr) return E_INVALIDARG;
  library_->AddRef();
  *ppTLib = library_;
  if (pIndex != nullptr) *pIndex = static_cast<UINT>(index_);
  return S_OK;
}

}  // namespace glimmark::ole

EXTERN_C LONG GlimmarkTest_TypeInfoNameLookups(void) { return glimmark::ole::nameLookups.load(); }

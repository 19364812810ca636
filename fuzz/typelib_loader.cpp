// Fuzz target: the type-library loader over arbitrary bytes, then every
// question a caller may ask of what loaded (attributes, functions, names,
// references) and a call of every vtable function through Invoke on an
// object whose table has exactly the slots the type declares. Nothing may
// crash, leak or read outside the input or the table.
#include <oleauto.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// Every slot of the test object: fails without looking at its arguments.
HRESULT STDMETHODCALLTYPE RefusingSlot() { return E_NOTIMPL; }

// Most arguments tried per call: enough for every function of the seeds.
constexpr UINT kMaxArguments = 12;

// Bytes of one vtable slot as the library counts them: 4 in a 32-bit
// library, whatever the process's pointers are.
UINT LibrarySlotBytes(ITypeInfo* info) {
  ITypeLib* library = nullptr;
  UINT index = 0;
  UINT bytes = sizeof(void*);
  if (FAILED(info->GetContainingTypeLib(&library, &index))) return bytes;
  TLIBATTR* attr = nullptr;
  if (SUCCEEDED(library->GetLibAttr(&attr))) {
    bytes = attr->syskind == SYS_WIN64 ? 8 : 4;
    library->ReleaseTLibAttr(attr);
  }
  library->Release();
  return bytes;
}

// The slots of the vtable an object described by `info` has: the declared
// table's, counted in the library's slot size (Invoke calls slot offset /
// slot size of a table of native pointers). A dual interface's dispatch
// view declares IDispatch's table only, but its object implements the whole
// dual interface, whose table Invoke calls through: the interface view's.
size_t ObjectVtableSlots(ITypeInfo* info, const TYPEATTR* attr) {
  UINT bytes = attr->cbSizeVft;
  HREFTYPE dual = 0;
  ITypeInfo* view = nullptr;
  if (attr->typekind == TKIND_DISPATCH && (attr->wTypeFlags & TYPEFLAG_FDUAL) != 0 &&
      SUCCEEDED(info->GetRefTypeOfImplType(static_cast<UINT>(-1), &dual)) &&
      SUCCEEDED(info->GetRefTypeInfo(dual, &view))) {
    TYPEATTR* viewAttr = nullptr;
    if (SUCCEEDED(view->GetTypeAttr(&viewAttr))) {
      bytes = std::max<UINT>(bytes, viewAttr->cbSizeVft);
      view->ReleaseTypeAttr(viewAttr);
    }
    view->Release();
  }
  return bytes / LibrarySlotBytes(info);
}

// Invokes each vtable function with 0 to kMaxArguments long arguments (one
// count matches, the others are refused before the call). The table lives on
// the heap at the object's size, so a slot past it is a read
// AddressSanitizer reports.
void InvokeEachSlot(ITypeInfo* info, const TYPEATTR* attr) {
  if (attr->typekind != TKIND_INTERFACE && attr->typekind != TKIND_DISPATCH) return;
  std::vector<void*> table(ObjectVtableSlots(info, attr), reinterpret_cast<void*>(&RefusingSlot));
  struct {
    void** vtable;
  } object{table.data()};
  VARIANT arguments[kMaxArguments];
  for (VARIANT& argument : arguments) {
    VariantInit(&argument);
    argument.vt = VT_I4;
  }
  for (UINT i = 0; i < attr->cFuncs; ++i) {
    FUNCDESC* desc = nullptr;
    if (FAILED(info->GetFuncDesc(i, &desc))) continue;
    if (desc->funckind != FUNC_DISPATCH) {
      for (UINT count = 0; count <= kMaxArguments; ++count) {
        DISPPARAMS params = {arguments, nullptr, count, 0};
        info->Invoke(&object, desc->memid, static_cast<WORD>(desc->invkind), &params, nullptr,
                     nullptr, nullptr);
      }
    }
    info->ReleaseFuncDesc(desc);
  }
}

void Exercise(ITypeInfo* info) {
  TYPEATTR* attr = nullptr;
  if (FAILED(info->GetTypeAttr(&attr))) return;
  for (UINT i = 0; i < attr->cFuncs; ++i) {
    FUNCDESC* desc = nullptr;
    if (FAILED(info->GetFuncDesc(i, &desc))) continue;
    BSTR names[8] = {};
    UINT count = 0;
    if (SUCCEEDED(info->GetNames(desc->memid, names, 8, &count))) {
      for (UINT n = 0; n < count; ++n) SysFreeString(names[n]);
    }
    for (SHORT p = 0; p < desc->cParams; ++p) {
      const TYPEDESC* type = &desc->lprgelemdescParam[p].tdesc;
      while (type->vt == VT_PTR && type->lptdesc != nullptr) type = type->lptdesc;
      ITypeInfo* target = nullptr;
      if (type->vt == VT_USERDEFINED && SUCCEEDED(info->GetRefTypeInfo(type->hreftype, &target))) {
        target->Release();
      }
    }
    info->ReleaseFuncDesc(desc);
  }
  InvokeEachSlot(info, attr);
  for (UINT i = 0; i < attr->cImplTypes; ++i) {
    HREFTYPE href = 0;
    ITypeInfo* target = nullptr;
    if (SUCCEEDED(info->GetRefTypeOfImplType(i, &href)) &&
        SUCCEEDED(info->GetRefTypeInfo(href, &target))) {
      target->Release();
    }
  }
  info->ReleaseTypeAttr(attr);
  OLECHAR name[] = u"Text";
  LPOLESTR names[] = {name};
  DISPID id = 0;
  info->GetIDsOfNames(names, 1, &id);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = "/tmp/glimmark-fuzz-typelib." + std::to_string(getpid()) + ".tlb";
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return 0;
  std::fwrite(data, 1, size, file);
  std::fclose(file);
  const std::u16string wide(path.begin(), path.end());
  ITypeLib* library = nullptr;
  if (FAILED(LoadTypeLib(wide.c_str(), &library))) return 0;
  TLIBATTR* attr = nullptr;
  if (SUCCEEDED(library->GetLibAttr(&attr))) library->ReleaseTLibAttr(attr);
  BSTR name = nullptr;
  if (SUCCEEDED(library->GetDocumentation(-1, &name, nullptr, nullptr, nullptr))) {
    SysFreeString(name);
  }
  for (UINT i = 0; i < library->GetTypeInfoCount(); ++i) {
    ITypeInfo* info = nullptr;
    if (FAILED(library->GetTypeInfo(i, &info))) continue;
    Exercise(info);
    HREFTYPE dual = 0;
    ITypeInfo* other = nullptr;
    if (SUCCEEDED(info->GetRefTypeOfImplType(static_cast<UINT>(-1), &dual)) &&
        SUCCEEDED(info->GetRefTypeInfo(dual, &other))) {
      Exercise(other);
      other->Release();
    }
    info->Release();
  }
  library->Release();
  return 0;
}

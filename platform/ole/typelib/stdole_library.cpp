// The built-in stdole2: names, GUIDs, member ids and vtable offsets as the
// standard library declares them (64-bit system kind).
#include "ole/typelib/stdole_library.h"

#include <cstring>

#include "ole/typelib/stdole2_facts.h"

namespace glimmark::ole {
namespace {

constexpr size_t kPointerSize = 8;
constexpr MEMBERID kIUnknownFirstId = 0x60000000;
constexpr MEMBERID kIDispatchFirstId = 0x60010000;

GUID ToGuid(const stdole2::GuidBytes& bytes) {
  GUID guid;
  std::memcpy(&guid, bytes.data(), sizeof(guid));
  return guid;
}

std::u16string Widen(std::string_view text) { return std::u16string(text.begin(), text.end()); }

enum StdoleIndex : size_t {
  kGuidRecord,
  kDispParamsRecord,
  kExcepInfoRecord,
  kUnknown,
  kDispatch,
  kOleColor,
  kTypeCount
};

HREFTYPE LocalRef(size_t index) { return static_cast<HREFTYPE>(index * kLocalRefStride); }

TypeRef PointerTo(VARTYPE vt, HREFTYPE href = 0) {
  TypeRef type;
  type.chain[0] = VT_PTR;
  type.chain[1] = vt;
  type.depth = 2;
  type.href = href;
  return type;
}

TypeRef PointerToPointer(VARTYPE vt) {
  TypeRef type = PointerTo(VT_PTR);
  type.chain[2] = vt;
  type.depth = 3;
  return type;
}

ParamData Param(const char* name, TypeRef type, USHORT flags) { return {Widen(name), type, flags}; }

FunctionData Method(const char* name, MEMBERID memid, size_t slot, VARTYPE result,
                    std::vector<ParamData> params) {
  FunctionData function;
  function.name = Widen(name);
  function.memid = memid;
  function.vtableOffset = static_cast<SHORT>(slot * kPointerSize);
  function.returnType = TypeRef::Simple(result);
  function.params = std::move(params);
  function.flags = FUNCFLAG_FRESTRICTED;
  return function;
}

TypeData Record(const char* name, ULONG size, WORD alignment) {
  TypeData type;
  type.name = Widen(name);
  type.kind = TKIND_RECORD;
  type.instanceSize = size;
  type.alignment = alignment;
  return type;
}

TypeData Interface(const stdole2::ImportedType& facts, WORD flags, int methods) {
  TypeData type;
  type.name = Widen(facts.name);
  type.guid = ToGuid(facts.guid);
  type.kind = TKIND_INTERFACE;
  type.flags = flags;
  type.alignment = kPointerSize;
  type.instanceSize = kPointerSize;
  type.vtableSize = static_cast<WORD>(methods * kPointerSize);
  return type;
}

std::vector<FunctionData> UnknownMethods() {
  const USHORT in = PARAMFLAG_FIN, out = PARAMFLAG_FOUT;
  return {
      Method("QueryInterface", kIUnknownFirstId, 0, VT_HRESULT,
             {Param("riid", PointerTo(VT_USERDEFINED, LocalRef(kGuidRecord)), in),
              Param("ppvObj", PointerToPointer(VT_VOID), out)}),
      Method("AddRef", kIUnknownFirstId + 1, 1, VT_UI4, {}),
      Method("Release", kIUnknownFirstId + 2, 2, VT_UI4, {}),
  };
}

std::vector<FunctionData> DispatchMethods() {
  const USHORT in = PARAMFLAG_FIN, out = PARAMFLAG_FOUT;
  const size_t first = stdole2::kIUnknownMethods;
  return {
      Method("GetTypeInfoCount", kIDispatchFirstId, first, VT_HRESULT,
             {Param("pctinfo", PointerTo(VT_UINT), out)}),
      Method("GetTypeInfo", kIDispatchFirstId + 1, first + 1, VT_HRESULT,
             {Param("itinfo", TypeRef::Simple(VT_UINT), in),
              Param("lcid", TypeRef::Simple(VT_UI4), in),
              Param("pptinfo", PointerToPointer(VT_VOID), out)}),
      Method(
          "GetIDsOfNames", kIDispatchFirstId + 2, first + 2, VT_HRESULT,
          {Param("riid", PointerTo(VT_USERDEFINED, LocalRef(kGuidRecord)), in),
           Param("rgszNames", PointerToPointer(VT_I1), in),
           Param("cNames", TypeRef::Simple(VT_UINT), in),
           Param("lcid", TypeRef::Simple(VT_UI4), in), Param("rgdispid", PointerTo(VT_I4), out)}),
      Method(
          "Invoke", kIDispatchFirstId + 3, first + 3, VT_HRESULT,
          {Param("dispidMember", TypeRef::Simple(VT_I4), in),
           Param("riid", PointerTo(VT_USERDEFINED, LocalRef(kGuidRecord)), in),
           Param("lcid", TypeRef::Simple(VT_UI4), in), Param("wFlags", TypeRef::Simple(VT_UI2), in),
           Param("pdispparams", PointerTo(VT_USERDEFINED, LocalRef(kDispParamsRecord)), in),
           Param("pvarResult", PointerTo(VT_VARIANT), out),
           Param("pexcepinfo", PointerTo(VT_USERDEFINED, LocalRef(kExcepInfoRecord)), out),
           Param("puArgErr", PointerTo(VT_UINT), out)}),
  };
}

LibraryData MakeStdole() {
  LibraryData library;
  library.builtIn = true;
  library.name = Widen(stdole2::kLibraryName);
  library.guid = ToGuid(stdole2::kLibraryGuid);
  library.majorVersion = stdole2::kMajorVersion;
  library.minorVersion = stdole2::kMinorVersion;
  library.sysKind = SYS_WIN64;
  library.types.resize(kTypeCount);
  library.types[kGuidRecord] = Record("GUID", sizeof(GUID), 4);
  library.types[kDispParamsRecord] = Record("DISPPARAMS", sizeof(DISPPARAMS), kPointerSize);
  library.types[kExcepInfoRecord] = Record("EXCEPINFO", sizeof(EXCEPINFO), kPointerSize);
  TypeData& unknown = library.types[kUnknown] =
      Interface(stdole2::kIUnknown, TYPEFLAG_FHIDDEN, stdole2::kIUnknownMethods);
  unknown.functions = UnknownMethods();
  TypeData& dispatch = library.types[kDispatch] =
      Interface(stdole2::kIDispatch, TYPEFLAG_FRESTRICTED, stdole2::kIDispatchMethods);
  dispatch.functions = DispatchMethods();
  dispatch.implTypes.push_back({LocalRef(kUnknown), 0});
  TypeData& color = library.types[kOleColor];
  color.name = Widen(stdole2::kOleColor.name);
  color.guid = ToGuid(stdole2::kOleColor.guid);
  color.kind = TKIND_ALIAS;
  color.alias = TypeRef::Simple(VT_UI4);
  color.alignment = 4;
  color.instanceSize = 4;
  return library;
}

}  // namespace

const LibraryData& BuiltInStdole() {
  static const LibraryData* const library = new LibraryData(MakeStdole());
  return *library;
}

const std::vector<FunctionData>& DispatchBaseFunctions() {
  static const std::vector<FunctionData>* const functions = [] {
    auto* list = new std::vector<FunctionData>();
    for (const FunctionData& function : UnknownMethods()) list->push_back(ToDispatchForm(function));
    for (const FunctionData& function : DispatchMethods())
      list->push_back(ToDispatchForm(function));
    return list;
  }();
  return *functions;
}

}  // namespace glimmark::ole

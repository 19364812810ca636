// A loaded type library as our own records: what the MSFT reader
// (msft_reader.h) decodes from a file and the built-in stdole2
// (stdole_library.h) is made of. The COM objects (type_library_objects.h)
// answer every question from these; nothing after loading sees raw offsets.
// A LibraryData is immutable once loaded and shared by its objects.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "oaidl.h"

namespace glimmark::ole {

// Named limits of what a type library may hold. Real libraries stay far
// below them; they bound every count read from an untrusted file.
inline constexpr size_t kMaxTypeLibraryBytes = 64u << 20;  // one file
inline constexpr size_t kMaxTypeInfos = 4096;
inline constexpr size_t kMaxFunctionsPerType = 4096;
inline constexpr size_t kMaxParams = 64;       // the most any automation call takes
inline constexpr size_t kMaxNameLength = 255;  // the name table's length byte
inline constexpr size_t kMaxStringLength = 0xFFFF;
inline constexpr size_t kMaxImplTypes = 256;
inline constexpr size_t kMaxImports = 1024;
inline constexpr size_t kMaxTypeDepth = 4;  // VT_PTR levels before the base type

// A type as a chain, outermost first: {VT_PTR, VT_BSTR} is BSTR*; a chain
// ending in VT_USERDEFINED names the referenced type by `href`.
struct TypeRef {
  std::array<VARTYPE, kMaxTypeDepth + 1> chain{};
  size_t depth = 1;  // entries of chain in use
  HREFTYPE href = 0;
  VARTYPE Base() const { return chain[depth - 1]; }
  VARTYPE Outer() const { return chain[0]; }
  static TypeRef Simple(VARTYPE vt) {
    TypeRef type;
    type.chain[0] = vt;
    return type;
  }
  // The type this one points at (for VT_PTR): drops the outer level.
  TypeRef Pointee() const {
    TypeRef inner = *this;
    for (size_t i = 1; i < depth; ++i) inner.chain[i - 1] = chain[i];
    inner.depth = depth > 1 ? depth - 1 : 1;
    return inner;
  }
};

struct ParamData {
  std::u16string name;  // empty when the library gives none
  TypeRef type;
  USHORT flags = 0;  // PARAMFLAG_*
};

struct FunctionData {
  MEMBERID memid = 0;
  std::u16string name;
  std::u16string docString;
  DWORD helpContext = 0;
  FUNCKIND funcKind = FUNC_PUREVIRTUAL;
  INVOKEKIND invokeKind = INVOKE_FUNC;
  CALLCONV callConv = CC_STDCALL;
  SHORT vtableOffset = 0;
  WORD flags = 0;  // FUNCFLAG_*
  SHORT optionalCount = 0;
  TypeRef returnType;
  std::vector<ParamData> params;
};

struct ImplTypeData {
  HREFTYPE href = 0;
  INT flags = 0;  // IMPLTYPEFLAG_*
};

struct TypeData {
  std::u16string name;
  std::u16string docString;
  DWORD helpContext = 0;
  GUID guid{};
  TYPEKIND kind = TKIND_INTERFACE;
  WORD flags = 0;  // TYPEFLAG_*
  WORD majorVersion = 0;
  WORD minorVersion = 0;
  WORD vtableSize = 0;  // bytes, inherited slots included
  WORD alignment = 0;
  ULONG instanceSize = 0;
  std::vector<FunctionData> functions;  // as stored: vtable form for interfaces
  std::vector<ImplTypeData> implTypes;
  TypeRef alias;  // TKIND_ALIAS only
  // A dual interface's IDispatch view: the base's methods, then each of
  // `functions` with its [retval] as the result. Empty for other types.
  std::vector<FunctionData> dispatchFunctions;
  bool IsDual() const { return kind == TKIND_DISPATCH && (flags & TYPEFLAG_FDUAL) != 0; }
};

// A type of another library that this one refers to.
struct ImportData {
  HREFTYPE href = 0;
  std::u16string fileName;
  GUID libraryGuid{};
  WORD majorVersion = 0;
  WORD minorVersion = 0;
  LCID lcid = 0;
  bool byGuid = true;  // else by index in the imported library
  GUID typeGuid{};
  UINT typeIndex = 0;
};

struct LibraryData {
  std::u16string name;
  std::u16string docString;
  std::u16string helpFile;
  DWORD helpContext = 0;
  GUID guid{};
  LCID lcid = 0;
  SYSKIND sysKind = SYS_WIN64;
  WORD majorVersion = 0;
  WORD minorVersion = 0;
  WORD flags = 0;  // LIBFLAG_*
  std::vector<TypeData> types;
  std::vector<ImportData> imports;
  bool builtIn = false;  // the platform's own stdole2

  size_t PointerSize() const { return sysKind == SYS_WIN64 ? 8 : 4; }
};

// Reference encodings: a type of the library itself is its index times the
// MSFT record size; an imported type has the low bit set. A dual interface's
// vtable view answers kDualInterfaceRef.
inline constexpr HREFTYPE kLocalRefStride = 0x64;
inline constexpr HREFTYPE kDualInterfaceRef = static_cast<HREFTYPE>(-2);
inline bool IsImportedRef(HREFTYPE href) { return (href & 1) != 0; }

// Converts a vtable-form function to its IDispatch form: FUNC_DISPATCH, and
// an HRESULT result replaced by the [out, retval] parameter's type (or void).
FunctionData ToDispatchForm(const FunctionData& function);

}  // namespace glimmark::ole

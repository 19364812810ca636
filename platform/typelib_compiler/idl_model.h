// What the IDL reader understands of a MIDL-compatible source: interfaces
// with their methods and parameters, coclasses, and one library block. The
// reader (idl_reader.h) builds it, the MSFT writer (msft_writer.h) turns it
// into a type library. Part of the build-time type-library compiler, a host
// program that never links the platform library.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace glimmark::idl {

struct Guid {
  uint32_t data1 = 0;
  uint16_t data2 = 0;
  uint16_t data3 = 0;
  std::array<uint8_t, 8> data4{};
  bool operator==(const Guid&) const = default;
};

// A parameter or return type: an automation base type, a reference to a type
// from stdole2 (IDispatch, IUnknown, OLE_COLOR) and any number of pointers.
struct IdlType {
  uint16_t vt = 0;           // VARTYPE of the base (VT_I4, VT_BSTR, ..., VT_USERDEFINED)
  std::string importedName;  // for VT_USERDEFINED: the stdole2 type's name
  int pointerDepth = 0;      // '*'s after the base; IUnknown*/IDispatch* count one less
};

enum ParamDirection : uint16_t {
  kParamIn = 0x1,
  kParamOut = 0x2,
  kParamRetval = 0x8,
};

struct IdlParam {
  std::string name;  // empty when the source leaves it out
  IdlType type;
  uint16_t flags = 0;  // ParamDirection bits
};

enum class InvokeKind : uint16_t { kMethod = 1, kPropertyGet = 2, kPropertyPut = 4 };

struct IdlMethod {
  std::string name;
  std::optional<int32_t> id;  // [id(n)]; otherwise numbered from the interface's level
  InvokeKind kind = InvokeKind::kMethod;
  IdlType returnType;
  std::vector<IdlParam> params;
  int line = 0;
};

struct IdlInterface {
  std::string name;
  std::string baseName;  // IUnknown or IDispatch
  Guid uuid;
  bool dual = false;
  bool oleautomation = false;
  bool nonextensible = false;
  bool hidden = false;
  std::vector<IdlMethod> methods;
  int line = 0;
};

struct IdlCoclassEntry {
  std::string interfaceName;
  bool isDefault = false;
  bool isSource = false;
};

struct IdlCoclass {
  std::string name;
  Guid uuid;
  bool noncreatable = false;
  std::vector<IdlCoclassEntry> interfaces;
  int line = 0;
};

// One statement of the library block, in source order.
struct LibraryEntry {
  enum Kind { kInterface, kCoclass } kind;
  std::string name;
};

struct IdlLibrary {
  std::string name;
  Guid uuid;
  uint16_t majorVersion = 0;
  uint16_t minorVersion = 0;
  uint32_t lcid = 0;
  std::vector<std::string> importedLibraries;  // importlib file names
  std::vector<LibraryEntry> entries;
};

struct IdlFile {
  std::vector<IdlInterface> interfaces;  // every interface, in or outside the library
  std::vector<IdlCoclass> coclasses;
  std::optional<IdlLibrary> library;
};

}  // namespace glimmark::idl

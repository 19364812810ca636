// Identity of the standard OLE library (stdole2.tlb) and of the three of its
// types our type libraries refer to: IUnknown, IDispatch and OLE_COLOR. The
// IDL compiler writes import records with these; the loader's built-in
// stdole2 (stdole_library.cpp) answers them. Header only.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace glimmark::stdole2 {

// A GUID as its 16 bytes in memory order (Data1..Data3 little-endian).
using GuidBytes = std::array<uint8_t, 16>;

inline constexpr std::string_view kFileName = "stdole2.tlb";
inline constexpr std::string_view kLibraryName = "stdole";
inline constexpr uint16_t kMajorVersion = 2;
inline constexpr uint16_t kMinorVersion = 0;
// {00020430-0000-0000-C000-000000000046}
inline constexpr GuidBytes kLibraryGuid = {0x30, 0x04, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                           0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};

struct ImportedType {
  std::string_view name;
  uint8_t typeKind;  // TYPEKIND
  GuidBytes guid;
};

inline constexpr uint8_t kKindInterface = 3;
inline constexpr uint8_t kKindAlias = 6;

inline constexpr ImportedType kIUnknown = {"IUnknown",
                                           kKindInterface,
                                           {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0,
                                            0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr ImportedType kIDispatch = {"IDispatch",
                                            kKindInterface,
                                            {0x00, 0x04, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0,
                                             0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
// {66504301-BE0F-101A-8BBB-00AA00300CAB}: an alias of VT_UI4.
inline constexpr ImportedType kOleColor = {"OLE_COLOR",
                                           kKindAlias,
                                           {0x01, 0x43, 0x50, 0x66, 0x0F, 0xBE, 0x1A, 0x10, 0x8B,
                                            0xBB, 0x00, 0xAA, 0x00, 0x30, 0x0C, 0xAB}};

inline constexpr ImportedType kImportedTypes[] = {kIUnknown, kIDispatch, kOleColor};

// Methods each base interface contributes to the vtable of a derived one.
inline constexpr int kIUnknownMethods = 3;
inline constexpr int kIDispatchMethods = 7;

}  // namespace glimmark::stdole2

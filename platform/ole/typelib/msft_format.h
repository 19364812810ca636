// The binary "MSFT" type-library format that oleaut32 reads: field offsets,
// record sizes, segment numbers and the name hash. Shared by the build-time
// IDL compiler (platform/typelib_compiler/, which writes it) and the loader
// (msft_reader.cpp, which reads it). Header only, no platform dependencies,
// so the host compiler builds without the platform library.
//
// File layout: header (21 little-endian 32-bit words), one 32-bit offset per
// type description, a directory of 15 segments (offset, length, two reserved
// words each), the segments, then each type description's member block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace glimmark::msft {

inline constexpr uint32_t kMagic = 0x5446534D;    // "MSFT"
inline constexpr uint32_t kVersion = 0x00010002;  // second header word
inline constexpr size_t kHeaderBytes = 0x54;      // 21 words
inline constexpr uint32_t kHelpDllFlag = 0x100;   // varflags: one extra header word follows
inline constexpr uint32_t kVarflagsBase = 0x40;   // varflags bits besides the system kind
inline constexpr uint32_t kSyskindMask = 0x0F;

// Header word offsets.
enum HeaderField : size_t {
  kHeaderMagic1 = 0x00,
  kHeaderMagic2 = 0x04,
  kHeaderPosGuid = 0x08,    // library GUID: offset in the GUID table
  kHeaderLcid = 0x0C,       // locale of the names' hashes
  kHeaderLcid2 = 0x10,      // the library's locale (TLIBATTR.lcid)
  kHeaderVarflags = 0x14,   // system kind in the low nibble
  kHeaderVersion = 0x18,    // major | minor << 16
  kHeaderFlags = 0x1C,      // LIBFLAGS
  kHeaderTypeCount = 0x20,  // number of type descriptions
  kHeaderHelpString = 0x24,
  kHeaderHelpStringContext = 0x28,
  kHeaderHelpContext = 0x2C,
  kHeaderNameCount = 0x30,
  kHeaderNameChars = 0x34,
  kHeaderNameOffset = 0x38,  // library name: offset in the name table
  kHeaderHelpFile = 0x3C,
  kHeaderCustomData = 0x40,
  kHeaderRes44 = 0x44,        // always 0x20
  kHeaderRes48 = 0x48,        // always 0x80
  kHeaderDispatchPos = 0x4C,  // reference to IDispatch, or -1
  kHeaderImportCount = 0x50,
};

// Segments, in directory order.
enum Segment : size_t {
  kSegTypeInfo = 0,
  kSegImportInfo = 1,
  kSegImportFiles = 2,
  kSegRefTable = 3,
  kSegGuidHash = 4,
  kSegGuid = 5,
  kSegNameHash = 6,
  kSegName = 7,
  kSegString = 8,
  kSegTypeDesc = 9,
  kSegArrayDesc = 10,
  kSegCustData = 11,
  kSegCustDataGuid = 12,
  kSegReserved0E = 13,
  kSegReserved0F = 14,
  kSegmentCount = 15,
};
inline constexpr size_t kSegmentEntryBytes = 16;  // offset, length, -1, 0x0F
inline constexpr uint32_t kSegmentRes0C = 0x0F;

// One type description's fixed record in the TypeInfo segment.
inline constexpr size_t kTypeInfoBytes = 0x64;
enum TypeInfoField : size_t {
  kTiTypeKind = 0x00,   // TYPEKIND in bits 0-3, alignment in bits 11-15
  kTiMemOffset = 0x04,  // file offset of the member block
  kTiRes2 = 0x08,
  kTiRes3 = 0x0C,
  kTiRes4 = 0x10,  // always 3
  kTiRes5 = 0x14,
  kTiElementCount = 0x18,  // functions | variables << 16
  kTiPosGuid = 0x2C,
  kTiFlags = 0x30,  // TYPEFLAGS
  kTiNameOffset = 0x34,
  kTiVersion = 0x38,  // major | minor << 16
  kTiDocString = 0x3C,
  kTiHelpStringContext = 0x40,
  kTiHelpContext = 0x44,
  kTiCustData = 0x48,
  kTiImplTypeCount = 0x4C,  // 16 bits
  kTiVtableSize = 0x4E,     // 16 bits, cbSizeVft
  kTiSize = 0x50,           // cbSizeInstance
  kTiDataType1 = 0x54,      // interface: base reference; coclass: ref-table offset; alias: type
  kTiDataType2 = 0x58,      // interface: inherited functions << 16 | inherited levels
  kTiRes18 = 0x5C,
  kTiRes19 = 0x60,
};
inline constexpr uint32_t kTypeKindMask = 0x0F;
inline constexpr unsigned kAlignmentShift = 11;
inline constexpr uint32_t kAlignmentMask = 0x1F;

// A function record in a member block: six words, optional attribute words,
// then one 12-byte parameter record per parameter.
inline constexpr size_t kFuncRecordBytes = 0x18;
enum FuncRecordField : size_t {
  kFrInfo = 0x00,           // record size (low 16) | index (high 16)
  kFrDataType = 0x04,       // return type
  kFrFlags = 0x08,          // FUNCFLAGS in the low 16 bits
  kFrVtableOffset = 0x0C,   // 16 bits; bit 0 is not part of the offset
  kFrDescSize = 0x0E,       // 16 bits: size of the unpacked FUNCDESC
  kFrKinds = 0x10,          // FUNCKIND, INVOKEKIND, CALLCONV, flags (below)
  kFrParamCount = 0x14,     // 16 bits
  kFrOptionalCount = 0x16,  // 16 bits
};
inline constexpr uint32_t kFuncKindMask = 0x7;
inline constexpr unsigned kInvokeKindShift = 3;
inline constexpr uint32_t kInvokeKindMask = 0xF;
inline constexpr unsigned kCallConvShift = 8;
inline constexpr uint32_t kCallConvMask = 0xF;
inline constexpr uint32_t kFuncHasCustomData = 0x80;
inline constexpr uint32_t kFuncHasDefaults = 0x1000;
inline constexpr uint32_t kFuncEntryIsOrdinal = 0x2000;
inline constexpr uint32_t kFuncHasRetval = 0x4000;
inline constexpr size_t kParamRecordBytes = 12;  // type, name offset, PARAMFLAGS
inline constexpr size_t kFuncDescBaseSize = 52;  // FUNCDESC size oleaut32 counts from
inline constexpr size_t kElemDescSize = 16;
inline constexpr size_t kTypeDescSize = 8;

// A type encoding with the top bit set is a plain VARTYPE (repeated in both
// halves); otherwise it is a byte offset into the TypeDesc segment.
inline constexpr uint32_t kSimpleTypeFlag = 0x80000000u;
inline constexpr uint32_t kTypeMask = 0x0FFF;
inline constexpr uint32_t EncodeSimpleType(uint16_t vt) {
  return kSimpleTypeFlag | (uint32_t{vt} << 16) | vt;
}
inline constexpr uint32_t kTypeDescByRef = 0x4000;  // high half of a pointer entry
inline constexpr uint32_t kTypeDescUserDefinedMix = 0x7FFF;

// Reference (HREFTYPE) encodings: a type of this library is its record's
// offset in the TypeInfo segment; an imported one is its ImportInfo offset | 1.
inline constexpr uint32_t kImportedRefFlag = 1;

// Import records.
inline constexpr size_t kImportInfoBytes = 12;  // flags, import-file offset, GUID offset
inline constexpr uint32_t kImportByGuid = 0x00010000;
inline constexpr unsigned kImportKindShift = 24;
inline constexpr size_t kImportFileFixedBytes = 14;  // GUID offset, lcid, version, name length
inline constexpr unsigned kImportFileNameShift = 2;

// Implemented-interface records of a coclass (RefTable segment).
inline constexpr size_t kRefRecordBytes = 16;  // reference, IMPLTYPEFLAGS, custom data, next

// GUID table entries and the GUID hash.
inline constexpr size_t kGuidEntryBytes = 24;  // GUID, reference, next in chain
inline constexpr size_t kGuidHashBytes = 0x80;
inline constexpr int32_t kLibraryGuidRef = -2;
inline constexpr int32_t kImportFileGuidRef = 2;

// Name table entries: reference, next in chain, length | flags << 8 | hash << 16,
// then the characters padded to four bytes with 0x57.
inline constexpr size_t kNameIntroBytes = 12;
inline constexpr size_t kNameHashBytes = 0x200;
inline constexpr uint32_t kNameHashBuckets = 0x80;
inline constexpr uint8_t kPadByte = 0x57;

// Words of one member block after its records: ids, name offsets, record offsets.
inline constexpr size_t kMemberIndexArrays = 3;

inline constexpr uint32_t kEmpty = 0xFFFFFFFFu;

// oleaut32's name hash (LHashValOfNameSys) for the English locale: a
// multiply-by-37 walk over the characters' sort weights. Identifier letters
// weigh as their capitals, except that W weighs as V and Y as U. The low 16
// bits are what the name table keeps; the high ones carry the system kind.
inline constexpr uint32_t kHashSeed = 0x0deadbee;
inline constexpr uint32_t kHashPrime = 65599;
inline constexpr uint32_t CharacterWeight(uint32_t c) {
  if (c >= 'a' && c <= 'z') c -= 'a' - 'A';
  if (c == 'W') return 'V';
  if (c == 'Y') return 'U';
  return c;
}
// `units` are the name's characters (ASCII for every name this format stores
// from our compiler; other units weigh as themselves).
template <typename Unit>
inline uint32_t NameHash(std::basic_string_view<Unit> units) {
  uint32_t value = kHashSeed;
  for (Unit unit : units) value = 37 * value + CharacterWeight(static_cast<uint32_t>(unit));
  return (value % kHashPrime) & 0xFFFF;
}

}  // namespace glimmark::msft

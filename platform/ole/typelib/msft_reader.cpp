// MSFT decoding. A Reader answers zero once any read went out of bounds and
// remembers that it did, so the decoding below is a straight sequence of
// reads with the status checked where a value steers what comes next.
#include "ole/typelib/msft_reader.h"

#include <cstring>
#include <new>

#include "ole/typelib/msft_format.h"
#include "ole/typelib/stdole_library.h"

namespace glimmark::ole {
namespace {

using namespace glimmark::msft;

// References this loader makes up for stdole2's records (odd, so imported;
// far above any import-record offset a file can have).
constexpr HREFTYPE kStdoleRecordRefBase = 0x7FFF0001;

// The file as one bounded buffer: every read goes through Bounded().
class Reader {
 public:
  explicit Reader(std::span<const uint8_t> bytes) : bytes_(bytes) {}

  bool ok() const { return ok_; }
  void Fail() { ok_ = false; }
  size_t size() const { return bytes_.size(); }

  // True when [offset, offset + count) lies inside the file.
  bool Bounded(uint64_t offset, uint64_t count) {
    if (offset > bytes_.size() || count > bytes_.size() - offset) ok_ = false;
    return ok_;
  }
  uint32_t Word(uint64_t offset) {
    if (!Bounded(offset, 4)) return 0;
    const uint8_t* p = bytes_.data() + offset;
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
  }
  uint16_t Half(uint64_t offset) {
    if (!Bounded(offset, 2)) return 0;
    const uint8_t* p = bytes_.data() + offset;
    return static_cast<uint16_t>(p[0] | p[1] << 8);
  }
  const uint8_t* At(uint64_t offset, uint64_t count) {
    return Bounded(offset, count) ? bytes_.data() + offset : nullptr;
  }

 private:
  std::span<const uint8_t> bytes_;
  bool ok_ = true;
};

struct SegmentRange {
  uint32_t offset = 0;
  uint32_t length = 0;
};

class MsftDecoder {
 public:
  MsftDecoder(std::span<const uint8_t> bytes, LibraryData* library)
      : reader_(bytes), library_(*library) {}

  HRESULT Decode() {
    if (reader_.size() > kMaxTypeLibraryBytes) return TYPE_E_INVDATAREAD;
    if (reader_.Word(kHeaderMagic1) != kMagic) return TYPE_E_UNSUPFORMAT;
    if (!ReadHeader() || !ReadImports()) return TYPE_E_INVDATAREAD;
    library_.types.resize(typeCount_);
    for (size_t i = 0; i < typeCount_; ++i) {
      if (!ReadType(i, library_.types[i])) return TYPE_E_INVDATAREAD;
    }
    if (!CheckReferences() || !BaseChainsEnd()) return TYPE_E_INVDATAREAD;
    BuildDispatchViews();
    return S_OK;
  }

 private:
  bool ReadHeader() {
    if (!reader_.Bounded(0, kHeaderBytes)) return false;
    const uint32_t varflags = reader_.Word(kHeaderVarflags);
    const uint32_t sysKind = varflags & kSyskindMask;
    if (sysKind > SYS_WIN64) return false;
    library_.sysKind = static_cast<SYSKIND>(sysKind);
    library_.lcid = reader_.Word(kHeaderLcid2);
    const uint32_t version = reader_.Word(kHeaderVersion);
    library_.majorVersion = static_cast<WORD>(version);
    library_.minorVersion = static_cast<WORD>(version >> 16);
    library_.flags = static_cast<WORD>(reader_.Word(kHeaderFlags));
    library_.helpContext = reader_.Word(kHeaderHelpContext);
    typeCount_ = reader_.Word(kHeaderTypeCount);
    if (typeCount_ > kMaxTypeInfos) return false;
    size_t position = kHeaderBytes + ((varflags & kHelpDllFlag) ? 4 : 0);
    position += typeCount_ * 4;  // offsets of the type records, implied by their order
    for (size_t s = 0; s < kSegmentCount; ++s) {
      const size_t entry = position + s * kSegmentEntryBytes;
      SegmentRange& segment = segments_[s];
      segment.length = reader_.Word(entry + 4);
      segment.offset = segment.length == 0 ? 0 : reader_.Word(entry);
      if (segment.length != 0 && !reader_.Bounded(segment.offset, segment.length)) return false;
    }
    if (!reader_.ok()) return false;
    if (uint64_t{typeCount_} * kTypeInfoBytes > segments_[kSegTypeInfo].length) return false;
    library_.guid = ReadGuid(reader_.Word(kHeaderPosGuid));
    library_.name = ReadName(reader_.Word(kHeaderNameOffset));
    library_.docString = ReadString(reader_.Word(kHeaderHelpString));
    library_.helpFile = ReadString(reader_.Word(kHeaderHelpFile));
    return reader_.ok();
  }

  // Absolute offset of [offset, offset + count) inside segment s, or fails.
  uint64_t InSegment(size_t s, uint32_t offset, uint32_t count) {
    const SegmentRange& segment = segments_[s];
    if (offset > segment.length || count > segment.length - offset) {
      reader_.Fail();
      return 0;
    }
    return uint64_t{segment.offset} + offset;
  }

  GUID ReadGuid(uint32_t offset) {
    GUID guid{};
    if (offset == kEmpty) return guid;
    const uint8_t* bytes = reader_.At(InSegment(kSegGuid, offset, sizeof(GUID)), sizeof(GUID));
    if (bytes != nullptr && reader_.ok()) std::memcpy(&guid, bytes, sizeof(GUID));
    return guid;
  }

  static std::u16string Widen(const uint8_t* bytes, size_t length) {
    std::u16string text(length, u'\0');
    for (size_t i = 0; i < length; ++i) text[i] = bytes[i];  // names are 8-bit (Latin-1)
    return text;
  }

  std::u16string ReadName(uint32_t offset) {
    if (offset == kEmpty) return {};
    const uint64_t intro = InSegment(kSegName, offset, kNameIntroBytes);
    const size_t length = reader_.Word(intro + 8) & 0xFF;
    const uint8_t* text = reader_.At(
        InSegment(kSegName, offset + kNameIntroBytes, static_cast<uint32_t>(length)), length);
    if (text == nullptr || !reader_.ok()) return {};
    return Widen(text, length);
  }

  std::u16string ReadString(uint32_t offset) {
    if (offset == kEmpty) return {};
    const uint64_t start = InSegment(kSegString, offset, 2);
    const size_t length = reader_.Half(start);
    const uint8_t* text =
        reader_.At(InSegment(kSegString, offset + 2, static_cast<uint32_t>(length)), length);
    if (text == nullptr || !reader_.ok()) return {};
    return Widen(text, length);
  }

  bool ReadImports() {
    const uint32_t count = segments_[kSegImportInfo].length / kImportInfoBytes;
    if (count > kMaxImports) return false;
    for (uint32_t i = 0; i < count; ++i) {
      const uint32_t offset = static_cast<uint32_t>(i * kImportInfoBytes);
      const uint64_t at = InSegment(kSegImportInfo, offset, kImportInfoBytes);
      ImportData import;
      import.href = offset | kImportedRefFlag;
      const uint32_t flags = reader_.Word(at);
      const uint32_t fileOffset = reader_.Word(at + 4);
      const uint32_t target = reader_.Word(at + 8);
      import.byGuid = (flags & kImportByGuid) != 0;
      if (import.byGuid) {
        import.typeGuid = ReadGuid(target);
      } else {
        import.typeIndex = target;
      }
      const uint64_t file = InSegment(kSegImportFiles, fileOffset, kImportFileFixedBytes);
      import.libraryGuid = ReadGuid(reader_.Word(file));
      import.lcid = reader_.Word(file + 4);
      import.majorVersion = reader_.Half(file + 8);
      import.minorVersion = reader_.Half(file + 10);
      const size_t nameLength = reader_.Half(file + 12) >> kImportFileNameShift;
      const uint8_t* name =
          reader_.At(InSegment(kSegImportFiles, fileOffset + kImportFileFixedBytes,
                               static_cast<uint32_t>(nameLength)),
                     nameLength);
      if (!reader_.ok() || name == nullptr) return false;
      import.fileName = Widen(name, nameLength);
      library_.imports.push_back(std::move(import));
    }
    return reader_.ok();
  }

  // Decodes a type encoding: a plain VARTYPE or a TypeDesc-segment chain.
  TypeRef ReadType(uint32_t encoded) {
    TypeRef type;
    for (size_t depth = 0; depth <= kMaxTypeDepth; ++depth) {
      if (encoded & kSimpleTypeFlag) {
        type.chain[depth] = static_cast<VARTYPE>(encoded & kTypeMask);
        type.depth = depth + 1;
        return type;
      }
      if (encoded % kTypeDescSize != 0) break;
      const uint64_t at = InSegment(kSegTypeDesc, encoded, kTypeDescSize);
      const auto vt = static_cast<VARTYPE>(reader_.Word(at) & kTypeMask);
      const uint32_t second = reader_.Word(at + 4);
      type.chain[depth] = vt;
      if (vt == VT_USERDEFINED) {
        type.href = second;
        type.depth = depth + 1;
        return type;
      }
      if (vt != VT_PTR && vt != VT_SAFEARRAY) break;  // arrays of fixed size: not supported
      encoded = second;
    }
    reader_.Fail();
    return TypeRef::Simple(VT_EMPTY);
  }

  bool ReadType(size_t index, TypeData& type) {
    const uint64_t at =
        InSegment(kSegTypeInfo, static_cast<uint32_t>(index * kTypeInfoBytes), kTypeInfoBytes);
    const uint32_t kindWord = reader_.Word(at + kTiTypeKind);
    const uint32_t kind = kindWord & kTypeKindMask;
    if (kind >= TKIND_MAX) return false;
    type.kind = static_cast<TYPEKIND>(kind);
    type.alignment = static_cast<WORD>((kindWord >> kAlignmentShift) & kAlignmentMask);
    type.guid = ReadGuid(reader_.Word(at + kTiPosGuid));
    type.flags = static_cast<WORD>(reader_.Word(at + kTiFlags));
    type.name = ReadName(reader_.Word(at + kTiNameOffset));
    const uint32_t version = reader_.Word(at + kTiVersion);
    type.majorVersion = static_cast<WORD>(version);
    type.minorVersion = static_cast<WORD>(version >> 16);
    type.docString = ReadString(reader_.Word(at + kTiDocString));
    type.helpContext = reader_.Word(at + kTiHelpContext);
    const uint16_t implCount = reader_.Half(at + kTiImplTypeCount);
    type.vtableSize = reader_.Half(at + kTiVtableSize);
    type.instanceSize = reader_.Word(at + kTiSize);
    const uint32_t dataType1 = reader_.Word(at + kTiDataType1);
    const uint32_t elements = reader_.Word(at + kTiElementCount);
    if (!reader_.ok()) return false;
    switch (type.kind) {
      case TKIND_COCLASS:
        if (!ReadCoclassRefs(dataType1, implCount, type)) return false;
        break;
      case TKIND_INTERFACE:
      case TKIND_DISPATCH:
        if (implCount > 1) return false;
        if (implCount == 1 && dataType1 != kEmpty) type.implTypes.push_back({dataType1, 0});
        break;
      case TKIND_ALIAS:
        type.alias = ReadType(dataType1);
        break;
      default:
        break;
    }
    const size_t functionCount = elements & 0xFFFF;
    const size_t variableCount = elements >> 16;
    if (functionCount > kMaxFunctionsPerType || variableCount > kMaxFunctionsPerType) return false;
    if (functionCount > 0) {
      const uint32_t block = reader_.Word(at + kTiMemOffset);
      if (!ReadFunctions(block, functionCount, variableCount, type)) return false;
    }
    return reader_.ok();
  }

  bool ReadCoclassRefs(uint32_t first, uint16_t count, TypeData& type) {
    if (count > kMaxImplTypes) return false;
    uint32_t offset = first;
    for (uint16_t i = 0; i < count; ++i) {
      const uint64_t at = InSegment(kSegRefTable, offset, kRefRecordBytes);
      type.implTypes.push_back({reader_.Word(at), static_cast<INT>(reader_.Word(at + 4))});
      offset = reader_.Word(at + 12);
      if (!reader_.ok()) return false;
    }
    return true;
  }

  bool ReadFunctions(uint32_t block, size_t functionCount, size_t variableCount, TypeData& type) {
    const uint32_t recordsLength = reader_.Word(block);
    const uint64_t records = uint64_t{block} + 4;
    const size_t members = functionCount + variableCount;
    const uint64_t ids = records + recordsLength;
    const uint64_t names = ids + members * 4;
    if (!reader_.Bounded(records, recordsLength) ||
        !reader_.Bounded(ids, members * 4 * kMemberIndexArrays)) {
      return false;
    }
    uint64_t recordOffset = 0;
    type.functions.resize(functionCount);
    for (size_t i = 0; i < functionCount; ++i) {
      FunctionData& function = type.functions[i];
      function.memid = static_cast<MEMBERID>(reader_.Word(ids + i * 4));
      const uint32_t nameOffset = reader_.Word(names + i * 4);
      function.name = ReadName(nameOffset);
      const uint32_t length = reader_.Word(records + recordOffset) & 0xFFFF;
      if (length < kFuncRecordBytes || recordOffset + length > recordsLength) return false;
      if (!ReadFunction(records + recordOffset, length, function)) return false;
      recordOffset += length;
    }
    // The second function of a property pair may leave its name out.
    for (FunctionData& function : type.functions) {
      if (!function.name.empty()) continue;
      for (const FunctionData& other : type.functions) {
        if (other.memid == function.memid && !other.name.empty()) function.name = other.name;
      }
    }
    return reader_.ok();
  }

  bool ReadFunction(uint64_t at, uint32_t length, FunctionData& function) {
    function.returnType = ReadType(reader_.Word(at + kFrDataType));
    function.flags = static_cast<WORD>(reader_.Word(at + kFrFlags));
    function.vtableOffset = static_cast<SHORT>(reader_.Half(at + kFrVtableOffset) & ~1u);
    const uint32_t kinds = reader_.Word(at + kFrKinds);
    function.funcKind = static_cast<FUNCKIND>(kinds & kFuncKindMask);
    function.invokeKind = static_cast<INVOKEKIND>((kinds >> kInvokeKindShift) & kInvokeKindMask);
    function.callConv = static_cast<CALLCONV>((kinds >> kCallConvShift) & kCallConvMask);
    const size_t paramCount = reader_.Half(at + kFrParamCount);
    function.optionalCount = static_cast<SHORT>(reader_.Half(at + kFrOptionalCount));
    if (function.funcKind > FUNC_DISPATCH || paramCount > kMaxParams) return false;
    switch (function.invokeKind) {
      case INVOKE_FUNC:
      case INVOKE_PROPERTYGET:
      case INVOKE_PROPERTYPUT:
      case INVOKE_PROPERTYPUTREF:
        break;
      default:
        return false;
    }
    if (function.optionalCount < 0 || static_cast<size_t>(function.optionalCount) > paramCount) {
      return false;
    }
    const size_t defaults = (kinds & kFuncHasDefaults) ? paramCount * 4 : 0;
    const size_t tail = paramCount * kParamRecordBytes + defaults;
    if (kFuncRecordBytes + tail > length) return false;
    const size_t optionalWords = (length - tail - kFuncRecordBytes) / 4;
    if (optionalWords > 0) function.helpContext = reader_.Word(at + kFuncRecordBytes);
    if (optionalWords > 1) function.docString = ReadString(reader_.Word(at + kFuncRecordBytes + 4));
    const uint64_t params = at + length - paramCount * kParamRecordBytes;
    function.params.resize(paramCount);
    for (size_t p = 0; p < paramCount; ++p) {
      ParamData& param = function.params[p];
      const uint64_t record = params + p * kParamRecordBytes;
      param.type = ReadType(reader_.Word(record));
      param.name = ReadName(reader_.Word(record + 4));
      param.flags = static_cast<USHORT>(reader_.Word(record + 8));
    }
    return reader_.ok();
  }

  bool IsValidReference(HREFTYPE href) const {
    if (IsImportedRef(href)) {
      for (const ImportData& import : library_.imports) {
        if (import.href == href) return true;
      }
      return false;
    }
    return href % kLocalRefStride == 0 && href / kLocalRefStride < typeCount_;
  }

  bool IsValidType(const TypeRef& type) const {
    return type.Base() != VT_USERDEFINED || IsValidReference(type.href);
  }

  // Every reference a later call could follow must lead somewhere.
  bool CheckReferences() const {
    for (const TypeData& type : library_.types) {
      for (const ImplTypeData& impl : type.implTypes) {
        if (!IsValidReference(impl.href)) return false;
      }
      if (type.kind == TKIND_ALIAS && !IsValidType(type.alias)) return false;
      for (const FunctionData& function : type.functions) {
        if (!IsValidType(function.returnType)) return false;
        for (const ParamData& param : function.params) {
          if (!IsValidType(param.type)) return false;
        }
      }
    }
    return true;
  }

  // Every local chain of base interfaces (an interface's first implemented
  // type) ends: name look-ups and calls that search the bases follow it, so a
  // cycle would never return. A chain longer than the library has types is one.
  bool BaseChainsEnd() const {
    const size_t count = library_.types.size();
    for (size_t start = 0; start < count; ++start) {
      size_t current = start;
      for (size_t steps = 0;; ++steps) {
        const TypeData& type = library_.types[current];
        if (type.kind == TKIND_COCLASS || type.implTypes.empty()) break;
        const HREFTYPE href = type.implTypes[0].href;
        if (IsImportedRef(href)) break;
        if (steps >= count) return false;
        current = href / kLocalRefStride;
      }
    }
    return true;
  }

  // IDispatch's methods name stdole2's records (GUID, DISPPARAMS, EXCEPINFO)
  // by stdole2's references; in this library they become imports by index.
  void RebaseOnStdole(FunctionData& function) {
    RebaseOnStdole(function.returnType);
    for (ParamData& param : function.params) RebaseOnStdole(param.type);
  }
  void RebaseOnStdole(TypeRef& type) {
    if (type.Base() != VT_USERDEFINED) return;
    const UINT index = type.href / kLocalRefStride;
    const HREFTYPE href = kStdoleRecordRefBase + 2 * index;
    type.href = href;
    for (const ImportData& import : library_.imports) {
      if (import.href == href) return;
    }
    ImportData import;
    import.href = href;
    import.fileName = u"stdole2.tlb";
    import.libraryGuid = BuiltInStdole().guid;
    import.majorVersion = BuiltInStdole().majorVersion;
    import.minorVersion = BuiltInStdole().minorVersion;
    import.byGuid = false;
    import.typeIndex = index;
    library_.imports.push_back(std::move(import));
  }

  // A dual interface's dispatch view starts with IDispatch's own methods.
  void BuildDispatchViews() {
    const std::vector<FunctionData>& inherited = DispatchBaseFunctions();
    for (TypeData& type : library_.types) {
      if (!type.IsDual()) continue;
      type.dispatchFunctions = inherited;
      for (size_t i = 0; i < inherited.size(); ++i) RebaseOnStdole(type.dispatchFunctions[i]);
      for (const FunctionData& function : type.functions) {
        type.dispatchFunctions.push_back(ToDispatchForm(function));
      }
    }
  }

  Reader reader_;
  LibraryData& library_;
  SegmentRange segments_[kSegmentCount];
  uint32_t typeCount_ = 0;
};

}  // namespace

FunctionData ToDispatchForm(const FunctionData& function) {
  FunctionData converted = function;
  converted.funcKind = FUNC_DISPATCH;
  if (converted.returnType.Outer() != VT_HRESULT) return converted;
  if (!converted.params.empty() && (converted.params.back().flags & PARAMFLAG_FRETVAL) &&
      converted.params.back().type.Outer() == VT_PTR) {
    converted.returnType = converted.params.back().type.Pointee();
    converted.params.pop_back();
  } else {
    converted.returnType = TypeRef::Simple(VT_VOID);
  }
  return converted;
}

bool LooksLikeMsft(std::span<const uint8_t> bytes) {
  return bytes.size() >= 4 && bytes[0] == 'M' && bytes[1] == 'S' && bytes[2] == 'F' &&
         bytes[3] == 'T';
}

HRESULT ReadMsft(std::span<const uint8_t> bytes, LibraryData* library) noexcept {
  try {
    return MsftDecoder(bytes, library).Decode();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

}  // namespace glimmark::ole

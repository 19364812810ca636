// MSFT writer: segments are built in memory, then laid out after the header,
// the type-info offsets and the segment directory; each type description's
// member block follows the segments.
#include "msft_writer.h"

#include <cstring>
#include <map>
#include <string>

#include "ole/typelib/msft_format.h"
#include "ole/typelib/stdole2_facts.h"

namespace glimmark::idl {
namespace {

using namespace glimmark::msft;

constexpr uint16_t kVtPtr = 26, kVtUserDefined = 29;
constexpr uint32_t kSysWin64 = 3;
constexpr uint32_t kPointerSize = 8;
constexpr uint32_t kEnglishLcid = 0x409;
constexpr uint32_t kTypeFlagCanCreate = 0x2, kTypeFlagHidden = 0x10, kTypeFlagDual = 0x40,
                   kTypeFlagNonExtensible = 0x80, kTypeFlagOleAutomation = 0x100,
                   kTypeFlagDispatchable = 0x1000;
constexpr uint32_t kTypeKindInterface = 3, kTypeKindDispatch = 4, kTypeKindCoclass = 5;
constexpr uint32_t kFuncPureVirtual = 1, kCallStdcall = 4;
constexpr uint32_t kImplDefault = 0x1, kImplSource = 0x2;
constexpr uint32_t kInterfaceAlignment = 8, kCoclassAlignment = 4;
// Bits oleaut32's writers set in a record's type-kind word besides kind,
// alignment and index.
constexpr uint32_t kTypeKindWordBits = 0x220, kDispatchKindWordBit = 0x10;
constexpr uint8_t kTypeNameFlags = 0x38;
constexpr size_t kMaxNameLength = 255;
// Automatic DISPIDs: 0x60000000 | inheritance level << 16 | method index.
constexpr uint32_t kAutomaticIdBase = 0x60000000;
constexpr uint32_t kRes2Start = 0x20, kRes3PerFunction = 0x38, kRes3PerParam = 0x10;

class ByteBuffer {
 public:
  size_t size() const { return bytes_.size(); }
  const std::vector<uint8_t>& bytes() const { return bytes_; }
  void Word(uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes_.push_back(static_cast<uint8_t>(value >> (8 * i)));
  }
  void Half(uint16_t value) {
    bytes_.push_back(static_cast<uint8_t>(value));
    bytes_.push_back(static_cast<uint8_t>(value >> 8));
  }
  void Bytes(const void* data, size_t count) {
    const auto* first = static_cast<const uint8_t*>(data);
    bytes_.insert(bytes_.end(), first, first + count);
  }
  void PadTo4() {
    while (bytes_.size() % 4 != 0) bytes_.push_back(kPadByte);
  }
  void PutWord(size_t offset, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes_[offset + i] = static_cast<uint8_t>(value >> (8 * i));
  }
  void PutHalf(size_t offset, uint16_t value) {
    bytes_[offset] = static_cast<uint8_t>(value);
    bytes_[offset + 1] = static_cast<uint8_t>(value >> 8);
  }
  uint32_t GetWord(size_t offset) const {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value |= uint32_t{bytes_[offset + i]} << (8 * i);
    return value;
  }
  void Fill(size_t count, uint8_t value) { bytes_.insert(bytes_.end(), count, value); }

 private:
  std::vector<uint8_t> bytes_;
};

stdole2::GuidBytes ToBytes(const Guid& guid) {
  stdole2::GuidBytes bytes{};
  std::memcpy(bytes.data(), &guid.data1, 4);
  std::memcpy(bytes.data() + 4, &guid.data2, 2);
  std::memcpy(bytes.data() + 6, &guid.data3, 2);
  std::memcpy(bytes.data() + 8, guid.data4.data(), 8);
  return bytes;
}

uint32_t GuidHash(const stdole2::GuidBytes& bytes) {
  uint16_t hash = 0;
  for (size_t i = 0; i < 16; i += 2) hash ^= static_cast<uint16_t>(bytes[i] | bytes[i + 1] << 8);
  return hash & (kGuidHashBytes / 4 - 1);
}

// One type description being written: its fixed record and member block.
struct TypeInfoOut {
  ByteBuffer record;
  ByteBuffer members;  // empty for types without functions
};

class MsftWriter {
 public:
  explicit MsftWriter(const IdlFile& file) : file_(file) {
    segments_[kSegGuidHash].Fill(kGuidHashBytes, 0xFF);
    segments_[kSegNameHash].Fill(kNameHashBytes, 0xFF);
  }

  std::vector<uint8_t> Write() {
    const IdlLibrary& library = *file_.library;
    libraryGuidOffset_ = AddGuid(ToBytes(library.uuid), static_cast<uint32_t>(kLibraryGuidRef));
    libraryNameOffset_ = AddName(library.name, kEmpty, 0);
    for (const LibraryEntry& entry : library.entries) {
      if (entry.kind == LibraryEntry::kCoclass) {
        const IdlCoclass& coclass = FindCoclass(entry.name);
        ReserveType(entry.name);
        for (const IdlCoclassEntry& member : coclass.interfaces) ReserveType(member.interfaceName);
      } else {
        ReserveType(entry.name);
      }
    }
    for (size_t i = 0; i < order_.size(); ++i) {
      if (IsCoclassName(order_[i])) {
        WriteCoclass(i, FindCoclass(order_[i]));
      } else {
        WriteInterface(i, FindInterface(order_[i]));
      }
    }
    return Assemble();
  }

 private:
  bool IsCoclassName(const std::string& name) const {
    for (const IdlCoclass& coclass : file_.coclasses) {
      if (coclass.name == name) return true;
    }
    return false;
  }
  const IdlCoclass& FindCoclass(const std::string& name) const {
    for (const IdlCoclass& coclass : file_.coclasses) {
      if (coclass.name == name) return coclass;
    }
    throw IdlError(1, "coclass '" + name + "' is not defined");
  }
  const IdlInterface& FindInterface(const std::string& name) const {
    for (const IdlInterface& interface : file_.interfaces) {
      if (interface.name == name) return interface;
    }
    throw IdlError(1, "interface '" + name + "' is not defined");
  }

  // Gives a type its index in the library the first time it is named.
  size_t ReserveType(const std::string& name) {
    for (size_t i = 0; i < order_.size(); ++i) {
      if (order_[i] == name) return i;
    }
    order_.push_back(name);
    types_.emplace_back();
    return order_.size() - 1;
  }

  static uint32_t TypeOffset(size_t index) { return static_cast<uint32_t>(index * kTypeInfoBytes); }

  uint32_t AddGuid(const stdole2::GuidBytes& guid, uint32_t reference) {
    const auto found = guidOffsets_.find(guid);
    if (found != guidOffsets_.end()) return found->second;
    ByteBuffer& table = segments_[kSegGuid];
    const auto offset = static_cast<uint32_t>(table.size());
    const uint32_t bucket = GuidHash(guid);
    ByteBuffer& hash = segments_[kSegGuidHash];
    table.Bytes(guid.data(), guid.size());
    table.Word(reference);
    table.Word(hash.GetWord(bucket * 4));
    hash.PutWord(bucket * 4, offset);
    guidOffsets_[guid] = offset;
    return offset;
  }

  uint32_t AddName(const std::string& name, uint32_t reference, uint8_t flags) {
    const auto found = nameOffsets_.find(name);
    if (found != nameOffsets_.end()) return found->second;
    if (name.empty() || name.size() > kMaxNameLength) {
      throw IdlError(1, "name '" + name + "' is empty or longer than 255 characters");
    }
    ByteBuffer& table = segments_[kSegName];
    const auto offset = static_cast<uint32_t>(table.size());
    const uint32_t hash = NameHash(std::string_view(name));
    ByteBuffer& buckets = segments_[kSegNameHash];
    const uint32_t bucket = hash % kNameHashBuckets;
    table.Word(reference);
    table.Word(buckets.GetWord(bucket * 4));
    table.Word(static_cast<uint32_t>(name.size()) | uint32_t{flags} << 8 | hash << 16);
    table.Bytes(name.data(), name.size());
    table.PadTo4();
    buckets.PutWord(bucket * 4, offset);
    nameOffsets_[name] = offset;
    ++nameCount_;
    nameChars_ += static_cast<uint32_t>(name.size());
    return offset;
  }

  // The reference to an imported stdole2 type, adding its import record once.
  uint32_t ImportReference(const stdole2::ImportedType& type, int line) {
    const auto found = importOffsets_.find(std::string(type.name));
    if (found != importOffsets_.end()) return found->second | kImportedRefFlag;
    if (file_.library->importedLibraries.empty()) {
      throw IdlError(line, std::string(type.name) + " needs importlib(\"stdole2.tlb\")");
    }
    ByteBuffer& infos = segments_[kSegImportInfo];
    const auto offset = static_cast<uint32_t>(infos.size());
    const uint32_t guidOffset = AddGuid(type.guid, offset | kImportedRefFlag);
    infos.Word(uint32_t{type.typeKind} << kImportKindShift | kImportByGuid);
    infos.Word(ImportFileOffset());
    infos.Word(guidOffset);
    importOffsets_[std::string(type.name)] = offset;
    return offset | kImportedRefFlag;
  }

  uint32_t ImportFileOffset() {
    if (importFileOffset_ != kEmpty) return importFileOffset_;
    ByteBuffer& files = segments_[kSegImportFiles];
    importFileOffset_ = static_cast<uint32_t>(files.size());
    files.Word(AddGuid(stdole2::kLibraryGuid, static_cast<uint32_t>(kImportFileGuidRef)));
    files.Word(0);  // stdole2's locale: neutral
    files.Half(stdole2::kMajorVersion);
    files.Half(stdole2::kMinorVersion);
    files.Half(static_cast<uint16_t>(stdole2::kFileName.size() << kImportFileNameShift | 1));
    files.Bytes(stdole2::kFileName.data(), stdole2::kFileName.size());
    files.PadTo4();
    return importFileOffset_;
  }

  uint32_t AddTypeDesc(uint32_t first, uint32_t second) {
    ByteBuffer& table = segments_[kSegTypeDesc];
    for (size_t offset = 0; offset < table.size(); offset += kTypeDescSize) {
      if (table.GetWord(offset) == first && table.GetWord(offset + 4) == second) {
        return static_cast<uint32_t>(offset);
      }
    }
    const auto offset = static_cast<uint32_t>(table.size());
    table.Word(first);
    table.Word(second);
    return offset;
  }

  // The encoded type and how many bytes its TYPEDESC chain adds to a FUNCDESC.
  struct Encoded {
    uint32_t value;
    uint32_t extraBytes;
  };

  Encoded EncodeType(const IdlType& type, int line) {
    Encoded base{EncodeSimpleType(type.vt), 0};
    if (type.vt == kVtUserDefined) {
      const stdole2::ImportedType* imported = nullptr;
      for (const stdole2::ImportedType& candidate : stdole2::kImportedTypes) {
        if (candidate.name == type.importedName) imported = &candidate;
      }
      if (imported == nullptr) throw IdlError(line, "unknown type " + type.importedName);
      const uint32_t reference = ImportReference(*imported, line);
      base.value = AddTypeDesc(kTypeDescUserDefinedMix << 16 | kVtUserDefined, reference);
    }
    if (type.pointerDepth == 0) return base;
    const uint32_t mix = (base.value & kSimpleTypeFlag)
                             ? (((base.value >> 16) & 0x3FFF) | kTypeDescByRef)
                             : kTypeDescUserDefinedMix;
    return {AddTypeDesc(mix << 16 | kVtPtr, base.value),
            static_cast<uint32_t>(kTypeDescSize) + base.extraBytes};
  }

  void WriteCoclass(size_t index, const IdlCoclass& coclass) {
    ByteBuffer& refs = segments_[kSegRefTable];
    const auto firstRef = static_cast<uint32_t>(refs.size());
    for (size_t i = 0; i < coclass.interfaces.size(); ++i) {
      const IdlCoclassEntry& member = coclass.interfaces[i];
      const bool last = i + 1 == coclass.interfaces.size();
      refs.Word(TypeOffset(ReserveType(member.interfaceName)));
      refs.Word((member.isDefault ? kImplDefault : 0) | (member.isSource ? kImplSource : 0));
      refs.Word(kEmpty);
      refs.Word(last ? kEmpty : static_cast<uint32_t>(refs.size() + 4));
    }
    TypeRecord fields;
    fields.kind = kTypeKindCoclass;
    fields.alignment = kCoclassAlignment;
    fields.flags = coclass.noncreatable ? 0 : kTypeFlagCanCreate;
    fields.implTypes = static_cast<uint16_t>(coclass.interfaces.size());
    fields.dataType1 = coclass.interfaces.empty() ? kEmpty : firstRef;
    WriteRecord(index, coclass.name, coclass.uuid, fields);
  }

  struct TypeRecord {
    uint32_t kind = 0;
    uint32_t alignment = 0;
    uint32_t flags = 0;
    uint16_t implTypes = 0;
    uint16_t vtableSize = 0;
    uint32_t dataType1 = kEmpty;
    uint32_t dataType2 = 0;
    uint32_t functions = 0;
    uint32_t res2 = 0;
    uint32_t res3 = kEmpty;
  };

  void WriteRecord(size_t index, const std::string& name, const Guid& guid,
                   const TypeRecord& fields) {
    ByteBuffer& record = types_[index].record;
    const uint32_t offset = TypeOffset(index);
    const uint32_t guidOffset = AddGuid(ToBytes(guid), offset);
    const uint32_t nameOffset = AddName(name, offset, kTypeNameFlags);
    const uint32_t kindWord = static_cast<uint32_t>(index) << 16 |
                              fields.alignment << kAlignmentShift | kTypeKindWordBits |
                              (fields.kind == kTypeKindDispatch ? kDispatchKindWordBit : 0) |
                              fields.kind;
    record.Word(kindWord);
    record.Word(0);  // member block offset, set when laid out
    record.Word(fields.res2);
    record.Word(fields.res3);
    record.Word(3);
    record.Word(0);
    record.Word(fields.functions);
    for (int i = 0; i < 4; ++i) record.Word(0);
    record.Word(guidOffset);
    record.Word(fields.flags);
    record.Word(nameOffset);
    record.Word(0);       // version
    record.Word(kEmpty);  // doc string
    record.Word(0);
    record.Word(0);
    record.Word(kEmpty);  // custom data
    record.Half(fields.implTypes);
    record.Half(fields.vtableSize);
    record.Word(kPointerSize);
    record.Word(fields.dataType1);
    record.Word(fields.dataType2);
    record.Word(0);
    record.Word(kEmpty);
  }

  void WriteInterface(size_t index, const IdlInterface& interface) {
    const bool overDispatch = interface.baseName == "IDispatch";
    const stdole2::ImportedType& base = overDispatch ? stdole2::kIDispatch : stdole2::kIUnknown;
    const uint32_t inherited =
        overDispatch ? stdole2::kIDispatchMethods : stdole2::kIUnknownMethods;
    const uint32_t levels = overDispatch ? 2 : 1;
    TypeRecord fields;
    fields.kind = interface.dual ? kTypeKindDispatch : kTypeKindInterface;
    fields.alignment = kInterfaceAlignment;
    fields.flags = (interface.dual ? kTypeFlagDual | kTypeFlagOleAutomation : 0) |
                   (interface.oleautomation ? kTypeFlagOleAutomation : 0) |
                   (interface.nonextensible ? kTypeFlagNonExtensible : 0) |
                   (interface.hidden ? kTypeFlagHidden : 0) |
                   (overDispatch ? kTypeFlagDispatchable : 0);
    fields.implTypes = 1;
    fields.vtableSize =
        static_cast<uint16_t>((inherited + interface.methods.size()) * kPointerSize);
    fields.dataType1 = ImportReference(base, interface.line);
    fields.dataType2 = inherited << 16 | levels;
    fields.functions = static_cast<uint32_t>(interface.methods.size());
    WriteMembers(index, interface, inherited, levels, fields);
    WriteRecord(index, interface.name, interface.uuid, fields);
  }

  static int32_t MemberId(const IdlMethod& method, uint32_t levels, size_t position) {
    if (method.id) return *method.id;
    return static_cast<int32_t>(kAutomaticIdBase | levels << 16 | static_cast<uint32_t>(position));
  }

  void WriteMembers(size_t index, const IdlInterface& interface, uint32_t inherited,
                    uint32_t levels, TypeRecord& fields) {
    const size_t count = interface.methods.size();
    if (count == 0) return;
    std::vector<int32_t> ids(count);
    for (size_t i = 0; i < count; ++i) ids[i] = MemberId(interface.methods[i], levels, i);
    ByteBuffer records;
    std::vector<uint32_t> names(count), offsets(count);
    for (size_t i = 0; i < count; ++i) {
      const IdlMethod& method = interface.methods[i];
      offsets[i] = static_cast<uint32_t>(records.size());
      names[i] = AddName(method.name, TypeOffset(index), 0);
      WriteFunction(records, method, i, ids, inherited);
      if (fields.res2 == 0) fields.res2 = kRes2Start;
      fields.res2 <<= 1;
      if (i < 2) fields.res2 += static_cast<uint32_t>(method.params.size()) << 4;
      if (fields.res3 == kEmpty) fields.res3 = 0;
      fields.res3 += kRes3PerFunction + kRes3PerParam * static_cast<uint32_t>(method.params.size());
    }
    ByteBuffer& members = types_[index].members;
    members.Word(static_cast<uint32_t>(records.size()));
    members.Bytes(records.bytes().data(), records.size());
    for (int32_t id : ids) members.Word(static_cast<uint32_t>(id));
    for (uint32_t name : names) members.Word(name);
    for (uint32_t offset : offsets) members.Word(offset);
  }

  void WriteFunction(ByteBuffer& records, const IdlMethod& method, size_t index,
                     const std::vector<int32_t>& ids, uint32_t inherited) {
    const Encoded returnType = EncodeType(method.returnType, method.line);
    std::vector<Encoded> params;
    uint32_t descSize = kFuncDescBaseSize + returnType.extraBytes;
    bool hasRetval = false;
    for (const IdlParam& param : method.params) {
      params.push_back(EncodeType(param.type, method.line));
      descSize += kElemDescSize + params.back().extraBytes;
      hasRetval |= (param.flags & kParamRetval) != 0;
    }
    // The other function with the same id (a property's get or put), else itself.
    size_t partner = index;
    for (size_t j = 0; j < ids.size(); ++j) {
      if (j != index && ids[j] == ids[index]) partner = j;
    }
    const uint32_t kinds = kFuncPureVirtual |
                           static_cast<uint32_t>(method.kind) << kInvokeKindShift |
                           kCallStdcall << kCallConvShift | (hasRetval ? kFuncHasRetval : 0) |
                           static_cast<uint32_t>(partner) << 16;
    const auto size = static_cast<uint32_t>(kFuncRecordBytes + params.size() * kParamRecordBytes);
    records.Word(size | static_cast<uint32_t>(index) << 16);
    records.Word(returnType.value);
    records.Word(0);  // FUNCFLAGS
    records.Half(static_cast<uint16_t>((inherited + index) * kPointerSize));
    records.Half(static_cast<uint16_t>(descSize));
    records.Word(kinds);
    records.Half(static_cast<uint16_t>(params.size()));
    records.Half(0);  // optional parameters
    for (size_t p = 0; p < params.size(); ++p) {
      const IdlParam& param = method.params[p];
      records.Word(params[p].value);
      records.Word(param.name.empty() ? kEmpty : AddName(param.name, kEmpty, 0));
      records.Word(param.flags);
    }
  }

  std::vector<uint8_t> Assemble() {
    const IdlLibrary& library = *file_.library;
    for (const TypeInfoOut& type : types_) {
      segments_[kSegTypeInfo].Bytes(type.record.bytes().data(), type.record.size());
    }
    ByteBuffer out;
    out.Word(kMagic);
    out.Word(kVersion);
    out.Word(libraryGuidOffset_);
    out.Word(kEnglishLcid);
    out.Word(library.lcid);
    out.Word(kVarflagsBase | kSysWin64);
    out.Word(uint32_t{library.majorVersion} | uint32_t{library.minorVersion} << 16);
    out.Word(0);  // LIBFLAGS
    out.Word(static_cast<uint32_t>(types_.size()));
    out.Word(kEmpty);  // help string
    out.Word(0);
    out.Word(0);
    out.Word(nameCount_);
    out.Word(nameChars_);
    out.Word(libraryNameOffset_);
    out.Word(kEmpty);  // help file
    out.Word(kEmpty);  // custom data
    out.Word(0x20);
    out.Word(0x80);
    const auto dispatch = importOffsets_.find(std::string(stdole2::kIDispatch.name));
    out.Word(dispatch == importOffsets_.end() ? kEmpty : dispatch->second | kImportedRefFlag);
    out.Word(static_cast<uint32_t>(importOffsets_.size()));
    for (size_t i = 0; i < types_.size(); ++i) out.Word(TypeOffset(i));
    const size_t directory = out.size();
    out.Fill(kSegmentCount * kSegmentEntryBytes, 0);
    for (size_t s = 0; s < kSegmentCount; ++s) {
      const ByteBuffer& segment = segments_[s];
      const size_t entry = directory + s * kSegmentEntryBytes;
      const bool empty = segment.size() == 0;
      out.PutWord(entry, empty ? kEmpty : static_cast<uint32_t>(out.size()));
      out.PutWord(entry + 4, static_cast<uint32_t>(segment.size()));
      out.PutWord(entry + 8, kEmpty);
      out.PutWord(entry + 12, kSegmentRes0C);
      out.Bytes(segment.bytes().data(), segment.size());
    }
    const size_t typeTable = directory + kSegmentCount * kSegmentEntryBytes;
    for (size_t i = 0; i < types_.size(); ++i) {
      out.PutWord(typeTable + i * kTypeInfoBytes + kTiMemOffset, static_cast<uint32_t>(out.size()));
      out.Bytes(types_[i].members.bytes().data(), types_[i].members.size());
    }
    return out.bytes();
  }

  const IdlFile& file_;
  ByteBuffer segments_[kSegmentCount];
  std::vector<std::string> order_;
  std::vector<TypeInfoOut> types_;
  std::map<stdole2::GuidBytes, uint32_t> guidOffsets_;
  std::map<std::string, uint32_t> nameOffsets_;
  std::map<std::string, uint32_t> importOffsets_;
  uint32_t importFileOffset_ = kEmpty;
  uint32_t libraryGuidOffset_ = 0;
  uint32_t libraryNameOffset_ = 0;
  uint32_t nameCount_ = 0;
  uint32_t nameChars_ = 0;
};

}  // namespace

std::vector<uint8_t> WriteMsft(const IdlFile& file) { return MsftWriter(file).Write(); }

}  // namespace glimmark::idl

#include "module/elf_sections.h"

namespace module {
namespace {

// ELF identification and header layout (64-bit).
constexpr uint8_t kElfMagic[4] = {0x7F, 'E', 'L', 'F'};
constexpr uint8_t kClass64 = 2;
constexpr uint8_t kLittleEndian = 1;
constexpr uint64_t kClassOffset = 4;
constexpr uint64_t kDataOffset = 5;
constexpr uint64_t kSectionTableOffset = 0x28;
constexpr uint64_t kSectionEntrySizeOffset = 0x3A;
constexpr uint64_t kSectionCountOffset = 0x3C;
constexpr uint64_t kNameTableIndexOffset = 0x3E;
// Section header fields.
constexpr uint16_t kSectionHeaderSize = 64;
constexpr uint64_t kNameField = 0;
constexpr uint64_t kTypeField = 4;
constexpr uint64_t kFileOffsetField = 24;
constexpr uint64_t kSizeField = 32;
constexpr uint32_t kNoBitsType = 8;          // occupies no file space
constexpr uint16_t kExtendedIndex = 0xFFFF;  // index kept elsewhere: not used by our files

ElfSectionResult Malformed(const char* problem) {
  ElfSectionResult result;
  result.problem = problem;
  return result;
}

struct SectionHeader {
  uint32_t name = 0;
  uint32_t type = 0;
  uint64_t offset = 0;
  uint64_t size = 0;
};

bool ReadSectionHeader(const BoundedBytes& table, uint16_t index, SectionHeader* header) {
  const uint64_t base = uint64_t{index} * kSectionHeaderSize;
  return table.ReadLittleEndian(base + kNameField, &header->name) &&
         table.ReadLittleEndian(base + kTypeField, &header->type) &&
         table.ReadLittleEndian(base + kFileOffsetField, &header->offset) &&
         table.ReadLittleEndian(base + kSizeField, &header->size);
}

// True when the zero-terminated name at `offset` in the name table is `name`.
bool NameMatches(const BoundedBytes& names, uint32_t offset, std::string_view name) {
  const uint8_t* text = names.At(offset, name.size() + 1);
  return text != nullptr && std::memcmp(text, name.data(), name.size()) == 0 &&
         text[name.size()] == 0;
}

}  // namespace

ElfSectionResult FindElfSection(const BoundedBytes& file, std::string_view name) {
  const uint8_t* ident = file.At(0, sizeof kElfMagic);
  if (ident == nullptr || std::memcmp(ident, kElfMagic, sizeof kElfMagic) != 0) {
    return Malformed("not an ELF file");
  }
  uint8_t elfClass = 0;
  uint8_t byteOrder = 0;
  if (!file.ReadLittleEndian(kClassOffset, &elfClass) ||
      !file.ReadLittleEndian(kDataOffset, &byteOrder) || elfClass != kClass64 ||
      byteOrder != kLittleEndian) {
    return Malformed("not a 64-bit little-endian ELF file");
  }
  uint64_t tableOffset = 0;
  uint16_t entrySize = 0;
  uint16_t count = 0;
  uint16_t namesIndex = 0;
  if (!file.ReadLittleEndian(kSectionTableOffset, &tableOffset) ||
      !file.ReadLittleEndian(kSectionEntrySizeOffset, &entrySize) ||
      !file.ReadLittleEndian(kSectionCountOffset, &count) ||
      !file.ReadLittleEndian(kNameTableIndexOffset, &namesIndex)) {
    return Malformed("ELF header cut short");
  }
  if (count == 0) return ElfSectionResult{ElfLookup::kAbsent, {}, ""};
  if (entrySize != kSectionHeaderSize) return Malformed("unexpected section header size");
  if (namesIndex == kExtendedIndex || namesIndex >= count) {
    return Malformed("section name table index out of range");
  }
  BoundedBytes table;
  if (!file.Slice(tableOffset, uint64_t{count} * kSectionHeaderSize, &table)) {
    return Malformed("section header table extends past the end of the file");
  }
  SectionHeader namesHeader;
  BoundedBytes names;
  if (!ReadSectionHeader(table, namesIndex, &namesHeader) ||
      !file.Slice(namesHeader.offset, namesHeader.size, &names)) {
    return Malformed("section name table extends past the end of the file");
  }
  for (uint16_t index = 0; index < count; ++index) {
    SectionHeader header;
    if (!ReadSectionHeader(table, index, &header)) return Malformed("section header unreadable");
    if (!NameMatches(names, header.name, name)) continue;
    ElfSectionResult result;
    if (header.type == kNoBitsType) return Malformed("resource section holds no file data");
    if (!file.Slice(header.offset, header.size, &result.section)) {
      return Malformed("section extends past the end of the file");
    }
    result.outcome = ElfLookup::kFound;
    return result;
  }
  return ElfSectionResult{ElfLookup::kAbsent, {}, ""};
}

}  // namespace module

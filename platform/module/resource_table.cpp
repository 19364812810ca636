#include "module/resource_table.h"

#include <new>
#include <string_view>

#include "kernel/ascii_case.h"
#include "libloaderapi.h"
#include "module/elf_sections.h"
#include "module/resource_section_format.h"
#include "winerror.h"

namespace module {
namespace {

ResourceTableResult Damaged(const char* problem) {
  ResourceTableResult result;
  result.problem = problem;
  return result;
}

// The text at (offset, length) of the section, bounded by the text limit.
bool ReadText(const BoundedBytes& section, uint32_t offset, uint32_t length, std::string* text) {
  if (length > kMaxResourceTextBytes) return false;
  const uint8_t* bytes = section.At(offset, length);
  if (bytes == nullptr) return false;
  text->assign(reinterpret_cast<const char*>(bytes), length);
  return true;
}

bool ReadRecord(const BoundedBytes& section, uint32_t index, ResourceRecord* record) {
  const uint64_t base = kResourceEntriesOffset + uint64_t{index} * kResourceEntryBytes;
  uint32_t fields[6] = {};
  for (int i = 0; i < 6; ++i) {
    if (!section.ReadLittleEndian(base + 4 * i, &fields[i])) return false;
  }
  record->data = section.At(fields[4], fields[5]);
  record->size = fields[5];
  return record->data != nullptr && ReadText(section, fields[0], fields[1], &record->type) &&
         ReadText(section, fields[2], fields[3], &record->name);
}

// The look-up key of a name or type argument: "#<id>" for an integer id,
// else the text itself.
std::u16string KeyOf(LPCWSTR nameOrId) {
  if (IS_INTRESOURCE(nameOrId)) {
    const auto id = static_cast<unsigned>(reinterpret_cast<ULONG_PTR>(nameOrId));
    std::u16string key = u"#";
    for (char c : std::to_string(id)) key.push_back(static_cast<char16_t>(c));
    return key;
  }
  return std::u16string(nameOrId);
}

bool SameKey(const std::string& packed, const std::u16string& key) {
  return kernel::EqualIgnoringAsciiCase(std::string_view(packed), std::u16string_view(key));
}

}  // namespace

ResourceTableResult ReadModuleResources(const BoundedBytes& file) {
  const ElfSectionResult found = FindElfSection(file, kResourceSectionName);
  if (found.outcome == ElfLookup::kMalformed) return Damaged(found.problem);
  ResourceTableResult result;
  result.ok = true;
  if (found.outcome == ElfLookup::kAbsent) return result;
  const BoundedBytes& section = found.section;
  const uint8_t* magic = section.At(0, kResourceMagic.size());
  if (magic == nullptr || std::memcmp(magic, kResourceMagic.data(), kResourceMagic.size()) != 0) {
    return Damaged("resource section has no valid header");
  }
  uint32_t count = 0;
  if (!section.ReadLittleEndian(kResourceCountOffset, &count) || count > kMaxResources) {
    return Damaged("resource count out of range");
  }
  try {
    result.records.resize(count);
  } catch (const std::bad_alloc&) {
    return Damaged("no memory for the resource table");
  }
  for (uint32_t i = 0; i < count; ++i) {
    if (!ReadRecord(section, i, &result.records[i])) {
      return Damaged("resource entry extends past the end of its section");
    }
  }
  return result;
}

const ResourceRecord* FindResourceRecord(const std::vector<ResourceRecord>& records, LPCWSTR name,
                                         LPCWSTR type, DWORD* error) {
  const std::u16string typeKey = KeyOf(type);
  const std::u16string nameKey = KeyOf(name);
  bool typeSeen = false;
  for (const ResourceRecord& record : records) {
    if (!SameKey(record.type, typeKey)) continue;
    typeSeen = true;
    if (SameKey(record.name, nameKey)) return &record;
  }
  *error = typeSeen ? ERROR_RESOURCE_NAME_NOT_FOUND : ERROR_RESOURCE_TYPE_NOT_FOUND;
  return nullptr;
}

}  // namespace module

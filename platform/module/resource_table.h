// The resources of a module file: the resource section (resource_section_format.h)
// decoded into records at load time, so that look-ups never touch raw
// offsets. The records point into the file bytes that the caller keeps alive
// (the data-file module, data_file_module.h).
#pragma once

#include <string>
#include <vector>

#include "module/bounded_bytes.h"
#include "windef.h"

namespace module {

struct ResourceRecord {
  std::string type;  // as packed, e.g. "REGISTRY"
  std::string name;  // "#106" for an integer id
  const uint8_t* data = nullptr;
  uint32_t size = 0;
};

struct ResourceTableResult {
  bool ok = false;
  const char* problem = "";  // when !ok: what was wrong
  std::vector<ResourceRecord> records;
};

// Decodes the resource section of an ELF module file. A file without the
// section has no resources (ok, empty). A file that is not ELF, or whose
// section is damaged, is not ok. Cost: linear in the section.
ResourceTableResult ReadModuleResources(const BoundedBytes& file);

// The record whose type and name match (integer ids as MAKEINTRESOURCEW or
// "#123", text without regard to ASCII case), or null with the Win32 error
// ERROR_RESOURCE_TYPE_NOT_FOUND or ERROR_RESOURCE_NAME_NOT_FOUND in *error.
const ResourceRecord* FindResourceRecord(const std::vector<ResourceRecord>& records, LPCWSTR name,
                                         LPCWSTR type, DWORD* error);

}  // namespace module

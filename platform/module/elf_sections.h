// Finds a named section in an ELF file held in memory (64-bit little-endian,
// the format of this platform's shared libraries). The file is untrusted:
// every offset and count read from it is checked through BoundedBytes, and a
// malformed file gives a reason, never a crash. Used to reach a module's
// resource section (resource_table.h) without loading the module.
#pragma once

#include <string_view>

#include "module/bounded_bytes.h"

namespace module {

enum class ElfLookup {
  kFound,      // `section` holds the section's bytes
  kAbsent,     // a well-formed file without such a section
  kMalformed,  // not an ELF file of ours, or one whose tables do not fit
};

struct ElfSectionResult {
  ElfLookup outcome = ElfLookup::kMalformed;
  BoundedBytes section;
  const char* problem = "";  // for kMalformed: what was wrong
};

// Cost: one pass over the section headers.
ElfSectionResult FindElfSection(const BoundedBytes& file, std::string_view name);

}  // namespace module

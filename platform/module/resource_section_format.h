// The layout of the resource section that the build packs into an in-process
// server's shared library (cmake/PackModuleResources.cmake writes it as an
// assembler file; resource_table.h reads it). All integers little-endian,
// all offsets from the start of the section:
//
//   0   magic "GLMRSRC1" (8 bytes)
//   8   u32 entry count
//   12  u32 reserved, 0
//   16  entries, kEntryBytes each:
//         u32 type offset, u32 type length    type: ASCII text, e.g. "REGISTRY"
//         u32 name offset, u32 name length    name: ASCII, "#<decimal>" for ids
//         u32 data offset, u32 data size      the resource's bytes
//
// Texts carry no terminator. Change both sides together.
#pragma once

#include <cstdint>
#include <string_view>

namespace module {

inline constexpr std::string_view kResourceSectionName = ".glimmark_resources";
inline constexpr std::string_view kResourceMagic = "GLMRSRC1";
inline constexpr uint64_t kResourceCountOffset = 8;
inline constexpr uint64_t kResourceEntriesOffset = 16;
inline constexpr uint64_t kResourceEntryBytes = 24;

// Limits: a module of ours carries three resources; these bound what a
// damaged or hostile file can make the reader allocate.
inline constexpr uint32_t kMaxResources = 256;
inline constexpr uint32_t kMaxResourceTextBytes = 256;

}  // namespace module

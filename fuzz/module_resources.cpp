// Feeds arbitrary bytes to the module-resource reader as the contents of a
// module file: the ELF section walk and the resource table must answer with
// records inside the bytes or a damaged-file result, never read outside.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "libloaderapi.h"
#include "module/resource_table.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const module::ResourceTableResult table =
      module::ReadModuleResources(module::BoundedBytes(data, size));
  for (const module::ResourceRecord& record : table.records) {
    if (record.data < data || record.data + record.size > data + size) std::abort();
    DWORD error = 0;
    module::FindResourceRecord(table.records, MAKEINTRESOURCEW(106), u"REGISTRY", &error);
  }
  return 0;
}

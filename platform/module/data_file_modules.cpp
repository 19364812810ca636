// Data-file modules and the resource functions over them.
#include "module/data_file_modules.h"

#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "libloaderapi.h"
#include "module/resource_table.h"
#include "winbase.h"

namespace module {
namespace {

// Largest file read as a data file. Our libraries are a few megabytes; the
// bound keeps a wrong path from reading a huge file into memory.
constexpr long kMaxDataFileBytes = 512L * 1024 * 1024;

struct DataFileModule {
  std::vector<uint8_t> bytes;             // the whole file
  std::vector<ResourceRecord> resources;  // pointing into `bytes`
};

struct DataFileTable {
  std::mutex lock;
  std::map<HMODULE, std::unique_ptr<DataFileModule>> modules;
};

DataFileTable& Table() {
  static DataFileTable* table = new DataFileTable;  // lives as long as the process
  return *table;
}

HMODULE Fail(DWORD error) {
  SetLastError(error);
  return nullptr;
}

bool ReadWholeFile(const char* path, std::vector<uint8_t>* bytes, DWORD* error) {
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr) {
    *error = ERROR_FILE_NOT_FOUND;
    return false;
  }
  bool ok = std::fseek(file, 0, SEEK_END) == 0;
  const long size = ok ? std::ftell(file) : -1;
  ok = ok && size >= 0 && size <= kMaxDataFileBytes && std::fseek(file, 0, SEEK_SET) == 0;
  *error = ERROR_BAD_EXE_FORMAT;
  if (ok) {
    bytes->resize(static_cast<size_t>(size));
    ok = std::fread(bytes->data(), 1, bytes->size(), file) == bytes->size();
    *error = ERROR_READ_FAULT;
  }
  std::fclose(file);
  return ok;
}

// The open data-file module behind a handle, or null. Caller holds the lock.
DataFileModule* Lookup(DataFileTable& table, HMODULE handle) {
  auto found = table.modules.find(handle);
  return found == table.modules.end() ? nullptr : found->second.get();
}

// The record behind an HRSRC of `module`, checked to be one of its own.
const ResourceRecord* RecordOf(const DataFileModule& module, HRSRC resource) {
  for (const ResourceRecord& record : module.resources) {
    if (static_cast<const void*>(&record) == resource) return &record;
  }
  return nullptr;
}

}  // namespace

HMODULE OpenDataFileModule(const char* path) {
  try {
    auto module = std::make_unique<DataFileModule>();
    DWORD error = ERROR_SUCCESS;
    if (!ReadWholeFile(path, &module->bytes, &error)) return Fail(error);
    ResourceTableResult table =
        ReadModuleResources(BoundedBytes(module->bytes.data(), module->bytes.size()));
    if (!table.ok) return Fail(ERROR_BAD_EXE_FORMAT);
    module->resources = std::move(table.records);
    auto handle =
        reinterpret_cast<HMODULE>(reinterpret_cast<ULONG_PTR>(module.get()) | kDataFileHandleTag);
    DataFileTable& files = Table();
    std::lock_guard<std::mutex> guard(files.lock);
    files.modules.emplace(handle, std::move(module));
    return handle;
  } catch (const std::bad_alloc&) {
    return Fail(ERROR_NOT_ENOUGH_MEMORY);
  }
}

bool CloseDataFileModule(HMODULE handle) {
  std::unique_ptr<DataFileModule> closing;
  DataFileTable& files = Table();
  std::lock_guard<std::mutex> guard(files.lock);
  auto found = files.modules.find(handle);
  if (found == files.modules.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  closing = std::move(found->second);
  files.modules.erase(found);
  return true;
}

}  // namespace module

using module::DataFileModule;

EXTERN_C HRSRC WINAPI FindResourceW(HMODULE hModule, LPCWSTR lpName, LPCWSTR lpType) {
  if (lpName == nullptr || lpType == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  module::DataFileTable& files = module::Table();
  std::lock_guard<std::mutex> guard(files.lock);
  const DataFileModule* found = module::Lookup(files, hModule);
  if (found == nullptr) {
    SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
    return nullptr;
  }
  DWORD error = ERROR_SUCCESS;
  const module::ResourceRecord* record = nullptr;
  try {
    record = module::FindResourceRecord(found->resources, lpName, lpType, &error);
  } catch (const std::bad_alloc&) {
    error = ERROR_NOT_ENOUGH_MEMORY;
  }
  if (record == nullptr) SetLastError(error);
  return static_cast<HRSRC>(const_cast<module::ResourceRecord*>(record));
}

// The record behind (module, resource), or null with ERROR_INVALID_HANDLE
// (ERROR_RESOURCE_DATA_NOT_FOUND for a module without resources).
static const module::ResourceRecord* CheckedRecord(HMODULE hModule, HRSRC hResInfo) {
  module::DataFileTable& files = module::Table();
  std::lock_guard<std::mutex> guard(files.lock);
  const DataFileModule* found = module::Lookup(files, hModule);
  const module::ResourceRecord* record =
      found == nullptr ? nullptr : module::RecordOf(*found, hResInfo);
  if (record == nullptr) {
    SetLastError(found == nullptr ? ERROR_RESOURCE_DATA_NOT_FOUND : ERROR_INVALID_HANDLE);
  }
  return record;
}

EXTERN_C HGLOBAL WINAPI LoadResource(HMODULE hModule, HRSRC hResInfo) {
  const module::ResourceRecord* record = CheckedRecord(hModule, hResInfo);
  return record == nullptr ? nullptr : const_cast<uint8_t*>(record->data);
}

EXTERN_C LPVOID WINAPI LockResource(HGLOBAL hResData) { return hResData; }

EXTERN_C DWORD WINAPI SizeofResource(HMODULE hModule, HRSRC hResInfo) {
  const module::ResourceRecord* record = CheckedRecord(hModule, hResInfo);
  return record == nullptr ? 0 : record->size;
}

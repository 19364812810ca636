// The live-handle table: one per process, guarded by a mutex.
#include "gdiplus/handle_registry.h"

#include <mutex>
#include <new>
#include <unordered_map>

namespace Gdiplus::Internal {
namespace {

struct HandleTable {
  std::mutex lock;
  std::unordered_map<const void*, ObjectKind> live;
};

HandleTable& Table() {
  static HandleTable* table = new HandleTable();  // lives to process exit
  return *table;
}

}  // namespace

bool RegisterHandle(const void* object, ObjectKind kind) noexcept {
  HandleTable& table = Table();
  std::lock_guard<std::mutex> guard(table.lock);
  try {
    table.live[object] = kind;
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

bool UnregisterHandle(const void* object, ObjectKind kind) noexcept {
  HandleTable& table = Table();
  std::lock_guard<std::mutex> guard(table.lock);
  auto found = table.live.find(object);
  if (found == table.live.end() || found->second != kind) return false;
  table.live.erase(found);
  return true;
}

bool IsLiveHandle(const void* object, ObjectKind kind) noexcept {
  HandleTable& table = Table();
  std::lock_guard<std::mutex> guard(table.lock);
  auto found = table.live.find(object);
  return found != table.live.end() && found->second == kind;
}

}  // namespace Gdiplus::Internal

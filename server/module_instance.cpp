#include "server/module_instance.h"

namespace {

// Any address inside this module names it.
void AnchorInThisModule() {}

}  // namespace

CModuleInstance::CModuleInstance(bool& loadFailed) noexcept : lock() {
  if (loadFailed) return;
  HMODULE self = nullptr;
  if (!GetModuleHandleExW(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCWSTR>(&AnchorInThisModule), &self) ||
      !InitializeCriticalSectionAndSpinCount(&lock, 0)) {
    loadFailed = true;
    return;
  }
  moduleInstance = self;
  initialized = true;
}

CModuleInstance::~CModuleInstance() {
  if (!initialized) return;
  DeleteCriticalSection(&lock);
  initialized = false;
}

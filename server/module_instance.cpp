#include "server/module_instance.h"

namespace {

// Any address inside this module names it.
void AnchorInThisModule() {}

}  // namespace

CModuleInstance::CModuleInstance(bool& loadFailed) noexcept : lock_() {
  if (loadFailed) return;
  HMODULE self = nullptr;
  if (!GetModuleHandleExW(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCWSTR>(&AnchorInThisModule), &self) ||
      !InitializeCriticalSectionAndSpinCount(&lock_, 0)) {
    loadFailed = true;
    return;
  }
  moduleInstance = self;
  initialized_ = true;
}

CModuleInstance::~CModuleInstance() {
  if (!initialized_) return;
  DeleteCriticalSection(&lock_);
  initialized_ = false;
}

#include "server/module.h"

#include <new>

CGlimmarkPrjModule* CGlimmarkPrjModule::current_ = nullptr;

struct CGlimmarkPrjModule::TerminationNode {
  TerminationFunction function;
  DWORD_PTR argument;
  TerminationNode* next;
};

CGlimmarkPrjModule::CGlimmarkPrjModule(LPCOLESTR appId, bool& loadFailed) noexcept
    : staticDataLock(), moduleAppId(appId) {
  current_ = this;
  if (loadFailed) return;
  if (!InitializeCriticalSectionAndSpinCount(&staticDataLock, 0)) {
    loadFailed = true;
    return;
  }
  initialized = true;
}

CGlimmarkPrjModule::~CGlimmarkPrjModule() {
  if (current_ == this) current_ = nullptr;
  if (!initialized) return;
  while (terminationList != nullptr) {
    TerminationNode* node = terminationList;
    terminationList = node->next;
    node->function(node->argument);
    delete node;
  }
  if (globalInterfaceTable != nullptr) {
    globalInterfaceTable->Release();
    globalInterfaceTable = nullptr;
  }
  DeleteCriticalSection(&staticDataLock);
  initialized = false;
}

LONG CGlimmarkPrjModule::Lock() noexcept { return InterlockedIncrement(&lockCount); }

LONG CGlimmarkPrjModule::Unlock() noexcept { return InterlockedDecrement(&lockCount); }

LONG CGlimmarkPrjModule::GetLockCount() noexcept { return lockCount; }

HRESULT CGlimmarkPrjModule::GetGlobalInterfaceTable(IGlobalInterfaceTable** table) noexcept {
  if (table == nullptr) return E_POINTER;
  *table = nullptr;
  if (globalInterfaceTable == nullptr) {
    IGlobalInterfaceTable* made = nullptr;
    const HRESULT hr =
        CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER,
                         IID_IGlobalInterfaceTable, reinterpret_cast<void**>(&made));
    if (FAILED(hr)) return hr;
    // Two threads may race here: the first pointer stays, the other is dropped.
    if (InterlockedCompareExchangePointer(reinterpret_cast<PVOID volatile*>(&globalInterfaceTable),
                                          made, nullptr) != nullptr) {
      made->Release();
    }
  }
  globalInterfaceTable->AddRef();
  *table = globalInterfaceTable;
  return S_OK;
}

HRESULT CGlimmarkPrjModule::AddCommonReplacements(IRegistrarBase* registrar) noexcept {
  if (registrar == nullptr) return E_POINTER;
  return registrar->DefineVariable(OLESTR("APPID"), moduleAppId);
}

HRESULT CGlimmarkPrjModule::AddTerminationFunction(TerminationFunction function,
                                                   DWORD_PTR argument) noexcept {
  if (!initialized) return E_UNEXPECTED;
  auto* node = new (std::nothrow) TerminationNode{function, argument, nullptr};
  if (node == nullptr) return E_OUTOFMEMORY;
  EnterCriticalSection(&staticDataLock);
  node->next = terminationList;
  terminationList = node;
  LeaveCriticalSection(&staticDataLock);
  return S_OK;
}

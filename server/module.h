// CGlimmarkPrjModule: the server's module object, one per process (the dll
// layer defines the instance; Current() reaches it from below). It keeps the
// lock count that says whether the library may be unloaded, the list of
// functions to run when the module ends, the recursive lock that guards that
// list and the loading of type information, and the process's global
// interface table once someone asks for it.
#pragma once

#include <ole2.h>
#include <windows.h>

#include "server/registrar/registrar_base.h"

// A function run when the module ends, with the argument it was added with.
using TerminationFunction = void(CALLBACK*)(DWORD_PTR argument);

class CGlimmarkPrjModule {
 public:
  // Creates the lock; when that fails, or `loadFailed` is already set by an
  // earlier load step, the module stays uninitialized and `loadFailed` is
  // set. `appId` must outlive the module.
  CGlimmarkPrjModule(LPCOLESTR appId, bool& loadFailed) noexcept;
  // The termination steps: termination functions newest first, the global
  // interface table released, the lock deleted.
  virtual ~CGlimmarkPrjModule();
  CGlimmarkPrjModule(const CGlimmarkPrjModule&) = delete;
  CGlimmarkPrjModule& operator=(const CGlimmarkPrjModule&) = delete;

  // The one module of this library, or null before it is made and after it ends.
  static CGlimmarkPrjModule* Current() noexcept { return current_; }

  // Interlocked; each returns the new count.
  virtual LONG Lock() noexcept;
  virtual LONG Unlock() noexcept;
  virtual LONG GetLockCount() noexcept;
  // The process's standard global interface table, made on first request and
  // then held; one reference added for the caller. E_POINTER for null out,
  // else the failure of making it.
  virtual HRESULT GetGlobalInterfaceTable(IGlobalInterfaceTable** table) noexcept;
  // Defines "APPID" on the registrar; that call's result.
  virtual HRESULT AddCommonReplacements(IRegistrarBase* registrar) noexcept;

  // Runs `function(argument)` when the module ends. E_OUTOFMEMORY or S_OK;
  // E_UNEXPECTED when the module is not initialized.
  HRESULT AddTerminationFunction(TerminationFunction function, DWORD_PTR argument) noexcept;

  // Held while type information loads and while the termination list changes.
  // Recursive: the loader adds its termination function while holding it.
  CRITICAL_SECTION& StaticDataLock() noexcept { return staticDataLock; }
  bool Initialized() const noexcept { return initialized; }

 private:
  struct TerminationNode;

  static CGlimmarkPrjModule* current_;

  bool initialized = false;
  LONG volatile lockCount = 0;
  TerminationNode* terminationList = nullptr;  // newest first
  CRITICAL_SECTION staticDataLock;
  IGlobalInterfaceTable* globalInterfaceTable = nullptr;  // held once made
  LPCOLESTR moduleAppId;
};

// Lock and Unlock of the current module; nothing when there is none (an
// object outliving its module at process exit).
inline void LockModule() noexcept {
  if (CGlimmarkPrjModule* module = CGlimmarkPrjModule::Current()) module->Lock();
}
inline void UnlockModule() noexcept {
  if (CGlimmarkPrjModule* module = CGlimmarkPrjModule::Current()) module->Unlock();
}

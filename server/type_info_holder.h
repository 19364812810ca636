// CComTypeInfoHolder: the process-wide type information of one dual
// interface, shared by every object that implements it. It loads the
// interface's type information from the registered type library on first
// need (under the module's staticDataLock, tested before and after taking
// it), keeps a cache of the interface's member names for one-name look-ups
// without a lock, and hands IDispatch calls to the type information. What it
// loads stays until the module ends and runs ReleaseTypeInfo.
//
// The holder is plain static data: a constant-initialised aggregate with no
// constructor or destructor, so it exists before any load step runs and
// nothing tears it down behind the module's back.
#pragma once

#include <ole2.h>
#include <windows.h>

// One cached member name: what ITypeInfo::GetDocumentation gave for function
// `dispid`. A function whose name could not be read keeps a null name and
// DISPID_UNKNOWN.
struct NameCacheEntry {
  BSTR name;     // owned; null when reading it failed
  INT32 length;  // UTF-16 units of `name`
  DISPID dispid;
};

struct CComTypeInfoHolder {
  const GUID* interfaceGuid;
  const GUID* libraryGuid;
  WORD majorVersion;
  WORD minorVersion;
  LCID libraryLocale;         // the locale the type library is registered under
  ITypeInfo* typeInfo;        // owned (one reference), null until loaded
  NameCacheEntry* nameCache;  // owned, null until loaded; published after nameCount
  INT32 nameCount;

  // Loads the type information and the name cache unless both are there.
  // S_OK, or the failure of the step that failed: LoadRegTypeLib's result
  // when the library is not registered, GetTypeInfoOfGuid's when the
  // interface is missing, E_OUTOFMEMORY for the cache. The first successful
  // load's `lcid` decides the localized library for the life of the module;
  // a caller whose locale has no registered library (script engines that
  // pass LOCALE_NEUTRAL, a session in another language) gets the one
  // registered under `libraryLocale`.
  HRESULT LoadTypeInfo(LCID lcid) noexcept;

  // The four IDispatch entries of an object whose interface `instance` is.
  HRESULT GetTypeInfo(UINT index, LCID lcid, ITypeInfo** result) noexcept;
  HRESULT GetIDsOfNames(LPOLESTR* names, UINT count, LCID lcid, DISPID* dispids) noexcept;
  HRESULT Invoke(IDispatch* instance, DISPID member, LCID lcid, WORD flags, DISPPARAMS* params,
                 VARIANT* result, EXCEPINFO* exception, UINT* argumentError) noexcept;

  // Termination function: releases the type information and frees the cache.
  // `holder` is the CComTypeInfoHolder's address.
  static void CALLBACK ReleaseTypeInfo(DWORD_PTR holder) noexcept;

 private:
  bool Loaded() const noexcept;
  HRESULT LoadTypeInfoLocked(LCID lcid) noexcept;
  HRESULT FillNameCache(ITypeInfo* info) noexcept;
  bool FindCachedName(LPCOLESTR name, DISPID* dispid) const noexcept;
};

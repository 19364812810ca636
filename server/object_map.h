// The object map: the list of classes a server library can make, each with
// its registration function, its factory maker and its cached class factory.
// The dll layer defines the one map and its entries; this is the generic
// walk that DllGetClassObject and registration use.
#pragma once

#include <ole2.h>
#include <windows.h>

#include <cstddef>

#include "server/object_creation.h"

using UpdateRegistryFunction = HRESULT (*)(BOOL registering);
using CreateFactoryFunction = HRESULT (*)(CreateInstanceFunction creator, REFIID riid,
                                          void** object);

struct ObjectMapEntry {
  const CLSID* clsid;
  UpdateRegistryFunction updateRegistry;  // applies or removes the class's registry script
  CreateFactoryFunction createFactory;
  CreateInstanceFunction createInstance;
  IUnknown* cachedFactory;  // made on first request, held until the map ends
};

class CObjectMap {
 public:
  // Creates the lock that guards the first making of a factory. When that
  // fails, or `loadFailed` is already set, the map stays uninitialized and
  // `loadFailed` is set. `entries` must outlive the map.
  CObjectMap(ObjectMapEntry* entries, size_t count, bool& loadFailed) noexcept;
  // Releases every cached factory (destroying it: only the cache holds it
  // by then) and deletes the lock.
  ~CObjectMap();
  CObjectMap(const CObjectMap&) = delete;
  CObjectMap& operator=(const CObjectMap&) = delete;

  // The class factory of `clsid`, asked for `riid`; made once, under the
  // lock, when two threads race for it. E_POINTER, E_UNEXPECTED (map not
  // initialized), CLASS_E_CLASSNOTAVAILABLE (no such class, or a factory that
  // answered S_OK without a pointer), or the factory's own answer.
  HRESULT GetClassObject(REFCLSID clsid, REFIID riid, void** object) noexcept;
  // Each entry's updateRegistry; the first failure stops and is returned.
  HRESULT UpdateRegistry(BOOL registering) noexcept;

 private:
  HRESULT CachedFactory(ObjectMapEntry& entry, IUnknown** factory) noexcept;

  bool initialized = false;
  CRITICAL_SECTION objectMapLock;
  ObjectMapEntry* entries_;
  size_t count_;
};

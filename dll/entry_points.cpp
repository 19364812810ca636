// DllGetClassObject and DllCanUnloadNow: how COM gets the class factory and
// asks whether the library may be unloaded.
#include "dll/exports.h"
#include "dll/server_module.h"

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
  return ServerObjectMap().GetClassObject(rclsid, riid, ppv);
}

// S_OK while no object, no client-held factory and no LockServer(TRUE) is alive.
STDAPI DllCanUnloadNow(void) { return ServerModule().GetLockCount() == 0 ? S_OK : S_FALSE; }

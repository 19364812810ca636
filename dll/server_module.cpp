#include "dll/server_module.h"

#include "component/cglimmark.h"
#include "dll/registry_resources.h"
#include "dll/resource_ids.h"
#include "server/class_factory.h"
#include "server/module_instance.h"

bool loadFailed = false;

const OLECHAR kModuleAppId[] = OLESTR("{6C1D3B52-2F0E-4B8A-9C47-3E5D8A1F0B26}");

namespace {

HRESULT UpdateGlimmarkRegistry(BOOL registering) {
  return ApplyRegistryResource(kClassRegistryScript, registering, nullptr);
}

// Defined in load order: C++ makes them in this order and destroys them in
// the reverse one, which is the unload order (module, map, instance). Their
// priority makes them before the library's unprioritized initializers, among
// which the platform runs DllMain at load (platform/module/process_attach.h),
// so that DllMain sees what the load steps did.
#define LOAD_STEP __attribute__((init_priority(1000)))
LOAD_STEP CModuleInstance instanceRecord(loadFailed);
ObjectMapEntry objectMapEntries[] = {
    {&CLSID_Glimmark, &UpdateGlimmarkRegistry, &CComClassFactory::CreateFactory,
     &CreateComInstance<CGlimmark>, nullptr},
};
LOAD_STEP CObjectMap objectMap(objectMapEntries,
                               sizeof objectMapEntries / sizeof objectMapEntries[0], loadFailed);
LOAD_STEP CGlimmarkPrjModule serverModule(kModuleAppId, loadFailed);

}  // namespace

HINSTANCE ServerInstance() noexcept { return instanceRecord.Handle(); }

CObjectMap& ServerObjectMap() noexcept { return objectMap; }

CGlimmarkPrjModule& ServerModule() noexcept { return serverModule; }

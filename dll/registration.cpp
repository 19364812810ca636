// Self-registration: DllRegisterServer, DllUnregisterServer and DllInstall
// apply the registry scripts and (un)register the type library, for the
// machine or, after DllInstall(..., "user"), for the current user only.
#include <windows.h>

#include "dll/exports.h"
#include "dll/registry_resources.h"
#include "dll/resource_ids.h"
#include "dll/server_module.h"
#include "dll/type_library_registration.h"
#include "server/registrar/reg_object.h"
#include "server/registrar/registry_script_text.h"

namespace {

// The scripts are ANSI text: for the length of one entry point the thread
// reads them in the system's code page, and gets its own locale back after.
class SystemLocaleScope {
 public:
  SystemLocaleScope() noexcept : saved_(GetThreadLocale()) {
    SetThreadLocale(LOCALE_SYSTEM_DEFAULT);
  }
  ~SystemLocaleScope() { SetThreadLocale(saved_); }
  SystemLocaleScope(const SystemLocaleScope&) = delete;
  SystemLocaleScope& operator=(const SystemLocaleScope&) = delete;

 private:
  LCID saved_;
};

HRESULT ApplyModuleScript(BOOL registering) {
  const RegistryVariable variables[] = {{OLESTR("APPID"), kModuleAppId}, {nullptr, nullptr}};
  return ApplyRegistryResource(kModuleRegistryScript, registering, variables);
}

// True for "user" in any case, the whole text and nothing else.
bool IsPerUserCommand(PCWSTR commandLine) {
  if (commandLine == nullptr) return false;
  // Reads no further than one unit past "user": enough to see a longer text.
  constexpr size_t kLongestLooked = 5;
  size_t length = 0;
  while (length < kLongestLooked && commandLine[length] != 0) ++length;
  return EqualsIgnoringCase(commandLine, length, OLESTR("user"));
}

}  // namespace

STDAPI DllRegisterServer(void) {
  const SystemLocaleScope locale;
  HRESULT hr = ApplyModuleScript(TRUE);
  if (SUCCEEDED(hr)) hr = ServerObjectMap().UpdateRegistry(TRUE);
  if (SUCCEEDED(hr)) hr = RegisterServerTypeLibrary();
  return hr;
}

STDAPI DllUnregisterServer(void) {
  const SystemLocaleScope locale;
  HRESULT hr = ServerObjectMap().UpdateRegistry(FALSE);
  if (SUCCEEDED(hr)) hr = UnregisterServerTypeLibrary();
  if (SUCCEEDED(hr)) hr = ApplyModuleScript(FALSE);
  return hr;
}

STDAPI DllInstall(BOOL bInstall, PCWSTR pszCmdLine) {
  if (IsPerUserCommand(pszCmdLine)) perUserRegistration = true;
  if (!bInstall) return DllUnregisterServer();
  const HRESULT hr = DllRegisterServer();
  if (FAILED(hr)) DllUnregisterServer();  // leave nothing half registered
  return hr;
}

// Test seams of the registry layer (declared in glimmark_test_seams.h), in
// builds with tests only.
#ifdef GLIMMARK_TEST_SEAMS
#include "glimmark_test_seams.h"
#include "registry/registry_state.h"

using namespace registry;

EXTERN_C void GlimmarkTest_UseRegistryFile(const char* path) {
  try {
    RegistryCall::UseFile(path == nullptr ? std::nullopt : std::optional<std::string>(path));
  } catch (...) {
    // Only the copy of the path can fail; the old file then stays in use.
  }
}

EXTERN_C void GlimmarkTest_BeforeNextRegistryCommit(void (*hook)(void)) {
  RegistryCall::BeforeNextCommit(hook);
}

EXTERN_C LONG GlimmarkTest_ClearRegistry(void) {
  return RunRegistryCall([](RegistryCall& call) {
    call.Begin(true);
    RegistryDatabase& database = call.Database();
    database.Check(sqlite3_exec(database.connection(),
                                "DELETE FROM vals; DELETE FROM keys WHERE parent <> 0", nullptr,
                                nullptr, nullptr));
    call.Commit();
    return ERROR_SUCCESS;
  });
}

EXTERN_C LONG GlimmarkTest_CheckRegistryIntegrity(void) {
  return RunRegistryCall([](RegistryCall& call) -> LSTATUS {
    call.Begin(false);
    Query check(call.Database(), "PRAGMA integrity_check");
    const bool healthy = check.Step() && check.Bytes(0) == "ok";
    return healthy ? ERROR_SUCCESS : ERROR_BADDB;
  });
}

#endif  // GLIMMARK_TEST_SEAMS

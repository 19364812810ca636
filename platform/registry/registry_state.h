// The registry's process-wide state: the one connection to the registry file,
// the table of open key handles, and the lock that makes each exported call
// run alone within the process. `RegistryCall` is the scope of one call.
#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "registry/registry_views.h"

namespace registry {

// Where the registry file lives: $GLIMMARK_REGISTRY, else
// $XDG_DATA_HOME/glimmark/registry.db, else ~/.local/share/glimmark/registry.db
// (directories made as needed). Empty when none can be found.
std::string DefaultRegistryPath();

// One exported call: holds the process lock, the connection (opened on first
// use, and anew in a forked child) and, once started, the transaction.
// Every function throws RegistryFailure.
class RegistryCall {
 public:
  RegistryCall();
  ~RegistryCall();
  RegistryCall(const RegistryCall&) = delete;
  RegistryCall& operator=(const RegistryCall&) = delete;

  // The key behind a handle: a predefined key or one from the handle table.
  // ERROR_INVALID_HANDLE for anything else, ERROR_NOT_SUPPORTED for the
  // predefined keys without a hive here.
  OpenKey Resolve(HKEY handle);
  // Registers an opened key and returns its new handle.
  HKEY AddHandle(OpenKey key);
  // Forgets a handle; false when it was not open.
  bool RemoveHandle(HKEY handle);

  // Starts the transaction (writers take the write lock at once) and returns
  // the views on the file.
  KeyViews& Begin(bool writing);
  void Commit();

#ifdef GLIMMARK_TEST_SEAMS
  // Test seams: switch files, drop all handles, check the file; a function
  // run once just before the next commit (null: none).
  static void UseFile(std::optional<std::string> path);
  static void BeforeNextCommit(void (*hook)(void));
#endif  // GLIMMARK_TEST_SEAMS
  RegistryDatabase& Database();

 private:
  std::unique_lock<std::mutex> lock_;
  std::optional<Transaction> transaction_;
  std::optional<KeyStore> store_;
  std::optional<KeyViews> views_;
};

// Runs `body` as one registry call and turns failures into Win32 codes.
template <class Body>
LSTATUS RunRegistryCall(Body&& body) noexcept {
  try {
    RegistryCall call;
    return body(call);
  } catch (const RegistryFailure& failure) {
    return failure.status;
  } catch (const std::bad_alloc&) {
    return ERROR_NOT_ENOUGH_MEMORY;
  } catch (...) {
    return ERROR_CANTWRITE;
  }
}

}  // namespace registry

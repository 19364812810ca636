// Keys and values as rows of the registry file, addressed by key id. Every
// function runs inside the caller's transaction and throws RegistryFailure
// when the database fails. Used by the registry state (registry_state.h),
// which adds handles, access rights and the merged classes view.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "registry/registry_database.h"
#include "registry/registry_names.h"

namespace registry {

struct NamedKey {
  int64_t id;
  std::u16string name;
  std::string folded;
};

struct StoredValue {
  std::u16string name;
  DWORD type = REG_NONE;
  std::string data;
  std::string folded;
};

class KeyStore {
 public:
  explicit KeyStore(RegistryDatabase& database) : database_(database) {}

  bool Exists(int64_t key);
  // Levels below the hive (0 for a hive root). Cost: one look-up per level.
  size_t Depth(int64_t key);
  // The child of `parent` with this name, or 0.
  int64_t FindChild(int64_t parent, const std::u16string& name);
  // The key at `names` below `start`, or 0 when any level is missing.
  int64_t FindPath(int64_t start, const KeyPath& names);
  // Makes the child (which must not exist) and returns its id.
  int64_t CreateChild(int64_t parent, const std::u16string& name);
  // Children ordered by folded name. Cost: linear in their number.
  std::vector<NamedKey> Children(int64_t parent);
  bool HasChildren(int64_t parent);
  // Removes a key that has no children, with its values.
  void DeleteKey(int64_t key);

  bool GetValue(int64_t key, const std::u16string& name, StoredValue* value);
  void SetValue(int64_t key, const std::u16string& name, DWORD type, const BYTE* data, size_t size);
  // False when the key has no value of that name.
  bool DeleteValue(int64_t key, const std::u16string& name);
  // Values ordered by folded name.
  std::vector<StoredValue> Values(int64_t key);

  FILETIME WriteTime(int64_t key);

 private:
  void Touch(int64_t key);
  RegistryDatabase& database_;
};

}  // namespace registry

// What an open key designates, and the operations on it: a key of one hive,
// or a key seen through HKEY_CLASSES_ROOT, the merge of
// HKEY_CURRENT_USER\Software\Classes (looked at first) over
// HKEY_LOCAL_MACHINE\Software\Classes (where writes go). All functions run
// inside the caller's transaction and throw RegistryFailure with the Win32
// error of the call.
#pragma once

#include "registry/registry_keys.h"

namespace registry {

struct OpenKey {
  bool classesView = false;  // seen through HKEY_CLASSES_ROOT
  int64_t id = 0;            // the hive key, when not a classes view
  KeyPath classesPath;       // names below Software\Classes, for a classes view
  REGSAM access = 0;         // rights granted when it was opened
};

// A key whose data several hive keys supply, most important first.
using KeySources = std::vector<int64_t>;

class KeyViews {
 public:
  explicit KeyViews(KeyStore& store) : store_(store) {}

  // The hive keys that supply `key` when read (user side before machine side).
  // ERROR_KEY_DELETED when the key no longer exists.
  KeySources ReadSources(const OpenKey& key);
  // The hive key that a write through `key` changes: the key itself, or for a
  // classes view the machine side, made when missing. ERROR_KEY_DELETED.
  int64_t WriteTarget(const OpenKey& key);

  // The subkey `names` of `parent` (none: the key itself). ERROR_FILE_NOT_FOUND.
  OpenKey Open(const OpenKey& parent, const KeyPath& names);
  // Opens or makes the subkey; *created tells which. ERROR_ACCESS_DENIED
  // without KEY_CREATE_SUB_KEY when a key must be made; ERROR_INVALID_PARAMETER
  // beyond kMaxKeyDepth.
  OpenKey Create(const OpenKey& parent, const KeyPath& names, bool* created);
  // Deletes the subkey (none: the key itself): ERROR_FILE_NOT_FOUND when
  // missing, ERROR_ACCESS_DENIED when it has subkeys or is a hive root.
  // Through a classes view the machine side goes first, else the user side.
  void Delete(const OpenKey& parent, const KeyPath& names);

  // Subkeys and values of the merged sources, ordered by folded name; a name
  // the user side has hides the machine side's.
  std::vector<NamedKey> Subkeys(const OpenKey& key);
  std::vector<StoredValue> Values(const OpenKey& key);
  // The value as read: first source that has it. False when none has.
  bool FindValue(const OpenKey& key, const std::u16string& name, StoredValue* value);
  // Deletes the value from the first source that has it (machine side first
  // for a classes view). False when none has.
  bool DeleteValue(const OpenKey& key, const std::u16string& name);

  KeyStore& keys() { return store_; }

 private:
  // Hive keys of a classes-view path: {user side, machine side}, 0 when missing.
  std::pair<int64_t, int64_t> ClassesSides(const KeyPath& path);
  int64_t MakePath(int64_t start, const KeyPath& names, size_t startDepth);
  KeyStore& store_;
};

}  // namespace registry

// Hive keys and the merged classes view.
#include "registry/registry_views.h"

#include <algorithm>
#include <unordered_set>

namespace registry {
namespace {

const KeyPath& ClassesRootPath() {
  static const KeyPath path = {u"Software", u"Classes"};
  return path;
}

KeyPath Joined(const KeyPath& first, const KeyPath& second) {
  KeyPath joined = first;
  joined.insert(joined.end(), second.begin(), second.end());
  return joined;
}

[[noreturn]] void Fail(LSTATUS status) { throw RegistryFailure{status}; }

template <class Entry>
void SortByFoldedName(std::vector<Entry>* entries) {
  std::sort(entries->begin(), entries->end(),
            [](const Entry& a, const Entry& b) { return a.folded < b.folded; });
}

bool IsHiveRoot(int64_t key) {
  return key == kCurrentUserRoot || key == kLocalMachineRoot || key == kUsersRoot;
}

}  // namespace

std::pair<int64_t, int64_t> KeyViews::ClassesSides(const KeyPath& path) {
  const KeyPath full = Joined(ClassesRootPath(), path);
  return {store_.FindPath(kCurrentUserRoot, full), store_.FindPath(kLocalMachineRoot, full)};
}

KeySources KeyViews::ReadSources(const OpenKey& key) {
  if (!key.classesView) {
    if (!store_.Exists(key.id)) Fail(ERROR_KEY_DELETED);
    return {key.id};
  }
  const auto [user, machine] = ClassesSides(key.classesPath);
  KeySources sources;
  if (user != 0) sources.push_back(user);
  if (machine != 0) sources.push_back(machine);
  // The classes root itself always exists, even while both sides are empty.
  if (sources.empty() && !key.classesPath.empty()) Fail(ERROR_KEY_DELETED);
  return sources;
}

int64_t KeyViews::MakePath(int64_t start, const KeyPath& names, size_t startDepth) {
  if (startDepth + names.size() > kMaxKeyDepth) Fail(ERROR_INVALID_PARAMETER);
  int64_t key = start;
  for (const std::u16string& name : names) {
    const int64_t child = store_.FindChild(key, name);
    key = child != 0 ? child : store_.CreateChild(key, name);
  }
  return key;
}

int64_t KeyViews::WriteTarget(const OpenKey& key) {
  if (!key.classesView) {
    if (!store_.Exists(key.id)) Fail(ERROR_KEY_DELETED);
    return key.id;
  }
  ReadSources(key);  // a deleted key is not brought back by a write
  return MakePath(kLocalMachineRoot, Joined(ClassesRootPath(), key.classesPath), 0);
}

OpenKey KeyViews::Open(const OpenKey& parent, const KeyPath& names) {
  ReadSources(parent);
  OpenKey opened = parent;
  if (!parent.classesView) {
    opened.id = store_.FindPath(parent.id, names);
    if (opened.id == 0) Fail(ERROR_FILE_NOT_FOUND);
    return opened;
  }
  opened.classesPath = Joined(parent.classesPath, names);
  const auto [user, machine] = ClassesSides(opened.classesPath);
  if (user == 0 && machine == 0 && !opened.classesPath.empty()) Fail(ERROR_FILE_NOT_FOUND);
  return opened;
}

OpenKey KeyViews::Create(const OpenKey& parent, const KeyPath& names, bool* created) {
  *created = false;
  try {
    return Open(parent, names);
  } catch (const RegistryFailure& failure) {
    if (failure.status != ERROR_FILE_NOT_FOUND) throw;
  }
  if ((parent.access & KEY_CREATE_SUB_KEY) == 0) Fail(ERROR_ACCESS_DENIED);
  OpenKey made = parent;
  if (parent.classesView) {
    made.classesPath = Joined(parent.classesPath, names);
    MakePath(kLocalMachineRoot, Joined(ClassesRootPath(), made.classesPath), 0);
  } else {
    made.id = MakePath(parent.id, names, store_.Depth(parent.id));
  }
  *created = true;
  return made;
}

void KeyViews::Delete(const OpenKey& parent, const KeyPath& names) {
  int64_t target = 0;
  if (!parent.classesView) {
    if (!store_.Exists(parent.id)) Fail(ERROR_KEY_DELETED);
    target = store_.FindPath(parent.id, names);
  } else {
    const KeyPath path = Joined(parent.classesPath, names);
    if (path.empty()) Fail(ERROR_ACCESS_DENIED);
    ReadSources(parent);
    const auto [user, machine] = ClassesSides(path);
    target = machine != 0 ? machine : user;
  }
  if (target == 0) Fail(ERROR_FILE_NOT_FOUND);
  if (IsHiveRoot(target) || store_.HasChildren(target)) Fail(ERROR_ACCESS_DENIED);
  store_.DeleteKey(target);
}

std::vector<NamedKey> KeyViews::Subkeys(const OpenKey& key) {
  const KeySources sources = ReadSources(key);
  if (sources.size() == 1) return store_.Children(sources.front());
  std::vector<NamedKey> merged;
  std::unordered_set<std::string> seen;
  for (int64_t source : sources) {
    for (NamedKey& child : store_.Children(source)) {
      if (seen.insert(child.folded).second) merged.push_back(std::move(child));
    }
  }
  SortByFoldedName(&merged);
  return merged;
}

std::vector<StoredValue> KeyViews::Values(const OpenKey& key) {
  const KeySources sources = ReadSources(key);
  if (sources.size() == 1) return store_.Values(sources.front());
  std::vector<StoredValue> merged;
  std::unordered_set<std::string> seen;
  for (int64_t source : sources) {
    for (StoredValue& value : store_.Values(source)) {
      if (seen.insert(value.folded).second) merged.push_back(std::move(value));
    }
  }
  SortByFoldedName(&merged);
  return merged;
}

bool KeyViews::FindValue(const OpenKey& key, const std::u16string& name, StoredValue* value) {
  for (int64_t source : ReadSources(key)) {
    if (store_.GetValue(source, name, value)) return true;
  }
  return false;
}

bool KeyViews::DeleteValue(const OpenKey& key, const std::u16string& name) {
  KeySources sources = ReadSources(key);
  std::reverse(sources.begin(), sources.end());  // machine side first
  for (int64_t source : sources) {
    if (store_.DeleteValue(source, name)) return true;
  }
  return false;
}

}  // namespace registry

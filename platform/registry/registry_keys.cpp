// Key and value rows of the registry file.
#include "registry/registry_keys.h"

#include "winbase.h"

namespace registry {
namespace {

int64_t Now() {
  FILETIME now{};
  GetSystemTimeAsFileTime(&now);
  return static_cast<int64_t>((static_cast<uint64_t>(now.dwHighDateTime) << 32) |
                              now.dwLowDateTime);
}

}  // namespace

bool KeyStore::Exists(int64_t key) {
  Query query(database_, "SELECT 1 FROM keys WHERE id = ?");
  return query.Bind(key).Step();
}

size_t KeyStore::Depth(int64_t key) {
  size_t depth = 0;
  while (true) {
    Query query(database_, "SELECT parent FROM keys WHERE id = ?");
    if (!query.Bind(key).Step()) return depth;
    key = query.Integer(0);
    if (key == 0) return depth;
    ++depth;
    if (depth > kMaxKeyDepth + 2) throw RegistryFailure{ERROR_BADDB};  // a cycle
  }
}

int64_t KeyStore::FindChild(int64_t parent, const std::u16string& name) {
  Query query(database_, "SELECT id FROM keys WHERE parent = ? AND folded = ?");
  return query.Bind(parent).Bind(FoldName(name)).Step() ? query.Integer(0) : 0;
}

int64_t KeyStore::FindPath(int64_t start, const KeyPath& names) {
  int64_t key = start;
  for (const std::u16string& name : names) {
    if (key == 0) return 0;
    key = FindChild(key, name);
  }
  return key;
}

int64_t KeyStore::CreateChild(int64_t parent, const std::u16string& name) {
  Query query(database_, "INSERT INTO keys(parent, name, folded, written) VALUES (?, ?, ?, ?)");
  query.Bind(parent).Bind(name).Bind(FoldName(name)).Bind(Now()).Step();
  return sqlite3_last_insert_rowid(database_.connection());
}

std::vector<NamedKey> KeyStore::Children(int64_t parent) {
  std::vector<NamedKey> children;
  Query query(database_, "SELECT id, name, folded FROM keys WHERE parent = ? ORDER BY folded");
  query.Bind(parent);
  while (query.Step()) children.push_back({query.Integer(0), query.Text(1), query.Bytes(2)});
  return children;
}

bool KeyStore::HasChildren(int64_t parent) {
  Query query(database_, "SELECT 1 FROM keys WHERE parent = ? LIMIT 1");
  return query.Bind(parent).Step();
}

void KeyStore::DeleteKey(int64_t key) {
  Query values(database_, "DELETE FROM vals WHERE key = ?");
  values.Bind(key).Step();
  Query row(database_, "DELETE FROM keys WHERE id = ?");
  row.Bind(key).Step();
}

bool KeyStore::GetValue(int64_t key, const std::u16string& name, StoredValue* value) {
  Query query(database_, "SELECT name, type, data, folded FROM vals WHERE key = ? AND folded = ?");
  if (!query.Bind(key).Bind(FoldName(name)).Step()) return false;
  *value = {query.Text(0), static_cast<DWORD>(query.Integer(1)), query.Bytes(2), query.Bytes(3)};
  return true;
}

void KeyStore::SetValue(int64_t key, const std::u16string& name, DWORD type, const BYTE* data,
                        size_t size) {
  // An existing value keeps the spelling of its name, as on Windows.
  Query query(database_,
              "INSERT INTO vals(key, name, folded, type, data) VALUES (?, ?, ?, ?, ?) "
              "ON CONFLICT(key, folded) DO UPDATE SET type = excluded.type, data = excluded.data");
  query.Bind(key).Bind(name).Bind(FoldName(name)).Bind(static_cast<int64_t>(type));
  query.BindBlob(data, size).Step();
  Touch(key);
}

bool KeyStore::DeleteValue(int64_t key, const std::u16string& name) {
  {
    Query query(database_, "DELETE FROM vals WHERE key = ? AND folded = ?");
    query.Bind(key).Bind(FoldName(name)).Step();
  }
  if (sqlite3_changes(database_.connection()) == 0) return false;
  Touch(key);
  return true;
}

std::vector<StoredValue> KeyStore::Values(int64_t key) {
  std::vector<StoredValue> values;
  Query query(database_, "SELECT name, type, data, folded FROM vals WHERE key = ? ORDER BY folded");
  query.Bind(key);
  while (query.Step()) {
    values.push_back(
        {query.Text(0), static_cast<DWORD>(query.Integer(1)), query.Bytes(2), query.Bytes(3)});
  }
  return values;
}

FILETIME KeyStore::WriteTime(int64_t key) {
  Query query(database_, "SELECT written FROM keys WHERE id = ?");
  const uint64_t ticks = query.Bind(key).Step() ? static_cast<uint64_t>(query.Integer(0)) : 0;
  return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

void KeyStore::Touch(int64_t key) {
  Query query(database_, "UPDATE keys SET written = ? WHERE id = ?");
  query.Bind(Now()).Bind(key).Step();
}

}  // namespace registry

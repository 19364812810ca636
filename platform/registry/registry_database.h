// The registry file: one SQLite database holding every hive. Owns the
// connection, its prepared statements and the transactions that make each
// registry call all-or-nothing. Used only by the key store (registry_keys.h)
// and the process-wide registry state (registry_state.h).
#pragma once

#include <sqlite3.h>

#include <memory>
#include <optional>
#include <string>
#include <unordered_map>

#include "registry/registry_change_watch.h"
#include "winreg.h"

namespace registry {

// Thrown inside the registry layer when a database step fails; the exported
// functions catch it and return its Win32 error code.
struct RegistryFailure {
  LSTATUS status;
};

// Row ids of the hive roots, fixed when the file is made.
constexpr int64_t kCurrentUserRoot = 1;
constexpr int64_t kLocalMachineRoot = 2;
constexpr int64_t kUsersRoot = 3;

class RegistryDatabase {
 public:
  // Opens or makes the file at `path` (WAL journal, schema made once).
  // Throws RegistryFailure (ERROR_CANTOPEN, ERROR_BADDB...) when that fails.
  explicit RegistryDatabase(const std::string& path);
  ~RegistryDatabase();
  RegistryDatabase(const RegistryDatabase&) = delete;
  RegistryDatabase& operator=(const RegistryDatabase&) = delete;

  // A prepared statement for `sql` (a string literal: cached by address),
  // reset and unbound. Throws RegistryFailure.
  sqlite3_stmt* Prepare(const char* sql);

  // Throws RegistryFailure for any result other than SQLITE_OK/ROW/DONE.
  int Check(int result) const;

  // Gives the connection up without closing it: used in a forked child,
  // where closing the parent's connection could disturb the parent's locks.
  void Abandon();

  sqlite3* connection() const { return db_; }

  // True when the file may have changed since the last call, by a commit of
  // any process: a memory compare, no query. See registry_change_watch.h.
  bool MayHaveChanged() { return watch_->Changed(); }

 private:
  void MakeSchema();

  sqlite3* db_ = nullptr;
  // Made once the connection is open; destroyed after it is closed.
  std::optional<ChangeWatch> watch_;
  std::unordered_map<const char*, sqlite3_stmt*> statements_;
};

// Win32 error code for a SQLite result.
LSTATUS StatusFromSqlite(int result);

// One transaction: BEGIN IMMEDIATE for writers (so that a concurrent writer
// waits for the busy timeout instead of failing on upgrade), BEGIN for
// readers. Rolls back unless committed.
class Transaction {
 public:
  Transaction(RegistryDatabase& database, bool writing);
  ~Transaction();
  void Commit();

 private:
  RegistryDatabase& database_;
  bool open_ = false;
};

// A statement in use: binds parameters, steps, and resets on destruction.
class Query {
 public:
  Query(RegistryDatabase& database, const char* sql);
  ~Query();
  Query& Bind(int64_t value);
  Query& Bind(const std::string& bytes);    // as a blob
  Query& Bind(const std::u16string& text);  // as a blob of UTF-16 units
  Query& BindBlob(const void* data, size_t size);
  bool Step();  // true while a row is available
  int64_t Integer(int column) const;
  std::string Bytes(int column) const;
  std::u16string Text(int column) const;

 private:
  RegistryDatabase& database_;
  sqlite3_stmt* statement_;
  int nextParameter_ = 1;
};

}  // namespace registry

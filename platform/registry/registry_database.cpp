// SQLite connection, schema, statements and transactions of the registry file.
#include "registry/registry_database.h"

#include <cstring>

namespace registry {
namespace {

// How long a call waits for another process's write to finish before failing.
constexpr int kBusyTimeoutMilliseconds = 10'000;
// Schema version stored in the file, for later migrations.
constexpr int kSchemaVersion = 1;

// Keys are rows under their parent (0 for a hive root); names are UTF-16 blobs
// as created, `folded` their comparison form (registry_names.h). Values
// belong to a key and share its case rules. AUTOINCREMENT keeps a deleted
// key's id from being reused, so a handle to it stays dead.
constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS keys(
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  parent INTEGER NOT NULL,
  name BLOB NOT NULL,
  folded BLOB NOT NULL,
  written INTEGER NOT NULL,
  UNIQUE(parent, folded));
CREATE TABLE IF NOT EXISTS vals(
  key INTEGER NOT NULL,
  name BLOB NOT NULL,
  folded BLOB NOT NULL,
  type INTEGER NOT NULL,
  data BLOB NOT NULL,
  PRIMARY KEY(key, folded)) WITHOUT ROWID;
INSERT OR IGNORE INTO keys(id, parent, name, folded, written) VALUES
  (1, 0, CAST('HKEY_CURRENT_USER' AS BLOB), CAST('HKCU' AS BLOB), 0),
  (2, 0, CAST('HKEY_LOCAL_MACHINE' AS BLOB), CAST('HKLM' AS BLOB), 0),
  (3, 0, CAST('HKEY_USERS' AS BLOB), CAST('HKU' AS BLOB), 0);
PRAGMA user_version = 1;
)sql";

// A zero-length blob still needs a non-null pointer, or SQLite binds NULL.
constexpr char kEmptyBlob[1] = {0};

}  // namespace

LSTATUS StatusFromSqlite(int result) {
  switch (result & 0xFF) {
    case SQLITE_OK:
    case SQLITE_ROW:
    case SQLITE_DONE:
      return ERROR_SUCCESS;
    case SQLITE_NOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
    case SQLITE_SCHEMA:
      return ERROR_BADDB;
    case SQLITE_CANTOPEN:
    case SQLITE_PERM:
      return ERROR_CANTOPEN;
    case SQLITE_TOOBIG:
    case SQLITE_RANGE:
    case SQLITE_MISMATCH:
      return ERROR_INVALID_PARAMETER;
    case SQLITE_IOERR:
      return ERROR_CANTREAD;
    default:  // busy beyond the timeout, disk full, read-only file...
      return ERROR_CANTWRITE;
  }
}

RegistryDatabase::RegistryDatabase(const std::string& path) {
  const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX;
  const int opened = sqlite3_open_v2(path.c_str(), &db_, flags, nullptr);
  if (opened != SQLITE_OK) {
    sqlite3_close(db_);
    db_ = nullptr;
    throw RegistryFailure{ERROR_CANTOPEN};
  }
  try {
    sqlite3_busy_timeout(db_, kBusyTimeoutMilliseconds);
    sqlite3_extended_result_codes(db_, 1);
    MakeSchema();
    watch_.emplace(path);
  } catch (...) {
    for (auto& entry : statements_) sqlite3_finalize(entry.second);
    sqlite3_close(db_);
    throw;
  }
}

RegistryDatabase::~RegistryDatabase() {
  if (db_ == nullptr) return;
  for (auto& entry : statements_) sqlite3_finalize(entry.second);
  sqlite3_close(db_);
}

void RegistryDatabase::Abandon() {
  statements_.clear();
  db_ = nullptr;
  watch_.reset();  // the child's descriptor: closing it leaves the parent's locks alone
}

void RegistryDatabase::MakeSchema() {
  // WAL: readers never wait for the writer, and a process killed while
  // writing leaves the last committed state. NORMAL synchronisation keeps
  // that guarantee for process crashes; only a power loss may drop the last
  // few commits, never half of one.
  Check(sqlite3_exec(db_, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr));
  Check(sqlite3_exec(db_, "PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr));
  Transaction transaction(*this, true);
  Query version(*this, "PRAGMA user_version");
  const int64_t stored = version.Step() ? version.Integer(0) : 0;
  if (stored > kSchemaVersion) throw RegistryFailure{ERROR_BADDB};
  if (stored < kSchemaVersion) Check(sqlite3_exec(db_, kSchema, nullptr, nullptr, nullptr));
  transaction.Commit();
}

int RegistryDatabase::Check(int result) const {
  const LSTATUS status = StatusFromSqlite(result);
  if (status != ERROR_SUCCESS) throw RegistryFailure{status};
  return result;
}

sqlite3_stmt* RegistryDatabase::Prepare(const char* sql) {
  auto found = statements_.find(sql);
  if (found != statements_.end()) return found->second;
  sqlite3_stmt* statement = nullptr;
  Check(sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &statement, nullptr));
  try {
    statements_.emplace(sql, statement);
  } catch (...) {
    sqlite3_finalize(statement);
    throw;
  }
  return statement;
}

Transaction::Transaction(RegistryDatabase& database, bool writing) : database_(database) {
  database.Check(sqlite3_exec(database.connection(), writing ? "BEGIN IMMEDIATE" : "BEGIN", nullptr,
                              nullptr, nullptr));
  open_ = true;
}

Transaction::~Transaction() {
  if (open_) sqlite3_exec(database_.connection(), "ROLLBACK", nullptr, nullptr, nullptr);
}

void Transaction::Commit() {
  database_.Check(sqlite3_exec(database_.connection(), "COMMIT", nullptr, nullptr, nullptr));
  open_ = false;
}

Query::Query(RegistryDatabase& database, const char* sql)
    : database_(database), statement_(database.Prepare(sql)) {}

Query::~Query() {
  sqlite3_reset(statement_);
  sqlite3_clear_bindings(statement_);
}

Query& Query::BindBlob(const void* data, size_t size) {
  if (size > static_cast<size_t>(INT32_MAX)) throw RegistryFailure{ERROR_INVALID_PARAMETER};
  if (size == 0) data = kEmptyBlob;
  database_.Check(sqlite3_bind_blob(statement_, nextParameter_++, data, static_cast<int>(size),
                                    SQLITE_TRANSIENT));
  return *this;
}

Query& Query::Bind(int64_t value) {
  database_.Check(sqlite3_bind_int64(statement_, nextParameter_++, value));
  return *this;
}

Query& Query::Bind(const std::string& bytes) { return BindBlob(bytes.data(), bytes.size()); }

Query& Query::Bind(const std::u16string& text) {
  return BindBlob(text.data(), text.size() * sizeof(char16_t));
}

bool Query::Step() { return database_.Check(sqlite3_step(statement_)) == SQLITE_ROW; }

int64_t Query::Integer(int column) const { return sqlite3_column_int64(statement_, column); }

std::string Query::Bytes(int column) const {
  const void* data = sqlite3_column_blob(statement_, column);
  const int size = sqlite3_column_bytes(statement_, column);
  if (data == nullptr || size <= 0) return std::string();
  return std::string(static_cast<const char*>(data), static_cast<size_t>(size));
}

std::u16string Query::Text(int column) const {
  const std::string bytes = Bytes(column);
  std::u16string text(bytes.size() / sizeof(char16_t), u'\0');
  if (!text.empty()) std::memcpy(text.data(), bytes.data(), text.size() * sizeof(char16_t));
  return text;
}

}  // namespace registry

// Watching the registry file for commits, by this process or any other,
// without a query: SQLite keeps the header of its write-ahead log's index in
// the shared "-shm" file, and every commit rewrites that header. The watch
// maps the header read-only and compares it with the copy it last saw. Owned
// by the RegistryDatabase whose connection keeps the "-shm" file alive: the
// watch's own descriptor on it must outlive that connection, since closing any
// descriptor of a file drops all of the process's POSIX locks on it, SQLite's
// among them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace registry {

class ChangeWatch {
 public:
  // Maps the index header of the database at `databasePath`. Call once the
  // connection is open in WAL mode; a watch that cannot map reports every
  // call as a change.
  explicit ChangeWatch(const std::string& databasePath);
  ~ChangeWatch();
  ChangeWatch(const ChangeWatch&) = delete;
  ChangeWatch& operator=(const ChangeWatch&) = delete;

  // True when a commit may have happened since the last call (always true
  // the first time and when nothing is mapped). Cost: one 48-byte compare.
  bool Changed();

 private:
  // The index header SQLite writes on every commit: 48 bytes, the first of
  // its two copies.
  static constexpr size_t kHeaderBytes = 48;
  static constexpr size_t kHeaderWords = kHeaderBytes / sizeof(uint32_t);

  int file_ = -1;
  const uint32_t* header_ = nullptr;  // mapped, read-only
  size_t mappedBytes_ = 0;
  uint32_t seen_[kHeaderWords] = {};
  bool primed_ = false;
};

}  // namespace registry

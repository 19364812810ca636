#include "registry/registry_change_watch.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace registry {

ChangeWatch::ChangeWatch(const std::string& databasePath) {
  file_ = open((databasePath + "-shm").c_str(), O_RDONLY | O_CLOEXEC);
  if (file_ < 0) return;
  struct stat status {};
  // A header shorter than its size would fault when read: map only a whole one.
  if (fstat(file_, &status) != 0 || status.st_size < static_cast<off_t>(kHeaderBytes)) return;
  void* mapped = mmap(nullptr, kHeaderBytes, PROT_READ, MAP_SHARED, file_, 0);
  if (mapped == MAP_FAILED) return;
  header_ = static_cast<const uint32_t*>(mapped);
  mappedBytes_ = kHeaderBytes;
}

ChangeWatch::~ChangeWatch() {
  if (header_ != nullptr) munmap(const_cast<uint32_t*>(header_), mappedBytes_);
  if (file_ >= 0) close(file_);
}

bool ChangeWatch::Changed() {
  if (header_ == nullptr) return true;
  bool changed = !primed_;
  for (size_t i = 0; i < kHeaderWords; ++i) {
    // Another process writes these words while we read: atomic loads, and a
    // torn mix of old and new only reads as one more change.
    const uint32_t word = __atomic_load_n(&header_[i], __ATOMIC_ACQUIRE);
    changed |= word != seen_[i];
    seen_[i] = word;
  }
  primed_ = true;
  return changed;
}

}  // namespace registry

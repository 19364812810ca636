#include "ole/typelib/kept_type_libraries.h"

#include <sys/stat.h>

#include <algorithm>
#include <mutex>
#include <new>
#include <vector>

#include "kernel/unicode.h"
#include "ole/typelib/type_library_objects.h"
#include "oleauto.h"

namespace glimmark::ole {
namespace {

constexpr size_t kMaxPathUnits = 32767;  // Windows' longest path

// What tells one version of a file from another without reading it: a file
// replaced (renamed over) has another inode, one rewritten in place another
// modification time, in nanoseconds.
struct FileIdentity {
  dev_t device;
  ino_t inode;
  off_t size;
  time_t modifiedSeconds;
  long modifiedNanoseconds;
  bool operator==(const FileIdentity&) const = default;
};

bool Utf8Path(const std::u16string& path, std::string* utf8) {
  return !path.empty() && path.size() <= kMaxPathUnits &&
         kernel::Utf16ToUtf8(path.data(), path.size(), *utf8);
}

bool IdentityOf(const std::string& utf8Path, FileIdentity* identity) {
  struct stat status {};
  if (stat(utf8Path.c_str(), &status) != 0) return false;
  *identity = {status.st_dev, status.st_ino, status.st_size, status.st_mtim.tv_sec,
               status.st_mtim.tv_nsec};
  return true;
}

struct KeptLibrary {
  std::u16string path;
  std::string utf8Path;  // converted once: the conversion costs more than the rest of a call
  FileIdentity identity;
  TypeLibObject* library;  // not a reference: the library unlists itself as it goes
};

// A process holds a handful of libraries at once (each leaves as its last
// reference goes): a list compared path by path beats hashing the path.
struct KeptTable {
  std::mutex lock;
  std::vector<KeptLibrary> libraries;

  std::vector<KeptLibrary>::iterator Find(const std::u16string& path) {
    return std::find_if(libraries.begin(), libraries.end(),
                        [&](const KeptLibrary& kept) { return kept.path == path; });
  }
};

KeptTable& Kept() {
  static auto* const table = new KeptTable;  // lives as long as the process
  return *table;
}

// The listed library for `path` with one more reference, when it is alive
// and was read from the file as it is now. The file is looked at under the
// lock, so that the entry cannot change meanwhile.
TypeLibObject* FindLive(const std::u16string& path) {
  KeptTable& table = Kept();
  std::lock_guard<std::mutex> guard(table.lock);
  const auto found = table.Find(path);
  if (found == table.libraries.end()) return nullptr;
  const KeptLibrary& kept = *found;
  FileIdentity now{};
  if (!IdentityOf(kept.utf8Path, &now) || !(now == kept.identity)) return nullptr;
  return kept.library->AddRefUnlessReleased() ? kept.library : nullptr;
}

// Lists `library`, read from the file whose identity was taken before the
// read: a file changed in between only makes the next call read it again.
// A library listed for the path before is left to its holders.
void List(KeptLibrary kept) {
  KeptTable& table = Kept();
  std::lock_guard<std::mutex> guard(table.lock);
  kept.library->MarkListed(kept.path);
  const auto found = table.Find(kept.path);
  if (found != table.libraries.end()) {
    *found = std::move(kept);
  } else {
    table.libraries.push_back(std::move(kept));
  }
}

}  // namespace

HRESULT LoadKeptTypeLib(const std::u16string& path, ITypeLib** out) noexcept {
  *out = nullptr;
  try {
    if (TypeLibObject* live = FindLive(path)) {
      *out = live;
      return S_OK;
    }
    KeptLibrary kept{path, {}, {}, nullptr};
    if (!Utf8Path(path, &kept.utf8Path) || !IdentityOf(kept.utf8Path, &kept.identity)) {
      return LoadTypeLib(path.c_str(), out);
    }
    const HRESULT hr = LoadTypeLib(path.c_str(), out);
    if (FAILED(hr)) return hr;
    // Every library LoadTypeLib makes is a TypeLibObject.
    kept.library = static_cast<TypeLibObject*>(*out);
    List(std::move(kept));
    return hr;
  } catch (const std::bad_alloc&) {
    // Only listing can fail once loaded: the library is handed out unlisted.
    return *out != nullptr ? S_OK : E_OUTOFMEMORY;
  }
}

void UnlistTypeLib(const TypeLibObject* library) noexcept {
  KeptTable& table = Kept();
  std::lock_guard<std::mutex> guard(table.lock);
  const auto found = table.Find(library->ListedPath());
  if (found != table.libraries.end() && found->library == library) table.libraries.erase(found);
}

}  // namespace glimmark::ole

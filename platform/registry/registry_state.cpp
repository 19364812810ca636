// Process-wide registry state: connection, handle table, location.
#include "registry/registry_state.h"

#include <pthread.h>
#include <sys/stat.h>

#include <atomic>
#include <cstdlib>
#include <vector>

#include "registry/registry_generation.h"

namespace registry {
namespace {

constexpr const char* kRegistryVariable = "GLIMMARK_REGISTRY";
constexpr const char* kDataFolder = "/glimmark";
constexpr const char* kFileName = "/registry.db";
// Open handles a process may hold at once; beyond, opening fails with
// ERROR_NOT_ENOUGH_MEMORY instead of growing without bound.
constexpr size_t kMaxOpenHandles = size_t{1} << 20;
// Handle values: slot index (from 1) times 4, as Windows handles are, with the
// slot's generation in the upper half so that a stale handle is not mistaken
// for the slot's next key. Generations stay below 2^31 so no value meets the
// sign-extended predefined keys.
constexpr uint64_t kGenerationShift = 32;
constexpr uint32_t kGenerationMask = 0x7FFFFFFF;

struct HandleSlot {
  uint32_t generation = 0;
  bool used = false;
  OpenKey key;
};

struct ProcessState {
  std::mutex mutex;
  std::unique_ptr<RegistryDatabase> database;
  // Moves on at every possible change of the file; a newly opened file's
  // watch reports a change at its first look, so a switch of files moves it too.
  uint64_t generation = 0;
  uint64_t openedAfterForks = 0;  // ForksSoFar() when `database` was opened
  std::optional<std::string> pathOverride;
  std::vector<HandleSlot> slots;
  std::vector<size_t> freeSlots;
#ifdef GLIMMARK_TEST_SEAMS
  // Test seam: run once just before the next commit.
  void (*beforeNextCommit)(void) = nullptr;
#endif  // GLIMMARK_TEST_SEAMS
};

// Forks this process came through: a child's count is one more than its
// parent's was. A connection opened under another count is a parent's.
// Counted by a fork handler rather than told by getpid, a system call that
// every class look-up would make. Constant-initialised: no guard for a fork
// handler to wait on.
std::atomic<uint64_t>& Forks() {
  static std::atomic<uint64_t> forks{0};
  return forks;
}
void CountFork() { Forks().fetch_add(1, std::memory_order_relaxed); }
uint64_t ForksSoFar() { return Forks().load(std::memory_order_relaxed); }

// Made once, never destroyed: handles may be closed from static destructors.
ProcessState& State() {
  static ProcessState* state = [] {
    pthread_atfork(nullptr, nullptr, CountFork);
    return new ProcessState();
  }();
  return *state;
}

// Drops a connection a forked child inherited: the child must neither use
// nor close its parent's.
void AbandonParentsDatabase(ProcessState& state) {
  if (state.database != nullptr && state.openedAfterForks != ForksSoFar()) {
    state.database->Abandon();
    (void)state.database.release();
  }
}

void MakeFolder(const std::string& path) { mkdir(path.c_str(), 0700); }

HKEY HandleValue(size_t index, uint32_t generation) {
  const uint64_t value = (static_cast<uint64_t>(generation) << kGenerationShift) |
                         (static_cast<uint64_t>(index + 1) << 2);
  return reinterpret_cast<HKEY>(static_cast<uintptr_t>(value));
}

HandleSlot* FindSlot(HKEY handle) {
  const uint64_t value = reinterpret_cast<uintptr_t>(handle);
  const uint64_t low = value & 0xFFFFFFFFu;
  if ((low & 3) != 0 || low == 0) return nullptr;
  const size_t index = static_cast<size_t>(low >> 2) - 1;
  ProcessState& state = State();
  if (index >= state.slots.size()) return nullptr;
  HandleSlot& slot = state.slots[index];
  if (!slot.used || slot.generation != (value >> kGenerationShift)) return nullptr;
  return &slot;
}

OpenKey HiveKey(int64_t id) {
  OpenKey key;
  key.id = id;
  key.access = KEY_ALL_ACCESS;
  return key;
}

}  // namespace

std::string DefaultRegistryPath() {
  if (const char* chosen = std::getenv(kRegistryVariable); chosen != nullptr && *chosen != 0) {
    return chosen;
  }
  std::string folder;
  if (const char* data = std::getenv("XDG_DATA_HOME"); data != nullptr && *data == '/') {
    folder = data;
  } else if (const char* home = std::getenv("HOME"); home != nullptr && *home == '/') {
    folder = std::string(home) + "/.local";
    MakeFolder(folder);
    folder += "/share";
  } else {
    return std::string();
  }
  MakeFolder(folder);
  folder += kDataFolder;
  MakeFolder(folder);
  return folder + kFileName;
}

RegistryCall::RegistryCall() : lock_(State().mutex) {}

RegistryCall::~RegistryCall() = default;

RegistryDatabase& RegistryCall::Database() {
  ProcessState& state = State();
  AbandonParentsDatabase(state);
  if (state.database == nullptr) {
    const std::string path = state.pathOverride.value_or(DefaultRegistryPath());
    if (path.empty()) throw RegistryFailure{ERROR_CANTOPEN};
    state.database = std::make_unique<RegistryDatabase>(path);
    state.openedAfterForks = ForksSoFar();
  }
  return *state.database;
}

KeyViews& RegistryCall::Begin(bool writing) {
  RegistryDatabase& database = Database();
  transaction_.emplace(database, writing);
  store_.emplace(database);
  views_.emplace(*store_);
  return *views_;
}

void RegistryCall::Commit() {
#ifdef GLIMMARK_TEST_SEAMS
  ProcessState& state = State();
  if (state.beforeNextCommit != nullptr) {
    void (*hook)(void) = state.beforeNextCommit;
    state.beforeNextCommit = nullptr;
    hook();
  }
#endif  // GLIMMARK_TEST_SEAMS
  transaction_->Commit();
}

#ifdef GLIMMARK_TEST_SEAMS
void RegistryCall::BeforeNextCommit(void (*hook)(void)) {
  RegistryCall call;
  State().beforeNextCommit = hook;
}
#endif  // GLIMMARK_TEST_SEAMS

OpenKey RegistryCall::Resolve(HKEY handle) {
  if (handle == HKEY_CURRENT_USER) return HiveKey(kCurrentUserRoot);
  if (handle == HKEY_LOCAL_MACHINE) return HiveKey(kLocalMachineRoot);
  if (handle == HKEY_USERS) return HiveKey(kUsersRoot);
  if (handle == HKEY_CLASSES_ROOT) {
    OpenKey classes;
    classes.classesView = true;
    classes.access = KEY_ALL_ACCESS;
    return classes;
  }
  if (handle == HKEY_PERFORMANCE_DATA || handle == HKEY_CURRENT_CONFIG || handle == HKEY_DYN_DATA) {
    throw RegistryFailure{ERROR_NOT_SUPPORTED};
  }
  const HandleSlot* slot = FindSlot(handle);
  if (slot == nullptr) throw RegistryFailure{ERROR_INVALID_HANDLE};
  return slot->key;
}

HKEY RegistryCall::AddHandle(OpenKey key) {
  ProcessState& state = State();
  size_t index = 0;
  if (!state.freeSlots.empty()) {
    index = state.freeSlots.back();
    state.freeSlots.pop_back();
  } else {
    if (state.slots.size() >= kMaxOpenHandles) throw RegistryFailure{ERROR_NOT_ENOUGH_MEMORY};
    state.slots.emplace_back();
    index = state.slots.size() - 1;
  }
  HandleSlot& slot = state.slots[index];
  slot.generation = (slot.generation + 1) & kGenerationMask;
  slot.used = true;
  slot.key = std::move(key);
  return HandleValue(index, slot.generation);
}

bool RegistryCall::RemoveHandle(HKEY handle) {
  HandleSlot* slot = FindSlot(handle);
  if (slot == nullptr) return false;
  ProcessState& state = State();
  slot->used = false;
  slot->key = OpenKey();
  state.freeSlots.push_back(static_cast<size_t>(slot - state.slots.data()));
  return true;
}

uint64_t RegistryGeneration() noexcept {
  try {
    RegistryCall call;
    ProcessState& state = State();
    if (call.Database().MayHaveChanged()) ++state.generation;
    return state.generation;
  } catch (...) {  // no file: the call's lock is released by now
    ProcessState& state = State();
    std::lock_guard<std::mutex> guard(state.mutex);
    return ++state.generation;
  }
}

#ifdef GLIMMARK_TEST_SEAMS
void RegistryCall::UseFile(std::optional<std::string> path) {
  RegistryCall call;
  ProcessState& state = State();
  AbandonParentsDatabase(state);
  state.database.reset();
  state.pathOverride = std::move(path);
  for (size_t index = 0; index < state.slots.size(); ++index) {
    if (state.slots[index].used) {
      state.slots[index].used = false;
      state.freeSlots.push_back(index);
    }
  }
}
#endif  // GLIMMARK_TEST_SEAMS

}  // namespace registry

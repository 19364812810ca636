// The live-handle table: one per process, in stripes, each an open-
// addressing hash set (linear probing, deletion by shifting the run back) in
// one array guarded by its own short lock, so registering and forgetting a handle
// allocate nothing except when a stripe grows (a rendering makes and deletes
// hundreds of objects), and threads drawing at once seldom wait for one
// another: every flat call looks its handles up.
//
// Look-ups outnumber the rest, so each thread remembers the handles it last
// found live, with the stripe's count of erasures at the time: while that
// count stands, no handle of the stripe has been forgotten, and the handle is
// known live without taking the stripe's lock (whose line would otherwise
// pass between the cores of threads drawing at once).
#include "gdiplus/objects/handle_registry.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <new>
#include <thread>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace Gdiplus::Internal {
namespace {

constexpr size_t kInitialSlots = 256;  // a power of two
// The table grows before more than half of its slots are taken, which keeps
// probe runs short.
constexpr size_t kMaxLoadDivisor = 2;
// Fibonacci hashing: the multiplier spreads neighbouring addresses apart.
constexpr uint64_t kHashMultiplier = 0x9E3779B97F4A7C15ull;
// Stripes of the table, a power of two; a handle's stripe comes from bits of
// its hash that its slot within the stripe does not use.
constexpr int kStripeBits = 4;
// Each thread remembers 2^kRememberedBits handles as found live.
constexpr int kRememberedBits = 6;
constexpr size_t kRememberedHandles = size_t{1} << kRememberedBits;

// Spins a waiter makes before giving its core to the holder (which may have
// been preempted while holding the lock).
constexpr int kSpinsBeforeYield = 64;

// A lock held for a few dozen instructions at most: taking a free one is a
// single atomic exchange and giving it back a plain store, where a
// std::mutex costs a library call and an atomic operation each way (a
// rendering takes these locks a few hundred times).
class ShortLock {
 public:
  void lock() noexcept {
    while (held_.exchange(true, std::memory_order_acquire)) {
      for (int spins = 0; held_.load(std::memory_order_relaxed); ++spins) {
        if (spins < kSpinsBeforeYield) {
          Pause();
        } else {
          std::this_thread::yield();
        }
      }
    }
  }
  void unlock() noexcept { held_.store(false, std::memory_order_release); }

 private:
  static void Pause() noexcept {
#if defined(__x86_64__) || defined(__i386__)
    _mm_pause();
#endif
  }
  std::atomic<bool> held_{false};
};

struct Slot {
  const void* object = nullptr;  // null: free
  ObjectKind kind = ObjectKind::Bitmap;
};

// On a cache line of its own: stripes locked by different threads do not
// share one.
class alignas(64) HandleTable {
 public:
  bool Insert(const void* object, ObjectKind kind) {
    if (!Reserve(used_ + 1)) return false;
    Slot& slot = slots_[Find(object)];
    if (slot.object == nullptr) ++used_;
    slot = Slot{object, kind};
    return true;
  }

  bool Erase(const void* object, ObjectKind kind) {
    size_t hole = Find(object);
    if (slots_ == nullptr || slots_[hole].object == nullptr || slots_[hole].kind != kind) {
      return false;
    }
    // Move later members of the run back so no look-up stops at the hole.
    for (size_t next = Next(hole); slots_[next].object != nullptr; next = Next(next)) {
      const size_t home = Home(slots_[next].object);
      const bool reachableFromHole = ((next - home) & mask_) >= ((next - hole) & mask_);
      if (reachableFromHole) {
        slots_[hole] = slots_[next];
        hole = next;
      }
    }
    slots_[hole] = Slot();
    --used_;
    erasures.store(erasures.load(std::memory_order_relaxed) + 1, std::memory_order_release);
    return true;
  }

  bool Contains(const void* object, ObjectKind kind) const {
    if (slots_ == nullptr) return false;
    const Slot& slot = slots_[Find(object)];
    return slot.object != nullptr && slot.kind == kind;
  }

  ShortLock lock;
  // Handles forgotten so far; changed only under `lock`, read without it. On
  // a line of its own, which only erasures write.
  alignas(64) std::atomic<uint64_t> erasures{0};

 private:
  size_t Home(const void* object) const {
    const uint64_t hash = uint64_t(reinterpret_cast<uintptr_t>(object)) * kHashMultiplier;
    return size_t(hash >> 32) & mask_;
  }
  size_t Next(size_t index) const { return (index + 1) & mask_; }

  // The slot holding `object`, or the free slot ending its probe run.
  size_t Find(const void* object) const {
    if (slots_ == nullptr) return 0;
    size_t index = Home(object);
    while (slots_[index].object != nullptr && slots_[index].object != object) index = Next(index);
    return index;
  }

  // Makes room for `count` members; false when memory runs out.
  bool Reserve(size_t count) {
    if (slots_ != nullptr && count * kMaxLoadDivisor <= capacity_) return true;
    size_t capacity = capacity_ == 0 ? kInitialSlots : capacity_ * 2;
    while (count * kMaxLoadDivisor > capacity) capacity *= 2;
    std::unique_ptr<Slot[]> old(slots_.release());
    const size_t oldCapacity = capacity_;
    slots_.reset(new (std::nothrow) Slot[capacity]);
    if (slots_ == nullptr) {
      slots_ = std::move(old);
      return false;
    }
    capacity_ = capacity;
    mask_ = capacity - 1;
    for (size_t i = 0; i < oldCapacity; ++i) {
      if (old[i].object != nullptr) slots_[Find(old[i].object)] = old[i];
    }
    return true;
  }

  std::unique_ptr<Slot[]> slots_;
  size_t capacity_ = 0;
  size_t mask_ = 0;
  size_t used_ = 0;
};

uint64_t HandleHash(const void* object) {
  return uint64_t(reinterpret_cast<uintptr_t>(object)) * kHashMultiplier;
}

// The stripe for `object`.
HandleTable& Table(const void* object) {
  static HandleTable* stripes = new HandleTable[size_t{1} << kStripeBits];  // lives to process exit
  return stripes[HandleHash(object) >> (64 - kStripeBits)];
}

// A handle this thread found live, and its stripe's erasures then.
struct RememberedHandle {
  const void* object = nullptr;
  ObjectKind kind = ObjectKind::Bitmap;
  uint64_t erasures = 0;
};

// Where this thread remembers `object`: bits of its hash below the stripe's.
RememberedHandle& Remembered(const void* object) {
  thread_local RememberedHandle remembered[kRememberedHandles];
  const size_t index =
      size_t(HandleHash(object) >> (64 - kStripeBits - kRememberedBits)) & (kRememberedHandles - 1);
  return remembered[index];
}

}  // namespace

bool RegisterHandle(const void* object, ObjectKind kind) noexcept {
  HandleTable& table = Table(object);
  std::lock_guard<ShortLock> guard(table.lock);
  if (!table.Insert(object, kind)) return false;
  // A new object is used at once by the thread that made it.
  Remembered(object) =
      RememberedHandle{object, kind, table.erasures.load(std::memory_order_relaxed)};
  return true;
}

bool UnregisterHandle(const void* object, ObjectKind kind) noexcept {
  HandleTable& table = Table(object);
  std::lock_guard<ShortLock> guard(table.lock);
  return table.Erase(object, kind);
}

bool IsLiveHandle(const void* object, ObjectKind kind) noexcept {
  if (object == nullptr) return false;  // also what an unused remembered slot holds
  HandleTable& table = Table(object);
  RememberedHandle& remembered = Remembered(object);
  if (remembered.object == object && remembered.kind == kind &&
      remembered.erasures == table.erasures.load(std::memory_order_acquire)) {
    return true;
  }
  std::lock_guard<ShortLock> guard(table.lock);
  if (!table.Contains(object, kind)) return false;
  remembered = RememberedHandle{object, kind, table.erasures.load(std::memory_order_relaxed)};
  return true;
}

}  // namespace Gdiplus::Internal

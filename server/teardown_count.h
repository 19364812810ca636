// The count a COM object's reference count is set to when its destruction
// starts, so that references taken and dropped during teardown cannot bring
// it to zero a second time: minus half the largest signed 32-bit value.
// Used by every object wrapper (com_object.h, com_agg_object.h,
// com_object_cached.h); the two whose object lives in one apartment share
// ApartmentRefCount.
#pragma once

#include <windows.h>

constexpr LONG kDestructionRefCount = static_cast<LONG>(0xC0000001u);

// The reference count of a wrapper whose object lives in one apartment: plain
// increments, since no other thread touches it. The Release that reaches zero
// parks the count at kDestructionRefCount and destroys the owner.
class ApartmentRefCount {
 public:
  ULONG Add() noexcept { return static_cast<ULONG>(++count_); }
  template <class Owner>
  ULONG Release(Owner* owner) noexcept {
    const LONG count = --count_;
    if (count == 0) {
      count_ = kDestructionRefCount;
      delete owner;  // ends this count too: nothing of it is read afterwards
    }
    return static_cast<ULONG>(count);
  }

 private:
  LONG count_ = 0;
};

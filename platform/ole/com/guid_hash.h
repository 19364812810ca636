// Hashing GUIDs for the look-up caches that key on classes and libraries.
#pragma once

#include <cstdint>
#include <cstring>
#include <functional>

#include "guiddef.h"

namespace glimmark::ole {

struct GuidHash {
  size_t operator()(const GUID& guid) const noexcept {
    uint64_t halves[2];
    static_assert(sizeof halves == sizeof(GUID));
    std::memcpy(halves, &guid, sizeof halves);
    return std::hash<uint64_t>()(halves[0] ^ (halves[1] * 0x9E3779B97F4A7C15ull));
  }
};

}  // namespace glimmark::ole

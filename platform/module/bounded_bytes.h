// A read-only view of a whole file held in memory, with the one helper that
// every reader of untrusted binary files here goes through: a read of
// (offset, length) is handed out only when it lies wholly inside the view.
// Used by the ELF section reader and the resource table (elf_sections.h,
// resource_table.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace module {

class BoundedBytes {
 public:
  BoundedBytes() = default;
  BoundedBytes(const uint8_t* data, uint64_t size) : data_(data), size_(size) {}

  uint64_t Size() const { return size_; }

  // The `length` bytes at `offset`, or null when any of them lies outside.
  // Immune to overflow of offset + length.
  const uint8_t* At(uint64_t offset, uint64_t length) const {
    if (offset > size_ || length > size_ - offset) return nullptr;
    return data_ + offset;
  }
  // The sub-view at (offset, length); false when it does not fit.
  bool Slice(uint64_t offset, uint64_t length, BoundedBytes* out) const {
    const uint8_t* start = At(offset, length);
    if (start == nullptr) return false;
    *out = BoundedBytes(start, length);
    return true;
  }
  // A little-endian unsigned integer of sizeof(T) bytes; false when outside.
  template <class T>
  bool ReadLittleEndian(uint64_t offset, T* value) const {
    const uint8_t* bytes = At(offset, sizeof(T));
    if (bytes == nullptr) return false;
    T result = 0;
    for (size_t i = 0; i < sizeof(T); ++i) result |= static_cast<T>(bytes[i]) << (8 * i);
    *value = result;
    return true;
  }

 private:
  const uint8_t* data_ = nullptr;
  uint64_t size_ = 0;
};

}  // namespace module

// Registry of the graphics objects this layer has handed out and not yet
// deleted. Every flat function checks its handles here first, so a null,
// stale or foreign pointer yields InvalidParameter instead of a wild access.
// The registry owns nothing: objects are owned by whoever holds their handle.
#pragma once

#include "gdiplus.h"

namespace Gdiplus::Internal {

// What kind of object a handle stands for; a handle of the wrong kind is
// treated as unknown.
enum class ObjectKind {
  Bitmap,      // BitmapObject
  Graphics,    // GraphicsObject
  SolidBrush,  // SolidBrushObject
  Pen,         // PenObject
  Matrix,      // MatrixObject
  FontFamily,  // FontFamilyObject
  Font,        // FontObject
};

// Records `object` as live with the given kind. Returns false when memory for
// the record cannot be had (the caller then deletes the object and answers
// OutOfMemory). Cost: one hash insert under the mutex of the table's stripe
// for that handle; memory is allocated only when the stripe grows.
bool RegisterHandle(const void* object, ObjectKind kind) noexcept;

// Forgets `object`. Returns false when it was not live with that kind (then
// the caller must not delete it).
bool UnregisterHandle(const void* object, ObjectKind kind) noexcept;

// True when `object` is live with that kind. Cost: one hash look-up.
bool IsLiveHandle(const void* object, ObjectKind kind) noexcept;

// The live object behind a handle, or null. T names its kind as T::kKind.
template <typename T>
T* LookUp(const void* handle) noexcept {
  if (handle == nullptr || !IsLiveHandle(handle, T::kKind)) return nullptr;
  return static_cast<T*>(const_cast<void*>(handle));
}

// Registers a new object, or deletes it when registration fails. Returns the
// status for the caller to pass on, and sets *out only on success.
template <typename T, typename Handle>
GpStatus Publish(T* object, Handle** out) noexcept {
  if (object == nullptr) return OutOfMemory;
  if (!RegisterHandle(object, T::kKind)) {
    delete object;
    return OutOfMemory;
  }
  *out = object;
  return Ok;
}

// Unregisters and deletes the object behind a handle; InvalidParameter when
// the handle is not a live object of that kind.
template <typename T>
GpStatus Destroy(const void* handle) noexcept {
  if (handle == nullptr || !UnregisterHandle(handle, T::kKind)) return InvalidParameter;
  delete static_cast<T*>(const_cast<void*>(handle));
  return Ok;
}

}  // namespace Gdiplus::Internal

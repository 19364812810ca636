// Objects that server wrappers make live on the process heap (HeapAlloc), so
// that running out of memory is an answer (a null pointer, then
// E_OUTOFMEMORY), never an exception. A class derives from HeapObject to get
// the non-throwing new and the matching delete.
#pragma once

#include <windows.h>

#include <new>

struct HeapObject {
  static void* operator new(size_t size, const std::nothrow_t&) noexcept {
    return HeapAlloc(GetProcessHeap(), 0, size);
  }
  static void operator delete(void* block) noexcept { HeapFree(GetProcessHeap(), 0, block); }
  // Used only if a constructor threw, which none of ours does.
  static void operator delete(void* block, const std::nothrow_t&) noexcept {
    HeapFree(GetProcessHeap(), 0, block);
  }
  // Plain (throwing) new is not offered: every wrapper checks for null.
  static void* operator new(size_t) = delete;
};

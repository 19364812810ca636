// In-memory streams (CreateStreamOnHGlobal): a growable byte buffer with a
// seek pointer behind IStream, freed when the last reference goes.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>
#include <vector>

#include "glimmark_test_seams.h"
#include "objidl.h"

namespace {

// Largest size a memory stream grows to: 1 GiB. Far above any encoded
// picture, and small enough that sizes fit the 32 bits callers often keep.
constexpr ULONGLONG kMaxStreamBytes = ULONGLONG{1} << 30;
// Access mode Stat reports: read and write (STGM_READWRITE).
constexpr DWORD kReadWriteMode = 0x00000002;

std::atomic<bool> failNextCreation{false};

class MemoryStream final : public IStream {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) noexcept override {
    if (object == nullptr) return E_POINTER;
    if (riid != IID_IUnknown && riid != IID_ISequentialStream && riid != IID_IStream) {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    *object = static_cast<IStream*>(this);
    AddRef();
    return S_OK;
  }

  ULONG STDMETHODCALLTYPE AddRef() noexcept override { return ++references_; }

  ULONG STDMETHODCALLTYPE Release() noexcept override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

  // Reads what is there from the seek pointer on: fewer bytes than asked at
  // the end, still S_OK (as Windows does).
  HRESULT STDMETHODCALLTYPE Read(void* pv, ULONG cb, ULONG* pcbRead) noexcept override {
    if (pcbRead != nullptr) *pcbRead = 0;
    if (pv == nullptr && cb > 0) return STG_E_INVALIDPOINTER;
    const ULONG count = ULONG(std::min<ULONGLONG>(cb, Remaining()));
    if (count > 0) std::memcpy(pv, data_.data() + position_, count);
    position_ += count;
    if (pcbRead != nullptr) *pcbRead = count;
    return S_OK;
  }

  // Writes at the seek pointer, growing the stream (a gap left by seeking
  // past the end reads as zeros). STG_E_MEDIUMFULL when the stream would
  // pass kMaxStreamBytes or memory runs out; nothing is written then.
  HRESULT STDMETHODCALLTYPE Write(const void* pv, ULONG cb, ULONG* pcbWritten) noexcept override {
    if (pcbWritten != nullptr) *pcbWritten = 0;
    if (pv == nullptr && cb > 0) return STG_E_INVALIDPOINTER;
    if (cb == 0) return S_OK;
    const ULONGLONG end = position_ + cb;
    if (end > data_.size() && !Resize(end)) return STG_E_MEDIUMFULL;
    std::memcpy(data_.data() + position_, pv, cb);
    position_ = end;
    if (pcbWritten != nullptr) *pcbWritten = cb;
    return S_OK;
  }

  // Positions before the start, or past kMaxStreamBytes, are refused with
  // STG_E_INVALIDFUNCTION and leave the pointer where it was.
  HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin,
                                 ULARGE_INTEGER* newPosition) noexcept override {
    LONGLONG base = 0;
    switch (origin) {
      case STREAM_SEEK_SET:
        base = 0;
        break;
      case STREAM_SEEK_CUR:
        base = LONGLONG(position_);
        break;
      case STREAM_SEEK_END:
        base = LONGLONG(data_.size());
        break;
      default:
        return STG_E_INVALIDFUNCTION;
    }
    // Both terms are within ±2^63 but their sum may not be: compare first.
    if (move.QuadPart < -base || move.QuadPart > LONGLONG(kMaxStreamBytes) - base) {
      return STG_E_INVALIDFUNCTION;
    }
    position_ = ULONGLONG(base + move.QuadPart);
    if (newPosition != nullptr) newPosition->QuadPart = position_;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER newSize) noexcept override {
    return Resize(newSize.QuadPart) ? S_OK : STG_E_MEDIUMFULL;
  }

  HRESULT STDMETHODCALLTYPE CopyTo(IStream* target, ULARGE_INTEGER cb, ULARGE_INTEGER* pcbRead,
                                   ULARGE_INTEGER* pcbWritten) noexcept override {
    if (pcbRead != nullptr) pcbRead->QuadPart = 0;
    if (pcbWritten != nullptr) pcbWritten->QuadPart = 0;
    if (target == nullptr) return STG_E_INVALIDPOINTER;
    const ULONG count = ULONG(std::min<ULONGLONG>(cb.QuadPart, Remaining()));
    ULONG written = 0;
    const HRESULT hr = count == 0 ? S_OK : target->Write(data_.data() + position_, count, &written);
    position_ += count;
    if (pcbRead != nullptr) pcbRead->QuadPart = count;
    if (pcbWritten != nullptr) pcbWritten->QuadPart = written;
    return hr;
  }

  // Memory streams are not transacted: committing and reverting do nothing.
  HRESULT STDMETHODCALLTYPE Commit(DWORD) noexcept override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Revert() noexcept override { return S_OK; }

  HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) noexcept override {
    return STG_E_INVALIDFUNCTION;
  }
  HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) noexcept override {
    return STG_E_INVALIDFUNCTION;
  }

  // A memory stream has no name: pwcsName is always null.
  HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD) noexcept override {
    if (stat == nullptr) return STG_E_INVALIDPOINTER;
    *stat = STATSTG();
    stat->type = STGTY_STREAM;
    stat->cbSize.QuadPart = data_.size();
    stat->grfMode = kReadWriteMode;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE Clone(IStream** copy) noexcept override {
    if (copy != nullptr) *copy = nullptr;
    return E_NOTIMPL;
  }

 private:
  ~MemoryStream() = default;

  ULONGLONG Remaining() const { return position_ < data_.size() ? data_.size() - position_ : 0; }

  bool Resize(ULONGLONG size) {
    if (size > kMaxStreamBytes) return false;
    try {
      data_.resize(size_t(size));
    } catch (const std::bad_alloc&) {
      return false;
    }
    return true;
  }

  std::atomic<ULONG> references_{1};
  std::vector<BYTE> data_;
  ULONGLONG position_ = 0;
};

}  // namespace

// This platform has no global memory handles, so `hGlobal` must be null
// (E_INVALIDARG otherwise). The stream's memory is always freed with its last
// reference: with deleteOnRelease false no caller could reach it afterwards
// anyway, since there is no handle to hand out.
EXTERN_C HRESULT WINAPI CreateStreamOnHGlobal(HGLOBAL hGlobal, BOOL deleteOnRelease,
                                              LPSTREAM* stream) {
  (void)deleteOnRelease;
  if (stream == nullptr) return E_INVALIDARG;
  *stream = nullptr;
  if (hGlobal != nullptr) return E_INVALIDARG;
  if (failNextCreation.exchange(false)) return E_OUTOFMEMORY;
  MemoryStream* created = new (std::nothrow) MemoryStream();
  if (created == nullptr) return E_OUTOFMEMORY;
  *stream = created;
  return S_OK;
}

EXTERN_C void GlimmarkTest_FailNextStreamCreation(void) { failNextCreation.store(true); }

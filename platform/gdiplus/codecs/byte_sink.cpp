// Stream and file sinks.
#include "gdiplus/codecs/byte_sink.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <new>

#include "gdiplus/text/utf16.h"

namespace Gdiplus::Internal {
namespace {

// Longest file name taken, in UTF-16 units (Windows' long-path limit).
constexpr size_t kMaxFileNameLength = 32767;
// Attempts at a fresh temporary name before giving up.
constexpr int kTemporaryNameAttempts = 16;
// New files get read-write for everyone, less the process's umask.
constexpr mode_t kNewFileMode = 0666;

std::atomic<unsigned> temporaryCounter{0};

GpStatus StatusForErrno(int error) {
  if (error == EACCES || error == EPERM || error == EROFS) return AccessDenied;
  return Win32Error;
}

}  // namespace

bool StreamSink::Write(const void* bytes, size_t size) noexcept {
  const auto* cursor = static_cast<const BYTE*>(bytes);
  while (size > 0) {
    const ULONG chunk = size > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<ULONG>(size);
    ULONG written = 0;
    if (FAILED(stream_->Write(cursor, chunk, &written)) || written != chunk) return false;
    cursor += chunk;
    size -= chunk;
  }
  return true;
}

FileSink::~FileSink() {
  if (fd_ < 0) return;
  close(fd_);
  unlink(temporary_.c_str());
}

GpStatus FileSink::Open(const WCHAR* name) noexcept {
  const size_t length = BoundedLength(name, kMaxFileNameLength + 1);
  if (length == 0 || length > kMaxFileNameLength || !Utf16ToUtf8(name, length, target_)) {
    return InvalidParameter;
  }
  int lastError = 0;
  for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
    char suffix[64];
    std::snprintf(suffix, sizeof suffix, ".%d.%u.partial", static_cast<int>(getpid()),
                  temporaryCounter.fetch_add(1));
    try {
      temporary_ = target_ + suffix;
    } catch (const std::bad_alloc&) {
      return OutOfMemory;
    }
    fd_ = open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kNewFileMode);
    if (fd_ >= 0) return Ok;
    lastError = errno;
    if (lastError != EEXIST) break;
  }
  return StatusForErrno(lastError);
}

bool FileSink::Write(const void* bytes, size_t size) noexcept {
  const auto* cursor = static_cast<const char*>(bytes);
  while (size > 0) {
    const ssize_t written = write(fd_, cursor, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    cursor += written;
    size -= static_cast<size_t>(written);
  }
  return true;
}

GpStatus FileSink::Commit() noexcept {
  const int closed = close(fd_);
  fd_ = -1;
  if (closed != 0 || rename(temporary_.c_str(), target_.c_str()) != 0) {
    const GpStatus status = StatusForErrno(errno);
    unlink(temporary_.c_str());
    return status;
  }
  return Ok;
}

}  // namespace Gdiplus::Internal

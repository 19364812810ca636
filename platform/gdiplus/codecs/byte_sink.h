// Where encoders write their bytes: an IStream, or a file that appears under
// its name only when complete (written beside it under a temporary name,
// then renamed over it), so a failed save leaves no partial file.
#pragma once

#include <string>

#include "gdiplus.h"

namespace Gdiplus::Internal {

class ByteSink {
 public:
  virtual ~ByteSink() = default;
  // Appends `size` bytes. Returns false when the destination refuses them;
  // the encoder then stops and reports the failure.
  virtual bool Write(const void* bytes, size_t size) noexcept = 0;
};

class StreamSink final : public ByteSink {
 public:
  explicit StreamSink(IStream* stream) : stream_(stream) {}
  bool Write(const void* bytes, size_t size) noexcept override;

 private:
  IStream* stream_;
};

class FileSink final : public ByteSink {
 public:
  FileSink() = default;
  ~FileSink() override;  // removes the temporary file unless committed
  FileSink(const FileSink&) = delete;
  FileSink& operator=(const FileSink&) = delete;

  // Creates the temporary file beside `name`. InvalidParameter for a name
  // that is not valid UTF-16 or is empty, AccessDenied when the folder may
  // not be written, Win32Error for any other refusal (a missing folder).
  GpStatus Open(const WCHAR* name) noexcept;
  bool Write(const void* bytes, size_t size) noexcept override;
  // Closes the temporary file and renames it over the target. Win32Error
  // when either fails; the temporary file is removed then.
  GpStatus Commit() noexcept;

 private:
  int fd_ = -1;
  std::string target_;
  std::string temporary_;
};

}  // namespace Gdiplus::Internal

#include "output/encoder_lookup.h"

// The graphics headers need the OLE types declared first.
#include <ole2.h>

#include <gdiplus.h>

#include <memory>
#include <new>

using namespace Gdiplus;
using namespace Gdiplus::DllExports;

namespace {

bool SameText(const WCHAR* a, const WCHAR* b) {
  if (a == nullptr || b == nullptr) return false;
  for (; *a != 0 && *a == *b; ++a, ++b) {
  }
  return *a == *b;
}

}  // namespace

int FindEncoderClsid(const WCHAR* mimeType, CLSID* clsid) {
  UINT count = 0;
  UINT size = 0;
  GdipGetImageEncodersSize(&count, &size);
  if (size == 0) return -1;
  const std::unique_ptr<BYTE[]> buffer(new (std::nothrow) BYTE[size]);
  if (buffer == nullptr) return -1;
  auto* encoders = reinterpret_cast<ImageCodecInfo*>(buffer.get());
  if (GdipGetImageEncoders(count, size, encoders) != Ok) return -1;
  for (UINT i = 0; i < count; ++i) {
    if (SameText(encoders[i].MimeType, mimeType)) {
      *clsid = encoders[i].Clsid;
      return static_cast<int>(i);
    }
  }
  return -1;
}

// BMP encoding: file header, BITMAPINFOHEADER, 24-bit rows bottom-up, each
// padded to four bytes.
#include <cstring>
#include <new>
#include <vector>

#include "gdiplus/codecs/image_encoders.h"

namespace Gdiplus::Internal {
namespace {

constexpr uint32_t kFileHeaderBytes = 14;
constexpr uint32_t kInfoHeaderBytes = 40;
constexpr uint16_t kBitsPerPixel = 24;
// 96 pixels per inch, in pixels per metre.
constexpr uint32_t kPixelsPerMetre = 3780;

void Put16(BYTE*& at, uint16_t value) {
  for (int i = 0; i < 2; ++i) *at++ = BYTE(value >> (8 * i));
}
void Put32(BYTE*& at, uint32_t value) {
  for (int i = 0; i < 4; ++i) *at++ = BYTE(value >> (8 * i));
}

}  // namespace

// Takes no parameters; any given are ignored.
GpStatus EncodeBmp(const SurfacePixels& pixels, const EncoderParameters*, ByteSink& sink) {
  const uint32_t rowBytes = (uint32_t(pixels.width) * 3 + 3) & ~3u;
  const uint32_t imageBytes = rowBytes * uint32_t(pixels.height);
  BYTE header[kFileHeaderBytes + kInfoHeaderBytes];
  BYTE* at = header;
  *at++ = 'B';
  *at++ = 'M';
  Put32(at, kFileHeaderBytes + kInfoHeaderBytes + imageBytes);
  Put32(at, 0);
  Put32(at, kFileHeaderBytes + kInfoHeaderBytes);
  Put32(at, kInfoHeaderBytes);
  Put32(at, uint32_t(pixels.width));
  Put32(at, uint32_t(pixels.height));
  Put16(at, 1);
  Put16(at, kBitsPerPixel);
  Put32(at, 0);  // no compression
  Put32(at, imageBytes);
  Put32(at, kPixelsPerMetre);
  Put32(at, kPixelsPerMetre);
  Put32(at, 0);
  Put32(at, 0);
  if (!sink.Write(header, sizeof header)) return Win32Error;

  std::vector<BYTE> row;
  try {
    row.assign(rowBytes, 0);
  } catch (const std::bad_alloc&) {
    return OutOfMemory;
  }
  for (INT y = pixels.height - 1; y >= 0; --y) {
    const uint32_t* source = pixels.Row(y);
    for (INT x = 0; x < pixels.width; ++x) std::memcpy(&row[size_t(x) * 3], &source[x], 3);
    if (!sink.Write(row.data(), row.size())) return Win32Error;
  }
  return Ok;
}

}  // namespace Gdiplus::Internal

// PNG encoding through cairo's writer, which stores an RGB24 surface as
// 8-bit RGB.
#include <cairo.h>

#include "gdiplus/codecs/image_encoders.h"

namespace Gdiplus::Internal {
namespace {

struct PngTarget {
  ByteSink* sink;
  bool refused;
};

cairo_status_t WriteChunk(void* closure, const unsigned char* data, unsigned int length) {
  auto* target = static_cast<PngTarget*>(closure);
  if (target->sink->Write(data, length)) return CAIRO_STATUS_SUCCESS;
  target->refused = true;
  return CAIRO_STATUS_WRITE_ERROR;
}

}  // namespace

// Takes no parameters; any given are ignored.
GpStatus EncodePng(const SurfacePixels& pixels, const EncoderParameters*, ByteSink& sink) {
  PngTarget target{&sink, false};
  const cairo_status_t status =
      cairo_surface_write_to_png_stream(pixels.surface, WriteChunk, &target);
  if (status == CAIRO_STATUS_SUCCESS) return Ok;
  if (target.refused) return Win32Error;
  return status == CAIRO_STATUS_NO_MEMORY ? OutOfMemory : GenericError;
}

}  // namespace Gdiplus::Internal

// The encoders a bitmap can be saved with, each a function from the bitmap's
// pixels (and the caller's encoder parameters) to bytes in a sink. The table
// that lists them under their GDI+ CLSIDs is in encoder_list.cpp.
#pragma once

#include "gdiplus.h"
#include "gdiplus/codecs/byte_sink.h"
#include "gdiplus/objects/bitmap.h"

namespace Gdiplus::Internal {

// Writes the whole image as one file into `sink`. Returns Ok, or
// InvalidParameter for a malformed parameter, OutOfMemory, Win32Error when
// the sink refused bytes, GenericError when the codec library failed.
using EncodeFunction = GpStatus (*)(const SurfacePixels& pixels, const EncoderParameters* params,
                                    ByteSink& sink);

// JPEG through libjpeg-turbo, 4:2:0, baseline. EncoderQuality (type Long,
// read as a signed 32-bit value) sets the quality, clamped into 0..100;
// without it the quality is 75. Other parameters are ignored.
GpStatus EncodeJpeg(const SurfacePixels& pixels, const EncoderParameters* params, ByteSink& sink);

// GIF89a with our own LZW compressor (gif_lzw.h), one frame, palette made for
// the image (gif_encoder.cpp).
GpStatus EncodeGif(const SurfacePixels& pixels, const EncoderParameters* params, ByteSink& sink);

// Uncompressed 24-bit BMP, rows bottom-up.
GpStatus EncodeBmp(const SurfacePixels& pixels, const EncoderParameters* params, ByteSink& sink);

// PNG through cairo, 24-bit RGB.
GpStatus EncodePng(const SurfacePixels& pixels, const EncoderParameters* params, ByteSink& sink);

}  // namespace Gdiplus::Internal

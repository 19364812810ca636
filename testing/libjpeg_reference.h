// libjpeg-turbo on its own: rows of samples encoded with its defaults at a
// quality, into memory. The benchmarks time it as the floor a picture's
// encode is measured against; the encoder's tests compare their bytes with
// it. Include after <jpeglib.h> (whose INT32 the Windows headers clash with).
#pragma once

#include <cstddef>
#include <cstdlib>
#include <memory>

namespace glimmark_testing {

// The encoded file, in the buffer libjpeg's memory destination allocated.
struct LibjpegFile {
  std::unique_ptr<unsigned char, decltype(&std::free)> bytes{nullptr, &std::free};
  unsigned long size = 0;
};

// `height` rows of `width` pixels of `components` samples in `space`, the
// first at `rows` and each `stride` bytes after the one before.
inline LibjpegFile EncodeWithLibjpeg(const unsigned char* rows, size_t stride, int width,
                                     int height, int components, J_COLOR_SPACE space, int quality) {
  jpeg_compress_struct info;
  jpeg_error_mgr errors;
  info.err = jpeg_std_error(&errors);
  jpeg_create_compress(&info);
  unsigned char* buffer = nullptr;
  LibjpegFile file;
  jpeg_mem_dest(&info, &buffer, &file.size);
  info.image_width = JDIMENSION(width);
  info.image_height = JDIMENSION(height);
  info.input_components = components;
  info.in_color_space = space;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, quality, TRUE);
  jpeg_start_compress(&info, TRUE);
  while (info.next_scanline < info.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(rows + info.next_scanline * stride);
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  file.bytes.reset(buffer);
  return file;
}

}  // namespace glimmark_testing

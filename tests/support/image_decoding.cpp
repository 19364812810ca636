#include "image_decoding.h"

#include <gif_lib.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

#include <jpeglib.h>

namespace {

struct JpegErrorExit {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
};

void OnJpegError(j_common_ptr info) {
  std::longjmp(reinterpret_cast<JpegErrorExit*>(info->err)->jump, 1);
}

struct GifSource {
  const std::vector<uint8_t>* bytes;
  size_t position;
};

int ReadGifBytes(GifFileType* file, GifByteType* out, int count) {
  auto* source = static_cast<GifSource*>(file->UserData);
  const size_t available = source->bytes->size() - source->position;
  const size_t n = std::min(available, static_cast<size_t>(count));
  std::memcpy(out, source->bytes->data() + source->position, n);
  source->position += n;
  return static_cast<int>(n);
}

}  // namespace

DecodedImage DecodeJpeg(const std::vector<uint8_t>& bytes) {
  DecodedImage image;
  jpeg_decompress_struct info;
  JpegErrorExit error;
  info.err = jpeg_std_error(&error.manager);
  error.manager.error_exit = OnJpegError;
  if (setjmp(error.jump)) {
    jpeg_destroy_decompress(&info);
    return DecodedImage{};
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, bytes.data(), static_cast<unsigned long>(bytes.size()));
  jpeg_read_header(&info, TRUE);
  jpeg_start_decompress(&info);
  std::vector<uint8_t> row(info.output_width * info.output_components);
  while (info.output_scanline < info.output_height) {
    JSAMPROW rows[] = {row.data()};
    jpeg_read_scanlines(&info, rows, 1);
  }
  image = {true, static_cast<int>(info.output_width), static_cast<int>(info.output_height)};
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  return image;
}

DecodedImage DecodeGif(const std::vector<uint8_t>& bytes) {
  GifSource source{&bytes, 0};
  int error = 0;
  GifFileType* file = DGifOpen(&source, ReadGifBytes, &error);
  if (file == nullptr) return DecodedImage{};
  DecodedImage image;
  if (DGifSlurp(file) == GIF_OK && file->ImageCount >= 1) {
    image = {true, file->SWidth, file->SHeight};
  }
  DGifCloseFile(file, &error);
  return image;
}

std::vector<uint8_t> ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

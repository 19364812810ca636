// JPEG encoding straight from the surface's blue-green-red-unused rows, with
// no conversion pass (libjpeg-turbo's JCS_EXT_BGRX input).
#include <csetjmp>
#include <cstdio>
#include <new>

// jmorecfg.h would define INT32 as long; the Windows headers define it as
// 32 bits. XMD_H tells it the type exists already.
#define XMD_H
#include <jpeglib.h>

#include "gdiplus/codecs/image_encoders.h"

namespace Gdiplus::Internal {
namespace {

constexpr int kDefaultQuality = 75;
constexpr int kMinQuality = 0;
constexpr int kMaxQuality = 100;
// Bytes collected before each hand-over to the sink.
constexpr size_t kOutputChunk = 16 * 1024;
// Rows handed to libjpeg per call.
constexpr int kRowsPerBatch = 16;

// Reads EncoderQuality from the list; InvalidParameter when it is present but
// malformed.
GpStatus QualityFrom(const EncoderParameters* params, int& quality) {
  quality = kDefaultQuality;
  if (params == nullptr) return Ok;
  for (UINT i = 0; i < params->Count; ++i) {
    const EncoderParameter& parameter = params->Parameter[i];
    if (parameter.Guid != EncoderQuality) continue;
    if (parameter.Type != EncoderParameterValueTypeLong || parameter.NumberOfValues < 1 ||
        parameter.Value == nullptr) {
      return InvalidParameter;
    }
    const LONG value = *static_cast<const LONG*>(parameter.Value);
    quality = value < kMinQuality ? kMinQuality : value > kMaxQuality ? kMaxQuality : value;
  }
  return Ok;
}

// libjpeg's error handler leaves by longjmp to the one setjmp in Compress.
struct ErrorTrap {
  jpeg_error_mgr manager;
  jmp_buf jump;
};

void LeaveOnError(j_common_ptr info) { longjmp(reinterpret_cast<ErrorTrap*>(info->err)->jump, 1); }
void IgnoreMessage(j_common_ptr) {}

struct SinkDestination {
  jpeg_destination_mgr manager;
  ByteSink* sink;
  bool failed;
  JOCTET buffer[kOutputChunk];
};

void StartOutput(j_compress_ptr info) {
  auto* destination = reinterpret_cast<SinkDestination*>(info->dest);
  destination->manager.next_output_byte = destination->buffer;
  destination->manager.free_in_buffer = kOutputChunk;
}

boolean FlushFullBuffer(j_compress_ptr info) {
  auto* destination = reinterpret_cast<SinkDestination*>(info->dest);
  if (!destination->sink->Write(destination->buffer, kOutputChunk)) destination->failed = true;
  StartOutput(info);
  return TRUE;
}

void FinishOutput(j_compress_ptr info) {
  auto* destination = reinterpret_cast<SinkDestination*>(info->dest);
  const size_t used = kOutputChunk - destination->manager.free_in_buffer;
  if (used > 0 && !destination->sink->Write(destination->buffer, used)) destination->failed = true;
}

// The whole compression; everything it touches after setjmp lives in the
// state block, so a longjmp leaves nothing half-updated on the stack.
struct CompressionState {
  jpeg_compress_struct info;
  ErrorTrap trap;
  SinkDestination destination;
};

GpStatus Compress(CompressionState& state, const SurfacePixels& pixels, int quality) {
  jpeg_compress_struct& info = state.info;
  info.err = jpeg_std_error(&state.trap.manager);
  state.trap.manager.error_exit = LeaveOnError;
  state.trap.manager.output_message = IgnoreMessage;
  if (setjmp(state.trap.jump) != 0) {
    jpeg_destroy_compress(&info);
    return GenericError;
  }
  jpeg_create_compress(&info);
  state.destination.manager.init_destination = StartOutput;
  state.destination.manager.empty_output_buffer = FlushFullBuffer;
  state.destination.manager.term_destination = FinishOutput;
  info.dest = &state.destination.manager;
  info.image_width = static_cast<JDIMENSION>(pixels.width);
  info.image_height = static_cast<JDIMENSION>(pixels.height);
  info.input_components = 4;
  info.in_color_space = JCS_EXT_BGRX;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, quality, TRUE);
  jpeg_start_compress(&info, TRUE);
  while (info.next_scanline < info.image_height) {
    JSAMPROW rows[kRowsPerBatch];
    int count = 0;
    for (; count < kRowsPerBatch && info.next_scanline + count < info.image_height; ++count) {
      rows[count] = reinterpret_cast<JSAMPROW>(pixels.Row(INT(info.next_scanline) + count));
    }
    jpeg_write_scanlines(&info, rows, JDIMENSION(count));
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  return state.destination.failed ? Win32Error : Ok;
}

}  // namespace

GpStatus EncodeJpeg(const SurfacePixels& pixels, const EncoderParameters* params, ByteSink& sink) {
  int quality = kDefaultQuality;
  const GpStatus parsed = QualityFrom(params, quality);
  if (parsed != Ok) return parsed;
  auto* state = new (std::nothrow) CompressionState;  // libjpeg initialises it
  if (state == nullptr) return OutOfMemory;
  state->destination.sink = &sink;
  state->destination.failed = false;
  const GpStatus status = Compress(*state, pixels, quality);
  delete state;
  return status;
}

}  // namespace Gdiplus::Internal

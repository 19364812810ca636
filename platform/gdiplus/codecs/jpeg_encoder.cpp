// JPEG encoding straight from the surface's blue-green-red-unused rows, with
// no conversion pass of ours (libjpeg-turbo's JCS_EXT_BGRX input).
//
// A grey picture (blue == green == red in every pixel; the default challenge,
// black on white and anti-aliased, is one) skips libjpeg's colour conversion
// and downsampling as well: its grey bytes go in as raw Y samples, with Cb
// and Cr constant at 128. That is exactly what those passes make of a grey
// picture (the weights of Y sum to one, those of Cb and Cr to zero, and the
// average of equal samples is that sample), so the file is the same to the
// byte; the raw way only saves their time.
#include <algorithm>
#include <atomic>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>

// jmorecfg.h would define INT32 as long; the Windows headers define it as
// 32 bits. XMD_H tells it the type exists already.
#define XMD_H
#include <jpeglib.h>

#include "gdiplus/codecs/image_encoders.h"
#ifdef GLIMMARK_TEST_SEAMS
#include "glimmark_test_seams.h"
#endif  // GLIMMARK_TEST_SEAMS

namespace Gdiplus::Internal {
namespace {

constexpr int kDefaultQuality = 75;
constexpr int kMinQuality = 0;
constexpr int kMaxQuality = 100;
// Bytes collected before each hand-over to the sink.
constexpr size_t kOutputChunk = 16 * 1024;
// Rows handed to libjpeg per call.
constexpr int kRowsPerBatch = 16;
// Samples per pixel as libjpeg is handed them: blue, green, red and the
// unused byte of the surface's rows, or Y, Cb and Cr for a grey picture.
constexpr int kBgrxComponents = 4;
constexpr int kYCbCrComponents = 3;
// The most sample rows one component has in one call of jpeg_write_raw_data.
constexpr int kMaxRawRows = MAX_SAMP_FACTOR * DCTSIZE;

#ifdef GLIMMARK_TEST_SEAMS
std::atomic<LONG> greyEncodes{0};  // GlimmarkTest_GreyJpegEncodes
#endif                             // GLIMMARK_TEST_SEAMS

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
// state block or in libjpeg's pools, so a longjmp leaves nothing half-updated
// on the stack and nothing to destroy.
struct CompressionState {
  jpeg_compress_struct info;
  ErrorTrap trap;
  SinkDestination destination;
};

// Samples a row needs room for: the picture's width rounded up to whole
// blocks. A component's width in blocks is its share of the picture's width
// rounded up, never more than the full width's, so rows this wide hold the
// padding libjpeg asks of any component.
JDIMENSION RowRoom(JDIMENSION width) { return (width + DCTSIZE - 1) / DCTSIZE * DCTSIZE; }

// Copies the blue byte of each pixel of a row to `grey`; false when some
// pixel of the row has green or red unlike its blue. The verdict is taken
// once per row, not per pixel, so that the loop vectorises.
bool GatherGreyRow(const uint32_t* pixels, INT width, JSAMPROW grey) {
  constexpr uint32_t kBlueGreenAndGreenRed = 0xFFFF;
  uint32_t differences = 0;
  for (INT x = 0; x < width; ++x) {
    const uint32_t pixel = pixels[x];
    differences |= pixel ^ (pixel >> 8);  // byte 0: blue ^ green, byte 1: green ^ red
    grey[x] = JSAMPLE(pixel);
  }
  return (differences & kBlueGreenAndGreenRed) == 0;
}

// The picture's grey bytes, a row each with room for its padding, or null
// when some pixel is not grey. Checking and gathering are one pass over the
// whole picture before anything is compressed, since the way is fixed at
// jpeg_start_compress. A colour picture pays for the rows read up to the
// first one holding colour: nothing when the background has colour, at worst
// the whole pass, measured at 2 us for 200x70 with colour in the last row
// only, against the 6 us the raw way saves a grey picture of that size.
JSAMPARRAY GatherGrey(jpeg_compress_struct& info, const SurfacePixels& pixels) {
  JSAMPARRAY rows = info.mem->alloc_sarray(reinterpret_cast<j_common_ptr>(&info), JPOOL_IMAGE,
                                           RowRoom(info.image_width), info.image_height);
  for (INT y = 0; y < pixels.height; ++y) {
    if (!GatherGreyRow(pixels.Row(y), pixels.width, rows[y])) return nullptr;
  }
  return rows;
}

// The same tables, sampling and JFIF header whichever way the picture goes.
void StartCompress(jpeg_compress_struct& info, J_COLOR_SPACE input, int components, int quality,
                   boolean raw) {
  info.in_color_space = input;
  info.input_components = components;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, quality, TRUE);
  info.raw_data_in = raw;  // after jpeg_set_defaults, which clears it
  jpeg_start_compress(&info, TRUE);
}

// The surface's rows as they are; libjpeg converts and downsamples them.
void CompressColour(jpeg_compress_struct& info, const SurfacePixels& pixels, int quality) {
  StartCompress(info, JCS_EXT_BGRX, kBgrxComponents, quality, FALSE);
  while (info.next_scanline < info.image_height) {
    JSAMPROW rows[kRowsPerBatch];
    int count = 0;
    for (; count < kRowsPerBatch && info.next_scanline + count < info.image_height; ++count) {
      rows[count] = reinterpret_cast<JSAMPROW>(pixels.Row(INT(info.next_scanline) + count));
    }
    jpeg_write_scanlines(&info, rows, JDIMENSION(count));
  }
}

// Repeats each row's last sample up to `padded`, as libjpeg does to the rows
// it converts itself before cutting them into blocks.
void PadRight(JSAMPARRAY rows, JDIMENSION count, JDIMENSION width, JDIMENSION padded) {
  for (JDIMENSION y = 0; y < count; ++y) {
    std::memset(rows[y] + width, rows[y][width - 1], padded - width);
  }
}

// The grey rows as Y, and one row of 128s as every row of Cb and Cr. Y is at
// full resolution, so each call takes the next max_v_samp_factor * DCTSIZE
// picture rows; past the last one the last row repeats, as libjpeg pads its
// own rows downwards. Past the padding a row's room is never read: libjpeg
// makes the blocks beyond a component's width itself.
void CompressGrey(jpeg_compress_struct& info, JSAMPARRAY grey, int quality) {
  StartCompress(info, JCS_YCbCr, kYCbCrComponents, quality, TRUE);
  const jpeg_component_info& luma = info.comp_info[0];
  PadRight(grey, info.image_height, info.image_width, luma.width_in_blocks * DCTSIZE);
  const JDIMENSION room = RowRoom(info.image_width);
  JSAMPROW neutral =
      info.mem->alloc_sarray(reinterpret_cast<j_common_ptr>(&info), JPOOL_IMAGE, room, 1)[0];
  std::memset(neutral, CENTERJSAMPLE, room);
  JSAMPROW lumaRows[kMaxRawRows];
  JSAMPROW chromaRows[kMaxRawRows];
  std::fill(std::begin(chromaRows), std::end(chromaRows), neutral);
  JSAMPARRAY planes[kYCbCrComponents] = {lumaRows, chromaRows, chromaRows};
  const int rowsPerCall = info.max_v_samp_factor * DCTSIZE;
  while (info.next_scanline < info.image_height) {
    for (int i = 0; i < rowsPerCall; ++i) {
      lumaRows[i] = grey[std::min(info.next_scanline + JDIMENSION(i), info.image_height - 1)];
    }
    jpeg_write_raw_data(&info, planes, JDIMENSION(rowsPerCall));
  }
}

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
  if (JSAMPARRAY grey = GatherGrey(info, pixels)) {
    CompressGrey(info, grey, quality);
#ifdef GLIMMARK_TEST_SEAMS
    greyEncodes.fetch_add(1, std::memory_order_relaxed);
#endif  // GLIMMARK_TEST_SEAMS
  } else {
    CompressColour(info, pixels, quality);
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

#ifdef GLIMMARK_TEST_SEAMS
EXTERN_C LONG GlimmarkTest_GreyJpegEncodes(void) { return Gdiplus::Internal::greyEncodes.load(); }
#endif  // GLIMMARK_TEST_SEAMS

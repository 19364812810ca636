// GIF encoding with a palette made for the image. An image of at most 256
// colours keeps every colour exactly. A richer one keeps its 256 most
// frequent colours exactly (a captcha's font and background colours, and its
// commonest edge shades) and maps every other colour to the nearest of them.
#include <gif_lib.h>

#include <algorithm>
#include <new>
#include <vector>

#include "gdiplus/image_encoders.h"

namespace Gdiplus::Internal {
namespace {

constexpr size_t kMaxPaletteColours = 256;
constexpr uint32_t kRgbMask = 0x00FFFFFF;
// Colours outside the palette share their nearest entry per 5-bit-per-channel
// bucket, bounding the search at 32768 look-ups whatever the image size.
constexpr int kBucketBits = 5;

struct ColourCount {
  uint32_t colour;
  uint32_t count;
};

// Distinct colours of the image in ascending order, with their frequencies.
std::vector<ColourCount> CountColours(const SurfacePixels& pixels) {
  std::vector<uint32_t> all;
  all.reserve(size_t(pixels.width) * pixels.height);
  for (INT y = 0; y < pixels.height; ++y) {
    const uint32_t* row = pixels.Row(y);
    for (INT x = 0; x < pixels.width; ++x) all.push_back(row[x] & kRgbMask);
  }
  std::sort(all.begin(), all.end());
  std::vector<ColourCount> distinct;
  for (uint32_t colour : all) {
    if (distinct.empty() || distinct.back().colour != colour) {
      distinct.push_back({colour, 0});
    }
    ++distinct.back().count;
  }
  return distinct;
}

// The palette: all colours when they fit, else the most frequent ones.
std::vector<uint32_t> ChoosePalette(std::vector<ColourCount> distinct) {
  if (distinct.size() > kMaxPaletteColours) {
    std::partial_sort(distinct.begin(), distinct.begin() + kMaxPaletteColours, distinct.end(),
                      [](const ColourCount& a, const ColourCount& b) {
                        return a.count != b.count ? a.count > b.count : a.colour < b.colour;
                      });
    distinct.resize(kMaxPaletteColours);
  }
  std::vector<uint32_t> palette;
  for (const ColourCount& entry : distinct) palette.push_back(entry.colour);
  std::sort(palette.begin(), palette.end());
  return palette;
}

int Channel(uint32_t colour, int shift) { return int((colour >> shift) & 0xFF); }

GifByteType NearestEntry(const std::vector<uint32_t>& palette, uint32_t colour) {
  size_t best = 0;
  int bestDistance = INT32_MAX;
  for (size_t i = 0; i < palette.size(); ++i) {
    int distance = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
      const int d = Channel(palette[i], shift) - Channel(colour, shift);
      distance += d * d;
    }
    if (distance < bestDistance) {
      bestDistance = distance;
      best = i;
    }
  }
  return GifByteType(best);
}

// Palette index for each distinct colour, in the order of `distinct`.
std::vector<GifByteType> IndexColours(const std::vector<ColourCount>& distinct,
                                      const std::vector<uint32_t>& palette) {
  std::vector<GifByteType> index(distinct.size());
  std::vector<int> bucketEntry(size_t{1} << (3 * kBucketBits), -1);
  for (size_t i = 0; i < distinct.size(); ++i) {
    const uint32_t colour = distinct[i].colour;
    const auto exact = std::lower_bound(palette.begin(), palette.end(), colour);
    if (exact != palette.end() && *exact == colour) {
      index[i] = GifByteType(exact - palette.begin());
      continue;
    }
    const size_t bucket = ((colour >> (24 - kBucketBits)) & 0x1F) << (2 * kBucketBits) |
                          ((colour >> (16 - kBucketBits)) & 0x1F) << kBucketBits |
                          ((colour >> (8 - kBucketBits)) & 0x1F);
    if (bucketEntry[bucket] < 0) bucketEntry[bucket] = NearestEntry(palette, colour);
    index[i] = GifByteType(bucketEntry[bucket]);
  }
  return index;
}

int BitsForColours(size_t colours) {
  int bits = 1;
  while ((size_t{1} << bits) < colours) ++bits;
  return bits;
}

// giflib's output callback target: the sink, and whether it refused bytes.
struct SinkState {
  ByteSink* sink;
  bool refused;
};

int WriteToSink(GifFileType* gif, const GifByteType* bytes, int length) {
  auto* state = static_cast<SinkState*>(gif->UserData);
  if (state->sink->Write(bytes, size_t(length))) return length;
  state->refused = true;
  return 0;
}

struct GifOutput {
  std::vector<ColourCount> distinct;
  std::vector<uint32_t> palette;
  std::vector<GifByteType> index;
};

GpStatus WriteGif(const SurfacePixels& pixels, const GifOutput& output, ByteSink& sink) {
  const int bits = BitsForColours(output.palette.size());
  std::vector<GifColorType> colours(size_t{1} << bits, GifColorType{0, 0, 0});
  for (size_t i = 0; i < output.palette.size(); ++i) {
    const uint32_t c = output.palette[i];
    colours[i] = {GifByteType(Channel(c, 16)), GifByteType(Channel(c, 8)),
                  GifByteType(Channel(c, 0))};
  }
  std::vector<GifByteType> line(size_t(pixels.width));
  SinkState state{&sink, false};
  int error = 0;
  GifFileType* gif = EGifOpen(&state, WriteToSink, &error);
  if (gif == nullptr) return error == E_GIF_ERR_NOT_ENOUGH_MEM ? OutOfMemory : GenericError;
  ColorMapObject* map = GifMakeMapObject(int(colours.size()), colours.data());
  bool written = map != nullptr;
  EGifSetGifVersion(gif, true);
  written = written && EGifPutScreenDesc(gif, pixels.width, pixels.height, bits, 0, map) == GIF_OK;
  written =
      written && EGifPutImageDesc(gif, 0, 0, pixels.width, pixels.height, false, nullptr) == GIF_OK;
  for (INT y = 0; written && y < pixels.height; ++y) {
    const uint32_t* row = pixels.Row(y);
    for (INT x = 0; x < pixels.width; ++x) {
      const auto found = std::lower_bound(
          output.distinct.begin(), output.distinct.end(), row[x] & kRgbMask,
          [](const ColourCount& entry, uint32_t colour) { return entry.colour < colour; });
      line[size_t(x)] = output.index[size_t(found - output.distinct.begin())];
    }
    written = EGifPutLine(gif, line.data(), pixels.width) == GIF_OK;
  }
  const bool closed = EGifCloseFile(gif, &error) == GIF_OK;
  GifFreeMapObject(map);
  if (written && closed) return Ok;
  return state.refused ? Win32Error : GenericError;
}

}  // namespace

// Takes no parameters; any given are ignored.
GpStatus EncodeGif(const SurfacePixels& pixels, const EncoderParameters*, ByteSink& sink) {
  GifOutput output;
  try {
    output.distinct = CountColours(pixels);
    output.palette = ChoosePalette(output.distinct);
    output.index = IndexColours(output.distinct, output.palette);
    return WriteGif(pixels, output, sink);
  } catch (const std::bad_alloc&) {
    return OutOfMemory;
  }
}

}  // namespace Gdiplus::Internal

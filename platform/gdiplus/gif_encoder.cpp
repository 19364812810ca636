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

// Open-addressing table from colour to its count, then its palette index.
// One pass over the pixels fills it; one look-up per pixel reads it.
class ColourTable {
 public:
  ColourTable() { Rehash(kInitialCapacity); }

  // Adds `times` pixels of `colour`.
  void Count(uint32_t colour, uint32_t times) {
    Slot& slot = Find(colour);
    if (slot.colour == kEmpty) {
      slot = {colour, 0, 0};
      if (++size_ * 2 > slots_.size()) Rehash(slots_.size() * 2);
      Find(colour).count += times;
      return;
    }
    slot.count += times;
  }

  std::vector<ColourCount> Colours() const {
    std::vector<ColourCount> colours;
    colours.reserve(size_);
    for (const Slot& slot : slots_) {
      if (slot.colour != kEmpty) colours.push_back({slot.colour, slot.count});
    }
    return colours;
  }

  void SetIndex(uint32_t colour, GifByteType index) { Find(colour).index = index; }
  GifByteType IndexOf(uint32_t colour) { return Find(colour).index; }

 private:
  static constexpr uint32_t kEmpty = 0xFFFFFFFFu;  // never a masked colour
  static constexpr size_t kInitialCapacity = 1024;
  struct Slot {
    uint32_t colour;
    uint32_t count;
    GifByteType index;
  };

  Slot& Find(uint32_t colour) {
    const size_t mask = slots_.size() - 1;
    size_t i = (colour * 0x9E3779B1u) & mask;
    while (slots_[i].colour != kEmpty && slots_[i].colour != colour) i = (i + 1) & mask;
    return slots_[i];
  }

  void Rehash(size_t capacity) {
    std::vector<Slot> old = std::move(slots_);
    slots_.assign(capacity, Slot{kEmpty, 0, 0});
    for (const Slot& slot : old) {
      if (slot.colour != kEmpty) Find(slot.colour) = slot;
    }
  }

  std::vector<Slot> slots_;
  size_t size_ = 0;
};

// Counts runs of one colour with one table update: a picture is mostly
// long runs of its background.
void CountColours(const SurfacePixels& pixels, ColourTable& table) {
  for (INT y = 0; y < pixels.height; ++y) {
    const uint32_t* row = pixels.Row(y);
    for (INT x = 0; x < pixels.width;) {
      const uint32_t colour = row[x] & kRgbMask;
      const INT start = x;
      while (++x < pixels.width && (row[x] & kRgbMask) == colour) {
      }
      table.Count(colour, uint32_t(x - start));
    }
  }
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

int SquaredDistance(uint32_t a, uint32_t b) {
  int distance = 0;
  for (int shift = 0; shift <= 16; shift += 8) {
    const int d = Channel(a, shift) - Channel(b, shift);
    distance += d * d;
  }
  return distance;
}

// The palette entry nearest to `colour` (the lowest index among equally near
// ones). The palette is sorted, so by red first: the search starts where the
// colour would sit and walks outwards only while red alone is no farther
// than the best distance found.
GifByteType NearestEntry(const std::vector<uint32_t>& palette, uint32_t colour) {
  const int red = Channel(colour, 16);
  size_t best = 0;
  int bestDistance = INT32_MAX;
  auto consider = [&](size_t i) {
    const int distance = SquaredDistance(palette[i], colour);
    if (distance < bestDistance || (distance == bestDistance && i < best)) {
      bestDistance = distance;
      best = i;
    }
  };
  auto redReachable = [&](size_t i) {
    const int d = Channel(palette[i], 16) - red;
    return d * d <= bestDistance;
  };
  const size_t start =
      size_t(std::lower_bound(palette.begin(), palette.end(), colour) - palette.begin());
  for (size_t i = start; i < palette.size() && redReachable(i); ++i) consider(i);
  for (size_t i = start; i-- > 0 && redReachable(i);) consider(i);
  return GifByteType(best);
}

// Records in the table each colour's palette entry: its own when it has
// one, else the nearest.
void IndexColours(const std::vector<ColourCount>& distinct, const std::vector<uint32_t>& palette,
                  ColourTable& table) {
  std::vector<int> bucketEntry;  // made only when some colour lacks an entry
  for (const ColourCount& entry : distinct) {
    const uint32_t colour = entry.colour;
    const auto exact = std::lower_bound(palette.begin(), palette.end(), colour);
    if (exact != palette.end() && *exact == colour) {
      table.SetIndex(colour, GifByteType(exact - palette.begin()));
      continue;
    }
    const size_t bucket = ((colour >> (24 - kBucketBits)) & 0x1F) << (2 * kBucketBits) |
                          ((colour >> (16 - kBucketBits)) & 0x1F) << kBucketBits |
                          ((colour >> (8 - kBucketBits)) & 0x1F);
    if (bucketEntry.empty()) bucketEntry.assign(size_t{1} << (3 * kBucketBits), -1);
    if (bucketEntry[bucket] < 0) bucketEntry[bucket] = NearestEntry(palette, colour);
    table.SetIndex(colour, GifByteType(bucketEntry[bucket]));
  }
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

GpStatus WriteGif(const SurfacePixels& pixels, const std::vector<uint32_t>& palette,
                  ColourTable& table, ByteSink& sink) {
  const int bits = BitsForColours(palette.size());
  std::vector<GifColorType> colours(size_t{1} << bits, GifColorType{0, 0, 0});
  for (size_t i = 0; i < palette.size(); ++i) {
    const uint32_t c = palette[i];
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
    uint32_t previous = kRgbMask + 1;  // no colour: the first pixel is looked up
    GifByteType index = 0;
    for (INT x = 0; x < pixels.width; ++x) {
      const uint32_t colour = row[x] & kRgbMask;
      if (colour != previous) index = table.IndexOf(previous = colour);
      line[size_t(x)] = index;
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
  try {
    ColourTable table;
    CountColours(pixels, table);
    const std::vector<ColourCount> distinct = table.Colours();
    const std::vector<uint32_t> palette = ChoosePalette(distinct);
    IndexColours(distinct, palette, table);
    return WriteGif(pixels, palette, table, sink);
  } catch (const std::bad_alloc&) {
    return OutOfMemory;
  }
}

}  // namespace Gdiplus::Internal

// GIF encoding with a palette made for the image. An image of at most 256
// colours keeps every colour exactly. A richer one keeps its 256 most
// frequent colours exactly (a captcha's font and background colours, and its
// commonest edge shades) and maps every other colour to the nearest of them.
// The file (GIF89a, one global palette, one image) is built in memory and
// handed to the sink in one write.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>
#include <vector>

#include "gdiplus/codecs/gif_lzw.h"
#include "gdiplus/codecs/image_encoders.h"

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

// Open-addressing table giving each distinct colour a dense id, in the
// order colours are first seen.
class ColourIds {
 public:
  ColourIds() { Rehash(kInitialCapacity); }

  // The id of `colour`, the next free one when it is new. Throws
  // std::bad_alloc.
  uint32_t IdOf(uint32_t colour) {
    Slot& slot = Find(colour);
    if (slot.colour != kEmpty) return slot.id;
    const uint32_t id = uint32_t(colours_.size());
    colours_.push_back(colour);
    slot = {colour, id};
    if (colours_.size() * 2 > slots_.size()) Rehash(slots_.size() * 2);
    return id;
  }

  // Each id's colour.
  const std::vector<uint32_t>& Colours() const { return colours_; }

 private:
  static constexpr uint32_t kEmpty = 0xFFFFFFFFu;  // never a masked colour
  static constexpr size_t kInitialCapacity = 1024;
  struct Slot {
    uint32_t colour;
    uint32_t id;
  };

  Slot& Find(uint32_t colour) {
    const size_t mask = slots_.size() - 1;
    // The product's high bits depend on every bit of the colour.
    size_t i = size_t((uint64_t(colour) * 0x9E3779B97F4A7C15ull) >> 32) & mask;
    while (slots_[i].colour != kEmpty && slots_[i].colour != colour) i = (i + 1) & mask;
    return slots_[i];
  }

  void Rehash(size_t capacity) {
    std::vector<Slot> old = std::move(slots_);
    slots_.assign(capacity, Slot{kEmpty, 0});
    for (const Slot& slot : old) {
      if (slot.colour != kEmpty) Find(slot.colour) = slot;
    }
  }

  std::vector<Slot> slots_;
  std::vector<uint32_t> colours_;
};

// The picture as colour ids, one per pixel row by row, and each id's colour
// and pixel count (counted only when the palette is chosen by them, else
// 0): each pixel's entry is then read through its id without hashing its
// colour again.
struct ColourIdPicture {
  std::unique_ptr<uint32_t[]> ids;    // every pixel's, written before read (no clearing pass)
  std::vector<ColourCount> distinct;  // by id
};

// The ids of the colours met lately, by a hash of the colour: a captcha has
// few colours (ink, ground and the shades between them), so nearly every
// pixel finds its colour's id here with one compare, a branch that is
// almost always taken the same way, instead of a probe of the table.
class RecentColours {
 public:
  RecentColours() { std::fill(std::begin(slots_), std::end(slots_), Slot{kNone, 0}); }

  // The id of `colour`, from the slot or else from `table` (which then
  // takes the slot).
  [[gnu::always_inline]] uint32_t IdOf(uint32_t colour, ColourIds& table) {
    Slot& slot = slots_[(colour * 0x9E3779B1u) >> (32 - kSlotBits)];
    if (slot.colour == colour) [[likely]]
      return slot.id;
    return Miss(colour, slot, table);
  }

 private:
  // 4096 slots: a few hundred colours rarely share one.
  static constexpr int kSlotBits = 12;
  static constexpr uint32_t kNone = 0xFFFFFFFFu;  // never a masked colour
  struct Slot {
    uint32_t colour;
    uint32_t id;
  };
  // Out of line: the loop around IdOf keeps its registers.
  [[gnu::noinline]] static uint32_t Miss(uint32_t colour, Slot& slot, ColourIds& table) {
    slot = {colour, table.IdOf(colour)};
    return slot.id;
  }

  Slot slots_[size_t{1} << kSlotBits];
};

// Each id's pixel count, only needed when there are more colours than
// palette entries.
std::vector<uint32_t> CountIds(const uint32_t* ids, size_t pixelCount, size_t idCount) {
  std::vector<uint32_t> counts(idCount, 0);
  uint32_t* const count = counts.data();
  for (size_t i = 0; i < pixelCount; ++i) ++count[ids[i]];
  return counts;
}

// Every pixel's colour id, one look-up per pixel; the counts follow only
// for a picture with more colours than a palette holds. (Runs of one colour
// are short in a captcha's antialiased edges: a loop per run would miss its
// branch at nearly every run's end.) Throws std::bad_alloc.
ColourIdPicture IdentifyColours(const SurfacePixels& pixels) {
  ColourIdPicture picture;
  const size_t pixelCount = size_t(pixels.width) * size_t(pixels.height);
  picture.ids.reset(new uint32_t[pixelCount]);
  ColourIds table;
  RecentColours recent;
  uint32_t* ids = picture.ids.get();
  // Locals: stores of ids may alias anything of the same type, members too.
  const INT width = pixels.width, height = pixels.height;
  for (INT y = 0; y < height; ++y) {
    const uint32_t* const row = pixels.Row(y);
    for (INT x = 0; x < width; ++x) *ids++ = recent.IdOf(row[x] & kRgbMask, table);
  }
  const std::vector<uint32_t>& colours = table.Colours();
  std::vector<uint32_t> counts;
  if (colours.size() > kMaxPaletteColours)
    counts = CountIds(picture.ids.get(), pixelCount, colours.size());
  picture.distinct.resize(colours.size());
  for (size_t id = 0; id < colours.size(); ++id)
    picture.distinct[id] = {colours[id], counts.empty() ? 0 : counts[id]};
  return picture;
}

// The palette, sorted by colour, and the entry each colour id has in it.
struct Palette {
  static constexpr int kLeftOut = -1;  // a colour without an entry of its own
  std::vector<uint32_t> colours;
  std::vector<int> entryOf;  // by id
};

// Sorts colour ids by their (distinct, 24-bit) colours a byte at a time from
// the lowest: three counting passes, free of the comparisons a comparison
// sort would mispredict on a few hundred scattered keys.
void SortByColour(std::vector<uint32_t>& ids, const std::vector<ColourCount>& distinct) {
  constexpr int kColourBits = 24, kDigitBits = 8;
  constexpr uint32_t kDigitMask = (1u << kDigitBits) - 1;
  std::vector<uint32_t> sorted(ids.size());
  for (int shift = 0; shift < kColourBits; shift += kDigitBits) {
    size_t start[kDigitMask + 2] = {};
    for (uint32_t id : ids) ++start[(distinct[id].colour >> shift & kDigitMask) + 1];
    for (uint32_t digit = 0; digit <= kDigitMask; ++digit) start[digit + 1] += start[digit];
    for (uint32_t id : ids) sorted[start[distinct[id].colour >> shift & kDigitMask]++] = id;
    ids.swap(sorted);
  }
}

// All colours when they fit, else the most frequent ones (the ties, by
// colour, make the choice the same on every run).
Palette ChoosePalette(const std::vector<ColourCount>& distinct) {
  std::vector<uint32_t> chosen(distinct.size());
  for (uint32_t id = 0; id < chosen.size(); ++id) chosen[id] = id;
  if (chosen.size() > kMaxPaletteColours) {
    std::nth_element(chosen.begin(), chosen.begin() + kMaxPaletteColours, chosen.end(),
                     [&](uint32_t a, uint32_t b) {
                       const ColourCount& x = distinct[a];
                       const ColourCount& y = distinct[b];
                       return x.count != y.count ? x.count > y.count : x.colour < y.colour;
                     });
    chosen.resize(kMaxPaletteColours);
  }
  SortByColour(chosen, distinct);
  Palette palette;
  palette.entryOf.assign(distinct.size(), Palette::kLeftOut);
  for (uint32_t id : chosen) {
    palette.entryOf[id] = int(palette.colours.size());
    palette.colours.push_back(distinct[id].colour);
  }
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
uint8_t NearestEntry(const std::vector<uint32_t>& palette, uint32_t colour) {
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
  return uint8_t(best);
}

// Each colour's palette entry, by id: its own when it has one, else the
// nearest.
std::vector<uint8_t> IndexColours(const std::vector<ColourCount>& distinct,
                                  const Palette& palette) {
  std::vector<uint8_t> entries(distinct.size());
  std::vector<int16_t> bucketEntry;  // made only when some colour lacks an entry
  for (size_t id = 0; id < distinct.size(); ++id) {
    if (palette.entryOf[id] != Palette::kLeftOut) {
      entries[id] = uint8_t(palette.entryOf[id]);
      continue;
    }
    const uint32_t colour = distinct[id].colour;
    const size_t bucket = ((colour >> (24 - kBucketBits)) & 0x1F) << (2 * kBucketBits) |
                          ((colour >> (16 - kBucketBits)) & 0x1F) << kBucketBits |
                          ((colour >> (8 - kBucketBits)) & 0x1F);
    if (bucketEntry.empty()) bucketEntry.assign(size_t{1} << (3 * kBucketBits), -1);
    if (bucketEntry[bucket] < 0) bucketEntry[bucket] = NearestEntry(palette.colours, colour);
    entries[id] = uint8_t(bucketEntry[bucket]);
  }
  return entries;
}

int BitsForColours(size_t colours) {
  int bits = 1;
  while ((size_t{1} << bits) < colours) ++bits;
  return bits;
}

// Sizes fit GIF's 16 bits: bitmaps are at most kMaxBitmapSide wide and high.
void AppendWord(std::vector<uint8_t>& out, INT value) {
  out.push_back(uint8_t(value));
  out.push_back(uint8_t(value >> 8));
}

constexpr uint8_t kSignature[] = {'G', 'I', 'F', '8', '9', 'a'};
constexpr uint8_t kGlobalPaletteFlag = 0x80;
constexpr uint8_t kImageSeparator = 0x2C;
constexpr uint8_t kTrailer = 0x3B;

// Header and logical screen (palette of 1 << bits entries, colour
// resolution `bits`, background entry 0, square pixels), then the palette.
void AppendScreen(const SurfacePixels& pixels, const std::vector<uint32_t>& palette, int bits,
                  std::vector<uint8_t>& out) {
  out.insert(out.end(), std::begin(kSignature), std::end(kSignature));
  AppendWord(out, pixels.width);
  AppendWord(out, pixels.height);
  out.push_back(uint8_t(kGlobalPaletteFlag | (bits - 1) << 4 | (bits - 1)));
  out.push_back(0);
  out.push_back(0);
  for (size_t i = 0; i < size_t{1} << bits; ++i) {
    const uint32_t c = i < palette.size() ? palette[i] : 0;
    out.push_back(uint8_t(Channel(c, 16)));
    out.push_back(uint8_t(Channel(c, 8)));
    out.push_back(uint8_t(Channel(c, 0)));
  }
}

// The image descriptor (whole screen, no own palette, not interlaced) and the
// compressed palette indices, row by row.
void AppendImage(const SurfacePixels& pixels, int bits, const ColourIdPicture& picture,
                 const std::vector<uint8_t>& entries, std::vector<uint8_t>& out) {
  out.push_back(kImageSeparator);
  AppendWord(out, 0);
  AppendWord(out, 0);
  AppendWord(out, pixels.width);
  AppendWord(out, pixels.height);
  out.push_back(0);
  GifLzwCompressor compressor(bits, out);
  compressor.Add(picture.ids.get(), entries.data(), size_t(pixels.width) * size_t(pixels.height));
  compressor.Finish();
}

GpStatus WriteGif(const SurfacePixels& pixels, const std::vector<uint32_t>& palette,
                  const ColourIdPicture& picture, const std::vector<uint8_t>& entries,
                  ByteSink& sink) {
  const int bits = BitsForColours(palette.size());
  std::vector<uint8_t> file;
  // Captcha pictures compress to well under a byte per pixel.
  file.reserve(size_t(pixels.width) * size_t(pixels.height) / 2 + 1024);
  AppendScreen(pixels, palette, bits, file);
  AppendImage(pixels, bits, picture, entries, file);
  file.push_back(kTrailer);
  return sink.Write(file.data(), file.size()) ? Ok : Win32Error;
}

}  // namespace

// Takes no parameters; any given are ignored.
GpStatus EncodeGif(const SurfacePixels& pixels, const EncoderParameters*, ByteSink& sink) {
  try {
    const ColourIdPicture picture = IdentifyColours(pixels);
    const Palette palette = ChoosePalette(picture.distinct);
    return WriteGif(pixels, palette.colours, picture, IndexColours(picture.distinct, palette),
                    sink);
  } catch (const std::bad_alloc&) {
    return OutOfMemory;
  }
}

}  // namespace Gdiplus::Internal

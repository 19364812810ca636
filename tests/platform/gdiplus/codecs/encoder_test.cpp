// The encoder list, JPEG and GIF encoding (checked with ImageMagick as an
// independent decoder, and grey JPEGs against libjpeg's own encode), and
// saving to files.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <set>
#include <sstream>

// jmorecfg.h would define INT32 as long; the Windows headers define it as
// 32 bits. XMD_H tells it the type exists already.
#define XMD_H
#include <jpeglib.h>

#include "gdiplus/objects/bitmap.h"
#include "glimmark_test_seams.h"
#include "platform/gdiplus/gdiplus_test_support.h"
#include "testing/libjpeg_reference.h"

namespace gdiplus_test {
namespace {

using EncoderTest = GdiplusTest;

const CLSID kJpegClsid = {
    0x557cf401, 0x1a04, 0x11d3, {0x9a, 0x73, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}};
const CLSID kGifClsid = {
    0x557cf402, 0x1a04, 0x11d3, {0x9a, 0x73, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}};

struct EncoderList {
  std::vector<BYTE> buffer;
  UINT count = 0;
  const ImageCodecInfo* At(UINT i) const {
    return reinterpret_cast<const ImageCodecInfo*>(buffer.data()) + i;
  }
  const ImageCodecInfo* Find(std::u16string_view mime) const {
    for (UINT i = 0; i < count; ++i) {
      if (At(i)->MimeType == mime) return At(i);
    }
    return nullptr;
  }
};

EncoderList ListEncoders() {
  EncoderList list;
  UINT size = 0;
  EXPECT_EQ(GdipGetImageEncodersSize(&list.count, &size), Ok);
  list.buffer.resize(size);
  EXPECT_EQ(
      GdipGetImageEncoders(list.count, size, reinterpret_cast<ImageCodecInfo*>(list.buffer.data())),
      Ok);
  return list;
}

std::vector<BYTE> SaveToBytes(GpBitmap* bitmap, const CLSID& clsid, const EncoderParameters* params,
                              GpStatus expected = Ok) {
  IStream* stream = nullptr;
  EXPECT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, &stream), S_OK);
  EXPECT_EQ(GdipSaveImageToStream(bitmap, stream, &clsid, params), expected);
  ULARGE_INTEGER end{};
  LARGE_INTEGER zero{};
  stream->Seek(zero, STREAM_SEEK_END, &end);
  stream->Seek(zero, STREAM_SEEK_SET, nullptr);
  std::vector<BYTE> bytes(end.QuadPart);
  ULONG read = 0;
  stream->Read(bytes.data(), ULONG(bytes.size()), &read);
  EXPECT_EQ(read, bytes.size());
  stream->Release();
  return bytes;
}

std::vector<BYTE> SaveJpeg(GpBitmap* bitmap, LONG* quality) {
  EncoderParameters params{};
  params.Count = quality != nullptr ? 1 : 0;
  params.Parameter[0] = {EncoderQuality, 1, EncoderParameterValueTypeLong, quality};
  return SaveToBytes(bitmap, kJpegClsid, &params);
}

std::string ScratchPath(const std::string& name) {
  return ::testing::TempDir() + "gdiplus_" + name;
}

void WriteFile(const std::string& path, const std::vector<BYTE>& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

std::string Run(const std::string& command) {
  std::string output;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return output;
  char chunk[4096];
  size_t n = 0;
  while ((n = fread(chunk, 1, sizeof chunk, pipe)) > 0) output.append(chunk, n);
  pclose(pipe);
  return output;
}

// ImageMagick's reading of a file: "FORMAT WIDTHxHEIGHT".
std::string Identify(const std::string& path) {
  return Run("identify -format '%m %wx%h' '" + path + "' 2>&1");
}

// Every decoded pixel's colour as "#RRGGBB", row by row, from ImageMagick's
// text dump.
std::vector<std::string> DecodedPixels(const std::string& path) {
  std::istringstream dump(Run("convert '" + path + "' -depth 8 txt:- 2>&1"));
  std::vector<std::string> pixels;
  std::string line;
  while (std::getline(dump, line)) {
    const size_t hash = line.find('#');
    if (line.empty() || line[0] == '#' || hash == std::string::npos) continue;
    pixels.push_back(line.substr(hash, 7));
  }
  return pixels;
}

std::string Hex(Rgb c) {
  char text[8];
  std::snprintf(text, sizeof text, "#%02X%02X%02X", c.r, c.g, c.b);
  return text;
}

bool FileExists(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0;
}

int FilesInFolder(const std::string& folder) {
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return -1;
  int n = 0;
  while (const dirent* entry = readdir(dir)) n += entry->d_name[0] != '.';
  closedir(dir);
  return n;
}

TEST_F(EncoderTest, ListHoldsJpegAndGifWithTheirClsidsInOneBuffer) {
  const EncoderList list = ListEncoders();
  ASSERT_GE(list.count, 2u);
  const ImageCodecInfo* jpeg = list.Find(u"image/jpeg");
  const ImageCodecInfo* gif = list.Find(u"image/gif");
  ASSERT_NE(jpeg, nullptr);
  ASSERT_NE(gif, nullptr);
  EXPECT_EQ(jpeg->Clsid, kJpegClsid);
  EXPECT_EQ(gif->Clsid, kGifClsid);
  const BYTE* begin = list.buffer.data();
  const BYTE* end = begin + list.buffer.size();
  for (UINT i = 0; i < list.count; ++i) {
    const ImageCodecInfo* info = list.At(i);
    for (const WCHAR* text :
         {info->CodecName, info->FormatDescription, info->FilenameExtension, info->MimeType}) {
      const auto* bytes = reinterpret_cast<const BYTE*>(text);
      ASSERT_TRUE(bytes >= begin && bytes + 2 <= end);
      const size_t length = std::char_traits<WCHAR>::length(text);
      EXPECT_LE(bytes + 2 * (length + 1), end);
    }
    EXPECT_TRUE(info->SigPattern >= begin &&
                info->SigPattern + info->SigCount * info->SigSize <= end);
  }
  // The same order every time.
  const EncoderList again = ListEncoders();
  ASSERT_EQ(again.count, list.count);
  for (UINT i = 0; i < list.count; ++i) EXPECT_EQ(again.At(i)->Clsid, list.At(i)->Clsid);
}

TEST_F(EncoderTest, MismatchedSizesAreRefused) {
  UINT count = 0, size = 0;
  ASSERT_EQ(GdipGetImageEncodersSize(&count, &size), Ok);
  std::vector<BYTE> buffer(size + 64);
  auto* infos = reinterpret_cast<ImageCodecInfo*>(buffer.data());
  EXPECT_EQ(GdipGetImageEncoders(count, size - 1, infos), GenericError);
  EXPECT_EQ(GdipGetImageEncoders(count + 1, size, infos), GenericError);
  EXPECT_EQ(GdipGetImageEncoders(count, size, nullptr), InvalidParameter);
  EXPECT_EQ(GdipGetImageEncodersSize(nullptr, &size), InvalidParameter);
}

TEST_F(EncoderTest, HiddenEncoderIsNeitherListedNorUsable) {
  Canvas canvas(4, 4);
  GlimmarkTest_HideEncoder(u"image/gif");
  EXPECT_EQ(ListEncoders().Find(u"image/gif"), nullptr);
  EXPECT_NE(ListEncoders().Find(u"image/jpeg"), nullptr);
  SaveToBytes(canvas.bitmap(), kGifClsid, nullptr, UnknownImageFormat);
  GlimmarkTest_ShowAllEncoders();
  EXPECT_NE(ListEncoders().Find(u"image/gif"), nullptr);
}

TEST_F(EncoderTest, JpegIsCompleteAndDecodes) {
  Canvas canvas(200, 70);
  canvas.FillAll(0xFF3366CC);
  canvas.Fill(kOpaqueWhite, 20, 10, 50, 30);
  LONG quality = 85;
  const std::vector<BYTE> bytes = SaveJpeg(canvas.bitmap(), &quality);
  ASSERT_GT(bytes.size(), 4u);
  EXPECT_EQ(bytes[0], 0xFF);
  EXPECT_EQ(bytes[1], 0xD8);
  EXPECT_EQ(bytes[bytes.size() - 2], 0xFF);
  EXPECT_EQ(bytes[bytes.size() - 1], 0xD9);
  const std::string path = ScratchPath("decode.jpg");
  WriteFile(path, bytes);
  EXPECT_EQ(Identify(path), "JPEG 200x70");
  EXPECT_EQ(DecodedPixels(path).size(), 200u * 70u);
  unlink(path.c_str());
}

TEST_F(EncoderTest, JpegSizeGrowsWithQualityWhichIsClamped) {
  Canvas canvas(120, 60);
  for (INT i = 0; i < 12; ++i)
    canvas.Fill(0xFF000000 | (i * 0x151B23), i * 10, (i * 7) % 40, 10, 20);
  auto sizeAt = [&canvas](LONG quality) { return SaveJpeg(canvas.bitmap(), &quality).size(); };
  EXPECT_LT(sizeAt(10), sizeAt(50));
  EXPECT_LT(sizeAt(50), sizeAt(95));
  LONG low = -40, zero = 0, high = 1000, hundred = 100, standard = 75;
  EXPECT_EQ(SaveJpeg(canvas.bitmap(), &low), SaveJpeg(canvas.bitmap(), &zero));
  EXPECT_EQ(SaveJpeg(canvas.bitmap(), &high), SaveJpeg(canvas.bitmap(), &hundred));
  EXPECT_EQ(SaveJpeg(canvas.bitmap(), nullptr), SaveJpeg(canvas.bitmap(), &standard));
  EXPECT_EQ(SaveToBytes(canvas.bitmap(), kJpegClsid, nullptr),
            SaveJpeg(canvas.bitmap(), &standard));
}

TEST_F(EncoderTest, MalformedQualityParameterIsRefused) {
  Canvas canvas(8, 8);
  LONG quality = 50;
  EncoderParameters params{};
  params.Count = 1;
  params.Parameter[0] = {EncoderQuality, 1, EncoderParameterValueTypeShort, &quality};
  SaveToBytes(canvas.bitmap(), kJpegClsid, &params, InvalidParameter);
  params.Parameter[0] = {EncoderQuality, 1, EncoderParameterValueTypeLong, nullptr};
  SaveToBytes(canvas.bitmap(), kJpegClsid, &params, InvalidParameter);
}

// Text-like picture: background, font colour and its antialiased shades.
void PaintTextLike(Canvas& canvas, ARGB background, ARGB font) {
  canvas.FillAll(background);
  GpFontFamily* family = nullptr;
  ASSERT_EQ(GdipCreateFontFamilyFromName(u"Times New Roman", nullptr, &family), Ok);
  GpFont* typeface = nullptr;
  ASSERT_EQ(GdipCreateFont(family, 50, FontStyleRegular, UnitPixel, &typeface), Ok);
  GpSolidFill* brush = nullptr;
  GdipCreateSolidFill(font, &brush);
  GdipSetTextRenderingHint(canvas.graphics(), TextRenderingHintAntiAlias);
  const RectF origin(5, 5, 0, 0);
  GdipDrawString(canvas.graphics(), u"Gif", 3, typeface, &origin, nullptr, brush);
  GdipDeleteBrush(brush);
  GdipDeleteFont(typeface);
  GdipDeleteFontFamily(family);
}

TEST_F(EncoderTest, GifKeepsEveryColourOfASmallPalette) {
  Canvas canvas(120, 70);
  PaintTextLike(canvas, 0xFFF0E8D0, 0xFF102A80);
  const std::vector<BYTE> bytes = SaveToBytes(canvas.bitmap(), kGifClsid, nullptr);
  ASSERT_GE(bytes.size(), 6u);
  EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 6), "GIF89a");
  EXPECT_EQ(bytes.back(), 0x3B);  // trailer
  const std::string path = ScratchPath("exact.gif");
  WriteFile(path, bytes);
  EXPECT_EQ(Identify(path), "GIF 120x70");
  // Every pixel decodes to exactly the colour drawn.
  std::vector<std::string> drawn;
  std::set<std::string> palette;
  const Pixels pixels(canvas.bitmap());
  for (INT y = 0; y < 70; ++y) {
    for (INT x = 0; x < 120; ++x) drawn.push_back(Hex(pixels.At(x, y)));
  }
  palette.insert(drawn.begin(), drawn.end());
  ASSERT_LE(palette.size(), 256u);
  ASSERT_GT(palette.size(), 20u);  // the antialiased shades are there
  EXPECT_EQ(DecodedPixels(path), drawn);
  unlink(path.c_str());
}

// The compressor's edge cases, checked by ImageMagick's decoder: noise that
// fills the dictionary again and again (codes up to 12 bits, clear codes),
// one pixel, and palettes of 2 and 4 entries (the smallest code size).
TEST_F(EncoderTest, GifCompressionDecodesExactlyAtItsLimits) {
  const struct {
    INT width, height;
    uint32_t colours;  // distinct random colours, at most 256
  } cases[] = {{300, 200, 256}, {1, 1, 1}, {17, 9, 2}, {64, 3, 4}, {255, 1, 37}};
  for (const auto& c : cases) {
    Canvas canvas(c.width, c.height);
    std::mt19937 random(c.width * 7 + c.colours);
    std::vector<Rgb> shades;
    for (uint32_t i = 0; i < c.colours; ++i) {
      shades.push_back(Rgb{BYTE(i), BYTE(random()), BYTE(random())});
    }
    Paint(canvas, [&](INT, INT) { return shades[random() % shades.size()]; });
    const std::string path = ScratchPath("limits.gif");
    WriteFile(path, SaveToBytes(canvas.bitmap(), kGifClsid, nullptr));
    std::vector<std::string> drawn;
    const Pixels pixels(canvas.bitmap());
    for (INT y = 0; y < c.height; ++y) {
      for (INT x = 0; x < c.width; ++x) drawn.push_back(Hex(pixels.At(x, y)));
    }
    EXPECT_EQ(DecodedPixels(path), drawn) << c.width << "x" << c.height;
    unlink(path.c_str());
  }
}

TEST_F(EncoderTest, GifOfManyColoursKeepsTheCommonestExactly) {
  Canvas canvas(200, 70);
  PaintTextLike(canvas, 0xFFFFFFFF, 0xFF000000);
  // A 600-colour gradient band over part of it.
  for (INT x = 0; x < 200; ++x) {
    for (INT y = 55; y < 70; y += 5) {
      canvas.Fill(0xFF000000 | ARGB(x) << 16 | ARGB(y * 3) << 8 | 0x40, x, y, 1, 5);
    }
  }
  const std::vector<BYTE> bytes = SaveToBytes(canvas.bitmap(), kGifClsid, nullptr);
  const std::string path = ScratchPath("many.gif");
  WriteFile(path, bytes);
  EXPECT_EQ(Identify(path), "GIF 200x70");
  const std::vector<std::string> decoded = DecodedPixels(path);
  ASSERT_EQ(decoded.size(), 200u * 70u);
  EXPECT_LE(std::set<std::string>(decoded.begin(), decoded.end()).size(), 256u);
  // The background and font colours, the commonest, come back exactly.
  const Pixels pixels(canvas.bitmap());
  int exact = 0;
  for (INT y = 0; y < 70; ++y) {
    for (INT x = 0; x < 200; ++x) {
      const Rgb drawn = pixels.At(x, y);
      if (!(drawn == kWhite) && !(drawn == Rgb{0, 0, 0})) continue;
      EXPECT_EQ(decoded[size_t(y) * 200 + x], Hex(drawn)) << x << "," << y;
      ++exact;
    }
  }
  EXPECT_GT(exact, 200 * 40);
  unlink(path.c_str());
}

TEST_F(EncoderTest, FileIsWrittenWholeOrNotAtAll) {
  Canvas canvas(30, 20);
  canvas.FillAll(0xFF808080);
  char folderTemplate[] = "/tmp/gdiplus_save_XXXXXX";
  ASSERT_NE(mkdtemp(folderTemplate), nullptr);
  const std::string folder = folderTemplate;
  const std::string target = folder + "/picture.gif";
  std::u16string target16(target.begin(), target.end());
  WriteFile(target, {'o', 'l', 'd'});
  ASSERT_EQ(GdipSaveImageToFile(canvas.bitmap(), target16.c_str(), &kGifClsid, nullptr), Ok);
  EXPECT_EQ(Identify(target), "GIF 30x20");
  EXPECT_EQ(FilesInFolder(folder), 1);  // no temporary file left

  const std::string missing = folder + "/no/such/folder/picture.jpg";
  const std::u16string missing16(missing.begin(), missing.end());
  const GpStatus status =
      GdipSaveImageToFile(canvas.bitmap(), missing16.c_str(), &kJpegClsid, nullptr);
  EXPECT_EQ(status, Win32Error);
  EXPECT_FALSE(FileExists(missing));

  // A directory in the way: the save fails and nothing is left behind.
  const std::string blocked = folder + "/blocked";
  ASSERT_EQ(mkdir(blocked.c_str(), 0700), 0);
  const std::u16string blocked16(blocked.begin(), blocked.end());
  EXPECT_NE(GdipSaveImageToFile(canvas.bitmap(), blocked16.c_str(), &kJpegClsid, nullptr), Ok);
  EXPECT_EQ(FilesInFolder(folder), 2);

  EXPECT_EQ(GdipSaveImageToFile(canvas.bitmap(), u"", &kJpegClsid, nullptr), InvalidParameter);
  EXPECT_EQ(GdipSaveImageToFile(canvas.bitmap(), nullptr, &kJpegClsid, nullptr), InvalidParameter);
  rmdir(blocked.c_str());
  unlink(target.c_str());
  rmdir(folder.c_str());
}

// Grey pictures (blue == green == red everywhere) reach libjpeg as raw Y
// samples with constant chroma; every other picture as BGRX rows. Either way
// the bytes must be libjpeg's own encode of the BGRX rows, made here as the
// reference.
using GreyJpegTest = GdiplusTest;

constexpr uint32_t kOpaque = 0xFF000000u;

uint32_t Grey(uint32_t level, uint32_t unused = kOpaque) { return unused | level * 0x010101u; }

// Writes each pixel's four bytes straight into the bitmap's surface, the
// unused fourth byte too (a lock would set it to 0xFF).
template <typename PixelAt>
void Draw(Canvas& canvas, PixelAt pixelAt) {
  const Internal::SurfacePixels pixels(Internal::LookUpBitmap(canvas.bitmap())->surface);
  for (INT y = 0; y < pixels.height; ++y) {
    for (INT x = 0; x < pixels.width; ++x) pixels.Row(y)[x] = pixelAt(x, y);
  }
  pixels.MarkDirty(0, 0, pixels.width, pixels.height);
}

// Every pixel a random grey; the last column then differs from its
// neighbours and from zero, so any padding but libjpeg's shows in the bytes.
void DrawGreyNoise(Canvas& canvas, uint32_t seed) {
  std::mt19937 random(seed);
  Draw(canvas, [&](INT, INT) { return Grey(random() & 0xFF); });
}

// libjpeg's encode of the bitmap's BGRX rows with the encoder's settings.
std::vector<BYTE> ReferenceJpeg(GpBitmap* bitmap, LONG quality) {
  const Internal::SurfacePixels pixels(Internal::LookUpBitmap(bitmap)->surface);
  const auto file =
      glimmark_testing::EncodeWithLibjpeg(pixels.data, size_t(pixels.stride), pixels.width,
                                          pixels.height, 4, JCS_EXT_BGRX, int(quality));
  return std::vector<BYTE>(file.bytes.get(), file.bytes.get() + file.size);
}

// Where two files first differ, for a readable failure; -1 when they are equal.
ptrdiff_t FirstDifference(const std::vector<BYTE>& a, const std::vector<BYTE>& b) {
  const auto [left, right] = std::mismatch(a.begin(), a.end(), b.begin(), b.end());
  return left == a.end() && right == b.end() ? -1 : left - a.begin();
}

// Saves the canvas as JPEG, checks the bytes against the reference and that
// the picture went the grey way exactly when `grey`; returns the bytes.
std::vector<BYTE> SaveLikeReference(Canvas& canvas, LONG quality, bool grey) {
  const LONG greyBefore = GlimmarkTest_GreyJpegEncodes();
  std::vector<BYTE> bytes = SaveJpeg(canvas.bitmap(), &quality);
  EXPECT_EQ(GlimmarkTest_GreyJpegEncodes() - greyBefore, grey ? 1 : 0);
  EXPECT_EQ(FirstDifference(bytes, ReferenceJpeg(canvas.bitmap(), quality)), -1)
      << canvas.Width() << "x" << canvas.Height() << " at quality " << quality;
  return bytes;
}

TEST_F(GreyJpegTest, EveryGreyLevelAtEveryQualityMatchesLibjpeg) {
  Canvas canvas(200, 70);
  // Diagonal ramps: all 256 levels, smooth along one direction, sharp across.
  Draw(canvas, [](INT x, INT y) { return Grey(uint32_t(x * 7 + y * 13) & 0xFF); });
  for (const LONG quality : {1, 50, 75, 85, 100}) SaveLikeReference(canvas, quality, true);
}

// Widths and heights on and off whole blocks (8) and whole MCUs (16): the
// right and bottom padding of each.
TEST_F(GreyJpegTest, SizesOnAndOffBlockAndMcuEdgesMatchLibjpeg) {
  const struct {
    INT width, height;
  } sizes[] = {{1, 1},  {7, 9},  {8, 8},   {16, 16},  {17, 33},  {33, 17},
               {2, 49}, {49, 2}, {24, 40}, {161, 15}, {200, 70}, {203, 37}};
  for (const auto& size : sizes) {
    Canvas canvas(size.width, size.height);
    DrawGreyNoise(canvas, uint32_t(size.width * 1000 + size.height));
    for (const LONG quality : {1, 85, 100}) SaveLikeReference(canvas, quality, true);
  }
}

// One pixel with colour anywhere, in any channel, sends the picture the BGRX
// way; it must not be taken for grey (its bytes differ from the grey
// picture's, so the raw way would show).
TEST_F(GreyJpegTest, OneColouredPixelAnywhereGoesTheBgrxWay) {
  constexpr INT kWidth = 203, kHeight = 37;  // neither a whole number of blocks
  Canvas canvas(kWidth, kHeight);
  DrawGreyNoise(canvas, 7);
  constexpr LONG kQuality = 85;
  const std::vector<BYTE> grey = SaveLikeReference(canvas, kQuality, true);
  const struct {
    INT x, y;
  } places[] = {{0, 0},
                {kWidth - 1, 0},
                {kWidth / 2, kHeight / 2},
                {0, kHeight - 1},
                {kWidth - 1, kHeight - 1}};
  const uint32_t kChannels[] = {0x0000FF, 0x00FF00, 0xFF0000};  // blue, green, red
  for (const auto& place : places) {
    for (const uint32_t channel : kChannels) {
      SCOPED_TRACE(testing::Message()
                   << "pixel " << place.x << "," << place.y << " channel " << std::hex << channel);
      const Internal::SurfacePixels pixels(Internal::LookUpBitmap(canvas.bitmap())->surface);
      uint32_t& pixel = pixels.Row(place.y)[place.x];
      const uint32_t original = pixel;
      pixel ^= channel & 0x808080u;  // that channel half the range away
      pixels.MarkDirty(place.x, place.y, 1, 1);
      EXPECT_NE(FirstDifference(SaveLikeReference(canvas, kQuality, false), grey), -1);
      pixel = original;
      pixels.MarkDirty(place.x, place.y, 1, 1);
    }
  }
}

// The fourth byte is neither grey nor colour: whatever it holds, a grey
// picture goes the grey way and comes out as with opaque pixels.
TEST_F(GreyJpegTest, UnusedByteNeitherChangesTheBytesNorTheWay) {
  Canvas canvas(77, 23);
  const auto level = [](INT x, INT y) { return uint32_t(x * 5 + y * 11) & 0xFF; };
  Draw(canvas, [&](INT x, INT y) { return Grey(level(x, y)); });
  constexpr LONG kQuality = 85;
  const std::vector<BYTE> opaque = SaveLikeReference(canvas, kQuality, true);
  std::mt19937 random(77);
  Draw(canvas, [&](INT x, INT y) { return Grey(level(x, y), random() << 24); });
  EXPECT_EQ(FirstDifference(SaveLikeReference(canvas, kQuality, true), opaque), -1);
}

// The default challenge's look: cairo's anti-aliased black text on white is
// grey in every pixel, so it takes the grey way.
TEST_F(GreyJpegTest, AntialiasedBlackTextOnWhiteGoesTheGreyWay) {
  Canvas canvas(200, 70);
  PaintTextLike(canvas, 0xFFFFFFFF, 0xFF000000);
  SaveLikeReference(canvas, 85, true);
}

}  // namespace
}  // namespace gdiplus_test

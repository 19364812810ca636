// Speed of the graphics layer's hot paths for one captcha picture: JPEG
// encoding against libjpeg-turbo alone, a rotated glyph (and the coverage
// raster alone), the bicubic stretches and GIF encoding.
// Run: build/release/bench/bench_gdiplus
#include <benchmark/benchmark.h>
#include <dlfcn.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <utility>
#include <vector>

#define XMD_H  // the Windows headers define INT32 already
#include <jpeglib.h>

#include "gdiplus.h"
#include "gdiplus/raster/coverage_raster.h"
#include "glimmark_test_seams.h"

namespace {

using namespace Gdiplus;
using namespace Gdiplus::DllExports;

constexpr INT kWidth = 200;
constexpr INT kHeight = 70;
constexpr LONG kJpegQuality = 85;
const CLSID kJpegClsid = {
    0x557cf401, 0x1a04, 0x11d3, {0x9a, 0x73, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}};
const CLSID kGifClsid = {
    0x557cf402, 0x1a04, 0x11d3, {0x9a, 0x73, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}};

struct Library {
  Library() {
    GdiplusStartupInput input;
    GdiplusStartup(&token, &input, nullptr);
  }
  ULONG_PTR token = 0;
};
const Library library;

void FillPicture(GpGraphics* graphics) {
  static const ARGB colours[] = {0xFFFFFFFF, 0xFF204080, 0xFFE0C020, 0xFF30A050};
  for (int i = 0; i < 4; ++i) {
    GpSolidFill* brush = nullptr;
    GdipCreateSolidFill(colours[i], &brush);
    if (i == 0) {
      GdipFillRectangleI(graphics, brush, 0, 0, kWidth, kHeight);
    } else {
      GdipFillRectangleI(graphics, brush, 30 * i, 5 * i, 40, 30);
    }
    GdipDeleteBrush(brush);
  }
}

// A new bitmap of the given size with the test picture on it.
GpBitmap* MakePicture(INT width = kWidth, INT height = kHeight) {
  GpBitmap* bitmap = nullptr;
  GpGraphics* graphics = nullptr;
  GdipCreateBitmapFromScan0(width, height, 0, PixelFormat24bppRGB, nullptr, &bitmap);
  GdipGetImageGraphicsContext(bitmap, &graphics);
  FillPicture(graphics);
  GdipDeleteGraphics(graphics);
  return bitmap;
}

// Bitmap, fill, JPEG q85 into a memory stream: what one picture's output costs.
void BM_JpegThroughGdiplus(benchmark::State& state) {
  for (auto _ : state) {
    GpBitmap* bitmap = MakePicture();
    IStream* stream = nullptr;
    CreateStreamOnHGlobal(nullptr, TRUE, &stream);
    LONG quality = kJpegQuality;
    EncoderParameters params{1, {{EncoderQuality, 1, EncoderParameterValueTypeLong, &quality}}};
    if (GdipSaveImageToStream(bitmap, stream, &kJpegClsid, &params) != Ok)
      state.SkipWithError("save");
    stream->Release();
    GdipDisposeImage(bitmap);
  }
}
BENCHMARK(BM_JpegThroughGdiplus);

// libjpeg-turbo, loaded at run time (benchmarks link only the platform
// library), encoding the same pixels from ready BGRX rows into memory.
struct JpegFunctions {
  decltype(&jpeg_std_error) stdError;
  decltype(&jpeg_CreateCompress) create;
  decltype(&jpeg_set_defaults) setDefaults;
  decltype(&jpeg_set_quality) setQuality;
  decltype(&jpeg_mem_dest) memDest;
  decltype(&jpeg_start_compress) start;
  decltype(&jpeg_write_scanlines) writeScanlines;
  decltype(&jpeg_finish_compress) finish;
  decltype(&jpeg_destroy_compress) destroy;
  bool loaded = false;

  JpegFunctions() {
    void* handle = dlopen("libjpeg.so.62", RTLD_NOW);
    if (handle == nullptr) return;
    auto find = [handle](auto& function, const char* name) {
      function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(dlsym(handle, name));
      return function != nullptr;
    };
    loaded = find(stdError, "jpeg_std_error") && find(create, "jpeg_CreateCompress") &&
             find(setDefaults, "jpeg_set_defaults") && find(setQuality, "jpeg_set_quality") &&
             find(memDest, "jpeg_mem_dest") && find(start, "jpeg_start_compress") &&
             find(writeScanlines, "jpeg_write_scanlines") && find(finish, "jpeg_finish_compress") &&
             find(destroy, "jpeg_destroy_compress");
  }
};

std::vector<BYTE> PictureAsBgrx() {
  GpBitmap* bitmap = MakePicture();
  BitmapData data{};
  GdipBitmapLockBits(bitmap, nullptr, ImageLockModeRead, PixelFormat32bppRGB, &data);
  const BYTE* first = static_cast<const BYTE*>(data.Scan0);
  std::vector<BYTE> pixels(first, first + size_t(data.Stride) * kHeight);
  GdipBitmapUnlockBits(bitmap, &data);
  GdipDisposeImage(bitmap);
  return pixels;
}

void BM_JpegDirectLibjpegTurbo(benchmark::State& state) {
  static const JpegFunctions jpeg;
  if (!jpeg.loaded) {
    state.SkipWithError("libjpeg.so.62 not loadable");
    return;
  }
  const std::vector<BYTE> pixels = PictureAsBgrx();
  std::vector<JSAMPROW> rows(kHeight);
  for (INT y = 0; y < kHeight; ++y) rows[y] = const_cast<BYTE*>(&pixels[size_t(y) * kWidth * 4]);
  for (auto _ : state) {
    jpeg_compress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg.stdError(&errors);
    jpeg.create(&info, JPEG_LIB_VERSION, sizeof info);
    unsigned char* output = nullptr;
    unsigned long outputSize = 0;
    jpeg.memDest(&info, &output, &outputSize);
    info.image_width = kWidth;
    info.image_height = kHeight;
    info.input_components = 4;
    info.in_color_space = JCS_EXT_BGRX;
    jpeg.setDefaults(&info);
    jpeg.setQuality(&info, kJpegQuality, TRUE);
    jpeg.start(&info, TRUE);
    jpeg.writeScanlines(&info, rows.data(), kHeight);
    jpeg.finish(&info);
    jpeg.destroy(&info);
    benchmark::DoNotOptimize(outputSize);
    free(output);
  }
}
BENCHMARK(BM_JpegDirectLibjpegTurbo);

// One 70-px glyph measured and drawn at a fresh random angle on a warm font;
// argument 1 loads every glyph through FreeType instead of the outline cache.
void BM_RotatedGlyphMeasureAndDraw(benchmark::State& state) {
  GlimmarkTest_LoadEveryGlyph(state.range(0) != 0);
  GpFontFamily* family = nullptr;
  GdipCreateFontFamilyFromName(u"Times New Roman", nullptr, &family);
  GpFont* font = nullptr;
  GdipCreateFont(family, 70, FontStyleRegular, UnitPixel, &font);
  GpBitmap* bitmap = nullptr;
  GpGraphics* graphics = nullptr;
  GdipCreateBitmapFromScan0(80, 90, 0, PixelFormat24bppRGB, nullptr, &bitmap);
  GdipGetImageGraphicsContext(bitmap, &graphics);
  GdipSetTextRenderingHint(graphics, TextRenderingHintAntiAlias);
  GpSolidFill* brush = nullptr;
  GdipCreateSolidFill(0xFF000000, &brush);
  GpMatrix* matrix = nullptr;
  std::mt19937 random(7);
  std::uniform_real_distribution<float> angle(-30, 30);
  const RectF origin;
  const WCHAR glyphs[] = u"ABCDEFGHJKLMNPQRSTUVWXYZ23456789";
  size_t next = 0;
  for (auto _ : state) {
    const WCHAR* glyph = &glyphs[next++ % (sizeof glyphs / sizeof glyphs[0] - 1)];
    RectF box;
    GdipMeasureString(graphics, glyph, 1, font, &origin, nullptr, &box, nullptr, nullptr);
    GdipResetWorldTransform(graphics);
    GdipCreateMatrix(&matrix);
    GdipTranslateMatrix(matrix, box.Width / 2, box.Height / 2, MatrixOrderPrepend);
    GdipRotateMatrix(matrix, angle(random), MatrixOrderPrepend);
    GdipTranslateMatrix(matrix, -box.Width / 2, -box.Height / 2, MatrixOrderPrepend);
    GdipMultiplyWorldTransform(graphics, matrix, MatrixOrderPrepend);
    GdipDeleteMatrix(matrix);
    GdipDrawString(graphics, glyph, 1, font, &origin, nullptr, brush);
  }
  GdipDeleteBrush(brush);
  GdipDeleteGraphics(graphics);
  GdipDisposeImage(bitmap);
  GdipDeleteFont(font);
  GdipDeleteFontFamily(family);
}
BENCHMARK(BM_RotatedGlyphMeasureAndDraw)->Arg(0)->Arg(1);

// The coverage raster alone on a glyph-sized ring (outer contour one way,
// inner the other, 28 lines each) in a 60 x 60 window, rows only summed.
void BM_CoverageRasterRing(benchmark::State& state) {
  using Gdiplus::Internal::DevicePoint;
  struct Sink final : Gdiplus::Internal::CoverageRowSink {
    void Row(int64_t, int64_t, const uint8_t* coverage, int count) override {
      ink += coverage[count / 2];
    }
    int64_t ink = 0;
  } sink;
  std::vector<DevicePoint> rings[2];
  for (int ring = 0; ring < 2; ++ring) {
    const double radius = ring == 0 ? 28 : 20, turn = ring == 0 ? 1 : -1;
    for (int i = 0; i <= 28; ++i) {
      const double angle = turn * 2 * M_PI * i / 28 + 0.3;
      rings[ring].push_back({30.2 + radius * std::cos(angle), 30.7 + radius * std::sin(angle)});
    }
  }
  Gdiplus::Internal::CoverageRaster& raster = Gdiplus::Internal::ThreadCoverageRaster();
  for (auto _ : state) {
    raster.Begin(0, 0, 60, 60);
    for (const auto& ring : rings) {
      raster.MoveTo(ring[0]);
      for (const DevicePoint& point : ring) raster.LineTo(point);
    }
    raster.Finish(sink);
  }
  benchmark::DoNotOptimize(sink.ink);
}
BENCHMARK(BM_CoverageRasterRing);

// High-quality bicubic stretch of a source rectangle onto a target bitmap.
void Stretch(benchmark::State& state, INT sourceWidth, INT sourceHeight, Rect from, INT targetWidth,
             INT targetHeight) {
  GpBitmap* source = MakePicture(sourceWidth, sourceHeight);
  GpBitmap* target = nullptr;
  GpGraphics* graphics = nullptr;
  GdipCreateBitmapFromScan0(targetWidth, targetHeight, 0, PixelFormat24bppRGB, nullptr, &target);
  GdipGetImageGraphicsContext(target, &graphics);
  GdipSetInterpolationMode(graphics, InterpolationModeHighQualityBicubic);
  for (auto _ : state) {
    GdipDrawImageRectRectI(graphics, source, 0, 0, targetWidth, targetHeight, from.X, from.Y,
                           from.Width, from.Height, UnitPixel, nullptr, nullptr, nullptr);
  }
  GdipDeleteGraphics(graphics);
  GdipDisposeImage(target);
  GdipDisposeImage(source);
}

// The final scaling: canvas less its border onto the 200x70 output.
void BM_StretchCanvasOntoOutput(benchmark::State& state) {
  Stretch(state, 192, 70, Rect(1, 1, 190, 68), kWidth, kHeight);
}
BENCHMARK(BM_StretchCanvasOntoOutput);

// A glyph's ink box stretched into its 16x70 cell.
void BM_StretchGlyphIntoCell(benchmark::State& state) {
  Stretch(state, 62, 81, Rect(6, 9, 48, 60), 16, 70);
}
BENCHMARK(BM_StretchGlyphIntoCell);

// A glyph's scratch image made, filled, locked for reading as 24-bit rows and
// disposed of: the bookkeeping around each rotated glyph.
void BM_ScratchMakeFillLock(benchmark::State& state) {
  GpSolidFill* brush = nullptr;
  GdipCreateSolidFill(0xFFF0F0F0, &brush);
  for (auto _ : state) {
    GpBitmap* bitmap = nullptr;
    GpGraphics* graphics = nullptr;
    GdipCreateBitmapFromScan0(74, 80, 0, PixelFormat24bppRGB, nullptr, &bitmap);
    GdipGetImageGraphicsContext(bitmap, &graphics);
    GdipFillRectangleI(graphics, brush, 0, 0, 74, 80);
    BitmapData data{};
    const Rect whole(0, 0, 74, 80);
    GdipBitmapLockBits(bitmap, &whole, ImageLockModeRead, PixelFormat24bppRGB, &data);
    benchmark::DoNotOptimize(data.Scan0);
    GdipBitmapUnlockBits(bitmap, &data);
    GdipDeleteGraphics(graphics);
    GdipDisposeImage(bitmap);
  }
  GdipDeleteBrush(brush);
}
BENCHMARK(BM_ScratchMakeFillLock);

// Stretches from a 62x81 scratch image into a cell `cellWidth` wide and 70
// tall, each call's target and source rectangles from `next()`.
template <typename NextRectangles>
void StretchGlyphs(benchmark::State& state, INT cellWidth, NextRectangles next) {
  GpBitmap* source = nullptr;
  GpBitmap* target = nullptr;
  GpGraphics* graphics = nullptr;
  GdipCreateBitmapFromScan0(62, 81, 0, PixelFormat24bppRGB, nullptr, &source);
  GdipCreateBitmapFromScan0(cellWidth, 70, 0, PixelFormat24bppRGB, nullptr, &target);
  GdipGetImageGraphicsContext(target, &graphics);
  GdipSetInterpolationMode(graphics, InterpolationModeHighQualityBicubic);
  for (auto _ : state) {
    const auto [to, from] = next();
    GdipDrawImageRectRectI(graphics, source, to.X, to.Y, to.Width, to.Height, from.X, from.Y,
                           from.Width, from.Height, UnitPixel, nullptr, nullptr, nullptr);
  }
  GdipDeleteGraphics(graphics);
  GdipDisposeImage(target);
  GdipDisposeImage(source);
}

// Glyph stretches of ink boxes of ever different sizes, as a picture's cells
// have them: a few hundred size pairs, whose weight tables stay kept.
void BM_StretchGlyphsOfVaryingSize(benchmark::State& state) {
  int next = 0;
  StretchGlyphs(state, 16, [&next] {
    const INT inkWidth = 36 + next % 17, inkHeight = 48 + next % 13, margin = next % 11;
    ++next;
    return std::pair(Rect(0, margin, 16, 70 - margin - 3), Rect(3, 4, inkWidth, inkHeight));
  });
}
BENCHMARK(BM_StretchGlyphsOfVaryingSize);

// The two stretches of a picture on the baseline (SSE2) passes, as on
// processors without AVX2: compare with the runs above.
void BM_StretchOnBaselinePasses(benchmark::State& state) {
  GlimmarkTest_UseBaselineInstructionsOnly(true);
  if (state.range(0) == 0) {
    Stretch(state, 192, 70, Rect(1, 1, 190, 68), kWidth, kHeight);
  } else {
    Stretch(state, 62, 81, Rect(6, 9, 48, 60), 16, 70);
  }
  GlimmarkTest_UseBaselineInstructionsOnly(false);
}
BENCHMARK(BM_StretchOnBaselinePasses)->ArgName("glyph")->Arg(0)->Arg(1);

// Glyph stretches cycling through the ink boxes and cells of real pictures
// (ink 33-59 px tall into cells 52-70 px tall, 17-53 px wide into 14-18):
// about 700 weight tables, more than a small cache keeps.
void BM_StretchGlyphsOfPictureSizes(benchmark::State& state) {
  std::mt19937 random(3);
  StretchGlyphs(state, 18, [&random] {
    const INT inkWidth = 17 + INT(random() % 37), inkHeight = 33 + INT(random() % 27);
    const INT cellWidth = 14 + INT(random() % 5), cellHeight = 52 + INT(random() % 19);
    return std::pair(Rect(0, 0, cellWidth, cellHeight), Rect(2, 3, inkWidth, inkHeight));
  });
}
BENCHMARK(BM_StretchGlyphsOfPictureSizes);

void BM_GifThroughGdiplus(benchmark::State& state) {
  GpBitmap* bitmap = MakePicture();
  for (auto _ : state) {
    IStream* stream = nullptr;
    CreateStreamOnHGlobal(nullptr, TRUE, &stream);
    if (GdipSaveImageToStream(bitmap, stream, &kGifClsid, nullptr) != Ok)
      state.SkipWithError("save");
    stream->Release();
  }
  GdipDisposeImage(bitmap);
}
BENCHMARK(BM_GifThroughGdiplus);

}  // namespace

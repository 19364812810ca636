// Rendering and output of one challenge picture, warm, with a breakdown of
// its steps and a libjpeg-turbo-only encode of the same size for comparison.
#include <benchmark/benchmark.h>

#define XMD_H  // the Windows headers define INT32 already
#include <jpeglib.h>

// The Windows headers build on one another in this order.
// clang-format off
#include <windows.h>

#include <ole2.h>

#include <gdiplus.h>
// clang-format on

#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "component/cglimmark.h"
#include "output/encoder_lookup.h"
#include "output/image_encoding.h"
#include "render/font_selection.h"
#include "render/glyph_cell.h"
#include "render/noise_curve.h"
#include "render/render_image.h"
#include "testing/glimmark_client.h"
#include "testing/libjpeg_reference.h"
#include "text/random_source.h"

namespace {

// One object kept for the whole run, as a page host would keep its process warm.
class WarmObject {
 public:
  WarmObject() {
    IGlimmark* created = nullptr;
    CreateGlimmark(&created);
    object_ = Implementation(created);
  }
  ~WarmObject() { static_cast<IGlimmark*>(object_)->Release(); }
  CGlimmark& Get() { return *object_; }
  ChallengeSettings& Settings() { return *object_->Settings(); }

 private:
  CGlimmark* object_ = nullptr;
};

// The fastest repetition: on a machine shared with other work the median
// moves with the load, the fastest run much less.
double Fastest(const std::vector<double>& times) {
  return *std::min_element(times.begin(), times.end());
}

void SaveToVarOnce(CGlimmark& object) {
  VARIANT bytes;
  VariantInit(&bytes);
  object.SaveToVar(&bytes);
  benchmark::DoNotOptimize(bytes.parray);
  VariantClear(&bytes);
}

// args: width, height, text length, curves, format
void BM_SaveToVar(benchmark::State& state) {
  WarmObject warm;
  warm.Get().SetSize(static_cast<LONG>(state.range(0)), static_cast<LONG>(state.range(1)));
  const std::u16string text = std::u16string(u"Captcha Test Captcha Test Captcha")
                                  .substr(0, static_cast<size_t>(state.range(2)));
  CopyBoundedText(warm.Settings().text, text.c_str());
  warm.Get().SetLines(static_cast<LONG>(state.range(3)), 4);
  warm.Get().SetOutputFormat(static_cast<LONG>(state.range(4)), 85);
  SaveToVarOnce(warm.Get());  // warm the font cache
  for (auto _ : state) SaveToVarOnce(warm.Get());
}
BENCHMARK(BM_SaveToVar)
    ->ArgNames({"w", "h", "chars", "curves", "fmt"})
    ->Args({200, 70, 12, 2, 2})  // the defaults, JPEG
    ->Args({200, 70, 12, 2, 1})  // the defaults, GIF
    ->Args({200, 70, 4, 2, 2})
    ->Args({200, 70, 24, 2, 2})
    ->Args({400, 140, 12, 2, 2})
    ->Args({800, 280, 12, 2, 2})
    ->Args({200, 70, 12, 0, 2})
    ->Args({200, 70, 12, 10, 2})
    ->ComputeStatistics("fastest", Fastest)
    ->Unit(benchmark::kMicrosecond);

// Resident memory of this process in KiB, from /proc/self/statm.
double ResidentKib() {
  long total = 0, resident = 0;
  FILE* statm = std::fopen("/proc/self/statm", "r");
  if (statm == nullptr) return 0;
  if (std::fscanf(statm, "%ld %ld", &total, &resident) != 2) resident = 0;
  std::fclose(statm);
  return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / 1024.0;
}

// Memory over many default pictures, each with a new text: resident size
// after a warm-up and at the end. GLIMMARK_RSS_PICTURES sets the count
// (default 10,000; BENCHMARKS.md has a million).
void BM_ResidentOverManyPictures(benchmark::State& state) {
  constexpr int kWarmUpPictures = 1000;  // fills the font, glyph and kernel caches
  const char* chosen = std::getenv("GLIMMARK_RSS_PICTURES");
  const long pictures = chosen != nullptr ? std::atol(chosen) : 10000;
  WarmObject warm;
  for (int i = 0; i < kWarmUpPictures; ++i) {
    warm.Get().SetRandomText(12, 12);
    SaveToVarOnce(warm.Get());
  }
  const double warmKib = ResidentKib();
  for (auto _ : state) {
    for (long i = 0; i < pictures; ++i) {
      warm.Get().SetRandomText(12, 12);
      SaveToVarOnce(warm.Get());
    }
  }
  state.counters["pictures"] = static_cast<double>(pictures);
  state.counters["rss_warm_kib"] = warmKib;
  state.counters["rss_end_kib"] = ResidentKib();
}
BENCHMARK(BM_ResidentOverManyPictures)->Iterations(1)->Unit(benchmark::kSecond);

// The rendering alone, onto a kept bitmap.
void BM_RenderImage(benchmark::State& state) {
  WarmObject warm;
  GraphicsImage output(200, 70);
  RenderImage(&warm.Settings(), output);
  for (auto _ : state) RenderImage(&warm.Settings(), output);
}
BENCHMARK(BM_RenderImage)->Unit(benchmark::kMicrosecond);

void BM_StepFont(benchmark::State& state) {
  WarmObject warm;
  for (auto _ : state) {
    ChooseFontFamily(&warm.Settings());
    KeepFont(&warm.Settings(),
             CreateFontWithFallback(warm.Settings().fontName, 70.0f, Gdiplus::FontStyleRegular,
                                    Gdiplus::UnitPixel));
  }
}
BENCHMARK(BM_StepFont)->Unit(benchmark::kMicrosecond);

// Twelve glyph cells of 16 by 70 with their placement on a canvas.
void BM_StepGlyphCells(benchmark::State& state) {
  WarmObject warm;
  ChooseFontFamily(&warm.Settings());
  KeepFont(&warm.Settings(), CreateFontWithFallback(warm.Settings().fontName, 70.0f,
                                                    Gdiplus::FontStyleRegular, Gdiplus::UnitPixel));
  GraphicsImage canvas(192, 70);
  GraphicsContext context(canvas);
  for (auto _ : state) {
    for (int i = 0; i < 12; ++i) {
      GraphicsImage cell(16, 70);
      DrawGlyphCell(&warm.Settings(), &warm.Settings().text[i], cell);
      context.DrawImage(cell, 16 * i, 0);
    }
  }
}
BENCHMARK(BM_StepGlyphCells)->Unit(benchmark::kMicrosecond);

void BM_StepCurves(benchmark::State& state) {
  WarmObject warm;
  GraphicsImage canvas(192, 70);
  GraphicsContext context(canvas);
  context.SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
  for (auto _ : state) {
    DrawNoiseCurve(&warm.Settings(), context, 192, 70);
    DrawNoiseCurve(&warm.Settings(), context, 192, 70);
  }
}
BENCHMARK(BM_StepCurves)->Unit(benchmark::kMicrosecond);

void BM_StepFinalScaling(benchmark::State& state) {
  WarmObject warm;
  GraphicsImage canvas(192, 70);
  GraphicsImage output(200, 70);
  for (auto _ : state) ScaleOntoOutput(canvas, output);
}
BENCHMARK(BM_StepFinalScaling)->Unit(benchmark::kMicrosecond);

void BM_StepEncodeJpegThroughStream(benchmark::State& state) {
  WarmObject warm;
  warm.Get().SetLines(0, 4);
  CopyBoundedText(warm.Settings().text, OLESTR(""));  // nothing drawn: encoding alone
  for (auto _ : state) SaveToVarOnce(warm.Get());
}
BENCHMARK(BM_StepEncodeJpegThroughStream)->Unit(benchmark::kMicrosecond);

// Default pictures, rendered beforehand, encoded as GIF into a memory
// stream: the palette and the LZW compressor without the drawing. Pictures
// take turns, so that the processor cannot learn one picture's branches.
void BM_StepEncodeGif(benchmark::State& state) {
  constexpr int kPictures = 16;
  WarmObject warm;
  std::vector<std::unique_ptr<GraphicsImage>> pictures;
  for (int i = 0; i < kPictures; ++i) {
    pictures.push_back(std::make_unique<GraphicsImage>(200, 70));
    RenderImage(&warm.Settings(), *pictures.back());
  }
  CLSID gif{};
  if (FindEncoderClsid(OLESTR("image/gif"), &gif) < 0) {
    state.SkipWithError("no GIF encoder");
    return;
  }
  size_t turn = 0;
  for (auto _ : state) {
    IStream* stream = nullptr;
    CreateStreamOnHGlobal(nullptr, TRUE, &stream);
    Gdiplus::DllExports::GdipSaveImageToStream(pictures[turn++ % kPictures]->Handle(), stream, &gif,
                                               nullptr);
    stream->Release();
  }
}
BENCHMARK(BM_StepEncodeGif)->Unit(benchmark::kMicrosecond);

// The floor: the default size encoded by libjpeg-turbo alone, into memory,
// quality 85, from a buffer of RGB pixels.
class LibjpegTurboFloor {
 public:
  LibjpegTurboFloor() : pixels_(static_cast<size_t>(kWidth) * kHeight * 3, 255) {
    for (size_t i = 0; i < pixels_.size(); i += 7) pixels_[i] = static_cast<unsigned char>(i);
  }
  void EncodeOnce() {
    const auto file = glimmark_testing::EncodeWithLibjpeg(pixels_.data(), kWidth * 3, kWidth,
                                                          kHeight, 3, JCS_RGB, 85);
    benchmark::DoNotOptimize(file.size);
  }

 private:
  static constexpr int kWidth = 200, kHeight = 70;
  std::vector<unsigned char> pixels_;
};

void BM_LibjpegTurboOnly(benchmark::State& state) {
  LibjpegTurboFloor floor;
  for (auto _ : state) floor.EncodeOnce();
}
BENCHMARK(BM_LibjpegTurboOnly)
    ->ComputeStatistics("fastest", Fastest)
    ->Unit(benchmark::kMicrosecond);

// CPU time of this thread, in seconds: what the other processes on a shared
// machine take does not count.
double ThreadSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

// The default picture as JPEG and as GIF over the floor, in thread CPU time,
// the three taking turns one encode at a time so that a swing of the
// machine's load weighs on all of them alike. Counters: jpeg_x and gif_x,
// the ratios over all iterations, and each one's mean thread CPU time.
void BM_DefaultPictureOverFloor(benchmark::State& state) {
  LibjpegTurboFloor floor;
  WarmObject jpeg, gif;
  jpeg.Get().SetOutputFormat(2, 85);
  gif.Get().SetOutputFormat(1, 85);
  SaveToVarOnce(jpeg.Get());  // warm the font cache
  SaveToVarOnce(gif.Get());
  double floorSeconds = 0, jpegSeconds = 0, gifSeconds = 0;
  for (auto _ : state) {
    double start = ThreadSeconds();
    floor.EncodeOnce();
    double end = ThreadSeconds();
    floorSeconds += end - start;
    start = end;
    SaveToVarOnce(jpeg.Get());
    end = ThreadSeconds();
    jpegSeconds += end - start;
    start = end;
    SaveToVarOnce(gif.Get());
    gifSeconds += ThreadSeconds() - start;
  }
  state.counters["jpeg_x"] = jpegSeconds / floorSeconds;
  state.counters["gif_x"] = gifSeconds / floorSeconds;
  const double perIteration = 1e6 / static_cast<double>(state.iterations());
  state.counters["floor_us"] = floorSeconds * perIteration;
  state.counters["jpeg_us"] = jpegSeconds * perIteration;
  state.counters["gif_us"] = gifSeconds * perIteration;
}
BENCHMARK(BM_DefaultPictureOverFloor)->Unit(benchmark::kMicrosecond);

}  // namespace

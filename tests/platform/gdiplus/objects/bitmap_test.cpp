// Bitmaps, pixel locking, handle checking, start-up and the allocator.
#include <algorithm>
#include <cstring>
#include <map>
#include <random>
#include <thread>
#include <vector>

#include "gdiplus/objects/handle_registry.h"
#include "gdiplus/objects/startup_state.h"
#include "glimmark_test_seams.h"
#include "platform/gdiplus/gdiplus_test_support.h"

namespace gdiplus_test {
namespace {

using BitmapTest = GdiplusTest;

TEST_F(BitmapTest, SizeReadsBackAndNewBitmapIsBlack) {
  Canvas canvas(37, 11);
  EXPECT_EQ(canvas.Width(), 37);
  EXPECT_EQ(canvas.Height(), 11);
  EXPECT_EQ(Pixels(canvas.bitmap()).CountInk({0, 0, 0}), 0);
}

TEST_F(BitmapTest, LockGivesBlueGreenRedRowsStrideApart) {
  Canvas canvas(7, 5);  // 21 bytes a row: the stride pads it
  canvas.FillAll(0xFF102030);
  canvas.Fill(0xFFA1B2C3, 2, 1, 3, 2);
  BitmapData data{};
  ASSERT_EQ(
      GdipBitmapLockBits(canvas.bitmap(), nullptr, ImageLockModeRead, PixelFormat24bppRGB, &data),
      Ok);
  EXPECT_EQ(data.Width, 7u);
  EXPECT_EQ(data.Height, 5u);
  EXPECT_EQ(data.PixelFormat, PixelFormat24bppRGB);
  EXPECT_GE(data.Stride, 21);
  EXPECT_EQ(data.Stride % 4, 0);
  const BYTE* scan0 = static_cast<const BYTE*>(data.Scan0);
  for (INT y = 0; y < 5; ++y) {
    for (INT x = 0; x < 7; ++x) {
      const BYTE* p = scan0 + y * data.Stride + 3 * x;
      const bool inside = x >= 2 && x < 5 && y >= 1 && y < 3;
      const BYTE expected[3] = {BYTE(inside ? 0xC3 : 0x30), BYTE(inside ? 0xB2 : 0x20),
                                BYTE(inside ? 0xA1 : 0x10)};
      EXPECT_EQ(std::memcmp(p, expected, 3), 0) << x << "," << y;
    }
  }
  EXPECT_EQ(GdipBitmapUnlockBits(canvas.bitmap(), &data), Ok);
}

TEST_F(BitmapTest, WriteLockStoresPixelsAndSubRectangleLocks) {
  Canvas canvas(6, 4);
  Rect area(1, 1, 2, 2);
  BitmapData data{};
  ASSERT_EQ(
      GdipBitmapLockBits(canvas.bitmap(), &area, ImageLockModeWrite, PixelFormat24bppRGB, &data),
      Ok);
  for (INT y = 0; y < 2; ++y) {
    BYTE* row = static_cast<BYTE*>(data.Scan0) + y * data.Stride;
    for (INT x = 0; x < 2; ++x) row[3 * x] = 200, row[3 * x + 1] = 100, row[3 * x + 2] = 50;
  }
  ASSERT_EQ(GdipBitmapUnlockBits(canvas.bitmap(), &data), Ok);
  Pixels pixels(canvas.bitmap());
  EXPECT_EQ(pixels.At(1, 1), (Rgb{50, 100, 200}));
  EXPECT_EQ(pixels.At(2, 2), (Rgb{50, 100, 200}));
  EXPECT_EQ(pixels.CountInk({0, 0, 0}), 4);
}

// Rows are copied a pixel at a time with word-wide stores: every width, both
// formats, and a caller's buffer with a tight stride must come out exact,
// with nothing written past a row's last pixel.
TEST_F(BitmapTest, LocksCopyEveryPixelOfEveryWidthExactly) {
  auto colourAt = [](INT x, INT y) { return Rgb{BYTE(17 * x + 3), BYTE(29 * y + 5), BYTE(x * y)}; };
  for (INT width = 1; width <= 9; ++width) {
    Canvas canvas(width + 2, 3);
    Paint(canvas, colourAt);
    const Rect area(1, 1, width, 2);
    for (const PixelFormat format : {PixelFormat24bppRGB, PixelFormat32bppRGB}) {
      const INT bytes = format == PixelFormat24bppRGB ? 3 : 4;
      std::vector<BYTE> buffer(size_t(bytes * width * 2 + 1), 0xEE);  // tight rows + a sentinel
      BitmapData data{};
      data.Scan0 = buffer.data();
      data.Stride = bytes * width;
      ASSERT_EQ(GdipBitmapLockBits(canvas.bitmap(), &area,
                                   ImageLockModeRead | ImageLockModeUserInputBuf, format, &data),
                Ok);
      for (INT y = 0; y < 2; ++y) {
        for (INT x = 0; x < width; ++x) {
          const BYTE* p = &buffer[size_t(y * data.Stride + bytes * x)];
          const Rgb expected = colourAt(x + 1, y + 1);
          EXPECT_EQ((Rgb{p[2], p[1], p[0]}), expected) << width << " " << x << "," << y;
          if (bytes == 4) {
            EXPECT_EQ(p[3], 0xFF);
          }
        }
      }
      EXPECT_EQ(buffer.back(), 0xEE) << "written past the last row at width " << width;
      ASSERT_EQ(GdipBitmapUnlockBits(canvas.bitmap(), &data), Ok);
    }
  }
}

// A write-only lock's buffer starts as the pixels (never as stale memory):
// what the caller leaves alone stays as it was.
TEST_F(BitmapTest, WriteOnlyLockKeepsThePixelsItsCallerSkips) {
  Canvas canvas(5, 3);
  canvas.FillAll(0xFF406080);
  BitmapData data{};
  ASSERT_EQ(
      GdipBitmapLockBits(canvas.bitmap(), nullptr, ImageLockModeWrite, PixelFormat24bppRGB, &data),
      Ok);
  BYTE* pixel = static_cast<BYTE*>(data.Scan0) + data.Stride + 3 * 2;
  pixel[0] = 1, pixel[1] = 2, pixel[2] = 3;
  ASSERT_EQ(GdipBitmapUnlockBits(canvas.bitmap(), &data), Ok);
  const Pixels pixels(canvas.bitmap());
  EXPECT_EQ(pixels.At(2, 1), (Rgb{3, 2, 1}));
  EXPECT_EQ(pixels.CountInk(RgbOf(0xFF406080)), 1);
}

TEST_F(BitmapTest, LockStateIsChecked) {
  Canvas canvas(4, 4);
  BitmapData data{};
  EXPECT_EQ(GdipBitmapUnlockBits(canvas.bitmap(), &data), WrongState);
  ASSERT_EQ(
      GdipBitmapLockBits(canvas.bitmap(), nullptr, ImageLockModeRead, PixelFormat24bppRGB, &data),
      Ok);
  BitmapData second{};
  EXPECT_EQ(
      GdipBitmapLockBits(canvas.bitmap(), nullptr, ImageLockModeRead, PixelFormat24bppRGB, &second),
      WrongState);
  BitmapData forged = data;
  forged.Scan0 = &second;
  EXPECT_EQ(GdipBitmapUnlockBits(canvas.bitmap(), &forged), InvalidParameter);
  EXPECT_EQ(GdipBitmapUnlockBits(canvas.bitmap(), &data), Ok);
}

TEST_F(BitmapTest, BadLockArgumentsAreRefused) {
  Canvas canvas(4, 4);
  BitmapData data{};
  const Rect outside(2, 2, 3, 3), empty(0, 0, 0, 2), negative(-1, 0, 2, 2);
  for (const Rect* area : {&outside, &empty, &negative}) {
    EXPECT_EQ(
        GdipBitmapLockBits(canvas.bitmap(), area, ImageLockModeRead, PixelFormat24bppRGB, &data),
        InvalidParameter);
  }
  EXPECT_EQ(GdipBitmapLockBits(canvas.bitmap(), nullptr, 0, PixelFormat24bppRGB, &data),
            InvalidParameter);
  EXPECT_EQ(GdipBitmapLockBits(canvas.bitmap(), nullptr, ImageLockModeRead, 0x12345, &data),
            InvalidParameter);
  EXPECT_EQ(
      GdipBitmapLockBits(canvas.bitmap(), nullptr, ImageLockModeRead, PixelFormat24bppRGB, nullptr),
      InvalidParameter);
}

TEST_F(BitmapTest, BadSizesFailWithoutABitmap) {
  struct Case {
    INT width, height;
    Status expected;
  };
  const Case cases[] = {{0, 10, InvalidParameter},     {10, 0, InvalidParameter},
                        {-5, 10, InvalidParameter},    {10, -5, InvalidParameter},
                        {40000, 10, InvalidParameter}, {INT32_MIN, 1, InvalidParameter},
                        {20000, 20000, OutOfMemory},   {32767, 32767, OutOfMemory}};
  for (const Case& c : cases) {
    GpBitmap* bitmap = reinterpret_cast<GpBitmap*>(0x1);
    EXPECT_EQ(
        GdipCreateBitmapFromScan0(c.width, c.height, 0, PixelFormat24bppRGB, nullptr, &bitmap),
        c.expected)
        << c.width << "x" << c.height;
    EXPECT_EQ(bitmap, nullptr);
  }
  EXPECT_EQ(GdipCreateBitmapFromScan0(10, 10, 0, PixelFormat24bppRGB, nullptr, nullptr),
            InvalidParameter);
  EXPECT_EQ(GdipCreateBitmapFromScan0(10, 10, 0, 0x7777, nullptr, nullptr), InvalidParameter);
}

TEST_F(BitmapTest, WrongHandlesAreRefused) {
  int notAnObject = 0;
  auto* foreign = reinterpret_cast<GpBitmap*>(&notAnObject);
  UINT size = 0;
  EXPECT_EQ(GdipGetImageWidth(foreign, &size), InvalidParameter);
  EXPECT_EQ(GdipGetImageHeight(nullptr, &size), InvalidParameter);
  EXPECT_EQ(GdipDisposeImage(foreign), InvalidParameter);

  GpBitmap* bitmap = nullptr;
  ASSERT_EQ(GdipCreateBitmapFromScan0(3, 3, 0, PixelFormat24bppRGB, nullptr, &bitmap), Ok);
  EXPECT_EQ(GdipGetImageWidth(bitmap, nullptr), InvalidParameter);
  // A bitmap is not a brush, a graphics context or a font.
  EXPECT_EQ(GdipDeleteBrush(reinterpret_cast<GpBrush*>(bitmap)), InvalidParameter);
  EXPECT_EQ(GdipDeleteGraphics(reinterpret_cast<GpGraphics*>(bitmap)), InvalidParameter);
  EXPECT_EQ(GdipDeleteFont(reinterpret_cast<GpFont*>(bitmap)), InvalidParameter);
  ASSERT_EQ(GdipDisposeImage(bitmap), Ok);
  // Stale now.
  EXPECT_EQ(GdipGetImageWidth(bitmap, &size), InvalidParameter);
  EXPECT_EQ(GdipDisposeImage(bitmap), InvalidParameter);
  GpGraphics* graphics = nullptr;
  EXPECT_EQ(GdipGetImageGraphicsContext(bitmap, &graphics), InvalidParameter);
  EXPECT_EQ(graphics, nullptr);
}

// 24-bit read locks squeeze four-byte pixels with SSSE3 where there is one
// and with SSE2 otherwise: both must give every width's bytes exactly,
// including the pixels after the last whole 16-byte store.
TEST_F(BitmapTest, TwentyFourBitLocksMatchOnEveryInstructionSet) {
  std::mt19937 random(7);
  for (INT width = 1; width <= 37; ++width) {
    Canvas canvas(width, 3);
    std::vector<Rgb> pattern(size_t(width) * 3);
    for (Rgb& p : pattern) p = {BYTE(random()), BYTE(random()), BYTE(random())};
    Paint(canvas, [&](INT x, INT y) { return pattern[size_t(y) * width + x]; });
    for (bool baseline : {false, true}) {
      GlimmarkTest_UseBaselineInstructionsOnly(baseline);
      const Pixels pixels(canvas.bitmap());
      for (INT y = 0; y < 3; ++y) {
        for (INT x = 0; x < width; ++x) {
          ASSERT_EQ(pixels.At(x, y), pattern[size_t(y) * width + x])
              << "width " << width << " at " << x << "," << y << " baseline " << baseline;
        }
      }
    }
    GlimmarkTest_UseBaselineInstructionsOnly(false);
  }
}

// A new bitmap's memory is cleared only when first read or partly kept, so
// each way of touching a fresh bitmap must find it black. The memory is made
// dirty first: a same-sized bitmap filled and disposed of just before (the
// allocator tends to hand the block out again; sanitizer builds fill it).
class FreshBitmapTest : public GdiplusTest {
 protected:
  static constexpr INT kSide = 40;
  static constexpr ARGB kDirt = 0xFF5A3C1E;
  void DirtyTheHeap() {
    Canvas used(kSide, kSide);
    used.FillAll(kDirt);
  }
};

TEST_F(FreshBitmapTest, ReadsBlackOutsideWhatWasDrawn) {
  const Rgb black{0, 0, 0};
  {
    DirtyTheHeap();
    Canvas canvas(kSide, kSide);
    canvas.Fill(kOpaqueWhite, 10, 10, 5, 5);  // partial: the rest must be black
    const Pixels pixels(canvas.bitmap());
    EXPECT_EQ(pixels.CountInk(black), 25);
  }
  {
    DirtyTheHeap();
    Canvas canvas(kSide, kSide);
    canvas.FillAll(0x80FFFFFF);  // whole but translucent: blends with black
    const Pixels pixels(canvas.bitmap());
    EXPECT_EQ(pixels.CountInk({128, 128, 128}), 0);
  }
  {
    DirtyTheHeap();
    Canvas canvas(kSide, kSide);
    GpPen* pen = nullptr;
    ASSERT_EQ(GdipCreatePen1(kOpaqueWhite, 2.0f, UnitPixel, &pen), Ok);
    EXPECT_EQ(GdipDrawBezierI(canvas.graphics(), pen, 0, 0, 5, 0, 10, 0, 15, 0), Ok);
    GdipDeletePen(pen);
    const Pixels pixels(canvas.bitmap());
    EXPECT_EQ(pixels.At(kSide - 1, kSide - 1), black);
    EXPECT_EQ(pixels.At(20, 20), black);
  }
  {
    DirtyTheHeap();
    Canvas source(kSide, kSide);  // never drawn on
    Canvas target(kSide, kSide);
    target.FillAll(kOpaqueWhite);
    ASSERT_EQ(Stretch(target, source, Rect(0, 0, 20, 20), Rect(0, 0, kSide, kSide)), Ok);
    const Pixels pixels(target.bitmap());
    EXPECT_EQ(pixels.At(10, 10), black);
    EXPECT_EQ(pixels.At(30, 30), kWhite);
  }
  {
    DirtyTheHeap();
    Canvas target(kSide, kSide);  // stretched onto in part: the rest stays black
    Canvas source(4, 4);
    source.FillAll(kOpaqueWhite);
    ASSERT_EQ(Stretch(target, source, Rect(0, 0, 10, kSide), Rect(0, 0, 4, 4)), Ok);
    const Pixels pixels(target.bitmap());
    EXPECT_EQ(pixels.At(5, 5), kWhite);
    EXPECT_EQ(pixels.At(30, 30), black);
  }
}

TEST_F(FreshBitmapTest, SourceDrawnThroughATransformIsBlack) {
  DirtyTheHeap();
  Canvas source(kSide, kSide);
  Canvas target(kSide, kSide);
  target.FillAll(kOpaqueWhite);
  GpMatrix* matrix = nullptr;
  ASSERT_EQ(GdipCreateMatrix(&matrix), Ok);
  ASSERT_EQ(GdipRotateMatrix(matrix, 10.0f, MatrixOrderPrepend), Ok);
  ASSERT_EQ(GdipMultiplyWorldTransform(target.graphics(), matrix, MatrixOrderPrepend), Ok);
  GdipDeleteMatrix(matrix);
  ASSERT_EQ(GdipDrawImageI(target.graphics(), source.bitmap(), 0, 0), Ok);
  EXPECT_EQ(Pixels(target.bitmap()).At(20, 20), (Rgb{0, 0, 0}));
}

// Thousands of handles made and disposed in a scrambled order: the table
// grows, and every removal must keep the others findable (a removal that broke
// a probe run would make a live bitmap look unknown).
TEST_F(BitmapTest, HandlesStayTrackedThroughGrowthAndScrambledDisposal) {
  constexpr int kBitmaps = 3000;
  std::mt19937 random(20261208);
  std::map<GpBitmap*, UINT> live;  // handle -> its width
  std::vector<GpBitmap*> disposed;
  auto expectTracked = [&] {
    UINT width = 0;
    for (const auto& [bitmap, expected] : live) {
      ASSERT_EQ(GdipGetImageWidth(bitmap, &width), Ok);
      ASSERT_EQ(width, expected);
    }
    for (GpBitmap* gone : disposed) {
      if (!live.contains(gone)) {
        ASSERT_EQ(GdipGetImageWidth(gone, &width), InvalidParameter);
      }
    }
  };
  for (int i = 0; i < kBitmaps; ++i) {
    GpBitmap* bitmap = nullptr;
    const INT width = 1 + i % 61;
    ASSERT_EQ(GdipCreateBitmapFromScan0(width, 1, 0, PixelFormat24bppRGB, nullptr, &bitmap), Ok);
    live[bitmap] = UINT(width);
    if (random() % 3 == 0) {  // dispose of a random live one now and then
      auto victim = std::next(live.begin(), std::ptrdiff_t(random() % live.size()));
      ASSERT_EQ(GdipDisposeImage(victim->first), Ok);
      disposed.push_back(victim->first);
      live.erase(victim);
    }
    if (i % 500 == 0) expectTracked();
  }
  expectTracked();
  std::vector<GpBitmap*> rest;
  for (const auto& entry : live) rest.push_back(entry.first);
  std::shuffle(rest.begin(), rest.end(), random);
  for (size_t i = 0; i < rest.size(); ++i) {
    ASSERT_EQ(GdipDisposeImage(rest[i]), Ok);
    disposed.push_back(rest[i]);
    live.erase(rest[i]);
    if (i % 400 == 0) expectTracked();
  }
  expectTracked();
}

// A thread remembers the handles it found live; one disposed of by another
// thread since must be refused all the same, and one remembered as a bitmap
// is still no brush.
TEST_F(BitmapTest, HandleFoundLiveThenDisposedElsewhereIsRefused) {
  GpBitmap* bitmap = nullptr;
  ASSERT_EQ(GdipCreateBitmapFromScan0(4, 4, 0, PixelFormat24bppRGB, nullptr, &bitmap), Ok);
  UINT width = 0;
  ASSERT_EQ(GdipGetImageWidth(bitmap, &width), Ok);
  ASSERT_EQ(GdipGetImageWidth(bitmap, &width), Ok);
  EXPECT_EQ(GdipDeleteBrush(reinterpret_cast<GpBrush*>(bitmap)), InvalidParameter);
  std::thread([bitmap] { EXPECT_EQ(GdipDisposeImage(bitmap), Ok); }).join();
  EXPECT_EQ(GdipGetImageWidth(bitmap, &width), InvalidParameter);
  EXPECT_EQ(GdipDisposeImage(bitmap), InvalidParameter);
}

// The thread that makes an object remembers it as live at once; a removal
// on another thread must still be seen.
TEST_F(BitmapTest, HandleMadeThenDisposedElsewhereIsRefused) {
  GpBitmap* bitmap = nullptr;
  ASSERT_EQ(GdipCreateBitmapFromScan0(4, 4, 0, PixelFormat24bppRGB, nullptr, &bitmap), Ok);
  std::thread([bitmap] { EXPECT_EQ(GdipDisposeImage(bitmap), Ok); }).join();
  UINT width = 0;
  EXPECT_EQ(GdipGetImageWidth(bitmap, &width), InvalidParameter);
}

// Threads making, using and deleting objects at once, all in the table's
// few stripes: every object is found live until deleted, and refused after.
TEST_F(BitmapTest, ThreadsMakingAndDeletingAtOnceSeeOnlyTheirOwnLiveObjects) {
  constexpr int kThreads = 4, kRounds = 20000;
  auto work = [](int thread) {
    for (int round = 0; round < kRounds; ++round) {
      GpMatrix* matrices[3] = {};
      for (GpMatrix*& matrix : matrices) ASSERT_EQ(GdipCreateMatrix(&matrix), Ok);
      for (GpMatrix* matrix : matrices) {
        ASSERT_EQ(GdipTranslateMatrix(matrix, REAL(thread), REAL(round), MatrixOrderAppend), Ok);
        REAL elements[6] = {};
        ASSERT_EQ(GdipGetMatrixElements(matrix, elements), Ok);
        ASSERT_EQ(elements[4], REAL(thread));
        ASSERT_EQ(elements[5], REAL(round));
      }
      for (GpMatrix* matrix : matrices) ASSERT_EQ(GdipDeleteMatrix(matrix), Ok);
      ASSERT_EQ(GdipDeleteMatrix(matrices[0]), InvalidParameter);
    }
  };
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) threads.emplace_back(work, i);
  for (std::thread& thread : threads) thread.join();
}

// A thread's remembered handles start empty, as null: null must never pass
// for a live handle, even before anything was forgotten (ctest runs each test
// in a process of its own, so no removal has been counted here yet).
TEST(HandleRegistryTest, NullIsNeverLive) {
  std::thread([] {
    EXPECT_FALSE(Gdiplus::Internal::IsLiveHandle(nullptr, Gdiplus::Internal::ObjectKind::Bitmap));
  }).join();
  EXPECT_FALSE(Gdiplus::Internal::IsLiveHandle(nullptr, Gdiplus::Internal::ObjectKind::Bitmap));
}

TEST_F(BitmapTest, ContextOutlivingItsBitmapStaysSafe) {
  GpBitmap* bitmap = nullptr;
  GpGraphics* graphics = nullptr;
  ASSERT_EQ(GdipCreateBitmapFromScan0(8, 8, 0, PixelFormat24bppRGB, nullptr, &bitmap), Ok);
  ASSERT_EQ(GdipGetImageGraphicsContext(bitmap, &graphics), Ok);
  ASSERT_EQ(GdipDisposeImage(bitmap), Ok);
  GpSolidFill* brush = nullptr;
  ASSERT_EQ(GdipCreateSolidFill(kOpaqueWhite, &brush), Ok);
  EXPECT_EQ(GdipFillRectangleI(graphics, brush, 0, 0, 8, 8), Ok);
  EXPECT_EQ(GdipDeleteBrush(brush), Ok);
  EXPECT_EQ(GdipDeleteGraphics(graphics), Ok);
}

TEST(GdiplusStartupTest, ObjectsMadeBeforeShutdownStayUsableAndDeletable) {
  GdiplusStartupInput input;
  ULONG_PTR token = 0;
  ASSERT_EQ(GdiplusStartup(&token, &input, nullptr), Ok);
  EXPECT_NE(token, 0u);
  GpBitmap* bitmap = nullptr;
  ASSERT_EQ(GdipCreateBitmapFromScan0(5, 5, 0, PixelFormat24bppRGB, nullptr, &bitmap), Ok);
  GdiplusShutdown(token);
  ASSERT_FALSE(GdiplusIsStarted());

  // Nothing new is made without a start-up...
  GpBitmap* late = nullptr;
  EXPECT_EQ(GdipCreateBitmapFromScan0(5, 5, 0, PixelFormat24bppRGB, nullptr, &late),
            GdiplusNotInitialized);
  GpSolidFill* brush = nullptr;
  EXPECT_EQ(GdipCreateSolidFill(0, &brush), GdiplusNotInitialized);
  // ...but what exists is left as it was, readable and deletable.
  UINT width = 0;
  EXPECT_EQ(GdipGetImageWidth(bitmap, &width), Ok);
  EXPECT_EQ(width, 5u);
  EXPECT_EQ(GdipDisposeImage(bitmap), Ok);
}

TEST(GdiplusStartupTest, TokensAreDistinctAndCounted) {
  GdiplusStartupInput input;
  ULONG_PTR first = 0, second = 0;
  ASSERT_EQ(GdiplusStartup(&first, &input, nullptr), Ok);
  ASSERT_EQ(GdiplusStartup(&second, &input, nullptr), Ok);
  EXPECT_NE(first, second);
  GdiplusShutdown(first);
  EXPECT_TRUE(GdiplusIsStarted());
  GdiplusShutdown(first);  // a used token does nothing
  EXPECT_TRUE(GdiplusIsStarted());
  GdiplusShutdown(second);
  EXPECT_FALSE(GdiplusIsStarted());
}

TEST(GdipAllocTest, ZeroGivesAFreeableBlockAndHugeGivesNull) {
  void* empty = GdipAlloc(0);
  EXPECT_NE(empty, nullptr);
  GdipFree(empty);
  EXPECT_EQ(GdipAlloc(size_t{1} << 40), nullptr);
  EXPECT_EQ(GdipAlloc(SIZE_MAX), nullptr);
  auto* block = static_cast<BYTE*>(GdipAlloc(64));
  ASSERT_NE(block, nullptr);
  std::memset(block, 0xAB, 64);
  GdipFree(block);
  GdipFree(nullptr);
}

}  // namespace
}  // namespace gdiplus_test

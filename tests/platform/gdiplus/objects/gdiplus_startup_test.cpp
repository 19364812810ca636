#include <gdiplus.h>
#include <gtest/gtest.h>

#include "gdiplus/objects/startup_state.h"

namespace {

using namespace Gdiplus;

TEST(GdiplusStartup, CountsLiveStartupsWithDistinctTokens) {
  const int before = GdiplusStartupCount();
  GdiplusStartupInput input;
  ULONG_PTR first = 0;
  ULONG_PTR second = 0;
  ASSERT_EQ(GdiplusStartup(&first, &input, nullptr), Ok);
  ASSERT_EQ(GdiplusStartup(&second, &input, nullptr), Ok);
  EXPECT_NE(first, 0u);
  EXPECT_NE(first, second);
  EXPECT_EQ(GdiplusStartupCount(), before + 2);
  GdiplusShutdown(first);
  EXPECT_EQ(GdiplusStartupCount(), before + 1);
  GdiplusShutdown(first);  // a spent token changes nothing
  GdiplusShutdown(0xDEADBEEF);
  EXPECT_EQ(GdiplusStartupCount(), before + 1);
  GdiplusShutdown(second);
  EXPECT_EQ(GdiplusStartupCount(), before);
}

TEST(GdiplusStartup, RejectsUnknownVersionsAndMissingArguments) {
  const int before = GdiplusStartupCount();
  GdiplusStartupInput input;
  ULONG_PTR token = 0;
  for (UINT32 version : {0u, 2u}) {
    input.GdiplusVersion = version;
    EXPECT_EQ(GdiplusStartup(&token, &input, nullptr), UnsupportedGdiplusVersion);
  }
  input.GdiplusVersion = 1;
  EXPECT_EQ(GdiplusStartup(nullptr, &input, nullptr), InvalidParameter);
  EXPECT_EQ(GdiplusStartup(&token, nullptr, nullptr), InvalidParameter);
  input.SuppressBackgroundThread = TRUE;  // then the hooks must be handed back
  EXPECT_EQ(GdiplusStartup(&token, &input, nullptr), InvalidParameter);
  EXPECT_EQ(GdiplusStartupCount(), before);
}

}  // namespace

#include <gtest/gtest.h>

#include "imaging/core/iebitmap.h"

using namespace redozir;

TEST(IEBitmapBasics, RowLengthsAndFormatsFollowTheAlignment) {
  struct Case { int w; TIEPixelFormat pf; int rowLen; } cases[] = {
      {1, ie1g, 4}, {33, ie1g, 8}, {3, ie24RGB, 12}, {5, ie8g, 8}, {3, ieRGB48, 20}, {2, ie32f, 8},
  };
  for (const auto& c : cases) {
    TIEBitmap b(c.w, 2, c.pf);
    EXPECT_EQ(b.GetRowLen(), c.rowLen) << int(c.pf);
    EXPECT_EQ(b.GetScanline(1) - b.GetScanline(0), c.rowLen);
  }
  EXPECT_EQ(IEBitmapRowLen(10, 24, 8), 30);
}

TEST(IEBitmapBasics, AbsurdSizesAnswerFalseWithAnEmptyBitmap) {
  TIEBitmap b(10, 10, ie24RGB);
  EXPECT_FALSE(b.Allocate(100000, 100000, ie24RGB));
  EXPECT_EQ(b.GetWidth(), 0);
  EXPECT_EQ(b.GetHeight(), 0);
  EXPECT_FALSE(b.Allocate(-1, 5, ie8g));
}

TEST(IEBitmapBasics, AssignCopiesAlphaAndRemovesAStaleOne) {
  TIEBitmap a(4, 3, ie24RGB);
  a.GetScanline(2)[5] = 77;
  a.GetAlphaChannel()->GetScanline(1)[2] = 9;
  TIEBitmap b(1, 1, ie8g);
  b.Assign(&a);
  EXPECT_EQ(b.GetPixelFormat(), ie24RGB);
  EXPECT_EQ(b.GetScanline(2)[5], 77);
  ASSERT_TRUE(b.HasAlphaChannel());
  EXPECT_EQ(b.GetAlpha(2, 1), 9);
  a.RemoveAlphaChannel();
  b.Assign(&a);
  EXPECT_FALSE(b.HasAlphaChannel());
}

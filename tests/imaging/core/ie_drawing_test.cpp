#include <gtest/gtest.h>

#include "imaging/core/ie_drawing.h"

using namespace redozir;

TEST(IEDrawing, ShadowStripsDarkenTowardTheImageAndStayClipped) {
  TBitmap b(12, 10, pf24bit);
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 12; ++x) b.SetPixel(x, y, RGB(200, 200, 200));
  // Image (1,1)-(7,6): right strip from x 7, rows 4..10 (clipped to 9); bottom strip rows 6.., columns 4..6.
  IEDrawShadowRight(nullptr, &b, 7, RGB(200, 200, 200), ieShadowGaussian, 4, 11, 5);
  IEDrawShadowBottom(nullptr, &b, 6, RGB(200, 200, 200), ieShadowGaussian, 4, 7, 5);
  EXPECT_EQ(b.GetPixel(7, 3), RGB(200, 200, 200));  // above the strip
  int prev = 0;
  for (int x = 7; x < 12; ++x) {
    int v = GetRValue(b.GetPixel(x, 5));
    EXPECT_LT(v, 200) << x;
    EXPECT_GT(v, prev) << x;  // lighter away from the image
    prev = v;
  }
  // Next to the image half the light is taken, less half a pixel's falloff.
  EXPECT_EQ(GetRValue(b.GetPixel(7, 5)),
            GetRValue(IEShadowColor(RGB(200, 200, 200), ieShadowGaussian, 0, 5)));
  EXPECT_EQ(b.GetPixel(5, 7), b.GetPixel(8, 5));  // both one pixel from the edge
  EXPECT_EQ(b.GetPixel(3, 7), RGB(200, 200, 200));
  EXPECT_EQ(IEShadowColor(clWhite, ieShadowSolid, 3, 5), RGB(128, 128, 128));
  // Off the bitmap or empty strips draw nothing and do not fail.
  IEDrawShadowRight(nullptr, &b, 2147483640, clWhite, ieShadowGaussian, -5, 100, 50);
  IEDrawShadowBottom(b.Canvas(), nullptr, -100, clWhite, ieShadowSolid, 0, 12, 0);
  IEDrawShadowBottom(nullptr, nullptr, 0, clWhite, ieShadowSolid, 0, 12, 5);
}

TEST(IEDrawing, DialogBackgroundPictures) {
  TBitmap s;
  IEMakeStripesBitmap(&s, 7, 8);
  ASSERT_EQ(s.Width(), 7);
  ASSERT_EQ(s.Height(), 8);
  EXPECT_EQ(s.PixelFormat(), pf24bit);
  EXPECT_EQ(s.GetPixel(0, 0), s.GetPixel(6, 1));
  EXPECT_NE(s.GetPixel(0, 1), s.GetPixel(0, 2));
  EXPECT_EQ(s.GetPixel(3, 2), s.GetPixel(3, 7));
  TBitmap m1, m2;
  IEMakeMetalBitmap(&m1, 40, 30);
  IEMakeMetalBitmap(&m2, 40, 30);
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x) ASSERT_EQ(m1.GetPixel(x, y), m2.GetPixel(x, y));
  // Streaks: neighbours along a row differ much less than rows do.
  long along = 0, across = 0;
  for (int y = 0; y + 1 < 30; ++y)
    for (int x = 0; x + 1 < 40; ++x) {
      along += std::abs(GetGValue(m1.GetPixel(x + 1, y)) - GetGValue(m1.GetPixel(x, y)));
      across += std::abs(GetGValue(m1.GetPixel(x, y + 1)) - GetGValue(m1.GetPixel(x, y)));
    }
  EXPECT_LT(along * 3, across);
  EXPECT_EQ(gIEDialogsBackground, 0);
  TBitmap untouched(3, 3, pf24bit);
  IEMakeMetalBitmap(&untouched, 0, 5);
  EXPECT_EQ(untouched.Width(), 3);
}

#include <gtest/gtest.h>

#include "imaging/core/ie_drawing.h"

using namespace redozir;

TEST(IEHint, BoxStaysInsideAndKeepsWhatWasUnder) {
  TBitmap b(120, 60, pf24bit);
  for (int y = 0; y < 60; ++y)
    for (int x = 0; x < 120; ++x) b.SetPixel(x, y, RGB(x, y, 9));
  TFont font;
  font.Style = fsNone | fsBold;
  font.Color = clBlack;
  TBrush brush;
  brush.Color = 0x60FFFF;
  TSize ts = b.Canvas()->TextExtent("42.5 mm");
  ASSERT_GT(ts.cx, 0);
  int w = ts.cx + 12, h = ts.cy + 12;
  TBitmap saved;
  int x = 110, y = 50;
  TCanvas* c = b.Canvas();
  TFont keep = c->Font;
  c->Font = font;
  TSize bold = c->TextExtent("42.5 mm");
  c->Font = keep;
  w = bold.cx + 12;
  h = bold.cy + 12;
  IEDrawHint(c, x, y, "42.5 mm", font, brush, &saved, 120, 60, clWhite, clGray);
  EXPECT_EQ(x, 120 - w);
  EXPECT_EQ(y, 60 - h);
  ASSERT_EQ(saved.Width(), w);
  ASSERT_EQ(saved.Height(), h);
  EXPECT_EQ(saved.PixelFormat(), pf24bit);
  EXPECT_EQ(saved.GetPixel(0, 0), RGB(x, y, 9));
  EXPECT_EQ(saved.GetPixel(w - 1, h - 1), RGB(x + w - 1, y + h - 1, 9));
  EXPECT_EQ(b.GetPixel(x, y + 3), clWhite);         // light left edge
  EXPECT_EQ(b.GetPixel(x + w - 1, y + 3), clGray);  // dark right edge
  EXPECT_EQ(b.GetPixel(x + 3, y + h - 1), clGray);  // dark bottom edge
  EXPECT_EQ(b.GetPixel(x + 2, y + 2), TColor(0x60FFFF));
  EXPECT_EQ(b.GetPixel(x - 1, y), RGB(x - 1, y, 9));  // nothing outside the box
  int dark = 0;
  for (int yy = y + 6; yy < y + 6 + bold.cy; ++yy)
    for (int xx = x + 6; xx < x + 6 + bold.cx; ++xx) dark += b.GetPixel(xx, yy) != TColor(0x60FFFF);
  EXPECT_GT(dark, 10);  // the text is there
  EXPECT_EQ(c->Font, keep);
  // Putting the saved area back restores the picture.
  c->Draw(x, y, saved);
  for (int yy = 0; yy < 60; ++yy)
    for (int xx = 0; xx < 120; ++xx) ASSERT_EQ(b.GetPixel(xx, yy), RGB(xx, yy, 9));
  // A position left of or above the area is taken as 0.
  x = -40;
  y = -3;
  IEDrawHint(c, x, y, "1", font, brush, nullptr, 120, 60);
  EXPECT_EQ(x, 0);
  EXPECT_EQ(y, 0);
}

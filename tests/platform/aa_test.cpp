#include <gtest/gtest.h>

#include "draw_test_util.h"
#include "platform/aa.h"
#include "platform/canvas.h"

using namespace redozir;

namespace {
int Grey(const TBitmap& b, int x, int y) { return GetRValue(b.GetPixel(x, y)); }
}  // namespace

TEST(AntiAliased, WholePixelShapesAreExactInEveryFormat) {
  for (TPixelFormat pf : kDrawFormats) {
    TBitmap b;
    WhiteBitmap(b, 5, 4, pf);
    TAAPath p;
    p.AddRectangle(1, 1, 3, 2);
    TAARenderer(b).Fill(p, clBlack);
    EXPECT_EQ(Picture(b), Rows({".....", ".###.", ".###.", "....."})) << pf;
  }
}

TEST(AntiAliased, PathsBeyondTheRasterRangeDrawNothing) {
  TBitmap b;
  WhiteBitmap(b, 5, 4, pf24bit);
  TAAPath p;
  p.AddRectangle(-1e9, -1e9, 2e9, 2e9);
  TAARenderer(b).Fill(p, clBlack);
  EXPECT_EQ(Picture(b), Rows({".....", ".....", ".....", "....."}));
}

TEST(AntiAliased, CoverageAndAlphaBlend) {
  TBitmap b;
  WhiteBitmap(b, 4, 1, pf24bit);
  TAAPath half;
  half.AddRectangle(0, 0, 1.5, 1);
  TAARenderer r(b);
  r.Fill(half, clBlack);
  EXPECT_EQ(Grey(b, 0, 0), 0);
  EXPECT_NEAR(Grey(b, 1, 0), 128, 2);
  EXPECT_EQ(Grey(b, 2, 0), 255);
  TAAPath whole;
  whole.AddRectangle(2, 0, 2, 1);
  r.Fill(whole, clBlack, 64);  // a quarter of black over white
  EXPECT_NEAR(Grey(b, 3, 0), 191, 2);
  // Aliased: half-covered pixels are set whole, less covered ones not at all.
  TBitmap a;
  WhiteBitmap(a, 4, 1, pf24bit);
  TAAPath p;
  p.AddRectangle(0, 0, 1.6, 1);
  p.AddRectangle(3, 0, 0.4, 1);
  TAARenderer ra(a);
  ra.SetAntiAlias(false);
  ra.Fill(p, clBlack);
  EXPECT_EQ(Picture(a), "##..\n");
}

TEST(AntiAliased, FillRules) {
  TAAPath p;
  p.AddRectangle(0, 0, 6, 6);
  p.AddRectangle(2, 2, 2, 2);  // same direction: wound twice
  for (auto [rule, inner] : {std::pair{afrNonZero, 0}, std::pair{afrEvenOdd, 255}}) {
    TBitmap b;
    WhiteBitmap(b, 6, 6, pf24bit);
    TAARenderer(b).Fill(p, clBlack, 255, rule);
    EXPECT_EQ(Grey(b, 3, 3), inner);
    EXPECT_EQ(Grey(b, 0, 0), 0);
  }
}

TEST(AntiAliased, StrokesWithWidthCapsAndDashes) {
  TBitmap b;
  WhiteBitmap(b, 10, 8, pf24bit);
  TAAPath line;
  line.MoveTo(0, 5);
  line.LineTo(10, 5);
  TAAStroke s;
  s.Width = 2;
  TAARenderer(b).Stroke(line, s, clBlack);
  EXPECT_EQ(Picture(b), Rows({"..........", "..........", "..........", "..........", "##########",
                              "##########", "..........", ".........."}));

  TBitmap d;
  WhiteBitmap(d, 9, 1, pf24bit);
  TAAPath dl;
  dl.MoveTo(0, 0.5);
  dl.LineTo(9, 0.5);
  TAAStroke ds;
  ds.Dashes = {2, 2};
  TAARenderer(d).Stroke(dl, ds, clBlack);
  EXPECT_EQ(Picture(d), "##..##..#\n");

  // A round cap reaches half the width past the end point: the circle of
  // radius 2 around (6, 2.5) covers pixel 6 of row 2 whole, pixel 7 partly.
  TBitmap c;
  WhiteBitmap(c, 10, 5, pf24bit);
  TAAPath cl;
  cl.MoveTo(2, 2.5);
  cl.LineTo(6, 2.5);
  TAAStroke cs;
  cs.Width = 4;
  cs.Cap = alcRound;
  TAARenderer(c).Stroke(cl, cs, clBlack);
  EXPECT_EQ(Grey(c, 6, 2), 0);
  EXPECT_GT(Grey(c, 7, 2), 0);
  EXPECT_LT(Grey(c, 7, 2), 255);
  EXPECT_EQ(Grey(c, 8, 2), 255);
  EXPECT_LT(Grey(c, 0, 2), 255);
}

TEST(AntiAliased, ClipRectCanvasOriginAndRegion) {
  TBitmap b;
  TCanvas* c = WhiteBitmap(b, 8, 4, pf24bit)->Canvas();
  c->SetOrigin({2, 1});
  c->SetDeviceClip({2, 1, 7, 4});
  HRGN r = CreateRectRgn(0, 0, 4, 2);
  SelectClipRgn(c, r);
  DeleteObject(r);
  TAAPath all;
  all.AddRectangle(-100, -100, 300, 300);
  TAARenderer ar(*c);
  ar.SetClipRect({1, 0, 10, 10});
  ar.Fill(all, clBlack);
  EXPECT_EQ(Picture(b), Rows({"........", "...###..", "...###..", "........"}));
}

TEST(AntiAliased, EllipsesArcsAndHatches) {
  TBitmap b;
  WhiteBitmap(b, 10, 10, pf32bit);
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 10; ++x) b.ScanLine(y)[4 * x + 3] = 0x5A;
  std::vector<std::uint8_t> pad = Padding(b);
  TAAPath e;
  e.AddEllipse(0, 0, 10, 10);
  TAARenderer(b).Fill(e, clBlack);
  EXPECT_EQ(Grey(b, 5, 5), 0);
  EXPECT_EQ(Grey(b, 0, 0), 255);
  EXPECT_GT(Grey(b, 1, 1), 0);
  EXPECT_LT(Grey(b, 1, 1), 255);
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 10; ++x) ASSERT_EQ(b.ScanLine(y)[4 * x + 3], 0x5A);
  EXPECT_EQ(Padding(b), pad);

  // A quarter arc from 0 degrees clockwise (downwards on screen) stays in
  // the lower right quarter.
  TBitmap q;
  WhiteBitmap(q, 10, 10, pf24bit);
  TAAPath arc;
  arc.AddArc(0, 0, 10, 10, 0, 90);
  TAARenderer(q).Stroke(arc, TAAStroke{}, clBlack);
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 10; ++x)
      if (Grey(q, x, y) < 200) {
        EXPECT_TRUE(x >= 4 && y >= 4) << x << "," << y;
      }
  EXPECT_LT(Grey(q, 9, 5), 200);

  TBitmap h;
  WhiteBitmap(h, 4, 4, pf24bit);
  TAAPath sq;
  sq.AddRectangle(0, 0, 4, 4);
  TAARenderer(h).FillHatch(sq, bsHorizontal, clBlack, 255, clRed, 255);
  EXPECT_EQ(h.GetPixel(2, 0), clBlack);
  EXPECT_EQ(h.GetPixel(2, 1), clRed);
}

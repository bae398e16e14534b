#include <gtest/gtest.h>

#include "draw_test_util.h"
#include "platform/canvas.h"

using namespace redozir;

namespace {
TCanvas* Blank(TBitmap& b, int w, int h, TPixelFormat pf = pf24bit) {
  TCanvas* c = WhiteBitmap(b, w, h, pf)->Canvas();
  c->Pen = TPen{};
  c->Brush = TBrush{};
  return c;
}
}  // namespace

TEST(CanvasShapes, LinesLeaveOutTheirEndPoint) {
  struct Case {
    TPoint a, b;
    std::string pic;
  } cases[] = {
      {{1, 1}, {5, 1}, Rows({"......", ".####.", "......"})},
      {{5, 1}, {1, 1}, Rows({"......", "..####", "......"})},
      {{0, 0}, {4, 2}, Rows({"##....", "..##..", "......"})},
      {{0, 0}, {3, 3}, Rows({"#.....", ".#....", "..#..."})},
      {{2, 0}, {2, 3}, Rows({"..#...", "..#...", "..#..."})},
      {{-10, 1}, {100, 1}, Rows({"......", "######", "......"})},
      {{3, 1}, {3, 1}, Rows({"......", "......", "......"})},
  };
  for (TPixelFormat pf : kDrawFormats)
    for (const Case& c : cases) {
      TBitmap b;
      TCanvas* cv = Blank(b, 6, 3, pf);
      cv->MoveTo(c.a.X, c.a.Y);
      cv->LineTo(c.b.X, c.b.Y);
      EXPECT_EQ(Picture(b), c.pic) << "format " << pf << " from " << c.a.X << "," << c.a.Y;
      EXPECT_EQ(cv->PenPos, c.b);
    }
}

TEST(CanvasShapes, RectanglesAndEllipsesByTheClassicRules) {
  struct Case {
    const char* name;
    void (*draw)(TCanvas*);
    std::string pic;
  } cases[] = {
      {"rectangle outline",
       [](TCanvas* c) {
         c->Brush.Style = bsClear;
         c->Rectangle(1, 1, 5, 4);
       },
       Rows({"......", ".####.", ".#..#.", ".####.", "......"})},
      {"rectangle reversed corners",
       [](TCanvas* c) {
         c->Brush.Style = bsClear;
         c->Rectangle(5, 4, 1, 1);
       },
       Rows({"......", ".####.", ".#..#.", ".####.", "......"})},
      {"rectangle without pen is one pixel smaller",
       [](TCanvas* c) {
         c->Pen.Style = psClear;
         c->Brush.Color = clBlack;
         c->Rectangle(1, 1, 5, 4);
       },
       Rows({"......", ".###..", ".###..", "......", "......"})},
      {"fill rect half-open and clipped",
       [](TCanvas* c) {
         c->Brush.Color = clBlack;
         c->FillRect({-3, -3, 2, 2});
         c->FillRect({4, 3, 9, 9});
       },
       Rows({"##....", "##....", "......", "....##", "....##"})},
      {"frame rect",
       [](TCanvas* c) {
         c->Brush.Color = clBlack;
         c->FrameRect({0, 0, 3, 5});
       },
       Rows({"###...", "#.#...", "#.#...", "#.#...", "###..."})},
      {"ellipse outline",
       [](TCanvas* c) {
         c->Brush.Style = bsClear;
         c->Ellipse(0, 0, 6, 5);
       },
       Rows({".####.", "##..##", "#....#", "##..##", ".####."})},
      {"wide pen centred on the edge",
       [](TCanvas* c) {
         c->Pen.Width = 3;
         c->Brush.Style = bsClear;
         c->Rectangle(1, 1, 5, 4);
       },
       Rows({"######", "######", "######", "######", "######"})},
      {"inside frame keeps the pen in the box",
       [](TCanvas* c) {
         c->Pen.Width = 2;
         c->Pen.Style = psInsideFrame;
         c->Brush.Style = bsClear;
         c->Rectangle(0, 0, 6, 5);
       },
       Rows({"######", "######", "##..##", "######", "######"})},
  };
  for (TPixelFormat pf : kDrawFormats)
    for (const Case& c : cases) {
      TBitmap b;
      TCanvas* cv = Blank(b, 6, 5, pf);
      c.draw(cv);
      EXPECT_EQ(Picture(b), c.pic) << c.name << " in format " << pf;
    }
}

TEST(CanvasShapes, CircleRingMatchesTheWorkedExample) {
  TBitmap b;
  TCanvas* c = Blank(b, 6, 6);
  c->Brush.Style = bsClear;
  c->Ellipse(0, 0, 6, 6);
  // Outer circle: centres within 3 of (3, 3); inner: within 2.
  EXPECT_EQ(Picture(b), Rows({".####.", "##..##", "#....#", "#....#", "##..##", ".####."}));
  // Filled with the pen's colour as brush, the disc is the region's ellipse.
  c->Brush = {clBlack, bsSolid};
  c->Ellipse(0, 0, 6, 6);
  EXPECT_EQ(Picture(b), Rows({".####.", "######", "######", "######", "######", ".####."}));
}

TEST(CanvasShapes, PenModesCombinePenAndDestination) {
  struct Case {
    TPenMode mode;
    TColor pen, dst, expect;
  } cases[] = {
      {pmCopy, clRed, clWhite, clRed},        {pmNot, clRed, clWhite, clBlack},
      {pmXor, clRed, clWhite, clAqua},        {pmNotXor, clRed, clWhite, clRed},
      {pmMask, clRed, clYellow, clRed},       {pmMerge, clRed, clBlue, clFuchsia},
      {pmNotCopy, clRed, clWhite, clAqua},    {pmNop, clRed, clGreen, clGreen},
      {pmBlack, clRed, clWhite, clBlack},     {pmWhite, clRed, clBlack, clWhite},
      {pmMaskPenNot, clWhite, clRed, clAqua}, {pmMergeNotPen, clAqua, clBlack, clRed},
  };
  for (const Case& c : cases) {
    TBitmap b(3, 1, pf24bit);
    b.SetPixel(1, 0, c.dst);
    TCanvas* cv = b.Canvas();
    cv->Pen.Color = c.pen;
    cv->Pen.Mode = c.mode;
    cv->MoveTo(1, 0);
    cv->LineTo(2, 0);
    EXPECT_EQ(b.GetPixel(1, 0), c.expect) << "mode " << c.mode;
    EXPECT_EQ(b.GetPixel(0, 0), clBlack);
  }
}

TEST(CanvasShapes, XorTwiceRestoresEveryFormat) {
  std::vector<void (*)(TCanvas*)> shapes = {
      [](TCanvas* c) {
        c->MoveTo(-3, 2);
        c->LineTo(40, 17);
      },
      [](TCanvas* c) { c->Rectangle(3, 2, 25, 15); },
      [](TCanvas* c) { c->Ellipse(-5, -4, 20, 18); },
      [](TCanvas* c) { c->RoundRect(2, 2, 30, 20, 9, 7); },
      [](TCanvas* c) { c->Arc(0, 0, 29, 19, 29, 0, 0, 19); },
      [](TCanvas* c) { c->Pie(1, 1, 28, 18, 28, 9, 14, 0); },
      [](TCanvas* c) {
        TPoint p[] = {{1, 1}, {28, 4}, {5, 18}, {25, 17}};
        c->Polygon(p, 4);
      },
      [](TCanvas* c) {
        TPoint p[] = {{1, 1}, {28, 4}, {5, 18}};
        c->Pen.Width = 4;
        c->Polyline(p, 3);
      },
      [](TCanvas* c) {
        c->Pen.Style = psDashDot;
        c->MoveTo(0, 10);
        c->LineTo(30, 10);
      },
  };
  for (TPixelFormat pf : kDrawFormats)
    for (size_t i = 0; i < shapes.size(); ++i) {
      TBitmap b;
      TCanvas* c = Blank(b, 29, 19, pf);
      // Some texture, so that the test is not only about white.
      for (int y = 0; y < 19; ++y)
        for (int x = 0; x < 29; ++x)
          if ((x * 7 + y * 3) % 5 == 0) b.SetPixel(x, y, clNavy);
      TBitmap before;
      before.Assign(b);
      c->Pen.Mode = pmXor;
      c->Pen.Color = clYellow;
      c->Brush.Color = clRed;
      shapes[i](c);
      EXPECT_NE(Picture(b) + "x", Picture(before)) << "shape " << i;
      EXPECT_FALSE(std::equal(b.Bits(), b.Bits() + b.ImageSize(), before.Bits()))
          << "shape " << i << " format " << pf;
      shapes[i](c);
      EXPECT_TRUE(std::equal(b.Bits(), b.Bits() + b.ImageSize(), before.Bits()))
          << "shape " << i << " format " << pf;
    }
}

TEST(CanvasShapes, TouchingPolygonsLeaveNoGapAndNoOverlap) {
  for (TPixelFormat pf : kDrawFormats) {
    TBitmap b;
    TCanvas* c = Blank(b, 23, 17, pf);
    c->Pen.Style = psClear;
    c->Pen.Mode = pmXor;
    c->Brush.Color = clWhite;  // white xor white is black
    TPoint a[] = {{2, 1}, {21, 3}, {4, 15}};
    TPoint d[] = {{21, 3}, {20, 16}, {4, 15}};
    c->Polygon(a, 3);
    c->Polygon(d, 3);
    TBitmap whole;
    TCanvas* w = Blank(whole, 23, 17, pf);
    w->Pen.Style = psClear;
    w->Pen.Mode = pmXor;
    TPoint q[] = {{2, 1}, {21, 3}, {20, 16}, {4, 15}};
    w->Polygon(q, 4);
    EXPECT_EQ(Picture(b), Picture(whole)) << "format " << pf;
  }
}

TEST(CanvasShapes, PolygonFillModes) {
  // A pentagram: its centre is wound twice, so only the winding mode fills it.
  TPoint star[] = {{10, 0}, {16, 19}, {0, 7}, {20, 7}, {4, 19}};
  for (int mode : {ALTERNATE, WINDING}) {
    TBitmap b;
    TCanvas* c = Blank(b, 21, 21);
    c->Pen.Style = psClear;
    c->Brush.Color = clBlack;
    EXPECT_NE(SetPolyFillMode(c, mode), 0);
    c->Polygon(star, 5);
    EXPECT_EQ(b.GetPixel(10, 10) == clBlack, mode == WINDING);
    EXPECT_EQ(b.GetPixel(10, 3), clBlack);
  }
}

TEST(CanvasShapes, DrawingNeverTouchesRowPadding) {
  for (TPixelFormat pf : {pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit}) {
    TBitmap b;
    TCanvas* c = Blank(b, 5, 6, pf);
    for (int y = 0; y < b.Height(); ++y) {
      std::uint8_t* row = b.ScanLine(y);
      long long used = (5LL * b.BitCount() + 7) / 8;
      for (long long i = used; i < b.RowBytes(); ++i) row[i] = 0xA5;
      if (b.BitCount() == 1) row[0] |= 0x07;
      if (b.BitCount() == 4) row[2] |= 0x0F;
    }
    std::vector<std::uint8_t> pad = Padding(b);
    c->Pen.Width = 3;
    c->Brush.Color = clBlack;
    c->Rectangle(-4, -4, 40, 40);
    c->Ellipse(-10, -10, 30, 30);
    c->MoveTo(-1, 3);
    c->LineTo(90, 3);
    c->Pen.Width = 1;
    c->Pen.Mode = pmNot;
    c->MoveTo(0, 2);
    c->LineTo(90, 2);
    c->Brush.Style = bsDiagCross;
    c->FillRect({0, 0, 100, 100});
    c->Pen.Mode = pmCopy;
    c->Pen.Color = clWhite;
    c->Polyline(std::vector<TPoint>{{-100, 5}, {100, 5}});
    EXPECT_EQ(Padding(b), pad) << "format " << pf;
  }
}

TEST(CanvasShapes, ClipRegionLimitsEveryShape) {
  for (TPixelFormat pf : kDrawFormats) {
    TBitmap b;
    TCanvas* c = Blank(b, 6, 6, pf);
    HRGN e = CreateEllipticRgn(0, 0, 6, 6);
    EXPECT_EQ(SelectClipRgn(c, e), COMPLEXREGION);
    DeleteObject(e);  // the canvas keeps its own copy
    c->Brush.Color = clBlack;
    c->FillRect({0, 0, 6, 6});
    EXPECT_EQ(Picture(b), Rows({".####.", "######", "######", "######", "######", ".####."})) << pf;
    EXPECT_EQ(ExcludeClipRect(c, 0, 2, 6, 4), COMPLEXREGION);
    c->Brush.Color = clWhite;
    c->FillRect({0, 0, 6, 6});
    EXPECT_EQ(Picture(b), Rows({"......", "......", "######", "######", "......", "......"})) << pf;
    SelectClipRgn(c, nullptr);
    IntersectClipRect(c, 1, 0, 3, 6);
    TRect box;
    EXPECT_EQ(GetClipBox(c, box), SIMPLEREGION);
    EXPECT_EQ(box, (TRect{1, 0, 3, 6}));
    c->Pen.Color = clBlack;
    c->MoveTo(0, 0);
    c->LineTo(6, 0);
    EXPECT_EQ(Picture(b).substr(0, 7), ".##...\n") << pf;
    EXPECT_EQ(IntersectClipRect(c, 4, 0, 5, 1), NULLREGION);
  }
}

TEST(CanvasShapes, HatchesAreAnchoredAtTheOriginAndTransparent) {
  TBitmap b;
  TCanvas* c = Blank(b, 9, 9);
  b.SetPixel(1, 1, clRed);
  c->Brush = {clBlack, bsCross};
  c->FillRect({0, 0, 9, 9});
  EXPECT_EQ(b.GetPixel(0, 5), clBlack);
  EXPECT_EQ(b.GetPixel(5, 0), clBlack);
  EXPECT_EQ(b.GetPixel(8, 8), clBlack);
  EXPECT_EQ(b.GetPixel(1, 1), clRed);
  EXPECT_EQ(b.GetPixel(2, 3), clWhite);
}

TEST(CanvasShapes, StyledLinesAndArcsStayOnTheirPath) {
  TBitmap b;
  TCanvas* c = Blank(b, 30, 1);
  c->Pen.Style = psDot;
  c->MoveTo(0, 0);
  c->LineTo(30, 0);
  EXPECT_EQ(Picture(b), "###...###...###...###...###...\n");

  TBitmap a;
  c = Blank(a, 21, 21);
  c->Arc(0, 0, 21, 21, 21, 10, 10, 0);  // the upper right quarter
  TBitmap e;
  TCanvas* ce = Blank(e, 21, 21);
  ce->Brush.Style = bsClear;
  ce->Ellipse(0, 0, 21, 21);
  int drawn = 0;
  for (int y = 0; y < 21; ++y)
    for (int x = 0; x < 21; ++x)
      if (a.GetPixel(x, y) != clWhite) {
        ++drawn;
        EXPECT_TRUE(x >= 10 && y <= 10) << x << "," << y;
        EXPECT_NE(e.GetPixel(x, y), clWhite) << "off the ellipse at " << x << "," << y;
      }
  EXPECT_GT(drawn, 12);
}

TEST(CanvasShapes, SunkenEdgeUsesTheSystemColours) {
  TBitmap b(4, 4, pf24bit);
  TRect r{0, 0, 4, 4};
  DrawEdge(b.Canvas(), r, EDGE_SUNKEN, BF_RECT | BF_ADJUST);
  EXPECT_EQ(r, (TRect{2, 2, 2, 2}));
  EXPECT_EQ(b.GetPixel(0, 0), ColorToRGB(clBtnShadow));
  EXPECT_EQ(b.GetPixel(3, 3), ColorToRGB(clBtnHighlight));
  EXPECT_EQ(b.GetPixel(0, 3), ColorToRGB(clBtnHighlight));
  EXPECT_EQ(b.GetPixel(1, 1), ColorToRGB(cl3DDkShadow));
  EXPECT_EQ(b.GetPixel(2, 2), ColorToRGB(cl3DLight));
}

TEST(CanvasShapes, OriginAndDeviceClipPlaceAControlsDrawing) {
  TBitmap b;
  TCanvas* c = Blank(b, 7, 4);
  c->SetOrigin({2, 1});
  c->SetDeviceClip({2, 1, 6, 3});
  c->MoveTo(-1, 0);
  c->LineTo(10, 0);
  EXPECT_EQ(Picture(b), Rows({".......", "..####.", ".......", "......."}));
  HRGN r = CreateRectRgn(1, 1, 2, 2);  // canvas coordinates
  SelectClipRgn(c, r);
  DeleteObject(r);
  c->Brush.Color = clBlack;
  c->FillRect({-5, -5, 50, 50});
  EXPECT_EQ(Picture(b), Rows({".......", "..####.", "...#...", "......."}));
  EXPECT_EQ(c->ClipRect(), (TRect{1, 1, 2, 2}));
  EXPECT_EQ(c->Pixels(1, 1), clBlack);
  EXPECT_EQ(c->Pixels(5, 1), clNone) << "outside the device clip";

  // A canvas's origin applies to it as a source as well.
  TBitmap d;
  TCanvas* dc = Blank(d, 3, 1);
  BitBlt(dc, 0, 0, 3, 1, c, 0, 0, SRCCOPY);
  EXPECT_EQ(Picture(d), "###\n");
}

TEST(CanvasShapes, ACanvasWithoutBitmapDrawsNothing) {
  TCanvas c(nullptr);
  c.Rectangle(0, 0, 10, 10);
  c.TextOut(0, 0, "x");
  TBitmap src(2, 2, pf24bit);
  c.Draw(0, 0, src);
  EXPECT_TRUE(c.Bitmap()->Empty());
  EXPECT_EQ(c.Pixels(0, 0), clNone);
  c.SetBitmap(&src);
  c.SetBitmap(nullptr);
  EXPECT_TRUE(c.Bitmap()->Empty());
}

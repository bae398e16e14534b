#include <gtest/gtest.h>

#include <set>

#include "imaging/core/ie_drawing.h"
#include "imaging/core/iegdiplus.h"

using namespace redozir;

namespace {

// Binds the anti-aliased back end for one test (nothing else holds it here)
// and restores the binding and the switch.
struct Binding {
  explicit Binding(bool allowed = true) : wasAllowed(GDIPlusAllowed) {
    GDIPlusAllowed = allowed;
    IEGDIPLoadLibrary();
  }
  ~Binding() {
    IEGDIPUnloadLibrary();
    GDIPlusAllowed = wasAllowed;
  }
  bool wasAllowed;
};

std::set<TColor> ColoursOf(const TBitmap& b) {
  std::set<TColor> s;
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x) s.insert(b.GetPixel(x, y));
  return s;
}

void Clear(TBitmap& b, TColor c = clWhite) {
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x) b.SetPixel(x, y, c);
}

void DrawShapes(TIECanvas& c) {
  c.Pen()->SetColor(clRed);
  c.Pen()->SetWidth(2);
  c.Brush()->SetColor(clBlue);
  c.Ellipse(5, 5, 37, 29);
  c.Polygon({{40, 4}, {58, 30}, {44, 36}});
  c.MoveTo(2, 38);
  c.LineTo(60, 33);
  c.RoundRect(8, 30, 30, 39, 6, 6);
}

}  // namespace

TEST(IEGdiPlusBinding, CountsLoadsAndNeverGoesBelowZero) {
  IEGDIPUnloadLibrary();
  EXPECT_EQ(IEGDIPLoadCount(), 0);
  IEGDIPLoadLibrary();
  IEGDIPLoadLibrary();
  IEGDIPUnloadLibrary();
  EXPECT_TRUE(IEGDIPLoaded());
  EXPECT_TRUE(IEGDIPAvailable());
  IEGDIPUnloadLibrary();
  EXPECT_FALSE(IEGDIPLoaded());
  IEGDIPUnloadLibrary();
  IEGDIPLoadLibrary();
  EXPECT_EQ(IEGDIPLoadCount(), 1);
  EXPECT_TRUE(IEGDIPLoaded());
  IEGDIPUnloadLibrary();
}

TEST(IEGdiPlusBinding, SwitchedOffOrMissingBackEndDrawsThroughThePlainCanvas) {
  {
    Binding b(false);
    EXPECT_FALSE(IEGDIPLoaded());
    TBitmap bmp(10, 10, pf24bit);
    TIECanvas c(bmp.Canvas(), true, true);
    EXPECT_FALSE(c.UseGDIPlus());
  }
  IEGDIPSetBackEndPresent(false);
  {
    Binding b(true);
    EXPECT_FALSE(IEGDIPAvailable());
  }
  IEGDIPSetBackEndPresent(true);
  Binding b(true);
  TBitmap bmp(10, 10, pf24bit);
  EXPECT_TRUE(TIECanvas(bmp.Canvas(), true, true).UseGDIPlus());
  EXPECT_FALSE(TIECanvas(bmp.Canvas(), true, false).UseGDIPlus());
}

TEST(IECanvas, PlainPathShowsOnlyPureColoursAndTheAntiAliasedPathBlends) {
  std::set<TColor> pure = {clWhite, clRed, clBlue};
  for (bool on : {false, true}) {
    Binding b(on);
    TBitmap bmp(64, 40, pf24bit);
    Clear(bmp);
    TIECanvas c(bmp.Canvas());
    DrawShapes(c);
    std::set<TColor> seen = ColoursOf(bmp);
    EXPECT_TRUE(seen.count(clRed) && seen.count(clBlue)) << on;
    bool onlyPure = std::all_of(seen.begin(), seen.end(), [&](TColor x) { return pure.count(x) > 0; });
    EXPECT_EQ(onlyPure, !on) << "switch " << on;
  }
}

TEST(IECanvas, FilledRectangleExtentsOnBothPaths) {
  for (bool on : {false, true}) {
    Binding b(on);
    TBitmap bmp(30, 30, pf24bit);
    Clear(bmp);
    TIECanvas c(bmp.Canvas());
    c.Brush()->SetColor(clBlack);
    c.FillRect(Rect(20, 20, 10, 10));  // corners in either order
    EXPECT_EQ(bmp.GetPixel(15, 15), clBlack);
    EXPECT_EQ(bmp.GetPixel(9, 15), clWhite);
    EXPECT_EQ(bmp.GetPixel(15, 20), clWhite);
    EXPECT_EQ(bmp.GetPixel(11, 11), clBlack);
    if (on) {
      // Pixel centres lie on integers: the first and last columns are half covered.
      int v = GetRValue(bmp.GetPixel(10, 15));
      EXPECT_GT(v, 64);
      EXPECT_LT(v, 192);
      EXPECT_NE(bmp.GetPixel(19, 15), clBlack);
    } else {
      EXPECT_EQ(bmp.GetPixel(10, 15), clBlack);
      EXPECT_EQ(bmp.GetPixel(19, 19), clBlack);
    }
  }
}

TEST(IECanvas, ClearPenAndClearBrushChangeNothing) {
  Binding b(true);
  TBitmap bmp(20, 20, pf24bit);
  Clear(bmp);
  TIECanvas c(bmp.Canvas());
  c.Pen()->SetStyle(psClear);
  c.Brush()->SetStyle(bsClear);
  c.Rectangle(2, 2, 18, 18);
  c.Ellipse(2, 2, 18, 18);
  c.Polygon({{1, 1}, {18, 3}, {9, 17}});
  c.RoundRect(1, 1, 19, 19, 5, 5);
  c.DrawLine(0, 0, 19, 19);
  EXPECT_EQ(ColoursOf(bmp), std::set<TColor>{clWhite});
  EXPECT_EQ(bmp.Canvas()->Pen.Style, psClear);
}

TEST(IECanvas, HalfTransparentBrushOverWhiteGivesMidGrey) {
  Binding b(true);
  TBitmap bmp(20, 20, pf24bit);
  Clear(bmp);
  TIECanvas c(bmp.Canvas());
  c.Brush()->SetColor(clBlack);
  c.Brush()->SetTransparency(128);
  c.FillRect(Rect(0, 0, 20, 20));
  EXPECT_NEAR(GetRValue(bmp.GetPixel(8, 8)), 127, 1);
}

TEST(IECanvas, HatchWithTransparentBackgroundLeavesTheBackground) {
  Binding b(true);
  TBitmap bmp(24, 24, pf24bit);
  Clear(bmp, clYellow);
  TIECanvas c(bmp.Canvas());
  c.Brush()->SetStyle(bsCross);
  c.Brush()->SetColor(clBlack);
  c.Brush()->SetBackColor(clRed);
  c.Brush()->SetBackTransparency(0);
  c.FillRect(Rect(0, 0, 24, 24));
  std::set<TColor> seen = ColoursOf(bmp);
  EXPECT_TRUE(seen.count(clYellow));
  EXPECT_TRUE(seen.count(clBlack));
  EXPECT_FALSE(seen.count(clRed));
}

TEST(IECanvas, DegenerateShapesDrawNothingAndThinPensDrawAHairline) {
  Binding b(true);
  TBitmap bmp(20, 20, pf24bit);
  Clear(bmp);
  TIECanvas c(bmp.Canvas());
  c.Brush()->SetColor(clBlack);
  c.Rectangle(5, 5, 6, 15);
  c.Ellipse(5, 5, 15, 6);
  c.FillRect(Rect(3, 3, 4, 4));
  EXPECT_EQ(ColoursOf(bmp), std::set<TColor>{clWhite});
  c.RoundRect(2, 2, 17, 17, 0, 0);  // no corners: the plain rectangle
  EXPECT_EQ(bmp.GetPixel(9, 9), clBlack);
  Clear(bmp);
  c.Pen()->SetWidth(0.2f);
  c.SetSmoothingMode(iesmHighSpeed);
  c.DrawLine(2, 10, 17, 10);
  EXPECT_EQ(bmp.GetPixel(9, 10), clBlack);
  EXPECT_EQ(bmp.GetPixel(9, 9), clWhite);
  EXPECT_EQ(bmp.GetPixel(9, 11), clWhite);
}

TEST(IECanvas, ShapesAtTheEdgeLeaveRowPaddingAlone) {
  for (bool on : {false, true}) {
    Binding b(on);
    TBitmap bmp(7, 9, pf24bit);  // 21 bytes of pixels, 3 of padding per row
    Clear(bmp);
    for (int y = 0; y < bmp.Height(); ++y)
      for (int i = 21; i < 24; ++i) bmp.ScanLine(y)[i] = 0xAB;
    TIECanvas c(bmp.Canvas());
    c.Pen()->SetWidth(3);
    c.Brush()->SetColor(clBlack);
    c.Ellipse(-4, -4, 12, 12);
    c.Rectangle(3, 3, 20, 20);
    c.Polyline({{0, 0}, {30, 4}, {6, 30}});
    for (int y = 0; y < bmp.Height(); ++y)
      for (int i = 21; i < 24; ++i) ASSERT_EQ(bmp.ScanLine(y)[i], 0xAB) << on << " row " << y;
  }
}

TEST(IECanvas, PenBrushAndTheDeviceContextReachThePlatformCanvas) {
  Binding b(false);
  TBitmap bmp(10, 10, pf24bit);
  {
    TIECanvas c(bmp.Canvas());
    PatBlt(c.GetHandle(), 2, 2, 3, 3, WHITENESS);
    c.Pen()->SetColor(clGreen);
    c.Pen()->SetWidth(2.7f);
    c.Pen()->SetStyle(psDash);
    c.Brush()->SetColor(clNavy);
    c.Brush()->SetStyle(bsFDiagonal);
  }
  EXPECT_EQ(bmp.Canvas()->Pen.Color, clGreen);
  EXPECT_EQ(bmp.Canvas()->Pen.Width, 2);
  EXPECT_EQ(bmp.Canvas()->Pen.Style, psDash);
  EXPECT_EQ(bmp.Canvas()->Brush.Color, clNavy);
  EXPECT_EQ(bmp.Canvas()->Brush.Style, bsFDiagonal);
  EXPECT_EQ(bmp.Canvas()->Pixels(4, 4), clWhite);
  EXPECT_EQ(bmp.Canvas()->Pixels(5, 5), clBlack);
}

TEST(IEDimOutsideRect, DarkensEachBandOnce) {
  Binding b(true);
  TBitmap bmp(20, 20, pf24bit);
  Clear(bmp);
  IEDimOutsideRect(bmp.Canvas(), Rect(5, 5, 15, 15), Rect(0, 0, 20, 20));
  int dim = GetRValue(bmp.GetPixel(0, 0));
  EXPECT_NEAR(dim, 255 - 150, 2);
  EXPECT_EQ(bmp.GetPixel(2, 10), bmp.GetPixel(0, 0));
  EXPECT_EQ(bmp.GetPixel(17, 17), bmp.GetPixel(0, 0));
  EXPECT_EQ(bmp.GetPixel(5, 5), clWhite);
  EXPECT_EQ(bmp.GetPixel(14, 14), clWhite);
  EXPECT_EQ(bmp.GetPixel(4, 5), bmp.GetPixel(0, 0));
}

TEST(IEDrawHintEx, KeepsTheBoxInsideTheCanvas) {
  Binding b(true);
  TBitmap bmp(200, 100, pf24bit);
  Clear(bmp);
  int x = 190, y = 95;
  IEDrawHintEx(bmp.Canvas(), x, y, "12 x 34", "9999 x 9999");
  EXPECT_LT(x, 190);
  EXPECT_LT(y, 95);
  EXPECT_GE(x, 0);
  EXPECT_NE(bmp.GetPixel(x + 3, y + 3), clWhite);
  EXPECT_EQ(bmp.GetPixel(x - 2, y + 3), clWhite);
}

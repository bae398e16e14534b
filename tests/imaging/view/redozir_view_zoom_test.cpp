#include <gtest/gtest.h>

#include <limits>

#include "view_on_form.h"

using namespace redozir;

// A hidden view has a 50 x 50 client area in a 105 x 105 control (a 2-pixel
// border each side); the 120 x 100 view on a form has a 116 x 96 client
// area, 99 x 79 with both scroll bars (17 pixels each).

TEST(RedozIrViewZoom, ZoomedSizeRoundsHalvesToEvenAndASmallImageIsCentred) {
  struct Case {
    int w;
    double zoom;
    int zoomed, left, visible;
  } cases[] = {
      {5, 50, 2, 24, 2},     // 2.5 -> 2
      {7, 50, 4, 23, 4},     // 3.5 -> 4
      {3, 150, 4, 23, 4},    // 4.5 -> 4
      {1, 250, 2, 24, 2},    // 2.5 -> 2
      {40, 150, 60, 0, 50},  // wider than the client area
  };
  for (const auto& c : cases) {
    TRedozIrView v(nullptr);
    SetImage(v, c.w, 10);
    v.Zoom(c.zoom);
    EXPECT_EQ(v.ZoomedWidth(), c.zoomed) << c.w << " at " << c.zoom;
    EXPECT_EQ(v.ImageRect().Left, c.left) << c.w << " at " << c.zoom;
    EXPECT_EQ(v.ImageRect().Width(), c.visible) << c.w << " at " << c.zoom;
    EXPECT_EQ(v.ZoomedHeight() * 100, 10 * c.zoom);  // 5, 15 and 25: exact
  }
}

TEST(RedozIrViewZoom, ThePointUnderTheCentreSurvives100To250To100AtOddClientSizes) {
  TViewOnForm f(120, 100, 1000, 800);
  TProbeView* v = f.view;
  ASSERT_EQ(v->GetClientWidthEx(), 99);
  ASSERT_EQ(v->GetClientHeightEx(), 79);
  // Centre offsets 49 and 39: at 250 the origin is trunc((o + 49) * 2.5 - 49).
  struct Case {
    int x, y, x250, y250;
  } cases[] = {{300, 200, 823, 558}, {301, 201, 826, 561}, {0, 0, 73, 58}};
  for (const auto& c : cases) {
    v->SetViewXY(c.x, c.y);
    v->Zoom(250);
    EXPECT_EQ(v->ViewX(), c.x250) << c.x;
    EXPECT_EQ(v->ViewY(), c.y250) << c.y;
    v->Zoom(100);
    EXPECT_EQ(v->ViewX(), c.x);
    EXPECT_EQ(v->ViewY(), c.y);
    EXPECT_EQ(v->ZoomX(), 100.0);
    EXPECT_EQ(v->ZoomY(), 100.0);
  }
}

TEST(RedozIrViewZoom, MaximumOriginCases) {
  struct Case {
    const char* name;
    int w, h;
    double zx, zy;
    TScrollStyle bars;
    int maxX, maxY;
  } cases[] = {
      {"fits the control once the bars go", 100, 100, 100, 100, ssBoth, 0, 0},
      {"a pixel more to scroll when larger", 200, 80, 100, 100, ssBoth, 151, 31},
      {"no extra pixel without scroll bars", 200, 80, 100, 100, ssNone, 150, 30},
      {"5 pixels larger than the client", 55, 200, 100, 100, ssNone, 5, 150},
      {"the other axis brings the extra pixel", 55, 200, 100, 100, ssBoth, 6, 151},
      {"half size", 400, 300, 50, 50, ssBoth, 150, 100},
      {"different zooms, each axis on its own", 100, 55, 200, 100, ssBoth, 152, 0},
      {"less than a bitmap pixel to scroll", 13, 200, 400, 400, ssNone, 0, 750},
      {"zoomed smaller than the client", 150, 150, 1, 1, ssBoth, 0, 0},
  };
  for (const auto& c : cases) {
    TRedozIrView v(nullptr);
    SetImage(v, c.w, c.h);
    v.SetScrollBars(c.bars);
    v.ZoomX(c.zx);
    v.ZoomY(c.zy);
    int mx = -1, my = -1;
    v.GetMaxViewXY(mx, my);
    EXPECT_EQ(mx, c.maxX) << c.name;
    EXPECT_EQ(my, c.maxY) << c.name;
    EXPECT_EQ(v.CanScroll(), c.maxX > 0 || c.maxY > 0) << c.name;
  }
  // The control's 105 x 105 standing for the client area.
  TRedozIrView sized(nullptr);
  sized.ClientSizeFromControl = true;
  SetImage(sized, 200, 120);
  int sx = -1, sy = -1;
  sized.GetMaxViewXY(sx, sy);
  EXPECT_EQ(sx, 96);  // 201 - 105
  EXPECT_EQ(sy, 16);  // 121 - 105
  TRedozIrView empty(nullptr);
  SetImage(empty, 0, 0);
  int mx = -1, my = -1;
  empty.GetMaxViewXY(mx, my);
  EXPECT_EQ(mx, 0);
  EXPECT_EQ(my, 0);
}

TEST(RedozIrViewZoom, OriginSettersClampAndTellOnlyRealChanges) {
  TProbeView v(nullptr);
  SetImage(v, 200, 80);  // maxima 151 and 31
  v.ClearCounts();
  v.SetViewX(-5);
  EXPECT_EQ(v.ViewX(), 0);
  ASSERT_EQ(v.changing.size(), 1u);
  EXPECT_EQ(v.changing[0].change, 0);
  EXPECT_EQ(v.changing[0].value, -5.0);
  EXPECT_TRUE(v.changes.empty());
  EXPECT_EQ(v.paints, 0);
  v.SetViewX(1000);
  EXPECT_EQ(v.ViewX(), 151);
  EXPECT_EQ(v.changes, std::vector<int>{0});
  EXPECT_EQ(v.paints, 1);
  v.SetViewY(40);
  EXPECT_EQ(v.ViewY(), 31);
  v.ClearCounts();
  v.SetViewXY(10, 12);
  EXPECT_EQ(v.ViewX(), 10);
  EXPECT_EQ(v.ViewY(), 12);
  ASSERT_EQ(v.changing.size(), 2u);
  EXPECT_EQ(v.changing[1].change, 1);
  EXPECT_EQ(v.changes, std::vector<int>{0});
  EXPECT_EQ(v.paints, 1);
  v.SetViewXY(10, 12);
  EXPECT_EQ(v.paints, 1);
}

TEST(RedozIrViewZoom, SettingTheCurrentZoomOnlyAnnouncesIt) {
  TViewOnForm f(120, 100, 300, 200);
  TProbeView* v = f.view;
  for (double z : {100.0, 0.0, -3.0}) {
    v->ClearCounts();
    v->Zoom(z);
    ASSERT_EQ(v->changing.size(), 1u) << z;
    EXPECT_EQ(v->changing[0].change, 2);
    EXPECT_EQ(v->changing[0].value, z);
    EXPECT_EQ(v->paints, 0) << z;
    EXPECT_TRUE(v->changes.empty()) << z;
    EXPECT_EQ(v->ZoomX(), 100.0);
  }
  v->ClearCounts();
  v->Zoom(200);
  EXPECT_EQ(v->paints, 1);
  EXPECT_EQ(v->changes, std::vector<int>{1});
  EXPECT_EQ(v->ZoomY(), 200.0);
}

TEST(RedozIrViewZoom, AZoomTheCoordinatesCannotCarryIsIgnoredAndChangesNothing) {
  TViewOnForm f(120, 100, 1000, 800);
  TProbeView* v = f.view;
  v->Zoom(200);
  v->SetViewXY(50, 60);
  for (double z : {1e9, 1e300, std::numeric_limits<double>::infinity(), 0.001}) {
    EXPECT_NO_THROW(v->Zoom(z)) << z;
    EXPECT_NO_THROW(v->ZoomY(z)) << z;
    EXPECT_NO_THROW(v->SetZoom(z)) << z;
    EXPECT_EQ(v->ZoomX(), 200.0);
    EXPECT_EQ(v->ZoomY(), 200.0);
    EXPECT_EQ(v->ViewX(), 50);
    EXPECT_EQ(v->PaintLockCount(), 0);
  }
  v->Zoom(std::numeric_limits<double>::quiet_NaN());  // like 0: ignored
  EXPECT_EQ(v->ZoomX(), 200.0);
  v->Zoom(100000);  // 1000 x 1000 zoomed pixels per pixel still fit
  EXPECT_EQ(v->ZoomedWidth(), 1000000);

  // A wheel turn out from just above the smallest zoom, and a fit whose zoom
  // is below it, leave the zoom as it was.
  v->Zoom(1.005);
  v->MouseWheelParams.Action = iemwZoom;
  v->MouseWheelParams.Variation = iemwPercentage;
  EXPECT_NO_THROW(Inject::Wheel(v, 40, 30, 120));  // 1.005 - 1
  EXPECT_EQ(v->ZoomX(), 1.005);
  TRedozIrView line(nullptr);
  SetImage(line, 3000000, 1);
  EXPECT_NO_THROW(line.Fit());
  EXPECT_EQ(line.ZoomX(), 100.0);
}

TEST(RedozIrViewZoom, ZoomAtKeepsThePixelUnderTheMouseOnBothAxes) {
  TViewOnForm f(120, 100, 1000, 800);
  TProbeView* v = f.view;
  struct Case {
    int x, y;
    double zoom;
  } cases[] = {
      {30, 20, 300}, {31, 21, 250}, {7, 5, 150}, {0, 0, 400},
      {98, 78, 200}, {45, 33, 200}, {50, 40, 0},  // refused: the view stays where it is
  };
  for (const auto& c : cases) {
    v->Zoom(100);
    v->ZoomX(200);
    ASSERT_EQ(v->ZoomY(), 100.0);
    v->SetViewXY(400, 200);
    int bx = v->XScr2Bmp(c.x), by = v->YScr2Bmp(c.y);
    v->ZoomAt(c.x, c.y, c.zoom, false);
    EXPECT_EQ(v->XScr2Bmp(c.x), bx) << c.x << "," << c.y << " at " << c.zoom;
    EXPECT_EQ(v->YScr2Bmp(c.y), by) << c.x << "," << c.y << " at " << c.zoom;
  }
  // Worked out: under (30, 20) lie pixel 200 + 30/2 = 215 and 200 + 20 = 220;
  // at 300 the first columns are 215 - 10 and 220 - 6, from origins 615, 642.
  v->Zoom(100);
  v->ZoomX(200);
  v->SetViewXY(400, 200);
  v->ZoomAt(30, 20, 300, false);
  EXPECT_EQ(v->ViewX(), 615);
  EXPECT_EQ(v->ViewY(), 642);
  // Centred: the pixel goes to the middle, trunc(215 * 3 - 49), trunc(220 * 3 - 39).
  v->Zoom(100);
  v->ZoomX(200);
  v->SetViewXY(400, 200);
  v->ZoomAt(30, 20, 300, true);
  EXPECT_EQ(v->ViewX(), 596);
  EXPECT_EQ(v->ViewY(), 621);
}

TEST(RedozIrViewZoom, AutomaticFitInUpdate) {
  struct Case {
    const char* name;
    bool shown;
    int w, h;
    bool fit, stretch, shrink;
    double zoom;
  } cases[] = {
      {"1 x 1 stays at 100", false, 1, 1, true, false, false, 100},
      {"hidden: the 50 x 50 client area", false, 200, 100, true, false, false, 25.5},
      {"shown: 116 / 2", true, 200, 100, true, false, false, 58},
      {"shrink only", true, 200, 100, false, false, true, 58},
      {"stretch a small image", true, 20, 10, false, true, false, 580},
      {"a small image is not shrunk", true, 20, 10, false, false, true, 100},
      {"never below 1 percent", true, 20000, 10, true, false, false, 1},
  };
  for (const auto& c : cases) {
    std::unique_ptr<TViewOnForm> f;
    std::unique_ptr<TProbeView> hidden;
    TProbeView* v;
    if (c.shown) {
      f = std::make_unique<TViewOnForm>(120, 100, c.w, c.h);
      v = f->view;
    } else {
      hidden = std::make_unique<TProbeView>(nullptr);
      v = hidden.get();
      v->GetIEBitmap()->Allocate(c.w, c.h, ie24RGB);
    }
    v->AutoFit = c.fit;
    v->AutoStretch = c.stretch;
    v->AutoShrink = c.shrink;
    v->ClearCounts();
    v->Update();
    EXPECT_DOUBLE_EQ(v->ZoomX(), c.zoom) << c.name;
    EXPECT_EQ(v->ZoomY(), v->ZoomX()) << c.name;
    ASSERT_FALSE(v->changing.empty()) << c.name;
    EXPECT_EQ(v->changing[0].change, 2);
    EXPECT_EQ(v->changing[0].value, 100.0);
    ASSERT_FALSE(v->changes.empty()) << c.name;
    EXPECT_EQ(v->changes[0], 1);
  }
}

TEST(RedozIrViewZoom, FitHidesTheBarsAndFitsTheClientArea) {
  TViewOnForm f(120, 100, 1000, 800);
  TProbeView* v = f.view;
  ASSERT_TRUE(v->ScrollBar(SB_HORZ).Visible);
  v->Fit();
  // min(116 / 10, 96 / 8)
  EXPECT_DOUBLE_EQ(v->ZoomX(), 11.6);
  EXPECT_FALSE(v->ScrollBar(SB_HORZ).Visible);
  EXPECT_FALSE(v->ScrollBar(SB_VERT).Visible);
  EXPECT_EQ(v->ZoomedWidth(), 116);
  EXPECT_EQ(v->ZoomedHeight(), 93);  // 92.8
  EXPECT_EQ(v->ImageRect().Top, 1);  // (96 - 93) / 2
}

TEST(RedozIrViewZoom, OptimalZoomMarginsFollowTheBackgroundAndBorder) {
  struct Case {
    const char* name;
    TIEBackgroundStyle style;
    TBorderStyle border;
    bool ctl3d;
    double zoom;
  } cases[] = {
      {"3-D border", iebsSolid, bsSingle, true, 50.5},    // (105 - 4) / 2
      {"flat border", iebsSolid, bsSingle, false, 51.5},  // (105 - 2) / 2
      {"no border", iebsSolid, bsNone, true, 52.5},       // 105 / 2
      {"cropped", iebsCropped, bsNone, true, 50.5},       // system edge
      {"crop shadow", iebsCropShadow, bsSingle, true, 47.5},
      {"soft shadow", iebsSoftShadow, bsSingle, true, 43.5},
  };
  for (const auto& c : cases) {
    TRedozIrView v(nullptr);
    v.SetBackgroundStyle(c.style);
    v.SetBorderStyle(c.border);
    v.SetCtl3D(c.ctl3d);
    EXPECT_DOUBLE_EQ(v.GetOptimalZoom(200, 100, 50, 50, true, true), c.zoom) << c.name;
  }
  TRedozIrView v(nullptr);
  EXPECT_EQ(v.GetOptimalZoom(20, 10, 50, 50, false, true), 100.0);   // would stretch
  EXPECT_EQ(v.GetOptimalZoom(200, 10, 50, 50, true, false), 100.0);  // would shrink
  EXPECT_DOUBLE_EQ(v.GetOptimalZoom(20, 10, 50, 50, true, false), 505.0);
  EXPECT_EQ(v.GetOptimalZoom(0, 10, 50, 50, true, true), 100.0);
  EXPECT_EQ(v.GetOptimalZoom(20, 10, 50, 0, true, true), 100.0);
}

TEST(RedozIrViewZoom, ZoomSelectionCentresTheFormerSelection) {
  struct Case {
    bool keepAspect;
    double zoomIn;  // what OnZoomIn turns the zoom into (0: no handler)
    double zx, zy;
    int viewX, viewY;
  } cases[] = {
      // Bounds 100..149 x 50..89: 50 x 40; min(120 / 0.5, 100 / 0.4) = 240;
      // origin trunc(100 * 2.4) - (99 - 120) / 2, trunc(50 * 2.4) - (79 - 96) / 2.
      {true, 0, 240, 240, 250, 128},
      {false, 0, 240, 250, 250, 135},
      // 300: 300 - (99 - 150) / 2, 150 - (79 - 120) / 2
      {true, 300, 300, 300, 325, 170},
  };
  for (const auto& c : cases) {
    TViewOnForm f(120, 100, 1000, 800);
    TProbeView* v = f.view;
    v->SelectionMask()->SetPixel(100, 50, 1);
    v->SelectionMask()->SetPixel(149, 89, 1);
    EXPECT_EQ(v->SelectionLeft(), 100);
    EXPECT_EQ(v->SelectionBottom(), 89);
    if (c.zoomIn > 0) v->OnZoomIn = [&](TObject*, double& z) { z = c.zoomIn; };
    v->ZoomSelection(c.keepAspect, c.zoomIn > 0);
    EXPECT_DOUBLE_EQ(v->ZoomX(), c.zx);
    EXPECT_DOUBLE_EQ(v->ZoomY(), c.zy);
    EXPECT_EQ(v->ViewX(), c.viewX);
    EXPECT_EQ(v->ViewY(), c.viewY);
    EXPECT_TRUE(v->SelectionMask()->IsEmpty());
  }
  // A selection one pixel wide is left alone.
  TViewOnForm f(120, 100, 1000, 800);
  f.view->SelectionMask()->SetPixel(10, 10, 1);
  f.view->SelectionMask()->SetPixel(10, 30, 1);
  f.view->ZoomSelection();
  EXPECT_EQ(f.view->ZoomX(), 100.0);
  EXPECT_FALSE(f.view->SelectionMask()->IsEmpty());
}

TEST(RedozIrViewZoom, DelayedZoomFilterCountersAreArmedByZoomAndOrigin) {
  TRedozIrView v(nullptr);
  SetImage(v, 400, 400);
  v.Zoom(200);
  EXPECT_EQ(v.DelayZoomFilterCount(), 0);  // not asked for
  EXPECT_EQ(v.DelayTimerCount(), 2);
  v.DelayZoomFilter = true;
  v.SetZoomFilter(rfLanczos3);
  v.SetViewX(30);
  EXPECT_EQ(v.DelayZoomFilterCount(), 4);
  v.AutoFit = true;
  v.Update();  // the automatic fit clears both
  EXPECT_EQ(v.DelayZoomFilterCount(), 0);
  EXPECT_EQ(v.DelayTimerCount(), 0);
}

TEST(RedozIrViewZoom, AnOverviewShowsTheImageAndTheVisibleArea) {
  TViewOnForm f(120, 100, 1000, 800);
  TProbeView* v = f.view;
  auto* ov = new TRedozIrView(f.form);
  ov->SetParent(f.form);
  ov->SetBounds(200, 10, 120, 100);
  ov->Update();
  v->SetOverviewView(ov, 1);
  EXPECT_EQ(v->OverviewView(), ov);
  EXPECT_TRUE(ov->IsOverview());
  EXPECT_EQ(ov->GetIEBitmap(), v->GetIEBitmap());
  EXPECT_TRUE(ov->AutoFit);
  EXPECT_EQ(ov->MouseInteract(), IEMouseInteract({miSelect}));
  EXPECT_EQ(ov->SelectionBase, iesbBitmap);
  // iesoSizeable goes with the fixed-size selection.
  EXPECT_EQ(ov->SelectionOptions, IESelectionOptions({iesoMoveable, iesoCanScroll}));
  v->SetViewXY(300, 200);
  v->Update();
  // 99 x 79 client pixels at 100 from (300, 200).
  EXPECT_EQ(ov->OverviewSelection(), Rect(300, 200, 399, 279));
  v->Zoom(200);
  TRect sel = ov->OverviewSelection();
  EXPECT_EQ(sel.Left, 324);    // origin trunc(349 * 2 - 49) = 649, column 324
  EXPECT_EQ(sel.Width(), 49);  // 99 client pixels at 200
  // Moving the overview's selection scrolls the view there.
  v->ScrollToOverviewSelection(Rect(100, 50, 150, 90));
  EXPECT_EQ(v->ViewX(), 200);
  EXPECT_EQ(v->ViewY(), 100);
  // A wheel turn over the overview zooms the view (8 % of 200 out).
  Inject::Wheel(ov, 20, 20, 120);
  EXPECT_EQ(v->ZoomX(), 184.0);
  EXPECT_EQ(ov->ZoomX(), ov->ZoomY());
  // With zoom at the mouse, the image point under the mouse on the overview
  // stays where this view shows it.
  ov->MouseWheelParams.ZoomPosition = true;
  int bx = ov->XScr2Bmp(40), by = ov->YScr2Bmp(30);
  v->SetViewXY(bx * 184 / 100 - 40, by * 184 / 100 - 30);
  int sx = v->XBmp2Scr(bx), sy = v->YBmp2Scr(by);
  ASSERT_TRUE(v->ImageRect().Contains(sx, sy));
  Inject::Wheel(ov, 40, 30, -120);
  EXPECT_EQ(v->ZoomX(), 199.0);  // 184 + 15 (8 % of 184 rounds to 15)
  EXPECT_EQ(v->XScr2Bmp(sx), bx);
  EXPECT_EQ(v->YScr2Bmp(sy), by);
  // Freeing the overview ends the link.
  delete ov;
  EXPECT_EQ(v->OverviewView(), nullptr);
  v->Zoom(100);
}

TEST(RedozIrViewZoom, AnOverviewOutlivesItsViewAndCanBeReplaced) {
  THeadlessSession session;
  TRedozIrView ov(nullptr);
  auto* v = new TRedozIrView(nullptr);
  SetImage(*v, 300, 200);
  v->SetOverviewView(&ov, 1);
  EXPECT_EQ(ov.GetIEBitmap(), v->GetIEBitmap());
  TRedozIrView other(nullptr);
  other.SetOverviewView(&ov);  // taken over: the first view lets go
  EXPECT_EQ(v->OverviewView(), nullptr);
  other.SetOverviewView(nullptr);
  EXPECT_FALSE(ov.IsOverview());
  EXPECT_NE(ov.GetIEBitmap(), v->GetIEBitmap());
  v->SetOverviewView(&ov, 1);
  delete v;
  EXPECT_FALSE(ov.IsOverview());
  EXPECT_FALSE(ov.OnMouseWheel);
  EXPECT_EQ(ov.GetIEBitmap()->Width(), 0);  // its own bitmap again
}

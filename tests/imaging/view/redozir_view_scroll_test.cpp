#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <vector>

#include "platform/keys.h"
#include "view_on_form.h"

using namespace redozir;

// The 120 x 100 view on a form has a 116 x 96 client area, 99 x 79 with
// both scroll bars (17 pixels each, a 2-pixel border each side).

namespace {
bool ScrollBarUntouched(const TWindowScrollBar& b) {
  TWindowScrollBar d;
  return b.Min == d.Min && b.Max == d.Max && b.Page == d.Page && b.Pos == d.Pos && !b.Visible && !b.Flat;
}
}  // namespace

TEST(RedozIrViewScroll, ThumbAndOriginRoundTripOnAVeryWideImageUpToTheLastPosition) {
  TViewOnForm f(120, 100, 100000, 20);
  TProbeView* v = f.view;
  // Only the horizontal bar: 116 x 79. The origin runs to 100001 - 116; the
  // page is trunc(116 / (100001 / 65536)) = 76, the last position 65460.
  ASSERT_EQ(v->GetClientWidthEx(), 116);
  int mx, my;
  v->GetMaxViewXY(mx, my);
  ASSERT_EQ(mx, 99885);
  EXPECT_EQ(my, 0);
  const TWindowScrollBar& bar = v->ScrollBar(SB_HORZ);
  EXPECT_TRUE(bar.Visible);
  EXPECT_FALSE(v->ScrollBar(SB_VERT).Visible);
  EXPECT_EQ(bar.Max, 65535);
  EXPECT_EQ(bar.Page, 76u);
  ASSERT_EQ(bar.MaxPos(), 65460);
  int failures = 0;
  for (int p = 0; p <= bar.MaxPos(); ++p)
    if (v->ScrollPosFromView(SB_HORZ, v->ViewFromScrollPos(SB_HORZ, p)) != p) ++failures;
  EXPECT_EQ(failures, 0);
  // Through the scroll-bar message, as the thumb is let go.
  struct Case {
    int pos, origin;
  } cases[] = {{0, 0}, {1, 2}, {12345, 18837}, {65459, 99883}, {65460, 99885}};
  for (const auto& c : cases) {
    v->Perform(WM_HSCROLL, MAKEWPARAM(SB_THUMBPOSITION, c.pos), 0);
    EXPECT_EQ(v->ViewX(), c.origin) << c.pos;
    EXPECT_EQ(bar.Pos, c.pos) << c.pos;
  }
  // Dragging the thumb to the end shows the last column.
  v->SetViewX(0);
  Inject::ScrollBarDrag(v, SB_HORZ, bar.MaxPos());
  EXPECT_EQ(v->ViewX(), 99885);
  EXPECT_EQ(bar.Pos, 65460);
}

TEST(RedozIrViewScroll, TheWheelZoomsOrScrollsByItsParameters) {
  struct Case {
    const char* name;
    TIEMouseWheelParamsAction action;
    TIEMouseWheelParamsVariation variation;
    bool invert;
    double zoom;
    int delta;
    TShiftState shift;
    double newZoom;
    int viewX, viewY;
  } cases[] = {
      {"forward at 50 %", iemwZoom, iemwPercentage, false, 50, 120, 0, 46, -1, -1},
      {"backward at 50 %", iemwZoom, iemwPercentage, false, 50, -120, 0, 54, -1, -1},
      {"inverted", iemwZoom, iemwPercentage, true, 50, 120, 0, 54, -1, -1},
      {"absolute", iemwZoom, iemwAbsolute, false, 100, -120, 0, 108, -1, -1},
      {"at least one percent", iemwZoom, iemwPercentage, false, 10, -120, 0, 11, -1, -1},
      {"forward at 250 %", iemwZoom, iemwPercentage, false, 250, 120, 0, 230, -1, -1},
      // 8 % of 79 rows, of 99 columns with Ctrl; 8 zoomed pixels absolute.
      {"scroll down", iemwVScroll, iemwPercentage, false, 100, -120, 0, 100, 100, 106},
      {"scroll up", iemwVScroll, iemwPercentage, false, 100, 120, 0, 100, 100, 94},
      {"Ctrl scrolls sideways", iemwVScroll, iemwPercentage, false, 100, 120, ssCtrl, 100, 92, 100},
      {"absolute lines", iemwVScroll, iemwAbsolute, false, 100, -120, 0, 100, 100, 108},
      {"absolute lines at 300", iemwVScroll, iemwAbsolute, false, 300, -120, 0, 300, 100, 124},
      {"no action", iemwNone, iemwPercentage, false, 100, -120, 0, 100, 100, 100},
  };
  for (const auto& c : cases) {
    TViewOnForm f(120, 100, 1000, 800);
    TProbeView* v = f.view;
    v->MouseWheelParams.Action = c.action;
    v->MouseWheelParams.Variation = c.variation;
    v->MouseWheelParams.InvertDirection = c.invert;
    v->Zoom(c.zoom);
    v->SetViewXY(100, 100);
    double in = 0, out = 0;
    v->OnZoomIn = [&](TObject*, double& z) { in = z; };
    v->OnZoomOut = [&](TObject*, double& z) { out = z; };
    Inject::Wheel(v, 40, 30, c.delta, c.shift);
    EXPECT_DOUBLE_EQ(v->ZoomX(), c.newZoom) << c.name;
    EXPECT_EQ(in, c.newZoom > c.zoom ? c.newZoom : 0.0) << c.name;
    EXPECT_EQ(out, c.newZoom < c.zoom ? c.newZoom : 0.0) << c.name;
    if (c.viewX >= 0) {
      EXPECT_EQ(v->ViewX(), c.viewX) << c.name;
      EXPECT_EQ(v->ViewY(), c.viewY) << c.name;
    }
  }
}

// With only a horizontal range the wheel scrolls sideways: 8 % of the 116
// columns left beside no vertical bar, rounded, is 9.
TEST(RedozIrViewScroll, TheWheelScrollsSidewaysWhenOnlyThatWayIsOpen) {
  TViewOnForm f(120, 100, 1000, 50);
  TProbeView* v = f.view;
  v->MouseWheelParams.Action = iemwVScroll;
  v->MouseWheelParams.Variation = iemwPercentage;
  v->SetViewXY(100, 0);
  Inject::Wheel(v, 40, 30, -120);
  EXPECT_EQ(v->ViewX(), 109);
  EXPECT_EQ(v->ViewY(), 0);
}

// A picture smaller than the view sits in its middle, the odd pixel left
// over going to the right and bottom, whatever size the view takes (the
// client area is 4 pixels narrower and lower than the view).
TEST(RedozIrViewScroll, ASmallPictureStaysCentredAsTheViewChangesSize) {
  TViewOnForm f(120, 100, 51, 41);
  TProbeView* v = f.view;
  for (auto [w, h, left, top] : std::vector<std::array<int, 4>>{
           {120, 100, 32, 27}, {121, 101, 33, 28}, {122, 103, 33, 29}, {55, 45, 0, 0}}) {
    v->SetBounds(10, 10, w, h);
    Application->ProcessMessages();
    EXPECT_EQ(v->XBmp2Scr(0), left) << w;
    EXPECT_EQ(v->YBmp2Scr(0), top) << h;
  }
}

TEST(RedozIrViewScroll, TheWheelZoomsAtTheMouseAndHandlersMayChangeTheZoom) {
  TViewOnForm f(120, 100, 1000, 800);
  TProbeView* v = f.view;
  v->SetViewXY(300, 200);
  v->MouseWheelParams.ZoomPosition = true;
  int bx = v->XScr2Bmp(40), by = v->YScr2Bmp(30);
  Inject::Wheel(v, 40, 30, -120);
  EXPECT_EQ(v->ZoomX(), 108.0);
  EXPECT_EQ(v->XScr2Bmp(40), bx);
  EXPECT_EQ(v->YScr2Bmp(30), by);
  // The handler sees the program's selection base even while a mouse
  // interaction works in client coordinates.
  TIESelectionBase seen = iesbClientArea;
  v->OnZoomOut = [&](TObject*, double& z) {
    z = 40;
    seen = v->SelectionBase;
  };
  v->SelectionBase = iesbBitmap;
  v->BeginClientSelectionBase();
  Inject::Wheel(v, 40, 30, 120);
  v->EndClientSelectionBase();
  EXPECT_EQ(v->ZoomX(), 40.0);
  EXPECT_EQ(seen, iesbBitmap);
  EXPECT_EQ(v->SelectionBase, iesbBitmap);
  // A view that fits itself leaves the wheel alone.
  v->AutoFit = true;
  v->Update();
  double fitted = v->ZoomX();
  Inject::Wheel(v, 40, 30, -120);
  EXPECT_EQ(v->ZoomX(), fitted);
}

TEST(RedozIrViewScroll, SmoothScrollingReachesItsTarget) {
  struct Case {
    int fromX, fromY, toX, toY, divisor, endX, endY;
  } cases[] = {
      {0, 0, 500, 300, 8, 500, 300},   {0, 0, 3, 0, 8, 3, 0},  // a divisor-th of 3 rounds to nothing
      {500, 300, 0, 1, 8, 0, 1},       {0, 0, 5000, 5000, 8, 902, 722},  // beyond the maxima
      {10, 10, 400, 200, 0, 400, 200},                                   // at once
      {10, 10, 400, 200, 1, 400, 200},
  };
  for (const auto& c : cases) {
    TViewOnForm f(120, 100, 1000, 800);
    TProbeView* v = f.view;
    v->SmoothScrollDivisor = c.divisor;
    v->SetViewXY(c.fromX, c.fromY);
    v->SetViewXYSmooth(c.toX, c.toY);
    int ticks = 0;
    while (v->SmoothScrolling() && ticks < 500) {
      f.session.Clock().Advance(30);
      ++ticks;
    }
    EXPECT_FALSE(v->SmoothScrolling());
    EXPECT_LT(ticks, 100) << c.toX;
    EXPECT_EQ(v->ViewX(), c.endX) << c.toX << " by " << c.divisor;
    EXPECT_EQ(v->ViewY(), c.endY) << c.toY << " by " << c.divisor;
  }
}

TEST(RedozIrViewScroll, SmoothScrollingStopsForTheMouseButtonAndForAZoom) {
  TViewOnForm f(120, 100, 1000, 800);
  TProbeView* v = f.view;
  v->SetViewXYSmooth(500, 300);
  // The first step at once: round(62.5) and round(37.5), halves to even.
  EXPECT_EQ(v->ViewX(), 62);
  EXPECT_EQ(v->ViewY(), 38);
  ASSERT_TRUE(v->SmoothScrolling());
  key_state::SetPhysicalButton(mbLeft, true);
  f.session.Clock().Advance(30);
  EXPECT_EQ(v->ViewX(), 117);  // 62 + 438 / 8 = 116.75
  EXPECT_EQ(v->ViewY(), 71);   // 38 + 262 / 8 = 70.75
  EXPECT_FALSE(v->SmoothScrolling());
  key_state::SetPhysicalButton(mbLeft, false);
  v->SetViewXYSmooth(0, 0);
  ASSERT_TRUE(v->SmoothScrolling());
  v->Zoom(200);
  EXPECT_FALSE(v->SmoothScrolling());
}

TEST(RedozIrViewScroll, ScrollActionsAndScrollBarMessages) {
  // At 300: lines of 3 zoomed pixels; maxima 3003 - 99 and 2403 - 79.
  struct Case {
    const char* name;
    bool vertical;
    int action, position, lineStep, pageStep, expected;
  } cases[] = {
      {"to a position", false, 0, 50, -1, -1, 50}, {"to the end", false, 1, 0, -1, -1, 2904},
      {"to the start", false, 2, 0, -1, -1, 0},    {"a line on", false, 3, 0, -1, -1, 1003},
      {"a line back", false, 4, 0, -1, -1, 997},   {"a line of 5", false, 3, 0, 5, -1, 1015},
      {"a page on", false, 5, 0, -1, -1, 1099},    {"a page of 4 back", false, 6, 0, -1, 4, 988},
      {"a page down", true, 5, 0, -1, -1, 1079},   {"a page up", true, 6, 0, -1, -1, 921},
      {"clamped", true, 0, 99999, -1, -1, 2324},
  };
  for (const auto& c : cases) {
    TViewOnForm f(120, 100, 1000, 800);
    TProbeView* v = f.view;
    v->Zoom(300);
    v->SetViewXY(1000, 1000);
    TIEScrollBarParams& p = c.vertical ? v->VScrollBarParams : v->HScrollBarParams;
    p.LineStep = c.lineStep;
    p.PageStep = c.pageStep;
    if (c.vertical)
      v->ScrollVert(c.action, c.position);
    else
      v->ScrollHorz(c.action, c.position);
    EXPECT_EQ(c.vertical ? v->ViewY() : v->ViewX(), c.expected) << c.name;
  }
  // The same through the bars.
  TViewOnForm f(120, 100, 1000, 800);
  TProbeView* v = f.view;
  v->Zoom(300);
  v->SetViewXY(1000, 1000);
  Inject::ScrollBarClick(v, SB_VERT, sbpLineDown);
  EXPECT_EQ(v->ViewY(), 1003);
  Inject::ScrollBarClick(v, SB_HORZ, sbpPageUp);
  EXPECT_EQ(v->ViewX(), 901);
  EXPECT_EQ(v->ScrollBar(SB_HORZ).Pos, v->ScrollPosFromView(SB_HORZ, 901));
  v->Perform(WM_VSCROLL, MAKEWPARAM(SB_BOTTOM, 0), 0);
  EXPECT_EQ(v->ViewY(), 2324);
  v->Perform(WM_VSCROLL, MAKEWPARAM(SB_TOP, 0), 0);
  EXPECT_EQ(v->ViewY(), 0);
  // Tracking off: the thumb moves the view only when let go.
  v->HScrollBarParams.Tracking = false;
  v->Perform(WM_HSCROLL, MAKEWPARAM(SB_THUMBTRACK, 100), 0);
  EXPECT_EQ(v->ViewX(), 901);
  v->Perform(WM_HSCROLL, MAKEWPARAM(SB_THUMBPOSITION, 100), 0);
  EXPECT_EQ(v->ViewX(), v->ViewFromScrollPos(SB_HORZ, 100));
  v->HScrollBarParams.Tracking = true;
  v->Perform(WM_HSCROLL, MAKEWPARAM(SB_THUMBTRACK, 200), 0);
  EXPECT_EQ(v->ViewX(), v->ViewFromScrollPos(SB_HORZ, 200));
}

TEST(RedozIrViewScroll, UpdateShowsTheBarsThatAreNeeded) {
  struct Case {
    const char* name;
    int w, h;
    TScrollStyle bars;
    bool keep;
    bool hVisible, hEnabled, vVisible, vEnabled;
  } cases[] = {
      {"fits", 50, 40, ssBoth, false, false, true, false, true},
      {"fits, bars kept", 50, 40, ssBoth, true, true, false, true, false},
      {"larger", 1000, 800, ssBoth, false, true, true, true, true},
      {"horizontal only", 1000, 800, ssHorizontal, false, true, true, false, true},
      {"none", 1000, 800, ssNone, false, false, true, false, true},
      // 131 wide: the horizontal bar takes 17 rows, which brings the vertical.
      {"one bar brings the other", 130, 90, ssBoth, false, true, true, true, true},
  };
  for (const auto& c : cases) {
    TViewOnForm f(120, 100, c.w, c.h);
    TProbeView* v = f.view;
    v->KeepScrollBars = c.keep;
    v->SetScrollBars(c.bars);
    EXPECT_EQ(v->ScrollBar(SB_HORZ).Visible, c.hVisible) << c.name;
    EXPECT_EQ(v->ScrollBar(SB_HORZ).Enabled, c.hEnabled) << c.name;
    EXPECT_EQ(v->ScrollBar(SB_VERT).Visible, c.vVisible) << c.name;
    EXPECT_EQ(v->ScrollBar(SB_VERT).Enabled, c.vEnabled) << c.name;
    // Every bar shown stands for the origins of the client area it leaves.
    int mx, my;
    v->GetMaxViewXY(mx, my);
    const TWindowScrollBar& h = v->ScrollBar(SB_HORZ);
    if (h.Visible && h.Enabled) {
      EXPECT_EQ(v->ViewFromScrollPos(SB_HORZ, h.MaxPos()), mx) << c.name;
    }
    const TWindowScrollBar& vb = v->ScrollBar(SB_VERT);
    if (vb.Visible && vb.Enabled) {
      EXPECT_EQ(v->ViewFromScrollPos(SB_VERT, vb.MaxPos()), my) << c.name;
    }
  }
  TViewOnForm f(120, 100, 130, 90);
  int mx, my;
  f.view->GetMaxViewXY(mx, my);
  EXPECT_EQ(mx, 32);  // 131 - 99
  EXPECT_EQ(my, 12);  // 91 - 79
  // Narrowing the control brings both bars within the update of its resize.
  TViewOnForm g(120, 100, 110, 90);
  EXPECT_FALSE(g.view->ScrollBar(SB_HORZ).Visible);
  g.view->SetBounds(10, 10, 100, 100);
  EXPECT_TRUE(g.view->ScrollBar(SB_HORZ).Visible);
  EXPECT_TRUE(g.view->ScrollBar(SB_VERT).Visible);
  g.view->GetMaxViewXY(mx, my);
  EXPECT_EQ(mx, 32);  // 111 - 79
  EXPECT_EQ(my, 12);  // 91 - 79
  EXPECT_EQ(g.view->ViewFromScrollPos(SB_HORZ, g.view->ScrollBar(SB_HORZ).MaxPos()), 32);
  // A view with no client area left still maps its last thumb position to
  // its last origin.
  TViewOnForm tiny(4, 4, 100, 100);
  const TWindowScrollBar& th = tiny.view->ScrollBar(SB_HORZ);
  ASSERT_EQ(tiny.view->GetClientWidthEx(), 0);
  ASSERT_TRUE(th.Visible);
  EXPECT_EQ(th.Page, 0u);
  tiny.view->GetMaxViewXY(mx, my);
  EXPECT_EQ(mx, 101);
  EXPECT_EQ(tiny.view->ViewFromScrollPos(SB_HORZ, th.MaxPos()), 101);
  EXPECT_EQ(tiny.view->ScrollPosFromView(SB_HORZ, 101), th.MaxPos());
  f.view->FlatScrollBars(true);
  EXPECT_TRUE(f.view->FlatScrollBarsInitialized());
  EXPECT_TRUE(f.view->ScrollBar(SB_HORZ).Flat);
  EXPECT_TRUE(f.view->ScrollBar(SB_VERT).Visible);
  f.view->FlatScrollBars(false);
  EXPECT_FALSE(f.view->FlatScrollBarsInitialized());
}

TEST(RedozIrViewScroll, AHiddenViewZoomsAndScrollsWithoutAWindowOrAScrollBar) {
  TRedozIrView v(nullptr);
  SetImage(v, 1000, 800);
  v.KeepScrollBars = true;
  v.Zoom(250);
  v.SetViewXY(10, 20);
  v.ScrollHorz(3);
  v.ScrollVert(5);
  v.SetViewXYSmooth(40, 40);
  v.ZoomAt(10, 10, 300, false);
  v.SetScrollBars(ssVertical);
  v.FlatScrollBars(true);
  v.Fit();
  v.Update();
  EXPECT_DOUBLE_EQ(v.ZoomX(), 10.1);  // (105 - 4) / 10
  EXPECT_FALSE(v.HandleAllocated());
  EXPECT_TRUE(ScrollBarUntouched(v.ScrollBar(SB_HORZ)));
  EXPECT_TRUE(ScrollBarUntouched(v.ScrollBar(SB_VERT)));
  EXPECT_FALSE(v.FlatScrollBarsInitialized());
}

TEST(RedozIrViewCoords, ConversionsAgreeInsideTheTablesAtTheirEdgesAndOutside) {
  // Worked out at 250 from origin 37 (first column 14): client pixel i shows
  // column 14 + floor(i * 0.4); column c first shows at ceil((c - 14) * 2.5).
  TViewOnForm f(120, 100, 1000, 800);
  TProbeView* v = f.view;
  v->Zoom(250);
  v->SetViewXY(37, 0);
  ASSERT_EQ(v->SourceRect().Left, 14);
  ASSERT_EQ(v->ImageRect().Width(), 99);
  struct Point {
    int scr, bmp;
  } scr2bmp[] = {{0, 14}, {2, 14}, {3, 15}, {-1, 13}, {-3, 12}, {99, 53}, {100, 54}, {101, 54}},
    bmp2scr[] = {{0, 14}, {3, 15}, {-2, 13}, {-5, 12}, {100, 54}, {103, 55}};
  for (const auto& p : scr2bmp) EXPECT_EQ(v->XScr2Bmp(p.scr), p.bmp) << p.scr;
  for (const auto& p : bmp2scr) EXPECT_EQ(v->XBmp2Scr(p.bmp), p.scr) << p.bmp;
  // A centred image: 20 pixels at 150 are 30 wide from (50 - 30) / 2 = 10.
  TRedozIrView h(nullptr);
  SetImage(h, 20, 20);
  h.Zoom(150);
  ASSERT_EQ(h.ImageRect().Left, 10);
  Point centred2bmp[] = {{10, 0}, {11, 0}, {12, 1}, {9, -1}, {40, 20}, {41, 20}},
        centred2scr[] = {{10, 0}, {12, 1}, {9, -1}, {40, 20}, {42, 21}};
  for (const auto& p : centred2bmp) EXPECT_EQ(h.XScr2Bmp(p.scr), p.bmp) << p.scr;
  for (const auto& p : centred2scr) EXPECT_EQ(h.YBmp2Scr(p.bmp), p.scr) << p.bmp;
}

TEST(RedozIrViewCoords, ConversionsInvertEachOtherAcrossTheTableEdges) {
  struct Case {
    double zoom;
    int originX, originY;
  } cases[] = {{250, 0, 0},   {250, 37, 11}, {100, 123, 45}, {300, 301, 299}, {150, 7, 1},
               {50, 100, 33}, {33.3, 10, 5}, {12.5, 3, 0},   {110, 55, 5},    {700, 1001, 999}};
  for (const auto& c : cases) {
    TViewOnForm f(120, 100, 1000, 800);
    TProbeView* v = f.view;
    v->Zoom(c.zoom);
    v->SetViewXY(c.originX, c.originY);
    TRect img = v->ImageRect(), src = v->SourceRect();
    int bad = 0;
    if (c.zoom >= 100) {
      // Every column and row, shown or not, comes back from its client pixel.
      for (int b = src.Left - 6; b <= src.Right + 6; ++b)
        if (v->XScr2Bmp(v->XBmp2Scr(b)) != b) ++bad;
      for (int b = src.Top - 6; b <= src.Bottom + 6; ++b)
        if (v->YScr2Bmp(v->YBmp2Scr(b)) != b) ++bad;
    }
    if (c.zoom <= 100) {
      // Every client pixel comes back from the bitmap pixel it shows.
      for (int x = img.Left - 6; x <= img.Right + 6; ++x)
        if (v->XBmp2Scr(v->XScr2Bmp(x)) != x) ++bad;
      for (int y = img.Top - 6; y <= img.Bottom + 6; ++y)
        if (v->YBmp2Scr(v->YScr2Bmp(y)) != y) ++bad;
    }
    // Neither goes back.
    for (int x = img.Left - 6; x <= img.Right + 6; ++x)
      if (v->XScr2Bmp(x + 1) < v->XScr2Bmp(x) || v->XBmp2Scr(x + 1) < v->XBmp2Scr(x)) ++bad;
    EXPECT_EQ(bad, 0) << c.zoom << " from " << c.originX;
  }
}

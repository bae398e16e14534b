#include <gtest/gtest.h>

#include <vector>

#include "imaging/core/iebitmap.h"
#include "imaging/view/redozir_view.h"
#include "platform/application.h"
#include "platform/forms.h"
#include "platform/inject.h"
#include "platform/menus.h"

using namespace redozir;

namespace {

// A shown view whose picture (at least its client size) starts at the
// client's corner at 100 %, so client and bitmap pixels coincide.
struct TMouseView {
  THeadlessSession session;
  TForm* form;
  TRedozIrView* view;
  TMouseView(int W, int H, TIEMouseInteract Interact) {
    form = new TForm(nullptr);
    form->SetBounds(0, 0, 500, 400);
    view = new TRedozIrView(form);
    view->SetParent(form);
    view->SetBorderStyle(bsNone);
    view->SetBounds(0, 0, W, H);
    view->GetIEBitmap()->Allocate(W, H, ie24RGB);
    view->GetIEBitmap()->Fill(0);
    view->LayersCropBeforeRotating = false;
    form->Show();
    Application->ProcessMessages();
    view->SetMouseInteract(Interact);
    view->Update();
    Application->ProcessMessages();
  }
  ~TMouseView() { delete form; }
  TMouseView(const TMouseView&) = delete;
  TMouseView& operator=(const TMouseView&) = delete;
  // A new current layer of W x H at (X, Y), shown.
  TIELayer* AddLayer(int W, int H, int X = 0, int Y = 0) {
    view->LayersAdd();
    view->GetIEBitmap()->Allocate(W, H, ie24RGB);
    view->GetCurrentLayer()->PosX = X;
    view->GetCurrentLayer()->PosY = Y;
    view->Update();
    Application->ProcessMessages();
    return view->GetCurrentLayer();
  }
  void Drag(std::vector<TPoint> path, TShiftState shift = 0) {
    Inject::MouseDown(view, mbLeft, path.front().X, path.front().Y, shift);
    for (size_t i = 1; i < path.size(); ++i) Inject::MouseMove(view, path[i].X, path[i].Y, shift);
    Inject::MouseUp(view, mbLeft, path.back().X, path.back().Y, shift);
    Application->ProcessMessages();
  }
};

std::vector<TPoint> PointsOf(TRedozIrView* v) {
  return std::vector<TPoint>(v->GetSelectionPoints(), v->GetSelectionPoints() + v->GetSelectionPointCount());
}

}  // namespace

TEST(Mouse, ClicksZoomThroughTheStepTable) {
  struct {
    double zoom;
    TMouseButton button;
    double want;
  } cases[] = {{100, mbLeft, 200},  {20, mbLeft, 25}, {2, mbRight, 2}, {150, mbRight, 100},
               {300, mbRight, 200}, {1, mbLeft, 2},   {5, mbLeft, 10}, {25, mbLeft, 33},
               {50, mbLeft, 75},    {75, mbLeft, 100}};
  for (const auto& c : cases) {
    TMouseView f(200, 150, IEMouseInteract({miZoom}));
    f.view->Zoom(c.zoom);
    int changes = 0;
    f.view->OnViewChange = [&](TObject*, int) { ++changes; };
    Inject::Click(f.view, 40, 30, 0, c.button);
    EXPECT_EQ(f.view->Zoom(), c.want) << c.zoom;
    EXPECT_EQ(changes > 0, c.want != c.zoom) << c.zoom;
  }
  // A press and release at different points is no click.
  TMouseView f(200, 150, IEMouseInteract({miZoom}));
  f.Drag({{40, 30}, {45, 30}});
  EXPECT_EQ(f.view->Zoom(), 100);
}

TEST(Mouse, DragsDrawRectanglesLassosAndMoveTheSelection) {
  TMouseView f(200, 150, IEMouseInteract({miSelect}));
  f.Drag({{10, 10}, {40, 30}, {60, 40}});
  EXPECT_EQ(PointsOf(f.view), (std::vector<TPoint>{{10, 10}, {60, 10}, {60, 40}, {10, 40}}));
  EXPECT_EQ(f.view->SelectionMask()->X2, 59);
  // Dragging inside moves it; a click outside deselects.
  f.Drag({{20, 20}, {25, 22}, {30, 25}});
  EXPECT_EQ(PointsOf(f.view)[0], (TPoint{20, 15}));
  EXPECT_EQ(f.view->SelectionMask()->X1, 20);
  // Dragged past the right edge, outline and mask stop at it.
  f.Drag({{30, 20}, {100, 20}, {190, 20}});
  EXPECT_EQ(PointsOf(f.view), (std::vector<TPoint>{{150, 15}, {200, 15}, {200, 45}, {150, 45}}));
  EXPECT_EQ(f.view->SelectionMask()->X1, 150);
  EXPECT_EQ(f.view->SelectionMask()->X2, 199);
  Inject::Click(f.view, 150, 120);
  EXPECT_FALSE(f.view->Selected());
  // Not moveable: a drag inside draws a new rectangle, with the zoom filter
  // held back until the release.
  f.Drag({{10, 10}, {60, 40}});
  f.view->SelectionOptions &= ~(1u << iesoMoveable);
  f.view->DelayZoomFilter = true;
  f.view->SetZoomFilter(rfFastLinear);
  Inject::MouseDown(f.view, mbLeft, 20, 20);
  Inject::MouseMove(f.view, 30, 25);
  EXPECT_EQ(f.view->ZoomFilter(), rfNone);
  Inject::MouseUp(f.view, mbLeft, 30, 25);
  EXPECT_EQ(f.view->ZoomFilter(), rfFastLinear);
  EXPECT_EQ(PointsOf(f.view), (std::vector<TPoint>{{20, 20}, {30, 20}, {30, 25}, {20, 25}}));

  f.view->SetMouseInteract(IEMouseInteract({miSelectLasso}));
  f.Drag({{10, 10}, {60, 10}, {60, 50}});
  EXPECT_EQ(PointsOf(f.view), (std::vector<TPoint>{{10, 10}, {60, 10}, {60, 50}}));
  EXPECT_TRUE(f.view->SelectionMask()->IsPointInside(55, 15));
  // A lasso click without a drag deselects.
  Inject::Click(f.view, 150, 120);
  EXPECT_FALSE(f.view->Selected());
  EXPECT_EQ(f.view->GetSelectionPointCount(), 0);
}

TEST(Mouse, PolygonClicksAddPointsAndADoubleClickEndsWithoutAnotherPoint) {
  TMouseView f(200, 150, IEMouseInteract({miSelectPolygon}));
  Inject::Click(f.view, 10, 10);
  Inject::Click(f.view, 80, 10);
  Inject::MouseMove(f.view, 70, 60);
  Inject::DoubleClick(f.view, 80, 60);
  EXPECT_EQ(PointsOf(f.view), (std::vector<TPoint>{{10, 10}, {80, 10}, {80, 60}}));
  EXPECT_TRUE(f.view->SelectionMask()->IsPointInside(70, 20));
  EXPECT_FALSE(f.view->SelectionState().PolySelecting);
  // Switching the mode ends a polygon in progress.
  f.view->Deselect();
  Inject::Click(f.view, 10, 10);
  Inject::Click(f.view, 80, 10);
  Inject::Click(f.view, 10, 60);
  f.view->SetMouseInteract(IEMouseInteract({miSelect}));
  EXPECT_FALSE(f.view->SelectionState().PolySelecting);
  EXPECT_TRUE(f.view->SelectionMask()->IsPointInside(20, 15));
}

TEST(Mouse, ShiftRotationSnapsTowardZeroAndLayerMovesFollowTheMouse) {
  for (bool shift : {false, true}) {
    TMouseView f(300, 200, IEMouseInteract({miRotateLayers}));
    f.AddLayer(50, 50, 20, 20);
    // Outside the layer, right of and below its centre: a drag 200 pixels
    // to the left turns it by -200 / 4 degrees.
    Inject::MouseDown(f.view, mbLeft, 250, 140);
    Inject::MouseMove(f.view, 50, 140, shift ? ssShift : 0);
    EXPECT_EQ(f.view->GetLayer(1)->GetRotate(), shift ? -45.0 : -50.0);
    Inject::MouseUp(f.view, mbLeft, 50, 140);
  }
  TMouseView f(300, 200, IEMouseInteract({miMoveLayers}));
  f.AddLayer(50, 50);
  std::vector<TIELayerEvent> events;
  f.view->OnLayerNotify = [&](TObject*, int, TIELayerEvent e) { events.push_back(e); };
  f.Drag({{10, 10}, {30, 15}, {40, 25}});
  EXPECT_EQ(f.view->GetLayer(1)->PosX, 30);
  EXPECT_EQ(f.view->GetLayer(1)->PosY, 15);
  EXPECT_EQ(events.back(), ielMoved);
  // With LayersUndo a move is one undo entry, whatever its number of steps.
  EXPECT_EQ(f.view->GetProc()->GetUndoCount(), 0);
  f.view->LayersUndo = true;
  f.Drag({{40, 20}, {45, 20}, {50, 22}, {60, 30}});
  EXPECT_EQ(f.view->GetLayer(1)->PosX, 50);
  EXPECT_EQ(f.view->GetProc()->GetUndoCount(), 1);
  f.view->GetProc()->Undo();
  EXPECT_EQ(f.view->GetLayer(1)->PosX, 30);
  EXPECT_EQ(f.view->GetLayer(1)->PosY, 15);
}

TEST(Mouse, ADragPastTheEdgeScrollsAndKeepsTheDraggedPointInPlace) {
  // 300 x 200 picture in a 100 x 80 view: the origin goes up to 200 across.
  TMouseView f(100, 80, IEMouseInteract({miMoveLayers}));
  f.view->GetIEBitmap()->Allocate(300, 200, ie24RGB);
  f.AddLayer(50, 50);
  Inject::MouseDown(f.view, mbLeft, 20, 20);
  Inject::MouseMove(f.view, 150, 20);
  int maxX, maxY;
  f.view->GetMaxViewXY(maxX, maxY);
  EXPECT_EQ(f.view->ViewX(), maxX);
  // The pixel under the press (20) followed the scroll: the layer moved by
  // the distance to the pixel now under the cursor.
  EXPECT_EQ(f.view->GetLayer(1)->PosX, f.view->XScr2Bmp(150) - 20);
  Inject::MouseUp(f.view, mbLeft, 150, 20);
}

TEST(Mouse, EllipseDragsAndWandClicksSelect) {
  TMouseView f(200, 150, IEMouseInteract({miSelectCircle}));
  f.Drag({{60, 50}, {70, 60}, {160, 150}});
  EXPECT_EQ(f.view->GetSelectionPointCount(), 628);
  EXPECT_TRUE(f.view->SelectionMask()->IsPointInside(60, 50));
  f.view->SetMouseInteract(IEMouseInteract({miSelectMagicWand}));
  for (int y = 0; y < 150; ++y) f.view->GetIEBitmap()->GetScanline(y)[3 * 100] = 255;
  Inject::Click(f.view, 180, 140);  // outside the ellipse: no move
  EXPECT_EQ(PointsOf(f.view).front(), (TPoint{101, 0}));
  EXPECT_EQ(f.view->SelectionMask()->X1, 101);
  EXPECT_EQ(f.view->Cursor(), f.view->BaseCursor());
}

TEST(Mouse, GripsResizeTheSelectionAndTheLayerAndZoomRectanglesZoom) {
  TMouseView f(200, 150, IEMouseInteract({miSelect}));
  f.Drag({{20, 20}, {40, 40}, {60, 50}});
  f.Drag({{60, 50}, {70, 60}, {80, 70}});  // the bottom-right grip
  EXPECT_EQ(PointsOf(f.view), (std::vector<TPoint>{{20, 20}, {81, 20}, {81, 71}, {20, 71}}));
  EXPECT_EQ(f.view->SelectionMask()->X2, 80);

  f.view->Deselect();
  f.view->SetMouseInteract(IEMouseInteract({miResizeLayers}));
  f.AddLayer(50, 50, 20, 20);
  std::vector<TIELayerEvent> events;
  f.view->OnLayerNotify = [&](TObject*, int, TIELayerEvent e) { events.push_back(e); };
  f.Drag({{70, 70}, {80, 75}, {90, 80}});
  EXPECT_EQ(f.view->GetLayer(1)->GetWidth(), 70);
  EXPECT_EQ(f.view->GetLayer(1)->GetHeight(), 60);
  EXPECT_EQ(events.front(), ielBeginResizing);
  EXPECT_EQ(events.back(), ielResized);
  // The left side's grip moves the layer's left edge with the pointer.
  f.Drag({{20, 50}, {15, 50}, {5, 50}});
  TIELayer* l = f.view->GetLayer(1);
  EXPECT_EQ((TRect{l->PosX, l->PosY, l->GetWidth(), l->GetHeight()}), (TRect{5, 20, 85, 60}));

  f.view->SetMouseInteract(IEMouseInteract({miSelectZoom}));
  f.Drag({{10, 10}, {30, 20}, {60, 35}});
  EXPECT_EQ(f.view->Zoom(), 400);
  EXPECT_EQ(f.view->SelectionStackCount(), 0);
}

TEST(Mouse, TheRightButtonEndsAPolygonWhenAsked) {
  TMouseView f(200, 150, IEMouseInteract({miSelectPolygon}));
  f.view->SelectionOptions |= 1u << iesoRightButtonTerminatePolySelect;
  Inject::Click(f.view, 10, 10);
  Inject::Click(f.view, 80, 10);
  Inject::Click(f.view, 10, 60);
  int changes = 0;
  f.view->OnSelectionChange = [&](TObject*) { ++changes; };
  Inject::Click(f.view, 100, 100, 0, mbRight);
  EXPECT_FALSE(f.view->SelectionState().PolySelecting);
  EXPECT_TRUE(f.view->SelectionMask()->IsPointInside(20, 15));
  EXPECT_EQ(f.view->GetSelectionPointCount(), 3);
  EXPECT_EQ(changes, 1);
}

TEST(Mouse, AReleaseEndsOnlyTheGestureItsOwnPressStarted) {
  TMouseView f(200, 150, IEMouseInteract({miZoom, miSelect}));
  Inject::MouseDown(f.view, mbLeft, 20, 20);
  Inject::Click(f.view, 20, 20, 0, mbRight);
  Inject::MouseMove(f.view, 60, 50);
  Inject::MouseUp(f.view, mbLeft, 60, 50);
  EXPECT_EQ(f.view->Zoom(), 100);
  EXPECT_EQ(PointsOf(f.view), (std::vector<TPoint>{{20, 20}, {60, 20}, {60, 50}, {20, 50}}));
  EXPECT_TRUE(f.view->SelectionMask()->IsPointInside(59, 49));
}

TEST(Mouse, TheContextMenuComesOnARightReleaseTheViewDidNotUse) {
  struct {
    const char* name;
    TIEMouseInteract interact;
    unsigned options;
    bool polygon;  // a polygon being drawn when the right click comes
    bool menu;
  } cases[] = {
      {"no interaction", IEMouseInteract({}), 0, false, true},
      {"a rectangle selection", IEMouseInteract({miSelect}), 0, false, true},
      {"zoom: the right click zooms out", IEMouseInteract({miZoom}), 0, false, false},
      {"the right button picks layers", IEMouseInteract({miMoveLayers}), 1u << iesoRightButtonSelectLayers,
       false, false},
      {"the right button ends the polygon", IEMouseInteract({miSelectPolygon}),
       1u << iesoRightButtonTerminatePolySelect, true, false},
      {"no polygon to end", IEMouseInteract({miSelectPolygon}), 1u << iesoRightButtonTerminatePolySelect,
       false, true},
  };
  for (const auto& c : cases) {
    TMouseView f(200, 150, c.interact);
    f.view->SelectionOptions |= c.options;
    TPopupMenu menu(nullptr);
    menu.Add("Item");
    f.view->SetPopupMenu(&menu);
    f.view->Zoom(150);
    if (c.polygon) {
      Inject::Click(f.view, 10, 10);
      Inject::Click(f.view, 80, 10);
    }
    Inject::Click(f.view, 40, 30, 0, mbRight);
    EXPECT_EQ(menu.Window() != nullptr, c.menu) << c.name;
    menu.CloseMenu();
    // The context-menu key always shows it, and the view keeps the focus.
    Inject::Key(VK_APPS);
    EXPECT_TRUE(menu.Window()) << c.name;
    EXPECT_TRUE(f.view->Focused()) << c.name;
  }
}

TEST(Mouse, ClientPixelsMapToTheirBitmapPixelsScrolledOrNot) {
  // 29 / 200 x 200 and 55 / 150 x 150 fall short of a whole number in doubles.
  TMouseView f(200, 150, IEMouseInteract({miSelect}));
  f.Drag({{29, 10}, {58, 55}});
  EXPECT_EQ(PointsOf(f.view), (std::vector<TPoint>{{29, 10}, {58, 10}, {58, 55}, {29, 55}}));
  // Scrolled down by 30: a move of 5 from client row 20 (bitmap row 50).
  TMouseView g(200, 100, IEMouseInteract({miSelect}));
  g.view->GetIEBitmap()->Allocate(200, 150, ie24RGB);
  g.view->Update();
  g.view->SetViewXY(0, 30);
  g.Drag({{20, 10}, {60, 50}});
  g.Drag({{30, 20}, {30, 25}});
  EXPECT_EQ(PointsOf(g.view), (std::vector<TPoint>{{20, 45}, {60, 45}, {60, 85}, {20, 85}}));
}

TEST(Mouse, ShiftShowsThePlusCursorsWhileItIsHeld) {
  struct {
    TIEMouseInteractItems mode;
    TCursor base;
    TShiftState shift;
    TCursor shown;
  } cases[] = {{miSelect, 1785, ssShift, 1791},
               {miSelect, 1793, ssShift, 1794},
               {miSelect, 1785, 0, 1785},
               {miZoom, 1785, ssShift, 1791},
               {miZoom, 1793, 0, 1793}};
  for (const auto& c : cases) {
    TMouseView f(200, 150, IEMouseInteract({c.mode}));
    f.view->SetCursor(c.base);
    f.view->SetFocus();
    if (c.shift) Inject::KeyDown(VK_SHIFT);
    Inject::MouseMove(f.view, 50, 50, c.shift);
    EXPECT_EQ(f.view->Cursor(), c.shown) << c.mode << " " << c.base;
    if (c.shift) Inject::KeyUp(VK_SHIFT);
    EXPECT_EQ(f.view->Cursor(), c.base);
  }
  // Shift adds nothing without the additive switch.
  TMouseView f(200, 150, IEMouseInteract({miSelect}));
  f.view->AdditiveSelection = false;
  Inject::MouseMove(f.view, 60, 60, ssShift);
  EXPECT_EQ(f.view->Cursor(), 1785);
}

TEST(Mouse, LayerGripsKeepTheAspectAlongTheirOwnAxisAndFollowZoomAndScroll) {
  // A 100 x 50 layer at (60, 40): sides at x 60 and 160, y 40 and 90.
  struct {
    const char* side;
    TPoint from, to;
    TRect want;  // position and size
  } cases[] = {
      {"bottom", {110, 90}, {110, 115}, {60, 40, 150, 75}},
      {"top", {110, 40}, {110, 15}, {10, 15, 150, 75}},
      {"right", {160, 65}, {210, 65}, {60, 40, 150, 75}},
      {"left", {60, 65}, {10, 65}, {10, 40, 150, 75}},
  };
  for (const auto& c : cases) {
    TMouseView f(300, 200, IEMouseInteract({miResizeLayers}));
    f.view->LayersResizeAspect = 2;
    f.AddLayer(100, 50, 60, 40);
    f.Drag({c.from, {(c.from.X + c.to.X) / 2, (c.from.Y + c.to.Y) / 2}, c.to});
    TIELayer* l = f.view->GetLayer(1);
    EXPECT_EQ((TRect{l->PosX, l->PosY, l->GetWidth(), l->GetHeight()}), c.want) << c.side;
  }
  // At 200 % scrolled by (40, 20) a 50 x 50 layer at (30, 20) spans client
  // (20, 20) to (120, 120); its top-left grip dragged to client (10, 30)
  // lands on bitmap (25, 25).
  TMouseView f(200, 150, IEMouseInteract({miResizeLayers}));
  f.view->GetIEBitmap()->Allocate(400, 300, ie24RGB);
  f.AddLayer(50, 50, 30, 20);
  f.view->Zoom(200);
  f.view->SetViewXY(40, 20);
  Application->ProcessMessages();
  f.Drag({{20, 20}, {15, 25}, {10, 30}});
  TIELayer* l = f.view->GetLayer(1);
  EXPECT_EQ((TRect{l->PosX, l->PosY, l->GetWidth(), l->GetHeight()}), (TRect{25, 25, 55, 45}));
}

TEST(Mouse, RotationTurnsWithTheCursorAroundTheLayersCentre) {
  // A 50 x 50 layer at (20, 20), centre (45, 45): a drag of 20 pixels turns
  // it by 5 degrees, positive when it goes round the centre counter-clockwise.
  struct {
    const char* what;
    bool centreToCorner;  // first drag the centre grip to the top-left corner
    TPoint from, to;
    double want;
  } cases[] = {
      {"right of the centre, down", false, {250, 10}, {250, 30}, -5},
      {"left of the centre, down", false, {10, 150}, {10, 170}, 5},
      {"below the centre, right", false, {100, 150}, {120, 150}, 5},
      {"right of the moved centre, down", true, {30, 100}, {30, 120}, -5},
  };
  for (const auto& c : cases) {
    TMouseView f(300, 200, IEMouseInteract({miRotateLayers}));
    f.AddLayer(50, 50, 20, 20);
    if (c.centreToCorner) {
      f.Drag({{45, 45}, {30, 30}, {20, 20}});
      EXPECT_EQ(f.view->GetLayer(1)->RotateCenterX, 0.0);
      EXPECT_EQ(f.view->GetLayer(1)->GetRotate(), 0.0);
    }
    f.Drag({c.from, c.to});
    EXPECT_EQ(f.view->GetLayer(1)->GetRotate(), c.want) << c.what;
  }
}

TEST(Mouse, ALayerDragsPositionHintIsGoneOnceTheDragEnds) {
  // A 50 x 50 layer at (20, 20): its centre grip at (45, 45), its right side
  // at (70, 45); (150, 150) lies outside it.
  const TIEMouseInteract move = IEMouseInteract({miMoveLayers}), resize = IEMouseInteract({miResizeLayers}),
                         rotate = IEMouseInteract({miRotateLayers});
  struct {
    const char* what;
    TIEMouseInteract mode;
    TPoint from, to;
  } cases[] = {
      {"centre", rotate, {45, 45}, {60, 50}},
      {"move", move, {30, 30}, {60, 50}},
      {"resize", resize, {70, 45}, {90, 45}},
      {"rotate", rotate, {150, 150}, {120, 170}},
  };
  auto client = [](TMouseView& f) {
    std::vector<TColor> px;
    for (int y = 0; y < 200; ++y)
      for (int x = 0; x < 300; ++x) px.push_back(f.form->Surface()->GetPixel(x, y));
    return px;
  };
  for (const auto& c : cases) {
    TMouseView f(300, 200, c.mode);
    f.AddLayer(50, 50, 20, 20);
    Inject::MouseDown(f.view, mbLeft, c.from.X, c.from.Y);
    Inject::MouseMove(f.view, c.to.X, c.to.Y);
    Application->ProcessMessages();
    const std::vector<TColor> dragging = client(f);
    Inject::MouseUp(f.view, mbLeft, c.to.X, c.to.Y);
    Application->ProcessMessages();
    const std::vector<TColor> released = client(f);
    f.view->Invalidate();
    Application->ProcessMessages();
    const std::vector<TColor> repainted = client(f);
    EXPECT_TRUE(dragging != repainted) << c.what << ": the hint shows while dragging";
    EXPECT_TRUE(released == repainted) << c.what;
  }
}

TEST(Mouse, ScrollDragsFollowTheRateAndMovingScrollFollowsThePointer) {
  // 400 x 300 in 200 x 150 without scroll bars: the origin goes up to (200, 150).
  TMouseView f(200, 150, IEMouseInteract({miScroll}));
  f.view->SetScrollBars(ssNone);
  f.view->GetIEBitmap()->Allocate(400, 300, ie24RGB);
  f.view->Update();
  f.view->MouseScrollRate = 1.5;
  f.Drag({{100, 100}, {93, 97}});
  EXPECT_EQ(f.view->ViewX(), 10);  // trunc(7 x 1.5)
  EXPECT_EQ(f.view->ViewY(), 4);   // trunc(3 x 1.5)
  // The origin follows the pointer across the client, from 2 % in and 5 % wider.
  f.view->SetMouseInteract(IEMouseInteract({miMovingScroll}));
  f.view->SmoothScrollDivisor = 0;
  Inject::MouseMove(f.view, 100, 75);
  EXPECT_EQ(f.view->ViewX(), 100);  // trunc((100 / 200 - 0.02) x 1.05 x 200)
  EXPECT_EQ(f.view->ViewY(), 75);   // trunc((75 / 150 - 0.02) x 1.05 x 150)
}

TEST(Mouse, HoverOverALayerShowsItsGripMoveAndRotationCursors) {
  // A 50 x 50 layer at (20, 20): grips at 20, 45 and 70, centre (45, 45).
  const TIEMouseInteract edit = IEMouseInteract({miMoveLayers, miResizeLayers}),
                         rotate = IEMouseInteract({miRotateLayers});
  struct {
    TIEMouseInteract mode;
    bool locked;
    TPoint at;
    TCursor want;
  } cases[] = {
      {edit, false, {20, 20}, 1786},    {edit, false, {70, 20}, 1788},     {edit, false, {70, 45}, 1789},
      {edit, false, {45, 70}, 1787},    {edit, false, {35, 30}, 1790},     {edit, true, {20, 20}, 1785},
      {edit, true, {35, 30}, 1785},     {rotate, false, {10, 10}, 1814},   {rotate, false, {10, 100}, 1811},
      {rotate, false, {100, 10}, 1812}, {rotate, false, {100, 100}, 1813}, {rotate, false, {35, 30}, 1785},
  };
  TMouseView f(300, 200, 0);
  f.AddLayer(50, 50, 20, 20);
  f.view->GetLayer(0)->Locked = true;
  for (const auto& c : cases) {
    f.view->SetMouseInteract(c.mode);
    f.view->GetLayer(1)->Locked = c.locked;
    Inject::MouseMove(f.view, 150, 150);
    Inject::MouseMove(f.view, c.at.X, c.at.Y);
    EXPECT_EQ(f.view->Cursor(), c.want) << c.at.X << "," << c.at.Y << (c.locked ? " locked" : "");
  }
}

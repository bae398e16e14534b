#include <gtest/gtest.h>

#include <vector>

#include "imaging/core/iebitmap.h"
#include "imaging/view/redozir_view.h"
#include "platform/application.h"
#include "platform/forms.h"
#include "platform/inject.h"

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
  } cases[] = {{100, mbLeft, 200},  {20, mbLeft, 25},    {2, mbRight, 2},
               {150, mbRight, 100}, {300, mbRight, 200}, {1, mbLeft, 2}};
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
  Inject::Click(f.view, 150, 120);
  EXPECT_FALSE(f.view->Selected());

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
    f.view->LayersAdd();
    f.view->GetIEBitmap()->Allocate(50, 50, ie24RGB);
    f.view->GetCurrentLayer()->PosX = f.view->GetCurrentLayer()->PosY = 20;
    f.view->Update();
    Application->ProcessMessages();
    // Outside the layer, right of and below its centre: a drag 200 pixels
    // to the left turns it by -200 / 4 degrees.
    Inject::MouseDown(f.view, mbLeft, 250, 140);
    Inject::MouseMove(f.view, 50, 140, shift ? ssShift : 0);
    EXPECT_EQ(f.view->GetLayer(1)->GetRotate(), shift ? -45.0 : -50.0);
    Inject::MouseUp(f.view, mbLeft, 50, 140);
  }
  TMouseView f(300, 200, IEMouseInteract({miMoveLayers}));
  f.view->LayersAdd();
  f.view->GetIEBitmap()->Allocate(50, 50, ie24RGB);
  f.view->Update();
  Application->ProcessMessages();
  std::vector<TIELayerEvent> events;
  f.view->OnLayerNotify = [&](TObject*, int, TIELayerEvent e) { events.push_back(e); };
  f.Drag({{10, 10}, {30, 15}, {40, 25}});
  EXPECT_EQ(f.view->GetLayer(1)->PosX, 30);
  EXPECT_EQ(f.view->GetLayer(1)->PosY, 15);
  EXPECT_EQ(events.back(), ielMoved);
}

TEST(Mouse, ADragPastTheEdgeScrollsAndKeepsTheDraggedPointInPlace) {
  // 300 x 200 picture in a 100 x 80 view: the origin goes up to 200 across.
  TMouseView f(100, 80, IEMouseInteract({miMoveLayers}));
  f.view->GetIEBitmap()->Allocate(300, 200, ie24RGB);
  f.view->LayersAdd();
  f.view->GetIEBitmap()->Allocate(50, 50, ie24RGB);
  f.view->Update();
  Application->ProcessMessages();
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
  f.view->LayersAdd();
  f.view->GetIEBitmap()->Allocate(50, 50, ie24RGB);
  f.view->GetCurrentLayer()->PosX = f.view->GetCurrentLayer()->PosY = 20;
  f.view->Update();
  Application->ProcessMessages();
  std::vector<TIELayerEvent> events;
  f.view->OnLayerNotify = [&](TObject*, int, TIELayerEvent e) { events.push_back(e); };
  f.Drag({{70, 70}, {80, 75}, {90, 80}});
  EXPECT_EQ(f.view->GetLayer(1)->GetWidth(), 70);
  EXPECT_EQ(f.view->GetLayer(1)->GetHeight(), 60);
  EXPECT_EQ(events.front(), ielBeginResizing);
  EXPECT_EQ(events.back(), ielResized);

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

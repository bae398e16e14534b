#include <gtest/gtest.h>

#include <limits>

#include "imaging/core/ieproc.h"
#include "imaging/view/ievect.h"
#include "platform/application.h"
#include "platform/forms.h"
#include "platform/inject.h"

using namespace redozir;

namespace {

// A hidden vector view (client 50 x 50) whose mouse the test drives.
struct TMouseVect : TRedozIrVect {
  using TRedozIrVect::Click;  // the press-and-release helper below is an overload
  using TRedozIrVect::MouseDown;
  using TRedozIrVect::MouseMove;
  using TRedozIrVect::MouseUp;
  using TRedozIrVect::ShiftMousePositions;
  TMouseVect() : TRedozIrVect(nullptr) {
    GetIEBitmap()->Allocate(50, 50, ie24RGB);
    Update();
    ObjectInteract = oiEdit;
  }
  void Click(TShiftState Shift, int X, int Y) {
    MouseDown(mbLeft, Shift, X, Y);
    MouseUp(mbLeft, Shift & ~ssDouble, X, Y);
  }
  void Drag(TShiftState Shift, int X0, int Y0, int X1, int Y1) {
    MouseDown(mbLeft, Shift, X0, Y0);
    MouseMove(Shift, X1, Y1);
    MouseUp(mbLeft, Shift, X1, Y1);
  }
  TIEVObjectRecord& Add(TIEVObjectKind Kind, int x1, int y1, int x2, int y2) {
    TIEVObjectRecord& r = *GetObjectRecord(AddNewObject());
    r.Kind = Kind;
    r.x1 = x1, r.y1 = y1, r.x2 = x2, r.y2 = y2;
    return r;
  }
};

TEST(VectEdit, GripsOfBoxesAndRulers) {
  TMouseVect v;
  TIEVObjectRecord& box = v.Add(ievkBOX, 10, 10, 30, 30);
  box.BrushStyle = bsSolid;
  TIEVObjectRecord& ruler = v.Add(ievkRULER, 5, 40, 45, 40);
  v.Add(ievkLINELABEL, 40, 2, 48, 2).LabelRect = TRect{40, 5, 48, 9};
  int h = -1;
  v.AddToSelection(0, false);
  v.AddToSelection(1, false);
  v.AddToSelection(2, false);
  struct Case {
    int x, y, grip, obj;
  } cases[] = {{20, 20, 3, 0}, {10, 10, 1, 0}, {30, 30, 2, 0}, {30, 10, 4, 0}, {10, 20, 6, 0},
               {5, 40, 1, 1},  {45, 40, 2, 1}, {25, 40, 3, 1}, {20, 10, 8, 0}, {48, 20, 0, -1},
               {44, 9, 2, 2} /* the label moves the end */};
  for (const Case& c : cases) {
    EXPECT_EQ(v.HitGrip(c.x, c.y, h), c.grip) << c.x << "," << c.y;
    EXPECT_EQ(h, c.obj) << c.x << "," << c.y;
  }
  (void)box;
  (void)ruler;
}

TEST(VectEdit, CenterGripMovesAndAPressOnTheBodySelectsFirst) {
  for (bool centre : {false, true}) {
    TMouseVect v;
    v.GripSize = 2;
    v.ObjCenterGrip = centre;
    v.Add(ievkBOX, 10, 10, 40, 40).BrushStyle = bsClear;
    v.Add(ievkBOX, 14, 36, 22, 46).BrushStyle = bsSolid;
    v.AddToSelection(0, false);
    int h = -1;
    EXPECT_EQ(v.HitGrip(25, 25, h), centre ? 3 : 0);
    // On the outline of the selected box and inside the box over it.
    v.Drag(0, 17, 40, 19, 41);
    const TIEVObjectRecord &a = *v.GetObjectRecord(0), &b = *v.GetObjectRecord(1);
    EXPECT_EQ(v.Selection(), std::vector<int>{centre ? 1 : 0});
    EXPECT_EQ((TPoint{a.x1, a.y1}), (centre ? TPoint{10, 10} : TPoint{12, 11}));
    EXPECT_EQ((TPoint{b.x1, b.y1}), (centre ? TPoint{16, 37} : TPoint{14, 36}));
  }
}

TEST(VectEdit, MoveResizeAspectAndSnap) {
  {
    TMouseVect v;  // move grip inside a filled box
    v.Add(ievkBOX, 10, 10, 30, 30).BrushStyle = bsSolid;
    v.Drag(0, 20, 20, 25, 22);
    const TIEVObjectRecord& r = *v.GetObjectRecord(0);
    EXPECT_EQ((TRect{r.x1, r.y1, r.x2, r.y2}), (TRect{15, 12, 35, 32}));
  }
  {
    TMouseVect v;  // Alt keeps the grab ratio 2:1 while grip 2 widens
    v.Add(ievkBOX, 10, 10, 30, 20);
    v.AddToSelection(0, false);
    v.Drag(ssAlt, 30, 20, 40, 21);
    const TIEVObjectRecord& r = *v.GetObjectRecord(0);
    EXPECT_EQ((TRect{r.x1, r.y1, r.x2, r.y2}), (TRect{10, 10, 40, 25}));
  }
  {
    TMouseVect v;  // 25 x 12.5 rounds its half to the even 12
    v.Add(ievkBOX, 10, 10, 30, 20);
    v.AddToSelection(0, false);
    v.Drag(ssAlt, 30, 15, 35, 15);
    const TIEVObjectRecord& r = *v.GetObjectRecord(0);
    EXPECT_EQ((TRect{r.x1, r.y1, r.x2, r.y2}), (TRect{10, 10, 35, 22}));
  }
  {
    TMouseVect v;  // a grab of height 0: the aspect leaves it alone
    v.Add(ievkBOX, 10, 10, 30, 10);
    v.AddToSelection(0, false);
    v.Drag(ssAlt, 30, 10, 40, 14);
    const TIEVObjectRecord& r = *v.GetObjectRecord(0);
    EXPECT_EQ((TRect{r.x1, r.y1, r.x2, r.y2}), (TRect{10, 10, 40, 14}));
  }
  {
    TMouseVect v;  // grip 8 with Alt: the height leads, the width follows by x1
    v.Add(ievkBOX, 10, 10, 30, 20);
    v.AddToSelection(0, false);
    v.Drag(ssAlt, 20, 10, 20, 4);
    const TIEVObjectRecord& r = *v.GetObjectRecord(0);
    EXPECT_EQ((TRect{r.x1, r.y1, r.x2, r.y2}), (TRect{-2, 4, 30, 20}));
  }
  // Ctrl on a ruler's end snaps against the other end (5, 20): diagonal while
  // |dy| >= |dx| - 30, vertical past |dx| + 30, else horizontal.
  const struct {
    TPoint to, end;
  } snaps[] = {{{30, 25}, {30, 45}}, {{55, 40}, {55, 70}}, {{56, 40}, {56, 20}}, {{10, 56}, {5, 56}}};
  for (const auto& s : snaps) {
    TMouseVect v;
    v.Add(ievkRULER, 5, 20, 25, 20);
    v.AddToSelection(0, false);
    v.Drag(ssCtrl, 25, 20, s.to.X, s.to.Y);
    const TIEVObjectRecord& r = *v.GetObjectRecord(0);
    EXPECT_EQ((TPoint{r.x2, r.y2}), s.end) << s.to.X << "," << s.to.Y;
  }
  {
    TMouseVect v;  // the view scrolled 5 pixels under the drag: the box keeps to the image under the mouse
    v.Add(ievkBOX, 10, 10, 30, 30).BrushStyle = bsSolid;
    v.MouseDown(mbLeft, 0, 20, 20);
    v.ShiftMousePositions(5, 0);
    v.MouseMove(0, 20, 20);
    v.MouseUp(mbLeft, 0, 20, 20);
    EXPECT_EQ(v.GetObjectRecord(0)->x1, 15);
  }
}

TEST(VectEdit, ShiftClickOnNothingKeepsTheSelectionAndCreation) {
  TMouseVect v;
  v.ObjSelectionTolerance = 3;  // else the click at (45, 45) finds the nearest box
  v.Add(ievkBOX, 10, 10, 20, 20).BrushStyle = bsSolid;
  v.Drag(0, 15, 15, 15, 15);
  EXPECT_EQ(v.Selection(), std::vector<int>{0});
  v.Drag(ssShift, 45, 45, 45, 45);
  EXPECT_EQ(v.Selection(), std::vector<int>{0});
  v.Drag(0, 45, 45, 45, 45);
  EXPECT_TRUE(v.Selection().empty());
  v.ObjectInteract = oiPutBox;
  v.Drag(0, 30, 30, 40, 45);
  ASSERT_EQ(v.ObjectsCount(), 2);
  const TIEVObjectRecord& r = *v.GetObjectRecord(1);
  EXPECT_EQ((TRect{r.x1, r.y1, r.x2, r.y2}), (TRect{30, 30, 40, 45}));
  EXPECT_EQ(v.Selection(), std::vector<int>{1});
  v.ObjectInteract = oiPutBox | oiDragToPut | oiEdit;  // a click puts nothing, it selects
  v.Click(0, 15, 15);
  EXPECT_EQ(v.ObjectsCount(), 2);
  EXPECT_EQ(v.Selection(), std::vector<int>{0});
  v.ObjectInteract = oiPutBox;  // a click puts a box of the template's size (the last one's)
  v.Click(0, 5, 5);
  ASSERT_EQ(v.ObjectsCount(), 3);
  const TIEVObjectRecord& c = *v.GetObjectRecord(2);
  EXPECT_EQ((TRect{c.x1, c.y1, c.x2, c.y2}), (TRect{5, 5, 15, 20}));
  v.CenterNewObjects = true;  // 10 x 15 around the click, halves dropped
  v.Click(0, 25, 25);
  const TIEVObjectRecord& d = *v.GetObjectRecord(3);
  EXPECT_EQ((TRect{d.x1, d.y1, d.x2, d.y2}), (TRect{20, 18, 30, 33}));
}

TEST(VectEdit, ClickNearASelectedObjectSelectsItAloneAtMouseUp) {
  TMouseVect v;
  v.ObjSelectionTolerance = 3;
  v.Add(ievkBOX, 10, 10, 40, 40).BrushStyle = bsSolid;
  v.Add(ievkBOX, 0, 45, 5, 49);
  v.AddToSelection(0, false);
  v.AddToSelection(1, false);
  std::vector<int> deselected;
  v.OnUserDeselectObject = [&](TObject*, int h) { deselected.push_back(h); };
  v.MouseDown(mbLeft, 0, 42, 17);  // 1.5 from box 0, away from its grips
  EXPECT_EQ(v.Selection(), (std::vector<int>{0, 1}));
  v.MouseUp(mbLeft, 0, 42, 17);
  EXPECT_EQ(v.Selection(), std::vector<int>{0});
  EXPECT_EQ(deselected, std::vector<int>{1});
}

TEST(VectEdit, UndoLimits) {
  for (int limit : {-1, 0, 1, 3}) {
    TMouseVect v;
    v.ObjAutoUndo = true;
    v.ObjUndoLimit = limit;
    v.Add(ievkBOX, 10, 10, 40, 40).BrushStyle = bsSolid;
    v.Drag(0, 25, 25, 27, 25);  // moved to x1 12
    v.Drag(0, 25, 25, 28, 25);  // moved to x1 15
    EXPECT_EQ(v.ObjectUndoCount(), std::max(0, std::min(limit, 2))) << limit;
    if (limit <= 0) continue;
    ASSERT_TRUE(v.ObjectUndo());
    EXPECT_EQ(v.GetObjectRecord(0)->x1, 12) << limit;  // the newer entry, exactly
    EXPECT_EQ(v.GetObjectRecord(0)->x2, 42) << limit;
  }
}

TEST(VectEdit, FindObjectAtTakesTheNearest) {
  TMouseVect v;
  v.Add(ievkBOX, 10, 10, 20, 20);                     // 0: outline 1.5 from (22, 15)
  v.Add(ievkBOX, 26, 10, 36, 20);                     // 1: outline 3.5 from (22, 15), on top
  v.Add(ievkBOX, 0, 30, 10, 40).Style = ievsVisible;  // 2: not selectable
  struct Case {
    int x, y, tolerance;
    bool selectable;
    int obj;
  } cases[] = {{22, 15, -1, false, 0},     {23, 15, -1, false, 1} /* tie: the topmost */,
               {45, 5, -1, false, 1},      {45, 5, 5, false, IEV_NONE},
               {5, 35, -1, false, 2},      {5, 35, -1, true, 0},
               {5, 35, 10, true, IEV_NONE}};
  for (const Case& c : cases) {
    v.ObjSelectionTolerance = c.tolerance;
    EXPECT_EQ(v.FindObjectAt(c.x, c.y, c.selectable), c.obj) << c.x << "," << c.y << " " << c.tolerance;
  }
  v.ObjSelectionTolerance = -1;
  v.Drag(0, 45, 45, 45, 45);  // far from everything: the nearest selectable object
  EXPECT_EQ(v.Selection(), std::vector<int>{1});
}

TEST(VectEdit, HitDistanceOfClosedPolylinesTransparentBitmapsAndClearBoxes) {
  TMouseVect v;
  // A U of points 10..40 wide drawn twice as wide (10..70): legs 10..30 and 50..70, gap 30..50 below y 20.
  const int h = v.AddNewObject();
  for (TPoint p : {TPoint{10, 10}, {40, 10}, {40, 40}, {30, 40}, {30, 20}, {20, 20}, {20, 40}, {10, 40}})
    v.AddPolylinePoint(h, p.X, p.Y);
  TIEVObjectRecord& u = *v.GetObjectRecord(h);
  u.Kind = ievkPOLYLINE, u.Closed = 1, u.BrushStyle = bsSolid, u.x2 = 70;
  TIEBitmap pic;  // 2 x 1: left pixel transparent
  pic.Allocate(2, 1, ie24RGB);
  pic.GetAlphaChannel()->Fill(255);
  pic.GetAlphaChannel()->GetScanline(0)[0] = 0;
  TIEVObjectRecord& b = v.Add(ievkBITMAP, 0, 45, 19, 49);
  v.SetObjectBitmap(1, &pic);
  struct Case {
    int obj;
    double x, y, d;
    bool alpha;
  } cases[] = {{0, 20, 30, 0, true},   {0, 60, 30, 0, true}, {0, 40, 30, 9.5, true}, {0, 40, 15, 0, true},
               {1, 5, 47, 1000, true}, {1, 15, 47, 0, true}, {1, 5, 47, 0, false}};
  for (const Case& c : cases) {
    v.ObjAlphaHitTest = c.alpha;
    EXPECT_EQ(v.GetObjectDistance(c.obj, c.x, c.y), c.d) << c.obj << ": " << c.x << "," << c.y;
  }
  u.BrushStyle = bsClear;  // unfilled: the outline only, the closing side too
  EXPECT_EQ(v.GetObjectDistance(0, 20, 30), 9.5);
  EXPECT_EQ(v.GetObjectDistance(0, 10, 25), 0);
  v.Add(ievkBOX, 10, 10, 40, 40).BrushStyle = bsClear;  // the fill test makes a clear box hit inside too
  EXPECT_EQ(v.GetObjectDistance(2, 20, 25), 9.5);
  v.ObjBoxFillTest = true;
  EXPECT_EQ(v.GetObjectDistance(2, 20, 25), 0);
  (void)b;
  // A ruler, and a line of one pixel, are as near as their segment; a wider
  // line is nearer by half its width.
  const struct {
    TIEVObjectKind kind;
    int pen;
    double d;
  } lines[] = {{ievkLINE, 1, 3}, {ievkRULER, 3, 3}, {ievkLINE, 4, 1}};
  for (const auto& l : lines) {
    TIEVObjectRecord& r = v.Add(l.kind, 10, 10, 40, 10);
    r.PenWidth = l.pen;
    EXPECT_EQ(v.GetObjectDistance(v.ObjectsCount() - 1, 20, 13), l.d) << l.kind << " " << l.pen;
  }
}

// Records what the control hands to an extended object.
struct TLogExtended : TIEVExtendedObject {
  std::vector<std::string>* Log = nullptr;
  void SaveToStream(TStream&) override {}
  void LoadFromStream(TStream&) override {}
  std::unique_ptr<TIEVExtendedObject> Copy() const override { return std::make_unique<TLogExtended>(*this); }
  void MouseDown(int, int) override { Log->push_back("down"); }
  void MouseUp(int, int) override { Log->push_back("up"); }
  void MouseEnter(int, int) override { Log->push_back("enter"); }
  void MouseLeave() override { Log->push_back("leave"); }
  void KeyDown(unsigned Key, TShiftState) override { Log->push_back("key " + std::to_string(Key)); }
};

TEST(VectEdit, PolylinesAndAnglesByClicks) {
  TMouseVect v;
  std::vector<int> made;
  v.OnNewObject = [&](TObject*, int h) { made.push_back(h); };
  v.ObjectInteract = oiPutPolyline;
  v.Click(0, 10, 10);
  v.Click(ssCtrl, 45, 12);  // snapped level with (10, 10)
  v.Click(0, 60, 70);       // clipped to the image
  EXPECT_EQ(v.CreatingObject(), 0);
  EXPECT_TRUE(made.empty());
  v.Click(ssDouble, 60, 70);
  const TIEVObjectRecord& p = *v.GetObjectRecord(0);
  EXPECT_EQ(p.Points, (std::vector<TPoint>{{10, 10}, {45, 10}, {49, 49}}));
  EXPECT_EQ((TRect{p.x1, p.y1, p.x2, p.y2}), (TRect{10, 10, 49, 49}));
  EXPECT_EQ(made, std::vector<int>{0});
  EXPECT_EQ(v.Selection(), std::vector<int>{0});
  EXPECT_EQ(v.CreatingObject(), -1);
  v.ObjectInteract = oiPutAngle;
  v.Click(0, 40, 40);
  v.Click(0, 10, 40);
  EXPECT_EQ(v.ObjectsCount(), 2);
  EXPECT_TRUE(v.Selection().empty());
  v.Click(ssCtrl, 11, 5);  // snapped upright over the vertex
  const TIEVObjectRecord& a = *v.GetObjectRecord(1);
  EXPECT_EQ(a.Kind, ievkANGLE);
  EXPECT_EQ(a.AnglePoints, (std::array<TPoint, 3>{TPoint{40, 40}, {10, 40}, {10, 5}}));
  EXPECT_EQ((TRect{a.x1, a.y1, a.x2, a.y2}), (TRect{10, 5, 40, 40}));
  EXPECT_EQ(made, (std::vector<int>{0, 1}));
  EXPECT_EQ(v.Selection(), std::vector<int>{1});
  v.ObjectInteract = oiPutPolyline;  // left unfinished: edit mode still moves objects
  v.Click(0, 5, 5);
  v.ObjectInteract = oiEdit;
  v.Drag(0, 25, 40, 27, 40);
  EXPECT_EQ(v.GetObjectRecord(1)->x1, 12);
  EXPECT_EQ(v.GetObjectRecord(2)->Points, (std::vector<TPoint>{{5, 5}}));
  v.ObjectInteract = 0x1FFFF;  // every mode
  v.SetMouseInteract(IEMouseInteract({miZoom}));
  EXPECT_EQ(v.ObjectInteract, oiMeasureArea | oiMeasureLength | oiDragToPut);
}

TEST(VectEdit, PolylinePointsAndSegmentsMoveInTheirBoxAndCtrlDeletesDownToTwo) {
  TMouseVect v;
  const int h = v.AddNewObject();
  for (TPoint p : {TPoint{10, 10}, {30, 10}, {30, 30}}) v.AddPolylinePoint(h, p.X, p.Y);
  TIEVObjectRecord& r = *v.GetObjectRecord(h);
  r.Kind = ievkPOLYLINE, r.x2 = 50;  // drawn twice as wide: (30, 10) shows at (50, 10)
  v.AddToSelection(h, false);
  v.ObjectInteract = oiEditPolylinePoints;
  v.Drag(0, 50, 10, 40, 12);
  EXPECT_EQ(r.Points, (std::vector<TPoint>{{10, 10}, {25, 12}, {30, 30}}));
  v.Click(ssCtrl, 10, 10);
  v.Click(ssCtrl, 40, 12);
  EXPECT_EQ(r.Points, (std::vector<TPoint>{{25, 12}, {30, 30}}));
  // Off the points the segment (shown (40, 12)-(50, 30)) is grabbed: both
  // points move, the x offset halved back into the point box.
  v.Drag(0, 45, 21, 49, 25);
  EXPECT_EQ(v.PolylineSegmentHit(), 0);
  EXPECT_EQ(r.Points, (std::vector<TPoint>{{27, 16}, {32, 34}}));
  v.ObjectInteract = oiPutPolyline;  // kept open: a double click does not end it
  v.ObjPolylineKeepOpen = true;
  v.Click(0, 5, 5);
  v.Click(ssDouble, 5, 5);
  v.Click(0, 9, 5);
  EXPECT_EQ(v.CreatingObject(), 1);
  EXPECT_EQ(v.GetObjectRecord(1)->Points, (std::vector<TPoint>{{5, 5}, {9, 5}}));
}

TEST(VectEdit, UndoStepsOfGestures) {
  {
    TMouseVect v;  // a click that only selects or deselects leaves no step
    v.ObjAutoUndo = true;
    v.ObjUndoLimit = 3;
    v.ObjSelectionTolerance = 3;
    std::vector<TIEUndoSource> saved;
    v.SetOnSaveUndo([&](TObject*, TIEUndoSource s) { saved.push_back(s); });
    v.Add(ievkBOX, 10, 10, 20, 20).BrushStyle = bsSolid;
    v.Click(0, 15, 15);
    v.Click(0, 45, 45);
    EXPECT_TRUE(v.Selection().empty());
    EXPECT_EQ(v.ObjectUndoCount(), 0);
    EXPECT_EQ(saved, (std::vector<TIEUndoSource>{ieuObject, ieuObject}));
    v.Zoom(400);  // a press that slips by a screen pixel inside one image pixel
    v.Drag(0, v.XBmp2Scr(15), v.YBmp2Scr(15), v.XBmp2Scr(15) + 1, v.YBmp2Scr(15));
    EXPECT_EQ(v.Selection(), std::vector<int>{0});
    EXPECT_EQ(v.ObjectUndoCount(), 0);
  }
  TMouseVect v;  // shared: entries of the processing component, restored through the stream
  v.ObjAutoUndo = true;
  v.ObjUndoMode = ieumShared;
  v.GetProc()->SetUndoLimit(5);
  v.Add(ievkBOX, 10, 10, 20, 20).BrushStyle = bsSolid;
  v.Click(0, 15, 15);
  EXPECT_EQ(v.GetProc()->GetUndoCount(), 0);
  v.Drag(0, 15, 15, 20, 15);
  ASSERT_EQ(v.GetProc()->GetUndoCount(), 1);
  EXPECT_EQ(v.GetProc()->GetUndoSource(0), ieuObject);
  EXPECT_EQ(v.GetObjectRecord(0)->x1, 15);
  v.GetProc()->Undo();
  EXPECT_EQ(v.GetObjectRecord(0)->x1, 10);
  EXPECT_EQ(v.ObjectUndoCount(), 0);
}

TEST(VectEdit, ObjectEventsAndExtendedObjects) {
  TMouseVect v;
  std::vector<std::string> log;
  auto note = [&](const char* what) {
    return [&log, what](TObject*, int h) { log.push_back(what + std::to_string(h)); };
  };
  v.OnObjectClick = note("click ");
  v.OnObjectDblClick = note("dbl ");
  v.OnObjectOver = note("over ");
  v.Add(ievkBOX, 0, 0, 10, 10).BrushStyle = bsSolid;
  TIEVObjectRecord& e = v.Add(ievkEXTENDED, 20, 20, 40, 40);
  auto ext = std::make_unique<TLogExtended>();
  ext->Log = &log;
  e.Extended.p = std::move(ext);
  v.MouseMove(0, 5, 5);
  v.MouseMove(0, 45, 45);  // nearest is the extended object, but it is not under the mouse
  v.MouseMove(0, 30, 30);
  v.MouseMove(0, 5, 5);
  v.Click(0, 30, 30);
  v.Click(ssDouble, 30, 30);
  v.Perform(WM_KEYDOWN, 'A', 0);
  EXPECT_EQ(log, (std::vector<std::string>{"over 0", "over 1", "enter", "over 0", "leave", "down", "up",
                                           "click 1", "dbl 1", "down", "up", "click 1", "key 65"}));
}

TEST(VectEdit, RubberBandIsInvertedOnTheScreenAndErasedByDrawingItAgain) {
  THeadlessSession session;
  TForm* form = new TForm(nullptr);
  form->SetBounds(0, 0, 300, 200);
  auto* v = new TRedozIrVect(form);
  v->SetParent(form);
  v->SetBorderStyle(bsNone);
  v->SetBounds(0, 0, 100, 80);
  v->GetIEBitmap()->Allocate(100, 80, ie24RGB);
  v->GetIEBitmap()->Fill(0xFFFFFF);
  form->Show();
  v->Update();
  Application->ProcessMessages();
  v->ObjectInteract = oiPutRuler;  // the ruler being created shows its end strokes and live length
  std::vector<double> lengths;
  v->OnPresentMeasure = [&](TObject*, std::string&, double Value, TIEVValType) { lengths.push_back(Value); };
  Inject::MouseDown(v, mbLeft, 10, 60);
  Inject::MouseMove(v, 60, 60);
  EXPECT_EQ(Inject::Pixel(v, 60, 53), clBlack);
  Inject::MouseMove(v, 45, 60);
  EXPECT_EQ(Inject::Pixel(v, 60, 53), clWhite);
  EXPECT_EQ(Inject::Pixel(v, 45, 53), clBlack);
  EXPECT_EQ(lengths, (std::vector<double>{50, 35}));
  v->OnPresentMeasure = nullptr;
  Inject::MouseUp(v, mbLeft, 45, 60);
  v->ObjectInteract = oiPutBox;
  Inject::MouseDown(v, mbLeft, 10, 10);
  Inject::MouseMove(v, 30, 20);
  EXPECT_EQ(Inject::Pixel(v, 30, 15), clBlack);
  EXPECT_EQ(Inject::Pixel(v, 20, 15), clWhite);
  Inject::MouseMove(v, 40, 30);
  EXPECT_EQ(Inject::Pixel(v, 30, 15), clWhite);
  EXPECT_EQ(Inject::Pixel(v, 40, 25), clBlack);
  Inject::MouseUp(v, mbLeft, 40, 30);
  Application->ProcessMessages();
  ASSERT_EQ(v->ObjectsCount(), 2);
  EXPECT_EQ(Inject::Pixel(v, 40, 25), clBlack);  // now the box itself
  EXPECT_EQ(Inject::Pixel(v, 45, 25), clWhite);
  const int h = v->AddNewObject();  // the selected polyline's points in red while they are edited
  for (TPoint p : {TPoint{60, 60}, {90, 60}, {90, 75}}) v->AddPolylinePoint(h, p.X, p.Y);
  v->GetObjectRecord(h)->Kind = ievkPOLYLINE;
  v->UnselectAll(false);
  v->AddToSelection(h, false);
  v->ObjectInteract = oiEditPolylinePoints;
  v->Update();
  Application->ProcessMessages();
  EXPECT_EQ(Inject::Pixel(v, 90, 60), clRed);
  EXPECT_EQ(Inject::Pixel(v, 83, 60), clBlack);
  v->ObjectInteract = oiPutPolyline;  // scroll bars coming end no creation, a new size does
  Inject::Click(v, 5, 5);
  v->Zoom(400);
  Application->ProcessMessages();
  EXPECT_EQ(v->CreatingObject(), 3);
  v->SetBounds(0, 0, 120, 90);
  Application->ProcessMessages();
  EXPECT_EQ(v->CreatingObject(), -1);
  delete form;
}

TEST(VectEdit, HandlersThatEmptyTheStoreEndTheGesture) {
  TMouseVect v;
  v.Add(ievkBOX, 10, 10, 20, 20).BrushStyle = bsSolid;
  v.Add(ievkTEXT, 30, 30, 45, 45);
  v.AddToSelection(0, false);
  v.AddToSelection(1, false);
  v.OnObjectMoveResize = [&](TObject*, int, int, int&, int&) { v.RemoveAllObjects(); };
  v.Drag(0, 15, 15, 18, 15);
  EXPECT_EQ(v.ObjectsCount(), 0);
  v.Add(ievkTEXT, 30, 30, 45, 45);
  v.OnObjectDblClick = [&](TObject*, int) { v.RemoveAllObjects(); };
  v.Click(ssDouble, 35, 35);
  EXPECT_EQ(v.ObjectsCount(), 0);
}

TEST(VectEdit, ObjectsFarPastTheScreenTakeEveryGesture) {
  constexpr int kMin = std::numeric_limits<int>::min(), kMax = std::numeric_limits<int>::max();
  for (double zoom : {100.0, 0.01, 1e6}) {
    TMouseVect v;
    v.Zoom(zoom);
    v.Add(ievkBOX, kMin, kMin, kMax, kMax).KeepAspect = 1;
    v.Add(ievkLINE, kMax, 0, kMin, 10);
    TIEVObjectRecord& a = v.Add(ievkANGLE, 0, 0, 1, 1);
    a.AnglePoints = {TPoint{kMin, kMax}, TPoint{kMax, kMin}, TPoint{0, 0}};
    const int h = v.AddNewObject();
    for (TPoint p : {TPoint{kMin, 0}, TPoint{kMax, 1}, TPoint{0, kMax}}) v.AddPolylinePoint(h, p.X, p.Y);
    TIEVObjectRecord& p = *v.GetObjectRecord(h);
    p.Kind = ievkPOLYLINE, p.Closed = 1, p.BrushStyle = bsSolid, p.x2 = p.x1 + 1;
    for (std::uint32_t mode : {oiEdit, oiEditPolylinePoints | oiEdit, oiPutAngle, oiPutPolyline}) {
      v.ObjectInteract = mode;
      for (int i = 0; i < 4; ++i) {
        v.UnselectAll(false);
        v.AddToSelection(i, false);
        for (TShiftState s : {TShiftState(0), TShiftState(ssCtrl), TShiftState(ssAlt | ssShift)}) {
          EXPECT_NO_THROW(v.Drag(s, 25, 25, 0, 49)) << zoom << " " << mode << " " << i;
          EXPECT_NO_THROW(v.MouseMove(0, 49, 0));
        }
      }
      v.Click(ssDouble, 10, 10);
    }
  }
}

}  // namespace

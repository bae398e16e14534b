// Editing of the vector objects: selecting, creating (by dragging and by
// clicks), moving and resizing with the mouse, grips, polyline points, the
// rubber band, keys and focus, and the object undo steps.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "imaging/core/ieproc.h"
#include "imaging/view/ievect.h"
#include "platform/canvas.h"
#include "platform/numeric.h"
#include "platform/stream.h"

namespace redozir {

namespace {

constexpr int kUnset = -1000000;  // an angle point not placed yet

// The record of a stored object; nullptr for the reserved handles.
TIEVObjectRecord* Stored(TRedozIrVect& V, int hobj) { return hobj >= 0 ? V.GetObjectRecord(hobj) : nullptr; }

bool IsLineKind(std::uint8_t k) { return k == ievkLINE || k == ievkRULER || k == ievkLINELABEL; }

// A coordinate worked out in doubles: rounded (halves to even) and kept
// where later sums cannot overflow.
int Coord(double v) { return RoundClamp(v, -kIEVMaxDrawCoord * 512, kIEVMaxDrawCoord * 512); }

// Conversions between the view and the image that stay defined for coordinates
// far past the screen.
int ImgX(TRedozIrVect& V, int X) { return Coord(V.ObjXScr2Bmp(X)); }
int ImgY(TRedozIrVect& V, int Y) { return Coord(V.ObjYScr2Bmp(Y)); }
int ScrX(TRedozIrVect& V, double X) { return Coord(V.ObjXBmp2Scr(X)); }
int ScrY(TRedozIrVect& V, double Y) { return Coord(V.ObjYBmp2Scr(Y)); }

// Ctrl: the moving point goes vertical, diagonal or horizontal against the anchor.
TPoint Snap45(TPoint Anchor, TPoint P) {
  const double dx = double(P.X) - Anchor.X, dy = double(P.Y) - Anchor.Y;
  if (std::abs(dy) > std::abs(dx) + 30) return TPoint{Anchor.X, P.Y};
  if (std::abs(dy) >= std::abs(dx) - 30) {
    const double d = std::max(std::abs(dx), std::abs(dy));
    return TPoint{Coord(Anchor.X + (dx < 0 ? -d : d)), Coord(Anchor.Y + (dy < 0 ? -d : d))};
  }
  return TPoint{P.X, Anchor.Y};
}

// A coordinate moved by a grip.
void MoveBy(int& V, int D) { V = Coord(double(V) + D); }

}  // namespace

// ---- undo

void TRedozIrVect::SaveObjectUndo() {
  if (!ObjAutoUndo) return;
  if (ObjUndoMode == ieumShared) {
    // The processing component fires the view's OnSaveUndo itself.
    TRedozIrProc* proc = GetProc();
    proc->SaveUndo(ieuObject);
    fUndoSaved = proc->UndoLimit() > 0;
    return;
  }
  if (ObjUndoLimit <= 0) return;
  while (!fUndo.empty() && static_cast<int>(fUndo.size()) >= ObjUndoLimit) fUndo.pop_front();
  TMemoryStream m;
  SaveToStreamIEV(m);
  fUndo.push_back(m.Bytes());
  fUndoSaved = true;
  if (const TIESaveUndoEvent& e = GetOnSaveUndo()) e(this, ieuObject);
}

// The step a gesture saved at mouse down and did not use.
void TRedozIrVect::DropGestureUndo() {
  if (ObjUndoMode == ieumSeparated) {
    DropLastObjectUndo();
    return;
  }
  TRedozIrProc* proc = GetProc();
  for (int i = 0; i < proc->GetUndoCount(); ++i)
    if (proc->GetUndoSource(i) == ieuObject) {
      proc->ClearUndoAt(i);
      return;
    }
}

bool TRedozIrVect::SaveUndoState(TIEUndoSource Source, TStream& Stream) {
  if (Source != ieuObject) return TRedozIrView::SaveUndoState(Source, Stream);
  SaveToStreamIEV(Stream);
  return true;
}

void TRedozIrVect::LoadUndoState(TIEUndoSource Source, TStream& Stream) {
  if (Source != ieuObject) return TRedozIrView::LoadUndoState(Source, Stream);
  EndGestures();
  if (LoadFromStreamIEV(Stream)) Update();
}

bool TRedozIrVect::ObjectUndo() {
  if (fUndo.empty()) return false;
  EndGestures();
  TMemoryStream m(fUndo.back());
  const bool ok = LoadFromStreamIEV(m);
  fUndo.pop_back();
  if (ok) Update();
  return ok;
}

// ---- grips and selection

int TRedozIrVect::HitGrip(int X, int Y, int& hobj) {
  hobj = -1;
  const int g = std::max(GripSize, 1);
  for (auto it = fSelection.rbegin(); it != fSelection.rend(); ++it) {
    const TIEVObjectRecord* r = GetObjectRecord(*it);
    if (!r || !(r->Style & ievsVisible)) continue;
    auto near = [&](int bx, int by) {
      return std::abs(ObjXBmp2Scr(bx) - X) <= g && std::abs(ObjYBmp2Scr(by) - Y) <= g;
    };
    int grip = 0;
    if (r->Kind == ievkANGLE) {
      for (int i = 0; i < 3 && !grip; ++i)
        if (r->AnglePoints[static_cast<std::size_t>(i)].X != -1000000 &&
            near(r->AnglePoints[static_cast<std::size_t>(i)].X,
                 r->AnglePoints[static_cast<std::size_t>(i)].Y))
          grip = 10 + i;
    } else {
      const int mx = static_cast<int>((std::int64_t(r->x1) + r->x2) / 2);
      const int my = static_cast<int>((std::int64_t(r->y1) + r->y2) / 2);
      const struct {
        int g, x, y;
      } pts[] = {{1, r->x1, r->y1}, {2, r->x2, r->y2}, {4, r->x2, r->y1}, {5, r->x1, r->y2},
                 {6, r->x1, my},    {7, r->x2, my},    {8, mx, r->y1},    {9, mx, r->y2}};
      for (const auto& p : pts) {
        if (IsLineKind(r->Kind) && p.g > 2) break;
        if (near(p.x, p.y)) {
          grip = p.g;
          break;
        }
      }
    }
    if (!grip && OnCenterGrip(*r, X, Y)) grip = 3;
    const double bx = ObjXScr2Bmp(X), by = ObjYScr2Bmp(Y);
    // A line's label moves its end point.
    const TRect& lr = r->LabelRect;
    if (!grip && r->Kind == ievkLINELABEL && lr.Right > lr.Left && bx >= lr.Left && bx <= lr.Right &&
        by >= lr.Top && by <= lr.Bottom)
      grip = 2;
    if (!grip && GetObjectDistance(*it, bx, by) < 1) grip = 3;
    if (grip) {
      if (!(r->Style & ievsSizeable)) grip = 3;
      hobj = *it;
      return grip;
    }
  }
  return 0;
}

// The centre grip (ObjCenterGrip) of an object's rectangle under screen point (X, Y).
bool TRedozIrVect::OnCenterGrip(const TIEVObjectRecord& R, int X, int Y) {
  if (!ObjCenterGrip) return false;
  const int g = std::max(GripSize, 1);
  const int mx = static_cast<int>((std::int64_t(R.x1) + R.x2) / 2);
  const int my = static_cast<int>((std::int64_t(R.y1) + R.y2) / 2);
  return std::abs(ObjXBmp2Scr(mx) - X) <= g && std::abs(ObjYBmp2Scr(my) - Y) <= g;
}

void TRedozIrVect::SelectAt(int X, int Y, bool Shift) {
  const int h = FindObjectAt(X, Y, true);
  // The object that stays selected is not told it was deselected.
  auto deselectAll = [&] {
    for (int s : std::vector<int>(fSelection))
      if (s != h) DoUserDeselectObject(s);
    fSelection.clear();
  };
  if (h < 0) {
    if (!Shift) deselectAll();  // Shift-click on nothing keeps the selection
    return;
  }
  if (!IsSelected(h)) {
    if (!Shift) deselectAll();
    AddToSelection(h, false);
    DoUserSelectObject(h);
  } else if (Shift) {
    DoUserDeselectObject(h);
    RemoveFromSelection(h);
  } else {
    deselectAll();
    AddToSelection(h, false);
  }
}

// ---- creating by clicks

// A click in image pixels, inside the image unless ObjAllowOutside is on.
TPoint TRedozIrVect::ClickPoint(int X, int Y) {
  TPoint p{ImgX(*this, X), ImgY(*this, Y)};
  TIEBitmap* b = GetIEBitmap();
  if (!ObjAllowOutside && b && b->Width() > 0 && b->Height() > 0) {
    p.X = std::clamp(p.X, 0, b->Width() - 1);
    p.Y = std::clamp(p.Y, 0, b->Height() - 1);
  }
  return p;
}

// The polyline or angle being made by clicks while its mode is on; a
// creation whose mode was turned off ends where it stands.
TIEVObjectRecord* TRedozIrVect::NewObject() {
  TIEVObjectRecord* r = Stored(*this, fNewObject);
  if (r && (ObjectInteract & (r->Kind == ievkPOLYLINE ? oiPutPolyline : oiPutAngle))) return r;
  fNewObject = -1;
  return nullptr;
}

// The polyline or angle made by clicks is done: it becomes the selection.
void TRedozIrVect::EndNewObject() {
  const int h = fNewObject;
  fNewObject = -1;
  const TIEVObjectRecord* r = Stored(*this, h);
  if (!r) return;
  fTemplate.x1 = r->x1, fTemplate.y1 = r->y1, fTemplate.x2 = r->x2, fTemplate.y2 = r->y2;
  fSelection.clear();
  AddToSelection(h, false);
  DoVectorialChanged();
  DoNewObject(h);
  Update();
}

void TRedozIrVect::AngleClick(TShiftState Shift, int X, int Y) {
  const TPoint p{ImgX(*this, X), ImgY(*this, Y)};
  TIEVObjectRecord* r = Stored(*this, fNewObject);
  if (!r || r->Kind != ievkANGLE) {
    TIEVObjectRecord t = fTemplate;
    t.Kind = ievkANGLE;
    t.AnglePoints = {p, TPoint{kUnset, kUnset}, TPoint{kUnset, kUnset}};
    DoBeforeVectorialChanged();
    fNewObject = AddObject(t);
    fSelection.clear();
    Modified = true;
    Update();
    return;
  }
  auto& a = r->AnglePoints;
  const int i = a[1].X == kUnset ? 1 : 2;
  TPoint q = p;
  if (Shift & ssCtrl) {
    // Snapped on the screen against the point before, as the rubber band shows it.
    const TPoint s = Snap45(TPoint{ScrX(*this, a[i - 1].X), ScrY(*this, a[i - 1].Y)}, TPoint{X, Y});
    q = TPoint{ImgX(*this, s.X), ImgY(*this, s.Y)};
  }
  a[static_cast<std::size_t>(i)] = q;
  if (i == 2) {
    r->x1 = std::min({a[0].X, a[1].X, a[2].X});
    r->y1 = std::min({a[0].Y, a[1].Y, a[2].Y});
    r->x2 = std::max({a[0].X, a[1].X, a[2].X});
    r->y2 = std::max({a[0].Y, a[1].Y, a[2].Y});
    EndNewObject();
    return;
  }
  Update();
}

void TRedozIrVect::PolylineClick(TShiftState Shift, int X, int Y) {
  TIEVObjectRecord* r = Stored(*this, fNewObject);
  if (r && r->Kind != ievkPOLYLINE) r = nullptr;
  if (Shift & ssDouble) {
    if (r && !ObjPolylineKeepOpen) EndNewObject();
    return;
  }
  TPoint p = ClickPoint(X, Y);
  if (!r) {
    TIEVObjectRecord t = fTemplate;
    t.Kind = ievkPOLYLINE;
    t.x1 = t.y1 = t.x2 = t.y2 = 0;
    t.Points.clear();
    DoBeforeVectorialChanged();
    fNewObject = AddObject(t);
    fSelection.clear();
    Modified = true;
  } else if ((Shift & ssCtrl) && !r->Points.empty()) {
    const TPoint last = r->Points.back();
    const TPoint s = Snap45(TPoint{ScrX(*this, last.X), ScrY(*this, last.Y)}, TPoint{X, Y});
    p = ClickPoint(s.X, s.Y);
  }
  AddPolylinePoint(fNewObject, p.X, p.Y);
  Update();
}

// ---- polyline points

namespace {

// The points of a polyline scaled from the point box to the rectangle, on the screen.
std::vector<TPoint> ScreenPoints(TRedozIrVect& V, const TIEVObjectRecord& R) {
  const TIEVPointsMap map(R);
  std::vector<TPoint> pts;
  for (TPoint p : R.Points) pts.push_back(TPoint{ScrX(V, Coord(map.X(p.X))), ScrY(V, Coord(map.Y(p.Y)))});
  return pts;
}

}  // namespace

bool TRedozIrVect::GrabPolylinePoint(int X, int Y) {
  if (fSelection.size() != 1) return false;
  const TIEVObjectRecord& r = fRecords[static_cast<std::size_t>(fSelection[0])];
  if (r.Kind != ievkPOLYLINE) return false;
  const std::vector<TPoint> pts = ScreenPoints(*this, r);
  for (std::size_t i = 0; i < pts.size(); ++i)
    if (std::hypot(pts[i].X - X, pts[i].Y - Y) <= 3) {
      fPolyPoint = static_cast<int>(i);
      return true;
    }
  // Off the points: the first segment within 1.5 pixels.
  const std::size_t n = pts.size();
  const std::size_t segments = r.Closed && n > 2 ? n : n - std::min<std::size_t>(n, 1);
  for (std::size_t i = 0; i < segments; ++i) {
    const TPoint a = pts[i], b = pts[(i + 1) % n];
    const double dx = double(b.X) - a.X, dy = double(b.Y) - a.Y, l2 = dx * dx + dy * dy;
    const double t =
        l2 == 0 ? 0.0 : std::clamp(((double(X) - a.X) * dx + (double(Y) - a.Y) * dy) / l2, 0.0, 1.0);
    if (std::hypot(X - (a.X + t * dx), Y - (a.Y + t * dy)) < 1.5) {
      fPolySegment = static_cast<int>(i);
      fSegmentGrab = {r.Points[i], r.Points[(i + 1) % n]};
      return true;
    }
  }
  return false;
}

void TRedozIrVect::MovePolylinePoint(int X, int Y) {
  if (fSelection.size() != 1) return;
  TIEVObjectRecord& r = fRecords[static_cast<std::size_t>(fSelection[0])];
  if (r.Kind != ievkPOLYLINE || fPolyPoint >= static_cast<int>(r.Points.size())) return;
  // Back from the rectangle to the point box; an axis the rectangle has
  // squeezed to nothing keeps its coordinate.
  const TIEVPointsMap map(r);
  TPoint& p = r.Points[static_cast<std::size_t>(fPolyPoint)];
  if (map.Fx != 0) p.X = Coord(map.BoxX(ImgX(*this, X)));
  if (map.Fy != 0) p.Y = Coord(map.BoxY(ImgY(*this, Y)));
  Modified = true;
  Update();
}

// Both points of the grabbed segment follow the mouse from the drag start,
// in point-box space.
void TRedozIrVect::MovePolylineSegment(int X, int Y) {
  if (fSelection.size() != 1) return;
  TIEVObjectRecord& r = fRecords[static_cast<std::size_t>(fSelection[0])];
  const std::size_t n = r.Points.size(), i = static_cast<std::size_t>(fPolySegment);
  if (r.Kind != ievkPOLYLINE || i >= n) return;
  const TIEVPointsMap map(r);
  const double dx = double(ImgX(*this, X)) - ImgX(*this, fDragStart.X);
  const double dy = double(ImgY(*this, Y)) - ImgY(*this, fDragStart.Y);
  const std::size_t at[2] = {i, (i + 1) % n};
  for (std::size_t k = 0; k < 2; ++k) {
    TPoint& p = r.Points[at[k]];
    const TPoint before = p;
    if (map.Fx != 0) p.X = Coord(fSegmentGrab[k].X + dx / map.Fx);
    if (map.Fy != 0) p.Y = Coord(fSegmentGrab[k].Y + dy / map.Fy);
    if (p != before) Modified = true;
  }
  Update();
}

void TRedozIrVect::DrawPolylinePoints(TCanvas* Canvas) {
  if (!Canvas || !(ObjectInteract & oiEditPolylinePoints) || fSelection.size() != 1) return;
  const TIEVObjectRecord& r = fRecords[static_cast<std::size_t>(fSelection[0])];
  if (r.Kind != ievkPOLYLINE) return;
  Canvas->Pen = TPen{};
  Canvas->Brush.Color = static_cast<TColor>(0x0000FF);
  Canvas->Brush.Style = bsSolid;
  for (TPoint p : ScreenPoints(*this, r)) Canvas->Ellipse(p.X - 3, p.Y - 3, p.X + 3, p.Y + 3);
}

// ---- rubber band

void TRedozIrVect::DrawRubberLine() {
  TCanvas* c = Canvas();
  c->MoveTo(fDragStart.X, fDragStart.Y);
  c->LineTo(fRubberEnd.X, fRubberEnd.Y);
}

void TRedozIrVect::DrawRubberBox() {
  TCanvas* c = Canvas();
  c->MoveTo(fDragStart.X, fDragStart.Y);
  c->LineTo(fRubberEnd.X, fDragStart.Y);
  c->LineTo(fRubberEnd.X, fRubberEnd.Y);
  c->LineTo(fDragStart.X, fRubberEnd.Y);
  c->LineTo(fDragStart.X, fDragStart.Y);
}

void TRedozIrVect::DrawRubberEllipse() {
  TCanvas* c = Canvas();
  c->Brush.Style = bsClear;
  c->Ellipse(std::min(fDragStart.X, fRubberEnd.X), std::min(fDragStart.Y, fRubberEnd.Y),
             std::max(fDragStart.X, fRubberEnd.X) + 1, std::max(fDragStart.Y, fRubberEnd.Y) + 1);
}

// The ruler being created, whole with its live length, in the template's
// pen (not the rubber band's): it is taken away by a repaint.
void TRedozIrVect::DrawNewRuler() { fRulerShown = DrawNewRulerOn(Canvas(), fDragStart, fRubberEnd); }

// The arms placed so far, the first unset point following the mouse.
void TRedozIrVect::DrawNewAngle() {
  const TIEVObjectRecord* r = Stored(*this, fNewObject);
  if (!r || r->Kind != ievkANGLE) return;
  TCanvas* c = Canvas();
  const auto& a = r->AnglePoints;
  c->MoveTo(ScrX(*this, a[0].X), ScrY(*this, a[0].Y));
  if (a[1].X != kUnset) c->LineTo(ScrX(*this, a[1].X), ScrY(*this, a[1].Y));
  c->LineTo(fRubberEnd.X, fRubberEnd.Y);
}

// Shows the outline for the end point fDragEnd, or takes the shown one away.
void TRedozIrVect::ShowRubberBand(bool Show) {
  if (!HasParentWindow()) return;
  const bool angle = fCreating == 0;
  auto draw = [&] {
    TCanvas* c = Canvas();
    const TPen pen = c->Pen;
    const TBrush brush = c->Brush;
    c->Pen = RubberBandPen;
    if (angle)
      DrawNewAngle();
    else if (fCreating == ievkLINE || fCreating == ievkLINELABEL || fCreating < 0)
      DrawRubberLine();
    else if (fCreating == ievkELLIPSE)
      DrawRubberEllipse();
    else if (fCreating == ievkRULER)
      DrawNewRuler();
    else
      DrawRubberBox();
    c->Pen = pen;
    c->Brush = brush;
  };
  if (!Show) {
    if (!fRubberShown) return;
    fRubberShown = false;
    if (fCreating == ievkRULER) {
      if (fRulerShown.Right > fRulerShown.Left || fRulerShown.Bottom > fRulerShown.Top) {
        // Grown by the pen's reach past the end points.
        const int m = std::clamp(fTemplate.PenWidth, 1, 1000) + 1;
        InvalidateRect(
            TRect{fRulerShown.Left - m, fRulerShown.Top - m, fRulerShown.Right + m, fRulerShown.Bottom + m},
            false);
        TControl::Update();
      }
      fRulerShown = TRect{};
    } else if (RubberBandPen.Mode == pmNot) {
      draw();
    } else if (angle) {
      Invalidate();
      TControl::Update();
    } else {
      InvalidateRect(
          TRect{std::min(fDragStart.X, fRubberEnd.X) - 1, std::min(fDragStart.Y, fRubberEnd.Y) - 1,
                std::max(fDragStart.X, fRubberEnd.X) + 1, std::max(fDragStart.Y, fRubberEnd.Y) + 1},
          false);
      TControl::Update();
    }
    return;
  }
  fRubberEnd = fDragEnd;
  draw();
  fRubberShown = true;
}

void TRedozIrVect::DrawSelectionOutline(TCanvas* Canvas) {
  fRubberShown = false;
  TRedozIrView::DrawSelectionOutline(Canvas);
}

// ---- the mouse

int TRedozIrVect::ExtendedAt(int X, int Y) {
  const int h = FindObjectAt(X, Y);
  const TIEVObjectRecord* r = Stored(*this, h);
  if (h < 0 || !r || r->Kind != ievkEXTENDED || !r->Extended.p) return -1;
  return GetObjectDistance(h, ImgX(*this, X), ImgY(*this, Y)) == 0 ? h : -1;
}

// OnObjectOver for an object under the mouse, and the extended objects'
// enter, move and leave notifications.
void TRedozIrVect::HoverObjects(int X, int Y) {
  const int h = FindObjectAt(X, Y);
  if (h >= 0 && GetObjectDistance(h, ImgX(*this, X), ImgY(*this, Y)) < 1) DoObjectOver(h);
  const int e = ExtendedAt(X, Y);
  if (e != fOverExtended) {
    const TIEVObjectRecord* old = Stored(*this, fOverExtended);
    if (fOverExtended >= 0 && old && old->Kind == ievkEXTENDED && old->Extended.p)
      old->Extended.p->MouseLeave();
    fOverExtended = e;
    // Looked up again: the handlers may have changed the store.
    if (TIEVObjectRecord* n = Stored(*this, e); n && n->Extended.p) n->Extended.p->MouseEnter(X, Y);
  } else if (e >= 0) {
    fRecords[static_cast<std::size_t>(e)].Extended.p->MouseMove(X, Y);
  }
}

void TRedozIrVect::EndGestures() {
  ShowRubberBand(false);
  fCreating = 0;
  fGrip = 0;
  fPolyPoint = -1;
  fPolySegment = -1;
  fNewObject = -1;
  fDeferredSelect = false;
  fUndoSaved = false;
  fLeftDown = false;
  if (GestureMoved) {
    GestureMoved = false;
    Update();
  }
}

void TRedozIrVect::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TRedozIrView::MouseDown(Button, Shift, X, Y);
  if (Button != mbLeft || IsEmpty()) return;
  fLeftDown = true;
  if (fTextEditing >= 0) {
    EndTextEdit();
    Update();
  }
  fPolyPoint = -1;
  fPolySegment = -1;
  fDeferredSelect = false;
  fDownExtended = -1;
  fUndoSaved = false;
  NewObject();  // a polyline or angle whose mode was turned off stays as it is
  if (!fCreating && fNewObject < 0) {
    Modified = false;
    SaveObjectUndo();
  }
  fDragStart = fDragEnd = fLast = TPoint{X, Y};
  const struct {
    std::uint32_t bit;
    int kind;
  } modes[] = {{oiPutLine, ievkLINE},        {oiPutLineLabel, ievkLINELABEL}, {oiPutRuler, ievkRULER},
               {oiPutBox, ievkBOX},          {oiPutEllipse, ievkELLIPSE},     {oiPutBitmap, ievkBITMAP},
               {oiPutText, ievkTEXT},        {oiPutMemo, ievkMEMO},           {oiDragLen, 1},
               {oiPutExtended, ievkEXTENDED}};
  for (const auto& m : modes)
    if (ObjectInteract & m.bit) {
      fCreating = m.bit == oiDragLen ? -1 : m.kind;
      return;
    }
  const bool dbl = (Shift & ssDouble) != 0;
  if (ObjectInteract & oiPutAngle) {
    if (!dbl) AngleClick(Shift, X, Y);
    return;
  }
  if (ObjectInteract & oiPutPolyline) {
    PolylineClick(Shift, X, Y);
    return;
  }
  if ((ObjectInteract & oiEditPolylinePoints) && GrabPolylinePoint(X, Y)) return;
  if (!(ObjectInteract & oiEdit)) return;
  int h = -1;
  if (!dbl) {
    fGrip = HitGrip(X, Y, h);
    // With the centre grip on, only that grip moves at once: a press on an
    // object's body selects at the point first.
    const TIEVObjectRecord* held = Stored(*this, h);
    const bool body = fGrip == 3 && ObjCenterGrip && held && !OnCenterGrip(*held, X, Y);
    if ((!fGrip || body) && SelectOnMouseDown) {
      // An object already selected is made the only selection by a click,
      // at the mouse up, not by a press that may start a drag.
      const int under = FindObjectAt(X, Y, true);
      if (under >= 0 && IsSelected(under)) {
        fDeferredSelect = true;
      } else {
        SelectAt(X, Y, (Shift & ssShift) != 0);
        Update();
      }
      fGrip = HitGrip(X, Y, h);
    }
    if (fGrip)
      for (int s : fSelection) {
        TIEVObjectRecord& r = fRecords[static_cast<std::size_t>(s)];
        r.GrabRect = TRect{r.x1, r.y1, r.x2, r.y2};
      }
  } else if ((h = FindObjectAt(X, Y)) >= 0) {
    DoObjectDblClick(h);
    const TIEVObjectRecord* r = Stored(*this, h);  // the handler may have emptied the store
    if (r && (r->Kind == ievkTEXT || r->Kind == ievkMEMO) &&
        GetObjectDistance(h, ImgX(*this, X), ImgY(*this, Y)) == 0) {
      const bool was = IsSelected(h);
      fSelection.clear();
      AddToSelection(h, false);
      if (!was) DoUserSelectObject(h);
      StartTextEdit(h);
      Update();
    }
  }
  fDownExtended = ExtendedAt(X, Y);
  if (fDownExtended >= 0) fRecords[static_cast<std::size_t>(fDownExtended)].Extended.p->MouseDown(X, Y);
}

void TRedozIrVect::ShiftMousePositions(int DX, int DY) {
  TRedozIrView::ShiftMousePositions(DX, DY);
  fLast.X -= DX;
  fLast.Y -= DY;
}

void TRedozIrVect::MouseMove(TShiftState Shift, int X, int Y) {
  TRedozIrView::MouseMove(Shift, X, Y);
  // The hint is off the screen while the outlines change, and follows the mouse after.
  HideMeasureHint();
  struct THintAfter {
    TRedozIrVect& V;
    ~THintAfter() {
      try {
        V.RefreshMeasureHint();
      } catch (...) {
        // Like a paint's, a failure of the hint's drawing goes no further.
      }
    }
  } hintAfter{*this};
  if (fCreating) {
    ShowRubberBand(false);
    fDragEnd = (Shift & ssCtrl) ? Snap45(fDragStart, TPoint{X, Y}) : TPoint{X, Y};
    GestureMoved = true;
    ShowRubberBand(true);
    return;
  }
  if (TIEVObjectRecord* r = NewObject()) {
    if (r->Kind == ievkPOLYLINE && fLeftDown) {
      const TPoint p = ClickPoint(X, Y);
      AddPolylinePoint(fNewObject, p.X, p.Y);
      Update();
    } else if (r->Kind == ievkANGLE) {
      ShowRubberBand(false);
      fDragEnd = TPoint{X, Y};
      ShowRubberBand(true);
    }
    return;
  }
  if (fPolyPoint >= 0) {
    MovePolylinePoint(X, Y);
    return;
  }
  if (fPolySegment >= 0 && fLeftDown) {
    MovePolylineSegment(X, Y);
    return;
  }
  if (!fGrip) {
    if (!fLeftDown) HoverObjects(X, Y);
    return;
  }
  DragGrip(Shift, X, Y);
}

namespace {

// The grabbed grip's edges (or points) of an object moved by (dx, dy) image pixels.
void MoveByGrip(TIEVObjectRecord& r, int Grip, int dx, int dy) {
  switch (Grip) {
    case 1: MoveBy(r.x1, dx), MoveBy(r.y1, dy); break;
    case 2: MoveBy(r.x2, dx), MoveBy(r.y2, dy); break;
    case 3:
      MoveBy(r.x1, dx), MoveBy(r.x2, dx), MoveBy(r.y1, dy), MoveBy(r.y2, dy);
      for (TPoint& p : r.AnglePoints)
        if (p.X != kUnset) MoveBy(p.X, dx), MoveBy(p.Y, dy);
      break;
    case 4: MoveBy(r.x2, dx), MoveBy(r.y1, dy); break;
    case 5: MoveBy(r.x1, dx), MoveBy(r.y2, dy); break;
    case 6: MoveBy(r.x1, dx); break;
    case 7: MoveBy(r.x2, dx); break;
    case 8: MoveBy(r.y1, dy); break;
    case 9: MoveBy(r.y2, dy); break;
    case 10:
    case 11:
    case 12:
      MoveBy(r.AnglePoints[static_cast<std::size_t>(Grip - 10)].X, dx);
      MoveBy(r.AnglePoints[static_cast<std::size_t>(Grip - 10)].Y, dy);
      break;
    default: break;
  }
}

// Ctrl on a line end: snapped against the other end.
void SnapLineEnd(TIEVObjectRecord& r, int Grip) {
  if (!IsLineKind(r.Kind) || (Grip != 1 && Grip != 2)) return;
  const TPoint anchor = Grip == 1 ? TPoint{r.x2, r.y2} : TPoint{r.x1, r.y1};
  const TPoint p = Snap45(anchor, Grip == 1 ? TPoint{r.x1, r.y1} : TPoint{r.x2, r.y2});
  if (Grip == 1)
    r.x1 = p.X, r.y1 = p.Y;
  else
    r.x2 = p.X, r.y2 = p.Y;
}

// The ratio of the rectangle at grab, kept by the side the grip does not lead.
void KeepGrabRatio(TIEVObjectRecord& r, int Grip) {
  const double W0 = double(r.GrabRect.Right) - r.GrabRect.Left,
               H0 = double(r.GrabRect.Bottom) - r.GrabRect.Top;
  if (Grip == 3 || Grip >= 10 || W0 == 0 || H0 == 0) return;
  if (Grip <= 7) {
    const double w = double(r.x2) - r.x1;
    if (w == 0) return;
    const int h = Coord(w * H0 / W0);
    if (Grip == 1 || Grip == 4)
      r.y1 = Coord(double(r.y2) - h);
    else
      r.y2 = Coord(double(r.y1) + h);
  } else {
    const double hh = double(r.y2) - r.y1;
    if (hh == 0) return;
    const int w = Coord(hh * W0 / H0);
    if (Grip == 8)
      r.x1 = Coord(double(r.x2) - w);
    else
      r.x2 = Coord(double(r.x1) + w);
  }
}

}  // namespace

void TRedozIrVect::DragGrip(TShiftState Shift, int X, int Y) {
  GestureMoved = true;
  const int ox = ImgX(*this, X) - ImgX(*this, fLast.X), oy = ImgY(*this, Y) - ImgY(*this, fLast.Y);
  fLast = TPoint{X, Y};
  // A copy: OnObjectMoveResize may change the selection or the store.
  for (int s : std::vector<int>(fSelection)) {
    int dx = ox, dy = oy;
    DoObjectMoveResize(s, fGrip, dx, dy);
    TIEVObjectRecord* rp = Stored(*this, s);
    if (!rp || !fGrip) break;
    TIEVObjectRecord& r = *rp;
    const TRect before{r.x1, r.y1, r.x2, r.y2};
    const auto anglesBefore = r.AnglePoints;
    MoveByGrip(r, fGrip, dx, dy);
    if (Shift & ssCtrl) SnapLineEnd(r, fGrip);
    if ((Shift & ssAlt) || r.KeepAspect || AspectLock) KeepGrabRatio(r, fGrip);
    // A move within one image pixel changes nothing.
    if (before != TRect{r.x1, r.y1, r.x2, r.y2} || anglesBefore != r.AnglePoints) Modified = true;
  }
  Update();
}

void TRedozIrVect::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TRedozIrView::MouseUp(Button, Shift, X, Y);
  if (Button != mbLeft || !fLeftDown) return;
  fLeftDown = false;
  const bool click = fDragStart.X == X && fDragStart.Y == Y;
  bool clickSelects = (ObjectInteract & oiEdit) && click && fNewObject < 0;
  if (fCreating > 0) {
    ShowRubberBand(false);
    if (click && (ObjectInteract & oiDragToPut)) {
      // A click puts nothing; with edit mode on it selects as an edit click does.
      fDeferredSelect = true;
    } else {
      clickSelects = false;
      const double w = double(fTemplate.x2) - fTemplate.x1, hgt = double(fTemplate.y2) - fTemplate.y1;
      int x1 = ImgX(*this, fDragStart.X), y1 = ImgY(*this, fDragStart.Y);
      if (click && CenterNewObjects) {
        x1 = Coord(x1 - std::trunc(w / 2));
        y1 = Coord(y1 - std::trunc(hgt / 2));
      }
      fTemplate.x1 = x1, fTemplate.y1 = y1;
      fTemplate.x2 = click ? Coord(double(x1) + w) : ImgX(*this, fDragEnd.X);
      fTemplate.y2 = click ? Coord(double(y1) + hgt) : ImgY(*this, fDragEnd.Y);
      const std::uint8_t kind = fTemplate.Kind;
      fTemplate.Kind = static_cast<std::uint8_t>(fCreating);
      DoBeforeVectorialChanged();
      const int h = AddObject(fTemplate);
      fTemplate.Kind = kind;
      fSelection.clear();
      AddToSelection(h, false);
      DoNewObject(h);
      Modified = true;
      if (EditOnCreate && (fCreating == ievkTEXT || fCreating == ievkMEMO))
        StartTextEdit(h);
      else
        DoVectorialChanged();
      Update();
    }
  } else if (fCreating < 0) {
    HideMeasureHint();
    ShowRubberBand(false);
    EndDragLength(X, Y);
  } else if (fGrip) {
    for (int s : fSelection) {
      TIEVObjectRecord& r = fRecords[static_cast<std::size_t>(s)];
      if (IsLineKind(r.Kind) || r.Kind == ievkPOLYLINE) continue;
      if (r.x1 > r.x2) std::swap(r.x1, r.x2);
      if (r.y1 > r.y2) std::swap(r.y1, r.y2);
    }
    if (Modified) DoVectorialChanged();
  } else if ((fPolyPoint >= 0 || fPolySegment >= 0) && fSelection.size() == 1) {
    TIEVObjectRecord& r = fRecords[static_cast<std::size_t>(fSelection[0])];
    if ((Shift & ssCtrl) && fPolyPoint >= 0 && r.Kind == ievkPOLYLINE && r.Points.size() > 2 &&
        fPolyPoint < static_cast<int>(r.Points.size())) {
      r.Points.erase(r.Points.begin() + fPolyPoint);
      Modified = true;
      Update();
    }
    if (Modified) DoVectorialChanged();
    clickSelects = false;
  }
  if (fDownExtended >= 0) {
    const TIEVObjectRecord* r = Stored(*this, fDownExtended);
    if (r && r->Kind == ievkEXTENDED && r->Extended.p) r->Extended.p->MouseUp(X, Y);
    fDownExtended = -1;
  }
  if (clickSelects && fTextEditing < 0) {
    if (!SelectOnMouseDown || fDeferredSelect) {
      SelectAt(X, Y, (Shift & ssShift) != 0);
      Update();
    }
    const int h = FindObjectAt(X, Y);
    if (h >= 0) DoObjectClick(h);
  }
  if (ObjAutoUndo && fUndoSaved && !Modified && fTextEditing < 0) DropGestureUndo();
  fUndoSaved = false;
  fDeferredSelect = false;
  fCreating = 0;
  fGrip = 0;
  fPolyPoint = -1;
  if (GestureMoved) {
    GestureMoved = false;
    Update();
  }
}

// ---- keys, focus and size

void TRedozIrVect::WndProc(TMessage& Message) {
  switch (Message.Msg) {
    case WM_GETDLGCODE:
      // Arrow keys and characters come to the control.
      Message.Result = DLGC_WANTARROWS | DLGC_WANTCHARS;
      return;
    case WM_KEYDOWN:
      TRedozIrView::WndProc(Message);
      if (fSelection.size() == 1) {
        const TIEVObjectRecord& r = fRecords[static_cast<std::size_t>(fSelection[0])];
        if (r.Kind == ievkEXTENDED && r.Extended.p)
          r.Extended.p->KeyDown(static_cast<unsigned>(Message.WParam), KeyDataToShiftState(Message.LParam));
      }
      return;
    case WM_SETFOCUS:
      TRedozIrView::WndProc(Message);
      FocusTextEditor();
      return;
    case WM_SIZE:
      // Only a new size of the control: scroll bars shown by an update
      // change the client area alone and end nothing.
      if (Width() != fGestureWidth || Height() != fGestureHeight) {
        fGestureWidth = Width();
        fGestureHeight = Height();
        EndGestures();
        EndTextEdit();
        TRedozIrView::WndProc(Message);
        Update();
        return;
      }
      TRedozIrView::WndProc(Message);
      return;
    default: TRedozIrView::WndProc(Message);
  }
}

}  // namespace redozir

// Editing of the vector objects: selecting, creating, moving and resizing
// with the mouse, grips and the object undo list.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "imaging/view/ievect.h"
#include "platform/stream.h"

namespace redozir {

namespace {

bool IsLineKind(std::uint8_t k) { return k == ievkLINE || k == ievkRULER || k == ievkLINELABEL; }

// Ctrl: the moving point goes vertical, diagonal or horizontal against the anchor.
TPoint Snap45(TPoint Anchor, TPoint P) {
  const int dx = P.X - Anchor.X, dy = P.Y - Anchor.Y;
  if (std::abs(dy) > std::abs(dx) + 30) return TPoint{Anchor.X, P.Y};
  if (std::abs(dy) >= std::abs(dx) - 30) {
    const int d = std::max(std::abs(dx), std::abs(dy));
    return TPoint{Anchor.X + (dx < 0 ? -d : d), Anchor.Y + (dy < 0 ? -d : d)};
  }
  return TPoint{P.X, Anchor.Y};
}

}  // namespace

// ---- undo

void TRedozIrVect::SaveObjectUndo() {
  if (!ObjAutoUndo || ObjUndoMode != ieumSeparated || ObjUndoLimit <= 0) return;
  while (!fUndo.empty() && static_cast<int>(fUndo.size()) >= ObjUndoLimit) fUndo.pop_front();
  TMemoryStream m;
  SaveToStreamIEV(m);
  fUndo.push_back(m.Bytes());
}

bool TRedozIrVect::ObjectUndo() {
  if (fUndo.empty()) return false;
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
      return std::abs(XBmp2Scr(bx) - X) <= g && std::abs(YBmp2Scr(by) - Y) <= g;
    };
    int grip = 0;
    if (r->Kind == ievkANGLE) {
      for (int i = 0; i < 3 && !grip; ++i)
        if (r->AnglePoints[static_cast<std::size_t>(i)].X != -1000000 &&
            near(r->AnglePoints[static_cast<std::size_t>(i)].X,
                 r->AnglePoints[static_cast<std::size_t>(i)].Y))
          grip = 10 + i;
    } else {
      const int mx = (r->x1 + r->x2) / 2, my = (r->y1 + r->y2) / 2;
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
    if (!grip && GetObjectDistance(*it, XScr2Bmp(X), YScr2Bmp(Y)) < 1) grip = 3;
    if (grip) {
      if (!(r->Style & ievsSizeable)) grip = 3;
      hobj = *it;
      return grip;
    }
  }
  return 0;
}

void TRedozIrVect::SelectAt(int X, int Y, bool Shift) {
  const int h = FindObjectAt(X, Y, true);
  auto deselectAll = [&] {
    for (int s : std::vector<int>(fSelection)) DoUserDeselectObject(s);
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

// ---- mouse

void TRedozIrVect::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TRedozIrView::MouseDown(Button, Shift, X, Y);
  if (Button != mbLeft) return;
  if (fTextEditing >= 0) {
    EndTextEdit();
    Update();
  }
  if (!fCreating) {
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
    if (MouseInteractVt & m.bit) {
      fCreating = m.bit == oiDragLen ? -1 : m.kind;
      return;
    }
  if (!(MouseInteractVt & oiEdit)) return;
  int h = -1;
  fGrip = HitGrip(X, Y, h);
  if (!fGrip && SelectOnMouseDown) {
    SelectAt(X, Y, (Shift & ssShift) != 0);
    fGrip = HitGrip(X, Y, h);
    Update();
  }
  if (fGrip)
    for (int s : fSelection) {
      TIEVObjectRecord& r = fRecords[static_cast<std::size_t>(s)];
      r.GrabRect = TRect{r.x1, r.y1, r.x2, r.y2};
    }
}

void TRedozIrVect::MouseMove(TShiftState Shift, int X, int Y) {
  TRedozIrView::MouseMove(Shift, X, Y);
  if (fCreating) {
    fDragEnd = (Shift & ssCtrl) ? Snap45(fDragStart, TPoint{X, Y}) : TPoint{X, Y};
    GestureMoved = true;
    return;
  }
  if (!fGrip) return;
  GestureMoved = true;
  const int ox = XScr2Bmp(X) - XScr2Bmp(fLast.X), oy = YScr2Bmp(Y) - YScr2Bmp(fLast.Y);
  fLast = TPoint{X, Y};
  for (int s : fSelection) {
    TIEVObjectRecord& r = fRecords[static_cast<std::size_t>(s)];
    int dx = ox, dy = oy;
    DoObjectMoveResize(s, fGrip, dx, dy);
    switch (fGrip) {
      case 1: r.x1 += dx, r.y1 += dy; break;
      case 2: r.x2 += dx, r.y2 += dy; break;
      case 3:
        r.x1 += dx, r.x2 += dx, r.y1 += dy, r.y2 += dy;
        for (TPoint& p : r.AnglePoints)
          if (p.X != -1000000) p.X += dx, p.Y += dy;
        break;
      case 4: r.x2 += dx, r.y1 += dy; break;
      case 5: r.x1 += dx, r.y2 += dy; break;
      case 6: r.x1 += dx; break;
      case 7: r.x2 += dx; break;
      case 8: r.y1 += dy; break;
      case 9: r.y2 += dy; break;
      case 10:
      case 11:
      case 12:
        r.AnglePoints[static_cast<std::size_t>(fGrip - 10)].X += dx;
        r.AnglePoints[static_cast<std::size_t>(fGrip - 10)].Y += dy;
        break;
      default: break;
    }
    // Ctrl on a line end: snapped against the other end.
    if ((Shift & ssCtrl) && IsLineKind(r.Kind) && (fGrip == 1 || fGrip == 2)) {
      const TPoint anchor = fGrip == 1 ? TPoint{r.x2, r.y2} : TPoint{r.x1, r.y1};
      const TPoint p = Snap45(anchor, fGrip == 1 ? TPoint{r.x1, r.y1} : TPoint{r.x2, r.y2});
      if (fGrip == 1)
        r.x1 = p.X, r.y1 = p.Y;
      else
        r.x2 = p.X, r.y2 = p.Y;
    }
    const bool aspect = (Shift & ssAlt) || r.KeepAspect || AspectLock;
    const int W0 = r.GrabRect.Right - r.GrabRect.Left, H0 = r.GrabRect.Bottom - r.GrabRect.Top;
    if (aspect && fGrip != 3 && fGrip < 10 && W0 != 0 && H0 != 0) {
      if (fGrip <= 7) {
        const int w = r.x2 - r.x1;
        if (w != 0) {
          const int h = static_cast<int>(std::lround(double(w) * H0 / W0));
          if (fGrip == 1 || fGrip == 4)
            r.y1 = r.y2 - h;
          else
            r.y2 = r.y1 + h;
        }
      } else {
        const int hh = r.y2 - r.y1;
        if (hh != 0) {
          const int w = static_cast<int>(std::lround(double(hh) * W0 / H0));
          if (fGrip == 8)
            r.x1 = r.x2 - w;
          else
            r.x2 = r.x1 + w;
        }
      }
    }
    Modified = true;
  }
  Update();
}

void TRedozIrVect::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TRedozIrView::MouseUp(Button, Shift, X, Y);
  if (fCreating > 0) {
    const bool click = fDragStart.X == X && fDragStart.Y == Y;
    if (!(click && (MouseInteractVt & oiDragToPut))) {
      const int x1 = XScr2Bmp(fDragStart.X), y1 = YScr2Bmp(fDragStart.Y);
      const int w = fTemplate.x2 - fTemplate.x1, hgt = fTemplate.y2 - fTemplate.y1;
      fTemplate.x1 = x1, fTemplate.y1 = y1;
      fTemplate.x2 = click ? x1 + w : XScr2Bmp(fDragEnd.X);
      fTemplate.y2 = click ? y1 + hgt : YScr2Bmp(fDragEnd.Y);
      const std::uint8_t kind = fTemplate.Kind;
      fTemplate.Kind = static_cast<std::uint8_t>(fCreating);
      DoBeforeVectorialChanged();
      const int h = AddObject(fTemplate);
      fTemplate.Kind = kind;
      fSelection.clear();
      AddToSelection(h, false);
      DoNewObject(h);
      Modified = true;
    }
  } else if (fGrip) {
    for (int s : fSelection) {
      TIEVObjectRecord& r = fRecords[static_cast<std::size_t>(s)];
      if (IsLineKind(r.Kind) || r.Kind == ievkPOLYLINE) continue;
      if (r.x1 > r.x2) std::swap(r.x1, r.x2);
      if (r.y1 > r.y2) std::swap(r.y1, r.y2);
    }
    if (Modified) DoVectorialChanged();
  }
  if (ObjAutoUndo && !Modified && ObjUndoMode == ieumSeparated && (fCreating || fGrip)) DropLastObjectUndo();
  fCreating = 0;
  fGrip = 0;
  if (GestureMoved) {
    GestureMoved = false;
    Update();
  }
}

}  // namespace redozir

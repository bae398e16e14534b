// TRedozIrView's mouse: a press chooses what a drag does by MouseInteract
// (zoom, scroll, the selection gestures, moving, resizing and rotating
// layers), moves repeat it, the release ends it; cursors, hints and the
// automatic scroll of a drag past the image's edge.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "imaging/core/ie_geometry.h"
#include "imaging/core/iebitmap.h"
#include "imaging/view/redozir_view.h"
#include "platform/keys.h"

namespace redozir {

namespace {

constexpr TCursor kScrollCursor = 1782;
constexpr TCursor kViewCursor = 1785;
constexpr TCursor kMoveCursor = 1790;
constexpr TCursor kHourglass = -11;
// A drag past the edge scrolls at most this many steps at a time.
constexpr int kMaxAutoScrollSteps = 1000;

constexpr TIEMouseInteract kSelectionItems = IEMouseInteract(
    {miSelect, miSelectPolygon, miSelectCircle, miSelectZoom, miSelectMagicWand, miSelectLasso});
constexpr TIEMouseInteract kLayerItems = IEMouseInteract({miMoveLayers, miResizeLayers, miRotateLayers});

TCursor GripCursor(int Grip) {
  switch (Grip) {
    case ieTopLeft:
    case ieBottomRight: return 1786;
    case ieTopSide:
    case ieBottomSide: return 1787;
    case ieTopRight:
    case ieBottomLeft: return 1788;
    case ieLeftSide:
    case ieRightSide: return 1789;
    default: return kViewCursor;
  }
}

WORD ButtonKey(int b) { return b == mbLeft ? VK_LBUTTON : b == mbRight ? VK_RBUTTON : VK_MBUTTON; }

int TruncInt(double v) {
  double t = std::trunc(v);
  return t >= INT32_MAX ? INT32_MAX : t <= INT32_MIN ? INT32_MIN : static_cast<int>(t);
}

// The program's SelectionBase is set aside for a handler's duration.
class TClientBase {
 public:
  explicit TClientBase(TRedozIrView& v) : v_(v) { v_.BeginClientSelectionBase(); }
  ~TClientBase() { v_.EndClientSelectionBase(); }
  TClientBase(const TClientBase&) = delete;
  TClientBase& operator=(const TClientBase&) = delete;

 private:
  TRedozIrView& v_;
};

}  // namespace

bool TRedozIrView::Interacts(TIEMouseInteractItems Item) const {
  return IEInMouseInteract(fMouseInteract, Item);
}

TPoint TRedozIrView::ClampToLayer(int X, int Y) {
  TIELayer* l = GetCurrentLayer();
  int left = LayerXBmp2Scr(l, 0), top = LayerYBmp2Scr(l, 0);
  int right = LayerXBmp2Scr(l, l->Bitmap->Width()) - 1, bottom = LayerYBmp2Scr(l, l->Bitmap->Height()) - 1;
  return TPoint{std::clamp(X, left, std::max(left, right + 1)),
                std::clamp(Y, top, std::max(top, bottom + 1))};
}

void TRedozIrView::ShiftMousePositions(int DX, int DY) {
  TIESelectionState& s = *fSel;
  s.Last.X -= DX;
  s.Last.Y -= DY;
  s.LastRaw.X -= DX;
  s.LastRaw.Y -= DY;
}

bool TRedozIrView::AutoScrollDrag() {
  TIESelectionState& s = *fSel;
  bool scrolled = false;
  s.AutoScrolling = true;
  try {
    for (int step = 0; step < kMaxAutoScrollSteps; ++step) {
      TPoint p;
      if (!GetCursorPos(p)) break;
      p = ScreenToClient(p);
      TRect r = ImageRect();
      int dx = p.X < r.Left ? p.X - r.Left : p.X >= r.Right ? p.X - (r.Right - 1) : 0;
      int dy = p.Y < r.Top ? p.Y - r.Top : p.Y >= r.Bottom ? p.Y - (r.Bottom - 1) : 0;
      if (dx == 0 && dy == 0) break;
      int ox = fViewX, oy = fViewY;
      SetViewXY(ox + dx, oy + dy);
      // The stored points follow by what the origin really moved.
      int mx = fViewX - ox, my = fViewY - oy;
      if (mx == 0 && my == 0) break;
      s.Down.X -= mx;
      s.Down.Y -= my;
      s.DownImage.X -= mx;
      s.DownImage.Y -= my;
      ShiftMousePositions(mx, my);
      scrolled = true;
    }
  } catch (...) {
    s.AutoScrolling = false;
    throw;
  }
  s.AutoScrolling = false;
  return scrolled;
}

void TRedozIrView::EndPolygonSelection(TShiftState Shift) {
  TIESelectionState& s = *fSel;
  EraseRubberBand();
  if (!((Shift & ssShift) && AdditiveSelection)) fSelectionMask->Empty();
  EndSelect();
  s.PolySelecting = false;
  s.Lasso = false;
  fFullRepaint = true;
  Invalidate();
  Update();
  DoSelectionChange();
}

void TRedozIrView::EraseRubberBand() {
  TIESelectionState& s = *fSel;
  if (!s.RubberShown) return;
  s.RubberShown = false;
  if (!HasParentWindow()) return;
  TCanvas* c = Canvas();
  TPen old = c->Pen;
  c->Pen = XorPen;
  c->Pen.Style = psSolid;
  c->MoveTo(s.RubberFrom.X, s.RubberFrom.Y);
  c->LineTo(s.RubberTo.X, s.RubberTo.Y);
  c->Pen = old;
}

void TRedozIrView::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TIEView::MouseDown(Button, Shift, X, Y);
  if (Parent() && CanFocus() && HandleAllocated()) SetFocus();
  TIESelectionState& s = *fSel;
  // One gesture at a time: a press of another button while the one that
  // started a gesture is held is ignored, and so is its release (MouseUp).
  if (Button == mbRight) s.RightUsed = true;
  if (Button == mbRight && GetKeyState(VK_LBUTTON) < 0) return;
  if (s.Pressed && s.Button != Button && GetKeyState(ButtonKey(s.Button)) < 0) return;
  s.LayerMoved = false;
  bool rightLayers = Button == mbRight && (SelectionOptions & (1u << iesoRightButtonSelectLayers));
  if (Button == mbRight) s.RightUsed = Interacts(miZoom) || rightLayers;
  if (Button != mbLeft && !Interacts(miZoom) && !rightLayers) return;
  // The second press of a double click only ends a polygon (DblClick did).
  if ((Shift & ssDouble) && Interacts(miSelectPolygon)) return;
  TClientBase base(*this);
  s.SavedFilter = fZoomFilterAsked;
  s.Pressed = true;
  s.Button = Button;
  if (!Interacts(miScroll) && DelayZoomFilter) SetZoomFilter(rfNone);
  TPoint p = ClampToLayer(X, Y);
  TRect ir = ImageRect();
  s.DownRaw = TPoint{X, Y};
  s.DownImage = TPoint{std::clamp(X, ir.Left, std::max(ir.Left, ir.Right - 1)),
                       std::clamp(Y, ir.Top, std::max(ir.Top, ir.Bottom - 1))};
  s.Last = p;
  s.LastRaw = s.DownRaw;
  s.DownViewX = fViewX;
  s.DownViewY = fViewY;
  SetSelectionAnchor(p.X, p.Y);
  bool left = Button == mbLeft;
  if (left && (Interacts(miSelectPolygon) || Interacts(miSelectLasso))) {
    LayersFixRotations(-1);
    DoBeforeSelectionChange();
    s.SelectionMove = MoveHitTest(p.X, p.Y, Shift);
    if (s.SelectionMove != 0) {
      TPoint q = p;
      const auto& pts = s.Poly.Points;
      if (((Shift & ssAlt) || ConstrainSelection) && !pts.empty() && !IEIsSelBreak(pts.back())) {
        TPoint lastClient = SelectionToClient(pts.back());
        IESnapTo45Degrees(lastClient.X, lastClient.Y, q.X, q.Y);
      }
      if (!s.PolySelecting) {
        if ((Shift & ssShift) && AdditiveSelection)
          AppendSelectionBreak();
        else
          Deselect();
      }
      EraseRubberBand();
      AddSelectionPoint(q.X, q.Y);
      s.PolySelecting = true;
      s.Lasso = Interacts(miSelectLasso);
      DoSelectionChanging();
    }
  } else if (left && Interacts(miSelect)) {
    LayersFixRotations(-1);
    DoBeforeSelectionChange();
    s.GripDrag = (Shift & ssShift) ? ieNone : GripAt(X, Y);
    if (s.GripDrag == ieNone) s.SelectionMove = MoveHitTest(p.X, p.Y, Shift);
    if (s.GripDrag != ieNone) {
      s.GripBox = s.Poly.Box;
    } else if (s.SelectionMove != 0) {
      s.RectSelecting = true;
      if (SelectionAspectRatio == 0) SelectRectangleTo(p.X, p.Y, Shift);
      DoSelectionChanging();
    }
  } else if (left && Interacts(miSelectZoom)) {
    s.RectSelecting = true;
    DoSelectionChanging();
    PushSelection();
  } else if (left && Interacts(miSelectCircle)) {
    LayersFixRotations(-1);
    DoBeforeSelectionChange();
    s.SelectionMove = MoveHitTest(p.X, p.Y, Shift);
    if (s.SelectionMove != 0) {
      s.CircleSelecting = true;
      s.Poly.Visible = true;
      if (SelectionAspectRatio == 0) SelectCircle(p.X, p.Y, Shift);
      DoSelectionChanging();
    }
  } else if (left && Interacts(miSelectMagicWand)) {
    LayersFixRotations(-1);
    DoBeforeSelectionChange();
    s.SelectionMove = MoveHitTest(p.X, p.Y, Shift);
  } else if (fMouseInteract & kLayerItems) {
    s.FirstMoveDone = false;
    // Looked up for rotating too, for its centre grip: the rules of
    // MouseInteract never leave resizing beside rotating.
    int grip = Interacts(miResizeLayers) || Interacts(miRotateLayers) ? GetLayerGripAt(X, Y) : ieNone;
    TIELayer* cur = fLayersCurrent > -1 ? GetCurrentLayer() : nullptr;
    if (grip != ieNone && grip != ieRotationCenter && Interacts(miResizeLayers) && cur) {
      LayersFixRotations(-1);
      s.LayerGrip = grip;
      s.LayerClientAtDown = cur->ClientAreaBox;
      s.LayerAtDown = Rect(cur->PosX, cur->PosY, cur->PosX + cur->GetWidth(), cur->PosY + cur->GetHeight());
      DoLayerNotify(fLayersCurrent, ielBeginResizing);
    } else if (Interacts(miMoveLayers) || Interacts(miRotateLayers)) {
      if (grip == ieRotationCenter && Interacts(miRotateLayers) && cur) {
        s.CentreMove = fLayersCurrent;
      } else if (Interacts(miRotateLayers) && cur && !IsPointInLayer(X, Y, fLayersCurrent)) {
        s.LayerRotation = fLayersCurrent;
        s.RotateAcc = cur->GetRotate();
      } else {
        int i = FindLayerAt(X, Y);
        if (i >= 0) {
          s.LayerMove = i;
          SetLayersCurrent(i);
          DoLayerNotify(i, ielSelected);
          DoLayerNotify(i, ielBeginMoving);
          if (!fLayers[i]->Locked) SetTempCursor(kMoveCursor);
        }
      }
    }
  }
  if (left && Interacts(miScroll) && CanScroll()) SetTempCursor(kScrollCursor);
}

void TRedozIrView::MouseMove(TShiftState Shift, int X, int Y) {
  TIEView::MouseMove(Shift, X, Y);
  TIESelectionState& s = *fSel;
  TClientBase base(*this);
  TPoint p = ClampToLayer(X, Y);
  bool moved = X != s.LastRaw.X || Y != s.LastRaw.Y;
  if (!s.Pressed) {
    HoverMove(Shift, X, Y, p);
    if (moved && Interacts(miMovingScroll)) {
      int maxX, maxY;
      GetMaxViewXY(maxX, maxY);
      int cw = GetClientWidthEx(), ch = GetClientHeightEx();
      if (cw > 0 && ch > 0)
        SetViewXYSmooth(TruncInt((std::clamp(X, 0, cw - 1) / static_cast<double>(cw) - 0.02) * 1.05 * maxX),
                        TruncInt((std::clamp(Y, 0, ch - 1) / static_cast<double>(ch) - 0.02) * 1.05 * maxY));
    }
  } else if (s.Button == mbLeft && Interacts(miScroll)) {
    SetViewXY(s.DownViewX - TruncInt((X - s.DownRaw.X) * MouseScrollRate),
              s.DownViewY - TruncInt((Y - s.DownRaw.Y) * MouseScrollRate));
  } else if (s.GripDrag != ieNone) {
    AutoScrollDrag();
    bool constrain = (Shift & ssAlt) || ConstrainSelection || SelectionAspectRatio > 0;
    s.GripDrag = ResizeSelectionByGrip(s.GripDrag, X, Y, constrain);
    DoSelectionChanging();
  } else if (s.SelectionMove == 0) {
    if (SelectionOptions & (1u << iesoCanScroll)) AutoScrollDrag();
    TIELayer* l = GetCurrentLayer();
    int dx = LayerXScr2Bmp(l, X) - LayerXScr2Bmp(l, s.LastRaw.X);
    int dy = LayerYScr2Bmp(l, Y) - LayerYScr2Bmp(l, s.LastRaw.Y);
    MoveSelection(dx, dy, SelectionOptions & (1u << iesoCutBorders));
    DoSelectionChanging();
  } else if (s.RectSelecting) {
    SelectRectangleTo(p.X, p.Y, Shift);
    Paint();
    DoSelectionChanging();
  } else if (s.PolySelecting && s.Lasso) {
    AutoScrollDrag();
    TPoint q = ClampToLayer(X, Y);
    AddSelectionPoint(q.X, q.Y);
    DoSelectionChanging();
  } else if (s.CircleSelecting) {
    SelectCircle(p.X, p.Y, Shift);
    Paint();
  } else {
    DragLayer(Shift, X, Y);
  }
  if (fSelectionMask->IsPointInside(LayerXScr2Bmp(GetCurrentLayer(), X), LayerYScr2Bmp(GetCurrentLayer(), Y)))
    DoMouseInSel();
  s.Last = p;
  s.LastRaw = TPoint{X, Y};
}

void TRedozIrView::HoverMove(TShiftState Shift, int X, int Y, TPoint P) {
  TIESelectionState& s = *fSel;
  if (s.PolySelecting && !s.Lasso && !s.Poly.Points.empty() && !IEIsSelBreak(s.Poly.Points.back())) {
    EraseRubberBand();
    TPoint from = SelectionToClient(s.Poly.Points.back()), to = P;
    if ((Shift & ssAlt) || ConstrainSelection) IESnapTo45Degrees(from.X, from.Y, to.X, to.Y);
    if (HasParentWindow()) {
      // Drawn by inverting, so that drawing it again erases it.
      TCanvas* c = Canvas();
      TPen old = c->Pen;
      c->Pen = XorPen;
      c->Pen.Style = psSolid;
      c->MoveTo(from.X, from.Y);
      c->LineTo(to.X, to.Y);
      c->Pen = old;
      s.RubberFrom = from;
      s.RubberTo = to;
      s.RubberShown = true;
    }
    DoSelectionChanging();
    return;
  }
  if (!(fMouseInteract & kSelectionItems)) {
    TCursor cursor = BaseCursor();
    TIELayer* cur = fLayersCurrent > -1 ? GetCurrentLayer() : nullptr;
    if (Interacts(miRotateLayers) && cur && !IsPointInLayer(X, Y, fLayersCurrent)) {
      const TRect g = GetLayerGrips(fLayersCurrent)[8];
      int cx = (g.Left + g.Right) / 2, cy = (g.Top + g.Bottom) / 2;
      if (cx != X && cy != Y) cursor = cx > X ? (cy > Y ? 1814 : 1811) : (cy > Y ? 1812 : 1813);
    } else if (Interacts(miResizeLayers) || Interacts(miMoveLayers)) {
      int grip = cur && !cur->Locked ? GetLayerGripAt(X, Y) : ieNone;
      int at = FindLayerAt(X, Y);
      if (grip >= ieTopLeft && grip <= ieBottomSide)
        cursor = GripCursor(grip);
      else if (Interacts(miMoveLayers) && at >= 0 && !fLayers[at]->Locked)
        cursor = kMoveCursor;
    }
    // What Shift's key press showed stays while Shift is held.
    if (cursor == BaseCursor() && ShiftCursorSwap && (Shift & ssShift)) cursor = ShiftPlusCursor(cursor);
    if (cursor == BaseCursor())
      RestoreCursor();
    else
      SetTempCursor(cursor);
    return;
  }
  int grip = GripAt(X, Y);
  DoMouseInResizingGrip(static_cast<TIEGrip>(grip));
  if (grip != ieNone)
    SetTempCursor(GripCursor(grip));
  else if (MoveHitTest(P.X, P.Y, Shift) == 0)
    SetTempCursor(kMoveCursor);
  else if ((Shift & ssShift) && AdditiveSelection)
    SetTempCursor(ShiftPlusCursor(BaseCursor()));
  else
    RestoreCursor();
}

void TRedozIrView::DragLayer(TShiftState Shift, int X, int Y) {
  TIESelectionState& s = *fSel;
  auto undo = [&](TIEUndoSource Source) {
    if (!s.FirstMoveDone && LayersUndo) GetProc()->SaveUndo(Source);
    s.FirstMoveDone = true;
  };
  char hint[64];
  if (s.LayerMove >= 0 && s.LayerMove < GetLayersCount() && !fLayers[s.LayerMove]->Locked) {
    TIELayer* l = fLayers[s.LayerMove];
    undo(ieuLayer);
    AutoScrollDrag();
    int dx = XScr2Bmp(X) - XScr2Bmp(s.LastRaw.X), dy = YScr2Bmp(Y) - YScr2Bmp(s.LastRaw.Y);
    l->PosX += dx;
    l->PosY += dy;
    s.LayerMoved = s.LayerMoved || dx != 0 || dy != 0;
    std::snprintf(hint, sizeof hint, "X=%d Y=%d", l->PosX, l->PosY);
    SetInteractionHint(hint, X, Y, "X=000 Y=000");
    LayerMouseTransform = true;
    Update();
    DoLayerNotify(s.LayerMove, ielMoving);
  } else if (s.CentreMove >= 0 && s.CentreMove < GetLayersCount()) {
    TIELayer* l = fLayers[s.CentreMove];
    int bw = std::max(l->Bitmap->Width(), 1), bh = std::max(l->Bitmap->Height(), 1);
    l->RotateCenterX = LayerXScr2Bmp(l, X) / static_cast<double>(bw);
    l->RotateCenterY = LayerYScr2Bmp(l, Y) / static_cast<double>(bh);
    std::snprintf(hint, sizeof hint, "X=%d Y=%d", TruncInt(bw * l->RotateCenterX),
                  TruncInt(bh * l->RotateCenterY));
    SetInteractionHint(hint, X, Y, "X=000 Y=000");
    Update();
  } else if (s.LayerGrip != ieNone && fLayersCurrent > -1 && !GetCurrentLayer()->Locked) {
    TIELayer* l = GetCurrentLayer();
    if (!s.FirstMoveDone)
      s.LayerRatio = l->GetHeight() > 0 ? l->GetWidth() / static_cast<double>(l->GetHeight()) : 1;
    undo(ieuLayer);
    AutoScrollDrag();
    bool alt = (Shift & ssAlt) || ConstrainSelection;
    bool keep = (LayersResizeAspect == 1 && alt) || LayersResizeAspect == 2 ||
                (LayersResizeAspect == 3 && s.LayerGrip <= ieBottomLeft);
    ResizeLayerByGrip(l, X, Y, keep);
    std::snprintf(hint, sizeof hint, "%d x %d", l->GetWidth(), l->GetHeight());
    SetInteractionHint(hint, X, Y, "0000 x 0000");
    LayerMouseTransform = true;
    Update();
    DoLayerNotify(fLayersCurrent, ielResizing);
  } else if (s.LayerRotation >= 0 && s.LayerRotation < GetLayersCount() &&
             !fLayers[s.LayerRotation]->Locked) {
    TIELayer* l = fLayers[s.LayerRotation];
    undo(ieuFullLayer);
    double dx4 = (XScr2Bmp(X) - XScr2Bmp(s.LastRaw.X)) / 4.0,
           dy4 = (YScr2Bmp(Y) - YScr2Bmp(s.LastRaw.Y)) / 4.0;
    const TRect g = GetLayerGrips(s.LayerRotation)[8];
    int cx = (g.Left + g.Right) / 2, cy = (g.Top + g.Bottom) / 2;
    if (cx < X) dy4 = -dy4;
    if (cy > Y) dx4 = -dx4;
    s.RotateAcc += dx4 + dy4;
    double angle = s.RotateAcc;
    if ((Shift & ssShift) && LayersRotateStep != 0)
      angle = std::trunc(angle / LayersRotateStep) * LayersRotateStep;
    l->SetRotate(angle);
    std::snprintf(hint, sizeof hint, "%.1f\u00B0", l->GetRotate());
    SetInteractionHint(hint, X, Y, "0000\u00B0");
    Update();
    DoLayerNotify(s.LayerRotation, ielRotating);
  }
}

void TRedozIrView::ResizeLayerByGrip(TIELayer* L, int X, int Y, bool KeepAspect) {
  TIESelectionState& s = *fSel;
  int grip = s.LayerGrip;
  double ratio = s.LayerRatio > 0 ? s.LayerRatio : 1;
  if (KeepAspect) {
    // The corner a side grip drives follows the side's own axis: the top and
    // bottom sides give X from Y, all other grips Y from X.
    const TRect& c = s.LayerClientAtDown;
    // trunc(v) + origin
    auto along = [](double v, int origin) { return TruncInt(TruncInt(v) + static_cast<double>(origin)); };
    switch (grip) {
      case ieTopSide:
      case ieBottomSide:
        X = along((static_cast<double>(Y) - c.Top) * ratio, c.Left);
        grip = grip == ieTopSide ? ieTopLeft : ieBottomRight;
        break;
      case ieTopRight: Y = along((static_cast<double>(c.Right) - X) / ratio, c.Top); break;
      case ieLeftSide:
      case ieBottomLeft:
        Y = along((static_cast<double>(c.Left) - X) / ratio, c.Bottom);
        grip = ieBottomLeft;
        break;
      default:
        Y = along((static_cast<double>(X) - c.Left) / ratio, c.Top);
        if (grip == ieRightSide) grip = ieBottomRight;
        break;
    }
  }
  int bx = XScr2Bmp(X), by = YScr2Bmp(Y);
  int x0 = XScr2Bmp(s.LastRaw.X), y0 = YScr2Bmp(s.LastRaw.Y);
  int W = L->GetWidth(), H = L->GetHeight();
  int left = s.LayerAtDown.Left, top = s.LayerAtDown.Top;
  auto atLeast1 = [](std::int64_t v) { return static_cast<int>(std::clamp<std::int64_t>(v, 1, INT32_MAX)); };
  switch (grip) {
    case ieTopLeft: {
      int w = atLeast1(static_cast<std::int64_t>(L->PosX) - bx + W),
          h = atLeast1(static_cast<std::int64_t>(L->PosY) - by + H);
      if (w > 1) L->PosX = bx;
      if (h >= 2) L->PosY = by;
      L->Width = w;
      L->Height = h;
      break;
    }
    case ieTopRight: {
      int h = atLeast1(static_cast<std::int64_t>(L->PosY) - by + H);
      L->Width = atLeast1(static_cast<std::int64_t>(bx) - L->PosX);
      if (h >= 2) L->PosY = by;
      L->Height = h;
      break;
    }
    case ieBottomRight:
      L->Width = atLeast1(static_cast<std::int64_t>(bx) - left);
      L->Height = atLeast1(static_cast<std::int64_t>(by) - top);
      break;
    case ieBottomLeft: {
      int w = atLeast1(static_cast<std::int64_t>(L->PosX) - bx + W);
      if (w >= 2) L->PosX = bx;
      L->Width = w;
      L->Height = atLeast1(static_cast<std::int64_t>(by) - top);
      break;
    }
    case ieLeftSide: {
      int w = atLeast1(W - (static_cast<std::int64_t>(bx) - x0));
      if (w > 1) L->PosX += bx - x0;
      L->Width = w;
      break;
    }
    case ieRightSide: L->Width = atLeast1(static_cast<std::int64_t>(bx) - left); break;
    case ieTopSide: {
      int h = atLeast1(static_cast<std::int64_t>(L->PosY) - by + H);
      if (h >= 2) L->PosY = by;
      L->Height = h;
      break;
    }
    case ieBottomSide: L->Height = atLeast1(H - (static_cast<std::int64_t>(y0) - by)); break;
    default: break;
  }
  if (!KeepAspect && L->GetHeight() > 0) s.LayerRatio = L->GetWidth() / static_cast<double>(L->GetHeight());
}

void TRedozIrView::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TIEView::MouseUp(Button, Shift, X, Y);
  TIESelectionState& s = *fSel;
  SetInteractionHint("", 0, 0, "");
  // The right button may end a polygon whether or not its press was taken.
  if (Button == mbRight && (SelectionOptions & (1u << iesoRightButtonTerminatePolySelect))) {
    s.RightUsed = s.RightUsed || s.PolySelecting;
    TClientBase base(*this);
    EndPolygonSelection(Shift);
  }
  if (!s.Pressed || Button != s.Button) return;
  TClientBase base(*this);
  bool still = X == s.DownRaw.X && Y == s.DownRaw.Y;
  bool add = (Shift & ssShift) && AdditiveSelection;
  bool changed = false;
  bool zoomed = false;
  if (Interacts(miZoom) && still && !IsEmpty() && Button != mbMiddle) {
    double z = Zoom(), nz = z;
    if (Button == mbLeft) {
      if (z < 100) {
        for (double step : {2.0, 5.0, 10.0, 25.0, 33.0, 50.0, 75.0, 100.0})
          if (step > z) {
            nz = step;
            break;
          }
      } else {
        nz = z + 100;
      }
      if (Interacts(miScroll)) RestoreCursor();
      if (OnZoomIn) FireWithProgramSelectionBase([&] { OnZoomIn(this, nz); });
    } else {
      if (z < 200) {
        nz = 2;
        for (double step : {100.0, 75.0, 50.0, 33.0, 25.0, 10.0, 5.0, 2.0})
          if (step < z) {
            nz = step;
            break;
          }
      } else {
        nz = z - 100;
      }
      if (OnZoomOut) FireWithProgramSelectionBase([&] { OnZoomOut(this, nz); });
    }
    if (nz != ZoomX() || nz != ZoomY()) ZoomAt(X, Y, nz, false);
    s.PolySelecting = false;
    zoomed = true;
  } else if (Button == mbMiddle) {
    s.PolySelecting = false;
  }
  bool left = Button == mbLeft;
  if (left && !zoomed) {
    if (Interacts(miScroll) && CanScroll()) {
      RestoreCursor();
    } else if (Interacts(miSelectZoom)) {
      // The view's zoom is in pixels of layer 0, whichever layer is current.
      TRect ir = ImageRect();
      TPoint e{std::clamp(X, ir.Left, std::max(ir.Left, ir.Right)),
               std::clamp(Y, ir.Top, std::max(ir.Top, ir.Bottom))};
      TPoint a = s.DownImage;
      s.RectSelecting = false;
      if (std::abs(e.X - a.X) > 1 && std::abs(e.Y - a.Y) > 1)
        ZoomToClientRect(Rect(XScr2Bmp(std::min(a.X, e.X)), YScr2Bmp(std::min(a.Y, e.Y)),
                              XScr2Bmp(std::max(a.X, e.X)), YScr2Bmp(std::max(a.Y, e.Y))));
      PopSelection(true, 1);
    } else if (Interacts(miSelect)) {
      if (!still || s.GripDrag != ieNone || s.SelectionMove == 0) {
        if (s.RectSelecting || s.GripDrag != ieNone) {
          if (!add) fSelectionMask->Empty();
          EndSelect();
        }
        s.RectSelecting = false;
        s.GripDrag = ieNone;
        changed = true;
        FullRepaintAndUpdate();
      } else if (Selected()) {
        s.RectSelecting = false;
        Deselect();
        changed = true;
      }
      s.RectSelecting = false;
    } else if (Interacts(miSelectCircle)) {
      if (still && s.SelectionMove != 0 && SelectionAspectRatio != 0) {
        s.CircleSelecting = false;
        Deselect();
      } else {
        if (s.CircleSelecting) {
          if (!add) fSelectionMask->Empty();
          EndSelect();
        }
        s.CircleSelecting = false;
        changed = true;
        FullRepaintAndUpdate();
      }
    } else if (Interacts(miSelectLasso)) {
      if (!still || s.SelectionMove == 0) {
        if (s.PolySelecting) {
          if (!add) fSelectionMask->Empty();
          EndSelect();
        }
        s.PolySelecting = false;
        s.Lasso = false;
        changed = true;
        FullRepaintAndUpdate();
      } else {
        s.PolySelecting = false;
        s.Lasso = false;
        Deselect();
      }
    } else if (Interacts(miSelectPolygon)) {
      if (s.SelectionMove == 0) changed = true;
      s.SelectionMove = -1;
      FullRepaintAndUpdate();
    } else if (Interacts(miSelectMagicWand)) {
      if (s.SelectionMove != 0) {
        SetTempCursor(kHourglass);
        MagicWandSelect(X, Y, add);
        RestoreCursor();
      }
      s.SelectionMove = -1;
      changed = true;
      FullRepaintAndUpdate();
    }
  }
  if (left) {
    if (s.MovingRect) {
      fSelectionMask->Empty();
      EndSelect();
      s.MovingRect = false;
    }
    if (s.LayerMove >= 0) {
      RestoreCursor();
      if (s.LayerMoved) DoLayerNotify(s.LayerMove, ielMoved);
      Invalidate();
    }
    if (s.LayerRotation >= 0) {
      if (!still) DoLayerNotify(s.LayerRotation, ielRotated);
      Invalidate();
    }
    if (Interacts(miRotateLayers) && still) {
      int i = FindLayerAt(X, Y);
      if (i >= 0) {
        SetLayersCurrent(i);
        DoLayerNotify(i, ielSelected);
      }
    }
    if (s.LayerGrip != ieNone) {
      if (!still) DoLayerNotify(fLayersCurrent, ielResized);
      Update();
    }
    s.RectSelecting = s.CircleSelecting = false;
    s.GripDrag = ieNone;
    s.SelectionMove = -1;
    s.LayerMove = s.LayerRotation = s.CentreMove = -1;
    s.LayerGrip = ieNone;
    LayerMouseTransform = false;
    if (changed) DoSelectionChange();
  }
  s.Pressed = false;
  if (fZoomFilterAsked != s.SavedFilter) SetZoomFilter(s.SavedFilter);
}

void TRedozIrView::DblClick() {
  TIEView::DblClick();
  TIESelectionState& s = *fSel;
  if (!s.PolySelecting || s.Lasso) return;
  TClientBase base(*this);
  EndPolygonSelection(GetKeyState(VK_SHIFT) < 0 ? ssShift : 0);
}

void TRedozIrView::FullRepaintAndUpdate() {
  fFullRepaint = true;
  if (IsOverview())
    Invalidate();
  else
    Update();
  Invalidate();
}

void TRedozIrView::ZoomToClientRect(const TRect& BitmapRect) {
  int w = BitmapRect.Right - BitmapRect.Left, h = BitmapRect.Bottom - BitmapRect.Top;
  if (w < 1 || h < 1) return;
  double z = std::min(GetClientWidthEx() / (w / 100.0), GetClientHeightEx() / (h / 100.0));
  Zoom(z);
  SetViewXY(TruncInt(BitmapRect.Left * fZoomX / 100.0), TruncInt(BitmapRect.Top * fZoomY / 100.0));
}

}  // namespace redozir

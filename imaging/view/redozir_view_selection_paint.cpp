// How TRedozIrView shows its selection: the filled or outer marking composed
// into the back buffer, and on the window the grips, the grid and the dotted
// outline (marching ants) that the ants timer moves on.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>

#include "imaging/core/iebitmap.h"
#include "imaging/core/iegdiplus.h"
#include "imaging/view/redozir_view.h"

namespace redozir {

namespace {
constexpr UINT kAntsInterval = 210;
// Client points closer than this to a side of the box grab it.
constexpr double kSideGripDistance = 3.0;

double DistanceToSegment(double px, double py, double ax, double ay, double bx, double by) {
  double dx = bx - ax, dy = by - ay;
  double len2 = dx * dx + dy * dy;
  double t = len2 > 0 ? std::clamp(((px - ax) * dx + (py - ay) * dy) / len2, 0.0, 1.0) : 0.0;
  return std::hypot(px - (ax + t * dx), py - (ay + t * dy));
}
}  // namespace

TPoint TRedozIrView::SelectionToClient(const TPoint& P) {
  TIELayer* l = GetCurrentLayer();
  return TPoint{LayerXBmp2Scr(l, P.X), LayerYBmp2Scr(l, P.Y)};
}

TRect TRedozIrView::SelectionClientBox() {
  TPoint a = SelectionToClient(TPoint{fSel->Poly.Box.Left, fSel->Poly.Box.Top});
  TPoint b = SelectionToClient(TPoint{fSel->Poly.Box.Right, fSel->Poly.Box.Bottom});
  return Rect(a.X, a.Y, b.X, b.Y);
}

int TRedozIrView::GripAt(int X, int Y) {
  const TIESelectionState& s = *fSel;
  if (!s.Poly.Visible || !(SelectionOptions & (1u << iesoSizeable)) || !SelectionIsRectangle() ||
      s.RectSelecting)
    return ieNone;
  for (int i = 0; i < 4; ++i) {
    TPoint p = SelectionToClient(s.Poly.Points[static_cast<size_t>(i)]);
    if (std::abs(X - p.X) <= GripSize && std::abs(Y - p.Y) <= GripSize) return ieTopLeft + i;
  }
  TRect b = SelectionClientBox();
  if (DistanceToSegment(X, Y, b.Left, b.Top, b.Left, b.Bottom) < kSideGripDistance) return ieLeftSide;
  if (DistanceToSegment(X, Y, b.Right, b.Top, b.Right, b.Bottom) < kSideGripDistance) return ieRightSide;
  if (DistanceToSegment(X, Y, b.Left, b.Top, b.Right, b.Top) < kSideGripDistance) return ieTopSide;
  if (DistanceToSegment(X, Y, b.Left, b.Bottom, b.Right, b.Bottom) < kSideGripDistance) return ieBottomSide;
  return ieNone;
}

int TRedozIrView::MoveHitTest(int X, int Y, TShiftState Shift) {
  const TIESelectionState& s = *fSel;
  if ((Shift & ssShift) || fSelectionMask->IsEmpty() || s.RectSelecting || s.PolySelecting ||
      s.CircleSelecting)
    return -1;
  TIELayer* l = GetCurrentLayer();
  bool inside = fSelectionMask->IsPointInside(LayerXScr2Bmp(l, X), LayerYScr2Bmp(l, Y));
  return inside && (SelectionOptions & (1u << iesoMoveable)) ? 0 : -1;
}

void TRedozIrView::DrawSelectionGrid(TCanvas* Canvas, int X1, int Y1, int X2, int Y2) {
  int n = SelectionGridSize;
  if (n <= 1) return;
  TPen old = Canvas->Pen;
  Canvas->Pen.Color = 0xA0A0A0;
  Canvas->Pen.Mode = pmCopy;
  Canvas->Pen.Style = psSolid;
  Canvas->Pen.Width = 1;
  for (int i = 1; i < n; ++i) {
    int y = Y1 + static_cast<int>(static_cast<std::int64_t>(Y2 - Y1) * i / n);
    int x = X1 + static_cast<int>(static_cast<std::int64_t>(X2 - X1) * i / n);
    Canvas->MoveTo(X1, y);
    Canvas->LineTo(X2, y);
    Canvas->MoveTo(x, Y1);
    Canvas->LineTo(x, Y2);
  }
  Canvas->Pen = old;
}

void TRedozIrView::DrawSelectionToBackBuffer(TIEBitmap* Dest) {
  const bool filled = SelectionOptions & (1u << iesoFilled);
  const bool outer = SelectionOptions & (1u << iesoMarkOuter);
  if (!DisplaySelection || !fSel->Poly.Visible || fSelectionMask->IsEmpty() || !(filled || outer)) return;
  if (!Dest || Dest->Location() != ieTBitmap || !KeepNoFrame()) return;
  const TIELayerDrawingInfo& d = GetCurrentLayer()->DrawingInfo;
  TRect dst = Bounds(d.XDst, d.YDst, d.dxDst, d.dyDst), src = Bounds(d.XSrc, d.YSrc, d.dxSrc, d.dySrc);
  TCanvas* c = Dest->GetVclBitmap()->Canvas();
  if (filled) fSelectionMask->StretchDrawXor(c, dst, src);
  if (outer) fSelectionMask->DrawOuter(c, dst, src);
}

void TRedozIrView::RepaintSelection() {
  if (HasParentWindow()) DrawSelectionOutlineOn(Canvas());
}

TBitmap* TRedozIrView::DotBitmap() {
  if (!fDotBitmap) {
    fDotBitmap = std::make_unique<TBitmap>(1, 1, pf24bit);
    fDotPixel = fDotBitmap->ScanLine(0);
  }
  return fDotBitmap.get();
}

void TRedozIrView::PlotSelectionDot(TCanvas* Canvas, int X, int Y) {
  int& phase = fSel->Poly.DrawPhase;
  // One pixel blitted as a bitmap: the canvas's copy mode and clipping
  // apply to it as they do to the rest of what is drawn on the window.
  TBitmap* dot = DotBitmap();
  TColor c = ColorToRGB(phase <= 3 ? SelectionColorA : SelectionColorB);
  fDotPixel[0] = static_cast<std::uint8_t>(c >> 16);
  fDotPixel[1] = static_cast<std::uint8_t>(c >> 8);
  fDotPixel[2] = static_cast<std::uint8_t>(c);
  Canvas->Draw(X, Y, *dot);
  if (phase >= 7)
    phase = 0;
  else
    ++phase;
}

void TRedozIrView::WalkSelectionSegment(TCanvas* Canvas, TPoint A, TPoint B) {
  // Every pixel of the line from A, B excluded.
  int dx = B.X - A.X, dy = B.Y - A.Y;
  int steps = std::max(std::abs(dx), std::abs(dy));
  for (int i = 0; i < steps; ++i) {
    int x = A.X + static_cast<int>(std::lround(static_cast<double>(dx) * i / steps));
    int y = A.Y + static_cast<int>(std::lround(static_cast<double>(dy) * i / steps));
    PlotSelectionDot(Canvas, x, y);
  }
}

void TRedozIrView::DrawSelectionOutline(TCanvas* Canvas) {
  // A paint has just covered the window with the back buffer: the rubber
  // band is gone with what was drawn over it.
  fSel->RubberShown = false;
  DrawSelectionOutlineOn(Canvas);
}

void TRedozIrView::DrawSelectionOutlineOn(TCanvas* Canvas) {
  TIESelectionState& s = *fSel;
  UpdateAntsTimer();
  if (!Canvas || !DisplaySelection || !s.Poly.Visible || fPaintLock > 0 || s.AutoScrolling) return;
  if (s.Poly.Points.empty() && fSelectionMask->IsEmpty()) return;
  const bool moving = s.SelectionMove == 0 || s.MovingRect;
  const bool gesture = s.PolySelecting || s.RectSelecting || s.CircleSelecting || s.GripDrag != 0;
  const bool rect = SelectionIsRectangle();
  TRect box = SelectionClientBox();
  if ((SelectionOptions & (1u << iesoSizeable)) && rect && !s.RectSelecting && !moving) {
    TIECanvas c(Canvas, true, true);
    c.Brush()->SetStyle(GripBrushStyle);
    c.Brush()->SetColor(GripBrushColor);
    c.Pen()->SetColor(GripPenColor);
    std::vector<TPoint> at;
    for (const TPoint& p : s.Poly.Points) at.push_back(SelectionToClient(p));
    if (ExtendedGrips) {
      int mx = (box.Left + box.Right) / 2, my = (box.Top + box.Bottom) / 2;
      at.insert(at.end(),
                {TPoint{mx, box.Top}, TPoint{box.Left, my}, TPoint{box.Right, my}, TPoint{mx, box.Bottom}});
    }
    for (const TPoint& p : at) {
      TRect g = Rect(p.X - GripSize, p.Y - GripSize, p.X + GripSize, p.Y + GripSize);
      if (GripShape == 0)
        c.Rectangle(g);
      else
        c.Ellipse(g);
    }
    DrawSelectionGrid(Canvas, box.Left, box.Top, box.Right, box.Bottom);
  }
  if (!fSelectionMask->IsEmpty() && !gesture && !moving) {
    TIELayer* l = GetCurrentLayer();
    int ox = LayerXBmp2Scr(l, 0), oy = LayerYBmp2Scr(l, 0);
    int w = std::max(fSelectionMask->Width(), 1), h = std::max(fSelectionMask->Height(), 1);
    double zx = (LayerXBmp2Scr(l, w) - ox) / static_cast<double>(w);
    double zy = (LayerYBmp2Scr(l, h) - oy) / static_cast<double>(h);
    auto started = std::chrono::steady_clock::now();
    fSelectionMask->DrawOutline(Canvas, ox, oy, zx, zy, SelectionColorA, SelectionColorB, s.GlobalPhase);
    Canvas->Changed(Rect(0, 0, GetClientWidthEx(), GetClientHeightEx()));
    auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
    if (AnimPolygonPercent < 0 && s.AntsTimer && (Owner() || Parent()))
      s.AntsTimer->SetInterval(static_cast<UINT>(std::max<std::int64_t>(
          kAntsInterval, ms.count() * 100 / -static_cast<std::int64_t>(AnimPolygonPercent))));
    return;
  }
  s.Poly.DrawPhase = s.Poly.AntsPhase;
  if (rect) {
    TPoint a{box.Left, box.Top}, b{box.Right - 1, box.Top}, c{box.Right - 1, box.Bottom - 1},
        d{box.Left, box.Bottom - 1};
    WalkSelectionSegment(Canvas, a, b);
    WalkSelectionSegment(Canvas, b, c);
    WalkSelectionSegment(Canvas, c, d);
    WalkSelectionSegment(Canvas, d, a);
    if (s.RectSelecting || moving) DrawSelectionGrid(Canvas, box.Left, box.Top, box.Right, box.Bottom);
    return;
  }
  const auto& pts = s.Poly.Points;
  size_t first = 0;
  for (size_t i = 0; i < pts.size(); ++i) {
    if (IEIsSelBreak(pts[i])) continue;
    bool last = i + 1 == pts.size() || IEIsSelBreak(pts[i + 1]);
    if (last && s.PolySelecting && i + 1 == pts.size()) break;
    TPoint a = SelectionToClient(pts[i]);
    TPoint b = SelectionToClient(last ? pts[first] : pts[i + 1]);
    WalkSelectionSegment(Canvas, a, b);
    if (OnDrawPolygon) OnDrawPolygon(this, 0, static_cast<int>(i), Canvas, a.X, a.Y);
    if (last) first = i + 2;
  }
}

bool TRedozIrView::AntsRun() {
  const TIESelectionState& s = *fSel;
  return (SelectionOptions & (1u << iesoAnimated)) && s.Poly.Visible && Selected() && DisplaySelection;
}

void TRedozIrView::UpdateAntsTimer() {
  TIESelectionState& s = *fSel;
  // The same ticks bring the zoom filter back after the view stops moving.
  const bool delayed = fDelayZoomFilterCount > 0 || fDelayTimerCount > 0;
  bool run = (Owner() || Parent()) && (AntsRun() || delayed) && !(ComponentState() & csDesigning);
  if (!run) {
    if (s.AntsTimer) s.AntsTimer->SetEnabled(false);
    return;
  }
  if (!s.AntsTimer) {
    s.AntsTimer = std::make_unique<TTimer>(nullptr);
    s.AntsTimer->SetInterval(kAntsInterval);
    s.AntsTimer->SetOnTimer([this](TObject*) { AntsTick(); });
  }
  s.AntsTimer->SetEnabled(true);
}

void TRedozIrView::AntsTick() {
  TIESelectionState& s = *fSel;
  if (fDelayTimerCount > 0) --fDelayTimerCount;
  if (fDelayZoomFilterCount > 0 && --fDelayZoomFilterCount == 0) {
    // The view has rested for long enough: the picture is composed again
    // with the zoom filter, from the layers as they were (the turned bitmap
    // of a rotated layer is not made again).
    fLayersUnchanged = true;
    try {
      Update();
    } catch (...) {
      fLayersUnchanged = false;
      throw;
    }
    fLayersUnchanged = false;
  }
  if (!AntsRun()) {
    UpdateAntsTimer();
    return;
  }
  bool busy =
      s.PolySelecting || s.RectSelecting || s.CircleSelecting || s.GripDrag != 0 || s.SelectionMove == 0;
  if ((SelectionOptions & (1u << iesoAnimated)) && !busy) {
    s.Poly.AntsPhase = (s.Poly.AntsPhase + 1) % 10;
    ++s.GlobalPhase;
  }
  if (HasParentWindow())
    DrawSelectionOutlineOn(Canvas());
  else
    UpdateAntsTimer();
}

}  // namespace redozir

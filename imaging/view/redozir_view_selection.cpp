// TRedozIrView's selection: building the polygon (points, separators,
// rectangles, ellipses), ending it into the mask, deselecting, moving and
// resizing by the grips.
#include <algorithm>
#include <cmath>
#include <numbers>

#include "imaging/core/iebitmap.h"
#include "imaging/view/redozir_view.h"

namespace redozir {

namespace {

// An ellipse's outline has about one point per pixel of its circumference,
// at least 50 and at most this many.
constexpr int kMinCirclePoints = 50;
constexpr int kMaxCirclePoints = 65536;

int RoundToInt(double v) {
  double r = std::nearbyint(v);
  if (!(r > INT32_MIN)) return INT32_MIN;
  if (!(r < INT32_MAX)) return INT32_MAX;
  return static_cast<int>(r);
}
int TruncToInt(double v) {
  double r = std::trunc(v);
  if (!(r > INT32_MIN)) return INT32_MIN;
  if (!(r < INT32_MAX)) return INT32_MAX;
  return static_cast<int>(r);
}
int Clamp64(std::int64_t v, int lo, int hi) { return static_cast<int>(std::clamp<std::int64_t>(v, lo, hi)); }

}  // namespace

// ---- the polygon

TPoint TRedozIrView::ClientToSelection(int X, int Y) {
  if (SelectionBase != iesbClientArea) return TPoint{X, Y};
  TIELayer* l = fLayersCurrent > -1 && fLayersCurrent < GetLayersCount() ? fLayers[fLayersCurrent] : nullptr;
  int x = l ? LayerXScr2Bmp(l, X) : XScr2Bmp(X);
  int y = l ? LayerYScr2Bmp(l, Y) : YScr2Bmp(Y);
  return TPoint{std::clamp(x, 0, fIEBitmap->Width()), std::clamp(y, 0, fIEBitmap->Height())};
}

void TRedozIrView::AppendSelectionPoint(int X, int Y) {
  TIESelectionPolygon& p = fSel->Poly;
  bool first =
      std::none_of(p.Points.begin(), p.Points.end(), [](const TPoint& q) { return !IEIsSelBreak(q); });
  p.Points.push_back(TPoint{X, Y});
  if (first) {
    p.Box = TRect{X, Y, X, Y};
  } else {
    p.Box.Left = std::min(p.Box.Left, X);
    p.Box.Top = std::min(p.Box.Top, Y);
    p.Box.Right = std::max(p.Box.Right, X);
    p.Box.Bottom = std::max(p.Box.Bottom, Y);
  }
  fSel->Selected = true;
}

void TRedozIrView::AppendSelectionBreak() {
  auto& pts = fSel->Poly.Points;
  if (pts.empty() || IEIsSelBreak(pts.back())) return;
  pts.push_back(TPoint{IESELBREAK, IESELBREAK});
}

void TRedozIrView::RemoveLastSelectionPoint() {
  auto& pts = fSel->Poly.Points;
  if (pts.empty()) return;
  pts.pop_back();
  while (!pts.empty() && IEIsSelBreak(pts.back())) pts.pop_back();
}

void TRedozIrView::CutSelectionToLastBreak() {
  auto& pts = fSel->Poly.Points;
  auto it = std::find_if(pts.rbegin(), pts.rend(), [](const TPoint& p) { return IEIsSelBreak(p); });
  if (it == pts.rend() || it.base() - 1 == pts.begin()) {
    EmptySelectionPolygon();
    return;
  }
  pts.erase(it.base() - 1, pts.end());
  if (fPaintLock == 0) Paint();
}

void TRedozIrView::EmptySelectionPolygon() {
  fSel->Poly.Points.clear();
  fSel->Poly.Box = TRect{};
}

bool TRedozIrView::SelectionIsRectangle() const {
  return IsRectanglePolygon(fSel->Poly.Points.data(), fSel->Poly.Count());
}

bool TRedozIrView::SelectionGestureActive() const {
  const TIESelectionState& s = *fSel;
  return s.PolySelecting || s.RectSelecting || s.CircleSelecting || s.GripDrag != 0 || s.SelectionMove == 0;
}

bool TRedozIrView::DrawnSelectionBounds(TRect& Bounds) {
  if (!SelectionGestureActive()) return false;
  Bounds = fSel->Poly.Box;
  return true;
}

void TRedozIrView::DrawSelectionNow() {
  if (!DisplaySelection || fPaintLock > 0 || !HasParentWindow()) return;
  RepaintSelection();
}

void TRedozIrView::SetSelectionOptions(TIESelectionOptions Value) {
  SelectionOptions = Value;
  fFullRepaint = true;
  Update();
}

void TRedozIrView::SetSelectionAnchor(int X, int Y) {
  fSel->Down = TPoint{X, Y};
  fSel->CountAtDown = fSel->Poly.Count();
}

// ---- building

void TRedozIrView::MakeSelectionRectangle(int X1, int Y1, int X2, int Y2, bool ShiftInside, bool Constrain,
                                          int Op) {
  if (X1 == X2 || Y1 == Y2) return;
  if (SelectionBase == iesbClientArea) {
    TIELayer* l = GetCurrentLayer();
    X1 = LayerXScr2Bmp(l, X1);
    Y1 = LayerYScr2Bmp(l, Y1);
    X2 = LayerXScr2Bmp(l, X2);
    Y2 = LayerYScr2Bmp(l, Y2);
  }
  int w = fIEBitmap->Width(), h = fIEBitmap->Height();
  fSel->Selected = true;
  if (Op == 1 && fSel->Poly.Count() > 0)
    AppendSelectionBreak();
  else
    EmptySelectionPolygon();
  if (Op == 0) fSelectionMask->Empty();
  double ratio = SelectionAspectRatio;
  std::int64_t x1 = X1, y1 = Y1, x2 = X2, y2 = Y2;
  if (Constrain && ratio == -1.0) {
    y2 = y1 + (x2 - x1);
  } else if (ratio > 0) {
    y2 = y1 + RoundToInt((x2 - x1) * ratio);
    if (y2 >= h)
      x2 = RoundToInt(((h - 1) - y1 + x1 * ratio) / ratio);
    else if (y2 < 0)
      x2 = RoundToInt((x1 * ratio - y1) / ratio);
  }
  if (ShiftInside) {
    if (x1 < 0) {
      x2 += -x1;
      x1 = 0;
    }
    if (y1 < 0) {
      y2 += -y1;
      y1 = 0;
    }
    if (x2 >= w) {
      x1 -= x2 - w + 1;
      x2 = w - 1;
    }
    if (y2 >= h) {
      y1 -= y2 - h + 1;
      y2 = h - 1;
    }
  }
  if (x1 > x2) std::swap(x1, x2);
  if (y1 > y2) std::swap(y1, y2);
  int l = Clamp64(x1, 0, std::max(w - 1, 0)), t = Clamp64(y1, 0, std::max(h - 1, 0));
  int r = Clamp64(x2, 0, w), b = Clamp64(y2, 0, h);
  AppendSelectionPoint(l, t);
  AppendSelectionPoint(r, t);
  AppendSelectionPoint(r, b);
  AppendSelectionPoint(l, b);
  fSel->Poly.Visible = true;
  DrawSelectionNow();
}

void TRedozIrView::Select(int X1, int Y1, int X2, int Y2, int Op) {
  if (X1 == X2 || Y1 == Y2) return;
  bool overview = IsOverview();
  if (overview) LockPaint();
  try {
    MakeSelectionRectangle(X1, Y1, X2, Y2, false, false, Op);
    EndSelect();
  } catch (...) {
    if (overview) UnlockPaintEx();
    throw;
  }
  if (overview) {
    UnlockPaintEx();
    DrawSelectionNow();
    Paint();
    DrawSelectionNow();
  } else {
    Paint();
  }
}

void TRedozIrView::AddSelectionPoint(int X, int Y) {
  TPoint p = ClientToSelection(X, Y);
  AppendSelectionPoint(p.X, p.Y);
  fSel->Poly.Visible = true;
  DrawSelectionNow();
  Paint();
}

void TRedozIrView::EndSelect() {
  // The mask follows the image at the next update; the fill needs it now.
  int w = fIEBitmap->Width(), h = fIEBitmap->Height();
  if (fSelectionMask->Width() != w || fSelectionMask->Height() != h) {
    if (fSelectionMask->IsEmpty())
      fSelectionMask->AllocateBits(w, h, fSelectionMask->BitsPerPixel());
    else
      fSelectionMask->Resize(w, h);
  }
  fSelectionMask->FillPolygons(SelectionIntensity, fSel->Poly.Points.data(), fSel->Poly.Count());
  if (fSelectionMask->IsEmpty()) {
    fSel->Selected = false;
    EmptySelectionPolygon();
  }
}

void TRedozIrView::Deselect() {
  TIESelectionState& s = *fSel;
  if (Selected()) {
    s.Poly.Visible = false;
    if (fPaintLock == 0) Paint();
  }
  EmptySelectionPolygon();
  fSelectionMask->Empty();
  s.Selected = false;
  s.PolySelecting = s.Lasso = s.RectSelecting = s.CircleSelecting = false;
  s.GripDrag = 0;
  s.SelectionMove = -1;
  s.MovingRect = false;
  fFullRepaint = true;
  Update();
}

void TRedozIrView::SelectRectangleTo(int X, int Y, TShiftState Shift) {
  TIESelectionState& s = *fSel;
  bool add = (Shift & ssShift) && AdditiveSelection;
  if (add && s.Poly.Count() != s.CountAtDown) CutSelectionToLastBreak();
  bool constrain = (Shift & ssAlt) || ConstrainSelection;
  bool shiftInside = !(SelectionOptions & (1u << iesoSizeable));
  if (SelectionAspectRatio == 0) {
    int fw = RoundToInt(SelectionAbsWidth * fZoomD100X), fh = RoundToInt(SelectionAbsHeight * fZoomD100Y);
    int x1 = X - fw / 2, y1 = Y - fh / 2;
    MakeSelectionRectangle(x1, y1, x1 + fw, y1 + fh, shiftInside, false, add ? 1 : 0);
  } else {
    MakeSelectionRectangle(s.Down.X, s.Down.Y, X, Y, shiftInside, constrain, add ? 1 : 0);
  }
}

void TRedozIrView::SelectCircle(int X, int Y, TShiftState Shift) {
  TIESelectionState& s = *fSel;
  double ratio = SelectionAspectRatio;
  double rx, ry;
  if (ratio == 0) {
    rx = RoundToInt(SelectionAbsWidth * fZoomD100X) / 2;
    ry = RoundToInt(SelectionAbsHeight * fZoomD100Y) / 2;
  } else {
    double dx = std::abs(static_cast<double>(X) - s.Down.X), dy = std::abs(static_cast<double>(Y) - s.Down.Y);
    if (((Shift & ssAlt) || ConstrainSelection) && ratio == -1.0) {
      rx = ry = std::max(dx, dy);
    } else if (ratio <= 0) {
      rx = dx;
      ry = dy;
    } else {
      rx = std::max(dx, dy);
      ry = RoundToInt(rx * ratio);
    }
  }
  if ((Shift & ssShift) && AdditiveSelection) {
    if (s.Poly.Count() != s.CountAtDown) CutSelectionToLastBreak();
    AppendSelectionBreak();
  } else {
    EmptySelectionPolygon();
  }
  double bx = TruncToInt(rx * fZoom100X), by = TruncToInt(ry * fZoom100Y);
  double n = std::trunc(std::min(bx, by) * 2 * std::numbers::pi);
  int count = static_cast<int>(std::clamp<double>(n, kMinCirclePoints, kMaxCirclePoints));
  TPoint c = ClientToSelection(s.Down.X, s.Down.Y);
  int w = fIEBitmap->Width(), h = fIEBitmap->Height();
  for (int i = 0; i < count; ++i) {
    double a = 2 * std::numbers::pi * i / count;
    int x = std::clamp(RoundToInt(std::cos(a) * bx + c.X), 0, w);
    int y = std::clamp(RoundToInt(std::sin(a) * by + c.Y), 0, h);
    AppendSelectionPoint(x, y);
  }
  DrawSelectionNow();
  DoSelectionChanging();
}

// ---- moving and resizing

void TRedozIrView::MoveSelection(int DX, int DY, bool CutBorders) {
  TIESelectionState& s = *fSel;
  if (SelectionIsRectangle()) {
    s.MovingRect = true;
    fSelectionMask->Empty();
  } else {
    fSelectionMask->Translate(DX, DY, CutBorders);
  }
  if (DX == 0 && DY == 0) return;
  if (fPaintLock == 0) Paint();
  int w = fIEBitmap->Width(), h = fIEBitmap->Height();
  TRect b = s.Poly.Box;
  std::int64_t dx = DX, dy = DY;
  if (CutBorders) {
    if (b.Left + dx >= w) dx = w - 1 - b.Left;
    if (b.Top + dy >= h) dy = h - 1 - b.Top;
    if (b.Right + dx < 1) dx = 1 - b.Right;
    if (b.Bottom + dy < 1) dy = 1 - b.Bottom;
  } else {
    if (b.Left + dx < 0) dx = -b.Left;
    if (b.Right + dx > w) dx = w - b.Right;
    if (b.Top + dy < 0) dy = -b.Top;
    if (b.Bottom + dy > h) dy = h - b.Bottom;
    if (b.Left + dx < 0 || b.Right + dx > w || b.Top + dy < 0 || b.Bottom + dy > h) return;
  }
  s.Poly.Box = TRect{Clamp64(b.Left + dx, 0, w), Clamp64(b.Top + dy, 0, h), Clamp64(b.Right + dx, 0, w),
                     Clamp64(b.Bottom + dy, 0, h)};
  for (TPoint& p : s.Poly.Points) {
    if (IEIsSelBreak(p)) continue;
    p.X = Clamp64(p.X + dx, 0, w);
    p.Y = Clamp64(p.Y + dy, 0, h);
  }
  DrawSelectionNow();
  if (IsOverview()) {
    Paint();
    DrawSelectionNow();
  }
}

void TRedozIrView::MoveSelection(int DX, int DY) {
  MoveSelection(DX, DY, (SelectionOptions >> iesoCutBorders) & 1u);
  EndSelect();
}

namespace {
// The grip on the other side when the box flips horizontally or vertically.
int MirrorGripX(int g) {
  switch (g) {
    case ieTopLeft: return ieTopRight;
    case ieTopRight: return ieTopLeft;
    case ieBottomLeft: return ieBottomRight;
    case ieBottomRight: return ieBottomLeft;
    case ieLeftSide: return ieRightSide;
    case ieRightSide: return ieLeftSide;
    default: return g;
  }
}
int MirrorGripY(int g) {
  switch (g) {
    case ieTopRight: return ieBottomRight;
    case ieBottomRight: return ieTopRight;
    case ieTopLeft: return ieBottomLeft;
    case ieBottomLeft: return ieTopLeft;
    case ieTopSide: return ieBottomSide;
    case ieBottomSide: return ieTopSide;
    default: return g;
  }
}
}  // namespace

int TRedozIrView::ResizeSelectionByGrip(int Grip, int X, int Y, bool Constrain) {
  if (!SelectionIsRectangle() || Grip < ieTopLeft || Grip > ieBottomSide) return Grip;
  int w = fIEBitmap->Width(), h = fIEBitmap->Height();
  std::int64_t x = X, y = Y;
  if (SelectionBase == iesbClientArea) {
    TIELayer* l = GetCurrentLayer();
    x = LayerXScr2Bmp(l, X);
    y = LayerYScr2Bmp(l, Y);
  }
  const TRect B = fSel->GripBox;
  int g = Grip;
  double r = 1;
  if (Constrain) {
    std::int64_t bw = static_cast<std::int64_t>(B.Right) - B.Left + 1;
    std::int64_t bh = static_cast<std::int64_t>(B.Bottom) - B.Top + 1;
    if (bh == 0 || bw == 0) return Grip;
    r = SelectionAspectRatio <= 0 ? static_cast<double>(bw) / bh : 1 / SelectionAspectRatio;
    if (g == ieLeftSide || g == ieTopSide) g = ieTopLeft;
    if (g == ieRightSide || g == ieBottomSide) g = ieBottomRight;
    // The corner opposite the dragged one stays; the height follows the width.
    std::int64_t ax = (g == ieTopLeft || g == ieBottomLeft) ? B.Right : B.Left;
    std::int64_t ay = (g == ieTopLeft || g == ieTopRight) ? B.Bottom : B.Top;
    int ys = (g == ieTopLeft || g == ieTopRight) ? -1 : 1;
    auto follow = [&](std::int64_t px) {
      return ay + ys * static_cast<std::int64_t>(std::trunc(std::abs(px - ax) / r));
    };
    x = std::clamp<std::int64_t>(x, 0, w);
    y = follow(x);
    while ((y < 0 || y > h) && x != ax) {
      x += x > ax ? -1 : 1;
      y = follow(x);
    }
  }
  if (g == ieTopRight || g == ieBottomRight || g == ieRightSide) ++x;
  if (g == ieBottomRight || g == ieBottomLeft || g == ieBottomSide) ++y;
  std::int64_t left = fSel->Poly.Box.Left, top = fSel->Poly.Box.Top;
  std::int64_t right = fSel->Poly.Box.Right, bottom = fSel->Poly.Box.Bottom;
  bool setL = g == ieTopLeft || g == ieBottomLeft || g == ieLeftSide;
  bool setR = g == ieTopRight || g == ieBottomRight || g == ieRightSide;
  bool setT = g == ieTopLeft || g == ieTopRight || g == ieTopSide;
  bool setB = g == ieBottomRight || g == ieBottomLeft || g == ieBottomSide;
  // An edge landing on the opposite one goes one pixel past it: the box
  // never loses its width or height.
  if (setL) left = x == right ? right + 1 : x;
  if (setR) right = x == left ? left - 1 : x;
  if (setT) top = y == bottom ? bottom + 1 : y;
  if (setB) bottom = y == top ? top - 1 : y;
  int result = Grip;
  if (left > right) {
    result = MirrorGripX(result);
    std::swap(left, right);
  }
  if (top > bottom) {
    result = MirrorGripY(result);
    std::swap(top, bottom);
  }
  left = std::clamp<std::int64_t>(left, 0, w);
  right = std::clamp<std::int64_t>(right, 0, w);
  top = std::clamp<std::int64_t>(top, 0, h);
  bottom = std::clamp<std::int64_t>(bottom, 0, h);
  if (left == right || top == bottom) return result;
  EmptySelectionPolygon();
  AppendSelectionPoint(static_cast<int>(left), static_cast<int>(top));
  AppendSelectionPoint(static_cast<int>(right), static_cast<int>(top));
  AppendSelectionPoint(static_cast<int>(right), static_cast<int>(bottom));
  AppendSelectionPoint(static_cast<int>(left), static_cast<int>(bottom));
  DrawSelectionNow();
  return result;
}

}  // namespace redozir

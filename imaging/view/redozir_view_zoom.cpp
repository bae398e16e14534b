// TRedozIrView's zoom: the zoom setters that keep the point under the centre,
// the largest origin, the optimal and automatic fit, zooming at a point or to
// the selection, and the overview view that shows the visible area.
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "imaging/core/iebitmap.h"
#include "imaging/view/redozir_view.h"
#include "platform/numeric.h"

namespace redozir {

namespace {
// Ticks the delayed zoom filter and its timer wait after an origin or zoom
// change.
constexpr int kDelayZoomFilterTicks = 4;
constexpr int kDelayTimerTicks = 2;
// A zoomed image this much larger than the client area gets a pixel more to
// scroll, so that the last row and column can be brought fully into view.
constexpr int kScrollSlack = 10;
// Zooms the coordinates can carry: a client pixel covers at most 10000
// bitmap pixels, and the zoomed image stays well inside 32 bits.
constexpr double kMinZoom = 0.01;
constexpr double kMaxZoomedSize = 1 << 30;

// Paint locks held on a view and its overview for the length of a zoom
// change, released even when the change throws.
class TZoomPaintLock {
 public:
  TZoomPaintLock(TRedozIrView* View, TRedozIrView* Overview) : fView(View), fOverview(Overview) {
    if (fView) fView->LockPaint();
    if (fOverview) fOverview->LockPaint();
  }
  ~TZoomPaintLock() { Release(); }
  TZoomPaintLock(const TZoomPaintLock&) = delete;
  TZoomPaintLock& operator=(const TZoomPaintLock&) = delete;
  void Release() {
    if (fView) fView->UnlockPaintEx();
    if (fOverview) fOverview->UnlockPaintEx();
    fView = fOverview = nullptr;
  }

 private:
  TRedozIrView* fView;
  TRedozIrView* fOverview;
};
}  // namespace

void TRedozIrView::UpdateZoomFactors() {
  fZoomD100X = fZoomX / 100.0;
  fZoom100X = 100.0 / fZoomX;
  fZoomD100Y = fZoomY / 100.0;
  fZoom100Y = 100.0 / fZoomY;
}

void TRedozIrView::RearmDelayedZoomFilter() {
  if (DelayZoomFilter && fZoomFilter != rfNone && (fZoomX != 100 || fZoomY != 100))
    fDelayZoomFilterCount = kDelayZoomFilterTicks;
  fDelayTimerCount = kDelayTimerTicks;
  UpdateAntsTimer();
}

void TRedozIrView::DoViewChange(int Change) {
  if (OnViewChange) OnViewChange(this, Change);
  UpdateOverviewSelection();
}

void TRedozIrView::DoViewChanging(int Change, double newValue) {
  if (OnViewChanging) OnViewChanging(this, Change, newValue);
}

void TRedozIrView::FireZoomEvent(double Old, double& NewZoom) {
  if (NewZoom > Old) {
    if (OnZoomIn) FireWithProgramSelectionBase([&] { OnZoomIn(this, NewZoom); });
  } else if (NewZoom < Old) {
    if (OnZoomOut) FireWithProgramSelectionBase([&] { OnZoomOut(this, NewZoom); });
  }
}

// ---- the core zoom change

bool TRedozIrView::ZoomFits(bool X, bool Y, double Value) const {
  auto fits = [Value](int size) { return (size + 1.0) * Value / 100.0 <= kMaxZoomedSize; };
  return Value >= kMinZoom && fits(X ? fImageWidth : 0) && fits(Y ? fImageHeight : 0);
}

void TRedozIrView::ChangeZoom(bool X, bool Y, double Value) {
  StopSmoothScroll();
  // A zoom the coordinates cannot carry is ignored like a zoom of 0: it comes
  // from a wheel turn or a fit as often as from a program.
  if (!ZoomFits(X, Y, Value)) return;
  // The bitmap point under the client centre stays there.
  int cw = GetClientWidthEx(), ch = GetClientHeightEx();
  int px = RoundInt((static_cast<double>(fViewX) + cw / 2 - fImageLeft) * fZoom100X);
  int py = RoundInt((static_cast<double>(fViewY) + ch / 2 - fImageTop) * fZoom100Y);
  if (X) fZoomX = Value;
  if (Y) fZoomY = Value;
  UpdateZoomFactors();
  int maxX, maxY;
  GetMaxViewXY(maxX, maxY);
  // The axis not zoomed keeps its origin within its maximum too: one zoom
  // differing from the other changes how far both may scroll.
  fViewX = std::clamp(X ? TruncInt(px * fZoomD100X - cw / 2) : fViewX, 0, maxX);
  fViewY = std::clamp(Y ? TruncInt(py * fZoomD100Y - ch / 2) : fViewY, 0, maxY);
}

void TRedozIrView::SetZoom(double Value) { ChangeZoom(true, true, Value); }
void TRedozIrView::SetZoomX(double Value) { ChangeZoom(true, false, Value); }
void TRedozIrView::SetZoomY(double Value) { ChangeZoom(false, true, Value); }

// ---- the zoom setters

void TRedozIrView::SetZoomProperty(bool X, bool Y, double Value) {
  StopSmoothScroll();
  DoViewChanging(2, Value);
  if (!ZoomFits(X, Y, Value) || ((!X || Value == fZoomX) && (!Y || Value == fZoomY))) return;
  RearmDelayedZoomFilter();
  // Only a change of both zooms involves the overview.
  TRedozIrView* overview = X && Y ? fOverviewView : nullptr;
  TZoomPaintLock lock(this, overview);
  if (X && Y)
    SetZoom(Value);
  else if (X)
    SetZoomX(Value);
  else
    SetZoomY(Value);
  // The second pass settles what the first changed (scroll bars that came or
  // went change the client area).
  for (int pass = 0; pass < 2; ++pass) {
    fRepaintMode = 2;
    Update();
  }
  UpdateSourceRect();
  UpdateCoordTables();
  lock.Release();
  // The overview skipped its refresh while locked; its selection follows the
  // new visible area now rather than at the next update.
  if (overview) UpdateOverviewSelection();
  Paint();
  DoViewChange(1);
}

void TRedozIrView::Zoom(double Value) { SetZoomProperty(true, true, Value); }
void TRedozIrView::ZoomX(double Value) { SetZoomProperty(true, false, Value); }
void TRedozIrView::ZoomY(double Value) { SetZoomProperty(false, true, Value); }

// ---- limits and fitting

void TRedozIrView::GetMaxViewXY(int& MaxX, int& MaxY) {
  int cw = GetClientWidthEx(), ch = GetClientHeightEx();
  auto zoomed = [](double size, double z) { return Trunc(size * z); };
  std::int64_t zw = zoomed(fImageWidth, fZoomD100X), zh = zoomed(fImageHeight, fZoomD100Y);
  bool sameZoom = fZoomX == fZoomY;
  if (sameZoom) {
    if ((zw > cw + kScrollSlack || zh > ch + kScrollSlack) && fScrollBars != ssNone) {
      zw = zoomed(fImageWidth + 1.0, fZoomD100X);
      zh = zoomed(fImageHeight + 1.0, fZoomD100Y);
    }
  } else {
    if (zw > cw + kScrollSlack) zw = zoomed(fImageWidth + 1.0, fZoomD100X);
    if (zh > ch + kScrollSlack) zh = zoomed(fImageHeight + 1.0, fZoomD100Y);
  }
  MaxX = MaxY = 0;
  if (zw <= 0 || zh <= 0) return;
  // Less than one bitmap pixel to scroll is nothing to scroll.
  auto limit = [](std::int64_t max, double f100) {
    if (max < 0 || Trunc(static_cast<double>(max) * f100) == 0) return 0;
    return TruncInt(static_cast<double>(max));
  };
  MaxX = limit(zw - cw, fZoom100X);
  MaxY = limit(zh - ch, fZoom100Y);
  // An image that fits the control once the scroll bars are gone needs none.
  if (sameZoom) {
    if (zw <= Width() && zh <= Height()) MaxX = MaxY = 0;
  } else {
    if (zw <= Width()) MaxX = 0;
    if (zh <= Height()) MaxY = 0;
  }
}

void TRedozIrView::FitMargins(bool ForAutoFit, int& MX, int& MY) {
  switch (fBackgroundStyle) {
    case iebsCropped:
      MX = GetSystemMetrics(SM_CXEDGE);
      MY = GetSystemMetrics(SM_CYEDGE);
      return;
    case iebsCropShadow: MX = MY = 5; return;
    case iebsSoftShadow: MX = MY = 9; return;
    default: break;
  }
  if (ForAutoFit) {
    MX = (Width() - GetClientWidthEx()) / 2;
    MY = (Height() - GetClientHeightEx()) / 2;
  } else if (BorderStyle() == bsNone) {
    MX = MY = 0;
  } else if (Ctl3D()) {
    MX = GetSystemMetrics(SM_CXEDGE);
    MY = GetSystemMetrics(SM_CYEDGE);
  } else {
    MX = GetSystemMetrics(SM_CXBORDER);
    MY = GetSystemMetrics(SM_CYBORDER);
  }
}

namespace {
double OptimalZoom(int W, int H, int AW, int AH, bool CanStretch, bool CanShrink, int ControlW, int ControlH,
                   int MX, int MY) {
  if (W == 0 || H == 0 || AW == 0 || AH == 0) return 100;
  double fit = std::min((ControlW - 2.0 * MX) / (W / 100.0), (ControlH - 2.0 * MY) / (H / 100.0));
  bool larger = static_cast<double>(W) / AW > static_cast<double>(H) / AH ? W > AW : H > AH;
  if (larger) return CanShrink ? fit : 100;
  return CanStretch ? fit : 100;
}
}  // namespace

double TRedozIrView::GetOptimalZoom(int W, int H, int AW, int AH, bool CanStretch, bool CanShrink) {
  int mx, my;
  FitMargins(false, mx, my);
  return OptimalZoom(W, H, AW, AH, CanStretch, CanShrink, Width(), Height(), mx, my);
}

void TRedozIrView::Fit() {
  if (fImageWidth <= 0 || fImageHeight <= 0) return;
  ShowScrollBarEx(SB_BOTH, false);
  Zoom(GetOptimalZoom(fImageWidth, fImageHeight, GetClientWidthEx(), GetClientHeightEx(), true, true));
}

void TRedozIrView::AutoFitZoom() {
  if (fImageWidth <= 0 || fImageHeight <= 0) return;
  DoViewChanging(2, fZoomX);
  int mx, my;
  FitMargins(true, mx, my);
  if (fImageWidth < 2 && fImageHeight < 2) {
    fZoomX = fZoomY = 100;
  } else {
    fZoomX = OptimalZoom(fImageWidth, fImageHeight, GetClientWidthEx() - 2 * mx, GetClientHeightEx() - 2 * my,
                         AutoStretch || AutoFit, AutoShrink || AutoFit, Width(), Height(), mx, my);
    fZoomY = fZoomX;
  }
  fZoomX = std::max(fZoomX, 1.0);
  fZoomY = std::max(fZoomY, 1.0);
  UpdateZoomFactors();
  UpdateSourceRect();
  UpdateCoordTables();
  DoViewChange(1);
  fDelayZoomFilterCount = fDelayTimerCount = 0;
}

// ---- zooming at a point and to the selection

void TRedozIrView::ZoomAt(int X, int Y, double NewZoom, bool Center) {
  TRedozIrView* overview = fOverviewView;
  if (overview) overview->LockPaint();
  try {
    DoViewChanging(2, X);
    DoViewChanging(2, Y);
    LockPaint();
    try {
      int bx = XScr2Bmp(X), by = YScr2Bmp(Y);
      Zoom(NewZoom);
      // Each axis by its own zoom, so that different horizontal and vertical
      // zooms keep the point in place on both.
      if (Center) {
        SetViewXY(TruncInt(bx * fZoomD100X - GetClientWidthEx() / 2),
                  TruncInt(by * fZoomD100Y - GetClientHeightEx() / 2));
      } else {
        // The picture scrolls by whole bitmap pixels: the origin that makes
        // the pixel under the point the one it was.
        std::int64_t cx = static_cast<std::int64_t>(bx) - (XScr2Bmp(X) - fFirstColumn);
        std::int64_t cy = static_cast<std::int64_t>(by) - (YScr2Bmp(Y) - fFirstRow);
        SetViewXY(FirstOriginOf(0, TruncInt(static_cast<double>(cx))),
                  FirstOriginOf(1, TruncInt(static_cast<double>(cy))));
      }
    } catch (...) {
      UnlockPaintEx();
      throw;
    }
    if (UnlockPaintEx() == 0) {
      fRepaintMode = 2;  // a zoom's update
      Update();
    }
    UpdateSourceRect();
    UpdateCoordTables();
  } catch (...) {
    if (overview && overview == fOverviewView) overview->UnlockPaintEx();
    throw;
  }
  if (overview && overview == fOverviewView) {
    overview->UnlockPaintEx();
    UpdateOverviewSelection();
  }
}

void TRedozIrView::RemoveSelection() { Deselect(); }

int TRedozIrView::SelectionLeft() {
  TRect r;
  if (DrawnSelectionBounds(r)) return r.Left;
  return Selected() ? SelectionMask()->X1 : 0;
}

int TRedozIrView::SelectionTop() {
  TRect r;
  if (DrawnSelectionBounds(r)) return r.Top;
  return Selected() ? SelectionMask()->Y1 : 0;
}

int TRedozIrView::SelectionRight() {
  TRect r;
  if (DrawnSelectionBounds(r)) return r.Right - 1;
  return Selected() ? SelectionMask()->X2 : 0;
}

int TRedozIrView::SelectionBottom() {
  TRect r;
  if (DrawnSelectionBounds(r)) return r.Bottom - 1;
  return Selected() ? SelectionMask()->Y2 : 0;
}

void TRedozIrView::ZoomSelection(bool KeepAspect, bool FireEvent) {
  if (!Selected()) return;
  int left = SelectionLeft(), top = SelectionTop();
  std::int64_t w = static_cast<std::int64_t>(SelectionRight()) - left + 1;
  std::int64_t h = static_cast<std::int64_t>(SelectionBottom()) - top + 1;
  if (left < 0 || top < 0 || w < 2 || h < 2) return;
  RemoveSelection();
  double zx = Width() / (w / 100.0), zy = Height() / (h / 100.0);
  double z = std::min(zx, zy);
  if (FireEvent && OnZoomIn) FireWithProgramSelectionBase([&] { OnZoomIn(this, z); });
  if (KeepAspect) {
    Zoom(z);
  } else {
    ZoomX(zx);
    ZoomY(zy);
  }
  int cw = GetClientWidthEx(), ch = GetClientHeightEx();
  SetViewXY(TruncInt(left * fZoomX / 100.0) - (cw - TruncInt(w * fZoomX / 100.0)) / 2,
            TruncInt(top * fZoomY / 100.0) - (ch - TruncInt(h * fZoomY / 100.0)) / 2);
}

// ---- the overview view

void TRedozIrView::SetOverviewView(TRedozIrView* View, std::uint8_t Options) {
  if (View == this) return;
  if (TRedozIrView* old = fOverviewView) {
    fOverviewView = nullptr;
    RemoveFreeNotification(old);
    if (fOverviewFollow) RemoveBitmapChangeEvent(fOverviewFollow);
    fOverviewFollow = 0;
    old->OnMouseWheel = nullptr;
    old->OnSelectionChanging = nullptr;
    old->fOverviewOf = nullptr;
    old->fOverviewOptions = 0;
    old->AttachIEBitmap(nullptr);
  }
  if (!View) return;
  // A view overviews one view at a time.
  if (View->fOverviewOf) View->fOverviewOf->SetOverviewView(nullptr);
  fOverviewView = View;
  View->fOverviewOf = this;
  View->SetEnableAlphaChannel(fEnableAlphaChannel);
  View->AutoFit = true;
  View->SetMouseInteract(IEMouseInteract({miSelect}));
  View->SelectionBase = iesbBitmap;
  View->SelectionOptions = IESelectionOptions({iesoMoveable, iesoCanScroll});
  View->AttachIEBitmap(fIEBitmap);
  View->fOverviewOptions = Options;
  if (Options & 1) {
    View->OnMouseWheel = [this](TObject*, TShiftState Shift, int WheelDelta, TPoint MousePos, bool& Handled) {
      OverviewWheel(Shift, WheelDelta, MousePos, Handled);
    };
  }
  View->OnSelectionChanging = [this](TObject*) {
    if (TRedozIrView* o = fOverviewView)
      ScrollToOverviewSelection(
          Rect(o->SelectionLeft(), o->SelectionTop(), o->SelectionRight(), o->SelectionBottom()));
  };
  // The overview shows whatever bitmap is current here: it follows a change
  // of layer or an attach instead of keeping one that may be freed.
  fOverviewFollow = RegisterBitmapChangeEvent([this](TObject*, bool Destroying) {
    if (fOverviewView && !Destroying && fOverviewView->GetIEBitmap() != fIEBitmap)
      fOverviewView->AttachIEBitmap(fIEBitmap);
  });
  FreeNotification(View);
  UpdateOverviewSelection();
}

void TRedozIrView::Notification(TComponent* AComponent, TOperation Operation) {
  TIEView::Notification(AComponent, Operation);
  if (Operation != opRemove || !AComponent) return;
  if (AComponent == fOverviewView) {
    fOverviewView = nullptr;
    if (fOverviewFollow) RemoveBitmapChangeEvent(fOverviewFollow);
    fOverviewFollow = 0;
  }
  if (AComponent == fOverviewOf) fOverviewOf = nullptr;
}

void TRedozIrView::SelectVisibleArea(const TRect& Area) {
  // A fixed-size selection cannot be resized by its grips.
  SelectionOptions &= static_cast<TIESelectionOptions>(~(1u << iesoSizeable));
  fOverviewSelection = Area;
  SelectionAbsWidth = Area.Right - Area.Left;
  SelectionAbsHeight = Area.Bottom - Area.Top;
  SelectionAspectRatio = 0;
  Select(Area.Left, Area.Top, Area.Right, Area.Bottom, 0);
}

void TRedozIrView::UpdateOverviewSelection() {
  if (!fOverviewView || fPaintLock > 0 || fUpdatingOverview) return;
  fUpdatingOverview = true;
  try {
    TRect area;
    area.Left = XScr2Bmp(fImageLeft);
    area.Top = YScr2Bmp(fImageTop);
    area.Right = XScr2Bmp(fImageLeft + fVisibleWidth);
    area.Bottom = YScr2Bmp(fImageTop + fVisibleHeight);
    fOverviewView->SelectVisibleArea(area);
  } catch (...) {
    fUpdatingOverview = false;
    throw;
  }
  fUpdatingOverview = false;
}

void TRedozIrView::ScrollToOverviewSelection(const TRect& Selection) {
  SetViewXY(RoundInt(Selection.Left * fZoomX / 100.0), RoundInt(Selection.Top * fZoomY / 100.0));
}

void TRedozIrView::OverviewWheel(TShiftState, int WheelDelta, TPoint MousePos, bool& Handled) {
  if (!fOverviewView) return;
  const TIEMouseWheelParams& p = fOverviewView->MouseWheelParams;
  int direction = WheelDelta < 1 ? 1 : -1;
  if (p.InvertDirection) direction = -direction;
  double step = p.Variation == iemwAbsolute ? static_cast<double>(p.Value) * direction
                                            : std::max(RoundInt(p.Value * fZoomX / 100.0), 1) * direction;
  double z = fZoomX + step;
  FireZoomEvent(fZoomX, z);
  if (p.ZoomPosition) {
    // The image point under the mouse on the overview is the one this view
    // keeps in place.
    TPoint o = fOverviewView->ScreenToClient(MousePos);
    ZoomAt(XBmp2Scr(fOverviewView->XScr2Bmp(o.X)), YBmp2Scr(fOverviewView->YScr2Bmp(o.Y)), z, false);
  } else {
    Zoom(z);
  }
  Handled = true;
}

}  // namespace redozir

// TRedozIrView's origin and scrolling: the origin setters, scroll actions,
// the window scroll bars set up by an update, scroll-bar and wheel messages,
// and smooth scrolling on a timer of the view's own.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "imaging/core/iebitmap.h"
#include "imaging/view/redozir_view.h"
#include "platform/keys.h"
#include "platform/numeric.h"

namespace redozir {

namespace {
// Scroll-bar positions run over 0..65535 whatever the image size.
constexpr int kScrollRange = 65536;
constexpr UINT kSmoothScrollInterval = 30;

int ClampToInt(std::int64_t v) {
  return static_cast<int>(
      std::clamp<std::int64_t>(v, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

bool HasHorizontal(TScrollStyle s) { return s == ssHorizontal || s == ssBoth; }
bool HasVertical(TScrollStyle s) { return s == ssVertical || s == ssBoth; }
}  // namespace

// ---- the origin

void TRedozIrView::SetViewAxis(int Axis, int Value) {
  int& origin = Axis == 0 ? fViewX : fViewY;
  DoViewChanging(Axis, Value);
  if (Value == origin) return;
  int maxX, maxY;
  GetMaxViewXY(maxX, maxY);
  int v = std::clamp(Value, 0, Axis == 0 ? maxX : maxY);
  if (v == origin) return;
  origin = v;
  OriginMoved(Axis == 0, Axis == 1);
}

void TRedozIrView::OriginMoved(bool MovedX, bool MovedY) {
  RearmDelayedZoomFilter();
  UpdateSourceRect();
  fOriginMoved = true;
  Paint();
  DoViewChange(0);
  if (Selected()) RepaintSelection();
  if (MovedX && HasHorizontal(fScrollBars)) PlaceScrollPos(SB_HORZ, fViewX);
  if (MovedY && HasVertical(fScrollBars)) PlaceScrollPos(SB_VERT, fViewY);
}

void TRedozIrView::PlaceScrollPos(int Bar, int Origin) {
  if (!HandleAllocated()) return;
  int pos = ScrollPosFromView(Bar, Origin);
  if (fFlatScrollBars)
    FlatSB_SetScrollPos(Handle(), Bar, pos, true);
  else
    SetScrollPos(Handle(), Bar, pos, true);
}

void TRedozIrView::SetViewX(int Value) { SetViewAxis(0, Value); }
void TRedozIrView::SetViewY(int Value) { SetViewAxis(1, Value); }

void TRedozIrView::SetViewXY(int X, int Y) {
  DoViewChanging(0, X);
  DoViewChanging(1, Y);
  int maxX, maxY;
  GetMaxViewXY(maxX, maxY);
  int x = std::clamp(X, 0, maxX), y = std::clamp(Y, 0, maxY);
  if (x == fViewX && y == fViewY) return;
  bool movedX = x != fViewX, movedY = y != fViewY;
  fViewX = x;
  fViewY = y;
  OriginMoved(movedX, movedY);
}

bool TRedozIrView::CanScroll() {
  int maxX, maxY;
  GetMaxViewXY(maxX, maxY);
  return maxX > 0 || maxY > 0;
}

int TRedozIrView::LineStep(int Axis) {
  double zoom = Axis == 0 ? fZoomX : fZoomY;
  return std::max(TruncInt(zoom / 100.0), 1);
}

void TRedozIrView::ScrollAxis(int Axis, int Action, int Position) {
  const TIEScrollBarParams& p = Axis == 0 ? HScrollBarParams : VScrollBarParams;
  int origin = Axis == 0 ? fViewX : fViewY;
  int client = Axis == 0 ? GetClientWidthEx() : GetClientHeightEx();
  int unit = LineStep(Axis);
  std::int64_t line = p.LineStep == -1 ? unit : static_cast<std::int64_t>(unit) * p.LineStep;
  std::int64_t page = p.PageStep == -1 ? client : static_cast<std::int64_t>(unit) * p.PageStep;
  std::int64_t v = origin;
  switch (Action) {
    case 0: v = Position; break;
    case 1: {
      int maxX, maxY;
      GetMaxViewXY(maxX, maxY);
      v = Axis == 0 ? maxX : maxY;
      break;
    }
    case 2: v = 0; break;
    case 3: v = origin + line; break;
    case 4: v = origin - line; break;
    case 5: v = origin + page; break;
    case 6: v = origin - page; break;
    default: return;
  }
  SetViewAxis(Axis, ClampToInt(v));
}

void TRedozIrView::ScrollHorz(int Action, int Position) { ScrollAxis(0, Action, Position); }
void TRedozIrView::ScrollVert(int Action, int Position) { ScrollAxis(1, Action, Position); }

// ---- smooth scrolling

void TRedozIrView::StopSmoothScroll() { fSmoothTimer.reset(); }

void TRedozIrView::SetViewXYSmooth(int X, int Y) {
  if (SmoothScrollDivisor == 0) {
    SetViewXY(X, Y);
    return;
  }
  // A target beyond the limits could never be reached.
  int maxX, maxY;
  GetMaxViewXY(maxX, maxY);
  fSmoothTargetX = std::clamp(X, 0, maxX);
  fSmoothTargetY = std::clamp(Y, 0, maxY);
  if (fSmoothTimer) return;
  fSmoothTimer = std::make_unique<TTimer>(nullptr);
  fSmoothTimer->SetInterval(kSmoothScrollInterval);
  fSmoothTimer->SetOnTimer([this](TObject*) { SmoothScrollStep(); });
  SmoothScrollStep();
}

void TRedozIrView::SmoothScrollStep() {
  // A step of a divisor-th of the way left; once that rounds to nothing the
  // last pixels are walked one at a time, so the target is reached.
  auto step = [this](int origin, int target) {
    if (origin == target) return origin;
    int next = RoundInt(origin - (static_cast<double>(origin) - target) / SmoothScrollDivisor);
    if (next == origin) next += target > origin ? 1 : -1;
    return next;
  };
  int oldX = fViewX, oldY = fViewY;
  int x = step(fViewX, fSmoothTargetX), y = step(fViewY, fSmoothTargetY);
  if (x != oldX || y != oldY) SetViewXY(x, y);
  // A view that the handlers freed the timer of, or a zoom that stopped it,
  // is left alone.
  if (!fSmoothTimer) return;
  int primary = GetSystemMetrics(SM_SWAPBUTTON) ? VK_RBUTTON : VK_LBUTTON;
  if ((fViewX == oldX && fViewY == oldY) || GetAsyncKeyState(primary) < 0) StopSmoothScroll();
}

// ---- the window scroll bars

int TRedozIrView::ScrollPosFromView(int Bar, int Origin) const {
  const TScrollBarState& s = Bar == SB_VERT ? fVScroll : fHScroll;
  if (s.Ratio <= 0) return 0;
  return std::clamp(RoundInt(Origin / s.Ratio), 0, s.MaxPos);
}

int TRedozIrView::ViewFromScrollPos(int Bar, int Pos) const {
  const TScrollBarState& s = Bar == SB_VERT ? fVScroll : fHScroll;
  return RoundInt(std::clamp(Pos, 0, s.MaxPos) * s.Ratio);
}

void TRedozIrView::ShowScrollBarEx(int Bar, bool Show) {
  if (!HandleAllocated()) return;
  if (fFlatScrollBars)
    FlatSB_ShowScrollBar(Handle(), Bar, Show);
  else
    ShowScrollBar(Handle(), Bar, Show);
  if (!Show) {
    if (Bar != SB_VERT) fHScroll.Visible = false;
    if (Bar != SB_HORZ) fVScroll.Visible = false;
  }
}

void TRedozIrView::UpdateScrollBar(int Bar, int Max, int Client, int Origin) {
  TScrollBarState& s = Bar == SB_VERT ? fVScroll : fHScroll;
  HWND wnd = Handle();
  auto enable = [&](UINT arrows) {
    if (fFlatScrollBars)
      FlatSB_EnableScrollBar(wnd, Bar, arrows);
    else
      EnableScrollBar(wnd, Bar, arrows);
  };
  if (Max > 0) {
    s.Visible = true;
    // The thumb's travel (the last position is 65536 - page) stands for the
    // whole range of origins, so the last position is the largest origin and
    // the largest origin the last position.
    double ratio = (static_cast<double>(Client) + Max) / kScrollRange;
    TScrollInfo info;
    info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    info.nMin = 0;
    info.nMax = kScrollRange - 1;
    info.nPage = static_cast<UINT>(std::clamp(TruncInt(Client / ratio), 0, kScrollRange));
    // As the bar counts it: a bar without a page ends at its maximum.
    s.MaxPos = info.nPage > 0 ? kScrollRange - static_cast<int>(info.nPage) : kScrollRange - 1;
    s.Ratio = static_cast<double>(Max) / s.MaxPos;
    info.nPos = ScrollPosFromView(Bar, Origin);
    if (fFlatScrollBars)
      FlatSB_SetScrollInfo(wnd, Bar, info, true);
    else
      SetScrollInfo(wnd, Bar, info, true);
    enable(ESB_ENABLE_BOTH);
    ShowScrollBarEx(Bar, true);
  } else if (KeepScrollBars) {
    s.Visible = true;
    enable(ESB_DISABLE_BOTH);
    ShowScrollBarEx(Bar, true);
  } else if (s.Visible) {
    ShowScrollBarEx(Bar, false);
  }
}

void TRedozIrView::SetScrollBars(TScrollStyle Value) {
  fScrollBars = Value;
  if (!HasVertical(Value)) ShowScrollBarEx(SB_VERT, false);
  if (!HasHorizontal(Value)) ShowScrollBarEx(SB_HORZ, false);
  fRepaintMode = 4;
  Update();
}

void TRedozIrView::FlatScrollBars(bool Value) {
  if (Value == fFlatScrollBars) return;
  fFlatScrollBars = Value;
  if (!HandleAllocated()) return;
  if (Value) {
    // The bars start again as flat ones.
    FlatSB_ShowScrollBar(Handle(), SB_BOTH, false);
    fHScroll.Visible = fVScroll.Visible = false;
    InitializeFlatSB(Handle());
    fRepaintMode = 4;
    Update();
  } else {
    UninitializeFlatSB(Handle());
  }
}

void TRedozIrView::UpdateWindowedView() {
  bool running = (ComponentState() & csDesigning) == 0;
  int cw = GetClientWidthEx(), ch = GetClientHeightEx();
  int maxX, maxY;
  GetMaxViewXY(maxX, maxY);
  if (running) {
    bool moved = false;
    if (fViewX > maxX) {
      DoViewChanging(0, maxX);
      fViewX = maxX;
      moved = true;
    }
    if (fViewY > maxY) {
      DoViewChanging(1, maxY);
      fViewY = maxY;
      moved = true;
    }
    if (moved) DoViewChange(0);
  }
  if (HasHorizontal(fScrollBars)) UpdateScrollBar(SB_HORZ, maxX, cw, fViewX);
  if (HasVertical(fScrollBars)) UpdateScrollBar(SB_VERT, maxY, ch, fViewY);
  // A bar that came or went changed the client area: lay out once more. A
  // bar that comes can bring the other one, which takes one more round; a
  // bar that comes never sends one away (nor one that goes brings one), so
  // that is the end of it.
  if ((GetClientWidthEx() != cw || GetClientHeightEx() != ch) && fResizeUpdates < 2) {
    ++fResizeUpdates;
    try {
      DoUpdate();
    } catch (...) {
      --fResizeUpdates;
      throw;
    }
    --fResizeUpdates;
  }
  UpdateImageRect();
  UpdateSourceRect();
  UpdateCoordTables();
  UpdateDisplay();
  fFullRepaint = true;
  fPaintWholeClient = true;
  if (InvalidateOnUpdate && !SuppressInvalidate) Invalidate();
  if (fOverviewView && fOverviewView->PaintLockCount() == 0) {
    if (fRepaintMode == 0 && !fUpdatingOverview) fOverviewView->Update();
    UpdateOverviewSelection();
  }
}

// ---- messages

bool TRedozIrView::MouseWheelAction(int Delta, TPoint Pos, bool Ctrl) {
  const TIEMouseWheelParams& p = MouseWheelParams;
  if (p.Action == iemwNone || AutoFit) return false;
  int direction = Delta > 0 ? -1 : 1;
  if (p.InvertDirection) direction = -direction;
  if (p.Action == iemwVScroll) {
    int maxX, maxY;
    GetMaxViewXY(maxX, maxY);
    int axis = Ctrl || (maxX > 0 && maxY == 0) ? 0 : 1;
    std::int64_t step;
    if (p.Variation == iemwAbsolute) {
      step = static_cast<std::int64_t>(LineStep(axis)) * p.Value * direction;
    } else {
      int client = axis == 0 ? GetClientWidthEx() : GetClientHeightEx();
      step = static_cast<std::int64_t>(std::max(RoundInt(static_cast<double>(client) * p.Value / 100.0), 1)) *
             direction;
    }
    SetViewAxis(axis, ClampToInt((axis == 0 ? fViewX : fViewY) + step));
    return true;
  }
  double z = p.Variation == iemwAbsolute
                 ? fZoomX + static_cast<double>(p.Value) * direction
                 : fZoomX + static_cast<double>(std::max(RoundInt(p.Value * fZoomX / 100.0), 1)) * direction;
  FireZoomEvent(fZoomX, z);
  if (p.ZoomPosition)
    ZoomAt(Pos.X, Pos.Y, z, false);
  else
    Zoom(z);
  return true;
}

bool TRedozIrView::ScrollMessage(TMessage& Message) {
  switch (Message.Msg) {
    case WM_MOUSEWHEEL: {
      // The platform's wheel events first, then the view's own action.
      TPoint screen{GET_X_LPARAM(Message.LParam), GET_Y_LPARAM(Message.LParam)};
      WORD keys = LOWORD(Message.WParam);
      int delta = GET_WHEEL_DELTA_WPARAM(Message.WParam);
      bool handled = DoMouseWheel(KeysToShiftState(keys), delta, screen);
      if (MouseWheelAction(delta, ScreenToClient(screen), (keys & MK_CONTROL) != 0)) handled = true;
      if (handled)
        Message.Result = 1;
      else
        DefaultHandler(Message);
      return true;
    }
    case WM_HSCROLL:
    case WM_VSCROLL: {
      TIEView::WndProc(Message);
      int axis = Message.Msg == WM_HSCROLL ? 0 : 1;
      int bar = axis == 0 ? SB_HORZ : SB_VERT;
      int code = LOWORD(Message.WParam);
      int thumb = HIWORD(Message.WParam);
      switch (code) {
        case SB_LINEUP: ScrollAxis(axis, 4, 0); break;
        case SB_LINEDOWN: ScrollAxis(axis, 3, 0); break;
        case SB_PAGEUP: ScrollAxis(axis, 6, 0); break;
        case SB_PAGEDOWN: ScrollAxis(axis, 5, 0); break;
        case SB_THUMBTRACK:
          if (!(axis == 0 ? HScrollBarParams : VScrollBarParams).Tracking) break;
          [[fallthrough]];
        case SB_THUMBPOSITION: ScrollAxis(axis, 0, ViewFromScrollPos(bar, thumb)); break;
        case SB_TOP: ScrollAxis(axis, 2, 0); break;
        case SB_BOTTOM: ScrollAxis(axis, 1, 0); break;
        default: ScrollAxis(axis, 0, axis == 0 ? fViewX : fViewY); break;
      }
      return true;
    }
    default: return false;
  }
}

}  // namespace redozir

// TRedozIrView's cursors and keys: the cursor table the view registers, the
// base and temporary cursors, the Shift swap, the message handlers of focus,
// erasing, keys and the private messages; and the view unit's start and end.
#include <array>
#include <mutex>
#include <string>

#include "imaging/view/redozir_view.h"
#include "platform/messages.h"
#include "platform/screen.h"

namespace redozir {

namespace {
// The view's cursors, registered under 1778 onwards in this order.
constexpr int kFirstViewCursor = 1778;
constexpr std::array<const char*, 37> kViewCursorNames = {
    "ZOOMMENO", "ZOOMPIU", "CROCE", "GOMMA",   "MANO",    "PENNA",  "CROCE1",  "CROCE3",  "MOVE2",   "MOVEY",
    "MOVE1",    "MOVEX",   "MOVE",  "CROCE3+", "CROCE3-", "CROCE2", "CROCE2+", "CROCE2-", "CROCE2-", "1795",
    "1796",     "1797",    "1798",  "1799",    "1800",    "1801",   "1802",    "1803",    "1803",    "1805",
    "1806",     "1807",    "1808",  "ROT1",    "ROT2",    "ROT3",   "ROT4"};
// The hand cursors and the "+" shapes Shift shows instead.
constexpr TCursor kHandCursor = 1785, kHandPlusCursor = 1791;
constexpr TCursor kCrossCursor = 1793, kCrossPlusCursor = 1794;

// The display shape that stands for one of the view's cursors.
TCursorShape ShapeOf(const std::string& name) {
  if (name == "MANO") return csHandShape;
  if (name == "MOVEX" || name == "1797" || name == "1801") return csSizeWEShape;
  if (name == "MOVEY" || name == "1798" || name == "1802") return csSizeNSShape;
  if (name.rfind("MOVE", 0) == 0) return csSizeAllShape;
  if (name == "1795" || name == "1799" || name == "1803") return csSizeNWSEShape;
  if (name == "1796" || name == "1800" || name == "1805") return csSizeNESWShape;
  if (name == "GOMMA") return csArrowShape;
  return csCrossShape;
}

// The cursor behind a table entry, made once for the program (cursor
// handles live as long as it).
HCURSOR ViewCursor(int index) {
  static std::array<HCURSOR, kViewCursorNames.size()> handles{};
  static std::once_flag once;
  std::call_once(once, [] {
    for (size_t i = 0; i < kViewCursorNames.size(); ++i)
      handles[i] = CreateShapeCursor(kViewCursorNames[i], ShapeOf(kViewCursorNames[i]));
  });
  return handles[static_cast<size_t>(index)];
}

struct TViewUnit {
  int BitsPerPixel = 32;
  bool RemoteSession = false;
  int DpiX = 96, DpiY = 96;
  int EdgeX = 2, EdgeY = 2, BorderX = 1, BorderY = 1, HScrollHeight = 17, VScrollWidth = 17;
  int GridZoomThreshold = 400;
  TPen GridPen{clBlack, 1, psSolid, pmNot};
};
TViewUnit& Unit() {
  static TViewUnit unit;
  return unit;
}
}  // namespace

void IEInitView() {
  TViewUnit& u = Unit();
  u.BitsPerPixel = Screen ? Screen->BitsPerPixel() : 32;
  u.RemoteSession = GetSystemMetrics(SM_REMOTESESSION) != 0;
  u.DpiX = u.DpiY = Screen ? Screen->PixelsPerInch() : 96;
  u.EdgeX = GetSystemMetrics(SM_CXEDGE);
  u.EdgeY = GetSystemMetrics(SM_CYEDGE);
  u.BorderX = GetSystemMetrics(SM_CXBORDER);
  u.BorderY = GetSystemMetrics(SM_CYBORDER);
  u.HScrollHeight = GetSystemMetrics(SM_CYHSCROLL);
  u.VScrollWidth = GetSystemMetrics(SM_CXVSCROLL);
  u.GridZoomThreshold = 400;
  u.GridPen = TPen{clBlack, 1, psSolid, pmNot};
}

// Nothing was loaded that needs unloading: the gradient and the pen are the
// program's own.
void IEFinalView() {}

int IEGridZoomThreshold() { return Unit().GridZoomThreshold; }
const TPen& IEGridPen() { return Unit().GridPen; }

// ---- cursors

void TRedozIrView::RegisterCursors() {
  if (!Screen) return;
  for (size_t i = 0; i < kViewCursorNames.size(); ++i)
    Screen->SetCursors(kFirstViewCursor + static_cast<int>(i), ViewCursor(static_cast<int>(i)));
}

void TRedozIrView::SetCursor(TCursor c) {
  fBaseCursor = c;
  TIEView::SetCursor(c);
  // A hidden view (no owner) never touches what the screen shows.
  if (Owner() && HandleAllocated() && Screen) ::redozir::SetCursor(Screen->Cursors(c));
}

void TRedozIrView::SetTempCursor(TCursor c) {
  if (!Owner()) return;
  TIEView::SetCursor(c);
  if (HandleAllocated() && Screen) ::redozir::SetCursor(Screen->Cursors(c));
}

void TRedozIrView::RestoreCursor() { SetTempCursor(fBaseCursor); }

void TRedozIrView::KeyDown(WORD& Key, TShiftState Shift) {
  TIEView::KeyDown(Key, Shift);
  if (!ShiftCursorSwap || !(Shift & ssShift)) return;
  if (Cursor() == kHandCursor)
    SetTempCursor(kHandPlusCursor);
  else if (Cursor() == kCrossCursor)
    SetTempCursor(kCrossPlusCursor);
}

void TRedozIrView::KeyUp(WORD& Key, TShiftState Shift) {
  TIEView::KeyUp(Key, Shift);
  if (ShiftCursorSwap && !(Shift & ssShift)) RestoreCursor();
}

// ---- messages

bool TRedozIrView::ViewMessage(TMessage& Message) {
  switch (Message.Msg) {
    case WM_ERASEBKGND:
      // The view paints its whole client area itself.
      Message.Result = 1;
      return true;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      TIEView::WndProc(Message);
      Invalidate();
      return true;
    case WM_MOUSEHWHEEL: DefaultHandler(Message); return true;
    case IEM_NEWFRAME:
    case IEM_EVENT:
      // Only a connected video graph sends these, and the video front has
      // none: there is nothing to tell.
      return true;
    case CM_WANTSPECIALKEY: {
      TIEView::WndProc(Message);
      bool handled = false;
      if (OnSpecialKey)
        OnSpecialKey(this, static_cast<WORD>(Message.WParam), KeyDataToShiftState(Message.LParam), handled);
      if (handled) Message.Result = 1;
      return true;
    }
    case CN_KEYDOWN:
    case CN_KEYUP:
    case WM_SYSKEYDOWN:
    case WM_SYSKEYUP: {
      TIEView::WndProc(Message);
      if (OnVirtualKey)
        OnVirtualKey(this, static_cast<unsigned>(Message.WParam), static_cast<unsigned>(Message.LParam),
                     Message.Msg == CN_KEYDOWN || Message.Msg == WM_SYSKEYDOWN);
      return true;
    }
    default: return false;
  }
}

}  // namespace redozir

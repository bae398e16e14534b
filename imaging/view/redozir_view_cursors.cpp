// TRedozIrView's cursors and keys: the cursor table the view registers, the
// base and temporary cursors, the Shift swap, the message handlers of focus,
// erasing, keys and the private messages; and the view unit's start and end.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
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
// The two crosses ("CROCE3", the view's default, and "CROCE2") and the "+"
// shapes Shift shows instead.
constexpr TCursor kCross3Cursor = 1785, kCross3PlusCursor = 1791;
constexpr TCursor kCross2Cursor = 1793, kCross2PlusCursor = 1794;

// The view's cursor pictures: 32 x 32, black strokes with a white rim so
// that they show on any picture.
constexpr int kCursorSide = 32;

class TCursorPicture {
 public:
  TCursorPicture() : px_(kCursorSide * kCursorSide, 0) {}
  // A stroke from (x0, y0) to (x1, y1), 2 pixels thick.
  void Line(int x0, int y0, int x1, int y1) {
    int steps = std::max(std::abs(x1 - x0), std::abs(y1 - y0));
    for (int i = 0; i <= steps; ++i) {
      int x = x0 + (steps ? (x1 - x0) * i / steps : 0), y = y0 + (steps ? (y1 - y0) * i / steps : 0);
      Dot(x, y);
      Dot(x + 1, y);
      Dot(x, y + 1);
    }
  }
  void Ring(int cx, int cy, int r) {
    for (int a = 0; a < 360; a += 3) {
      double t = a * 3.14159265358979323846 / 180;
      Dot(cx + static_cast<int>(std::lround(r * std::cos(t))),
          cy + static_cast<int>(std::lround(r * std::sin(t))));
    }
  }
  // A line with an arrow head at each end.
  void Arrows(int x0, int y0, int x1, int y1) {
    Line(x0, y0, x1, y1);
    Head(x0, y0, x1, y1);
    Head(x1, y1, x0, y0);
  }
  void Box(int x0, int y0, int x1, int y1) {
    for (int y = y0; y <= y1; ++y) Line(x0, y, x1, y);
  }
  // An arrow head at (x, y) pointing away from (fromX, fromY).
  void Head(int x, int y, int fromX, int fromY) {
    double a = std::atan2(fromY - y, fromX - x);
    for (double side : {-0.6, 0.6})
      Line(x, y, x + static_cast<int>(std::lround(6 * std::cos(a + side))),
           y + static_cast<int>(std::lround(6 * std::sin(a + side))));
  }
  // The rim, then the pixels as the cursor takes them.
  std::vector<std::uint32_t> Pixels() const {
    std::vector<std::uint32_t> out(px_.size(), 0);
    for (int y = 0; y < kCursorSide; ++y)
      for (int x = 0; x < kCursorSide; ++x) {
        if (At(x, y)) {
          out[Index(x, y)] = 0xFF000000u;
          continue;
        }
        for (int dy = -1; dy <= 1; ++dy)
          for (int dx = -1; dx <= 1; ++dx)
            if (At(x + dx, y + dy)) out[Index(x, y)] = 0xFFFFFFFFu;
      }
    return out;
  }

 private:
  static size_t Index(int x, int y) { return static_cast<size_t>(y) * kCursorSide + static_cast<size_t>(x); }
  bool At(int x, int y) const {
    return x >= 0 && y >= 0 && x < kCursorSide && y < kCursorSide && px_[Index(x, y)];
  }
  void Dot(int x, int y) {
    if (x >= 1 && y >= 1 && x < kCursorSide - 1 && y < kCursorSide - 1) px_[Index(x, y)] = 1;
  }
  std::vector<std::uint8_t> px_;
};

// The picture and hot spot of the cursor of a name.
HCURSOR MakeViewCursor(const std::string& name) {
  TCursorPicture p;
  int hx = 15, hy = 15;
  auto sign = [&](bool plus, int cx, int cy) {
    p.Line(cx - 4, cy, cx + 4, cy);
    if (plus) p.Line(cx, cy - 4, cx, cy + 4);
  };
  if (name == "ZOOMMENO" || name == "ZOOMPIU") {
    p.Ring(12, 12, 9);
    p.Line(19, 19, 28, 28);
    sign(name == "ZOOMPIU", 12, 12);
    hx = hy = 12;
  } else if (name == "MANO") {
    p.Box(9, 15, 23, 27);
    for (int f = 0; f < 4; ++f) p.Line(10 + 4 * f, 5 + (f == 0 || f == 3 ? 4 : 0), 10 + 4 * f, 15);
    p.Line(23, 20, 28, 14);
  } else if (name == "GOMMA") {
    p.Box(4, 20, 18, 28);
    hx = 4;
    hy = 28;
  } else if (name == "PENNA") {
    p.Line(2, 29, 26, 5);
    p.Line(5, 29, 28, 7);
    hx = 2;
    hy = 29;
  } else if (name.rfind("MOVE", 0) == 0) {
    bool across = name != "MOVEY", down = name != "MOVEX";
    if (across) p.Arrows(3, 15, 28, 15);
    if (down) p.Arrows(15, 3, 15, 28);
  } else if (name.rfind("ROT", 0) == 0) {
    p.Ring(15, 15, 10);
    p.Head(25, 17, 25, 9);
  } else if (name.size() == 4 && name[0] == '1') {
    // The resize grips: diagonals and sides in turn.
    switch ((std::stoi(name) - 1795) % 4) {
      case 0: p.Arrows(5, 5, 26, 26); break;
      case 1: p.Arrows(26, 5, 5, 26); break;
      case 2: p.Arrows(3, 15, 28, 15); break;
      default: p.Arrows(15, 3, 15, 28); break;
    }
  } else {
    // The crosses, some with a "+" or "-" beside them.
    p.Line(15, 2, 15, 12);
    p.Line(15, 18, 15, 28);
    p.Line(2, 15, 12, 15);
    p.Line(18, 15, 28, 15);
    if (name.back() == '+' || name.back() == '-') sign(name.back() == '+', 24, 24);
  }
  return CreateImageCursor(name, kCursorSide, kCursorSide, p.Pixels(), hx, hy);
}

// The cursor behind a table entry, made once for the program (cursor
// handles live as long as it).
HCURSOR ViewCursor(int index) {
  static std::array<HCURSOR, kViewCursorNames.size()> handles{};
  static std::once_flag once;
  std::call_once(once, [] {
    for (size_t i = 0; i < kViewCursorNames.size(); ++i) handles[i] = MakeViewCursor(kViewCursorNames[i]);
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

TCursor TRedozIrView::ShiftPlusCursor(TCursor c) {
  return c == kCross3Cursor ? kCross3PlusCursor : c == kCross2Cursor ? kCross2PlusCursor : c;
}

void TRedozIrView::KeyDown(WORD& Key, TShiftState Shift) {
  TIEView::KeyDown(Key, Shift);
  if (!ShiftCursorSwap || !(Shift & ssShift)) return;
  if (TCursor plus = ShiftPlusCursor(Cursor()); plus != Cursor()) SetTempCursor(plus);
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

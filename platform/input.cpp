#include "platform/input.h"

#include <cstdlib>
#include <vector>

#include "platform/application.h"
#include "platform/drag.h"
#include "platform/font.h"
#include "platform/forms.h"
#include "platform/hints.h"
#include "platform/keys.h"
#include "platform/timers.h"

namespace redozir {

namespace {

struct TLastDown {
  bool valid = false;
  TMouseButton button = mbLeft;
  HWND wnd = 0;
  std::uint64_t time = 0;
  TPoint screen;
};

struct TBarDrag {
  HWND wnd = 0;
  int bar = SB_HORZ;
  TScrollBarPart part = sbpNone;
  int grab = 0;  // cursor offset from the thumb's leading edge
  int pos = 0;
};

struct TPendingMove {
  HWND form = 0;
  int x = 0, y = 0;
};

struct TInputState {
  TLastDown last;
  TBarDrag drag;
  std::vector<TPendingMove> moves;  // one per form at most
};

TInputState& St() {
  static TInputState s;
  return s;
}

WPARAM MouseKeys() {
  WPARAM k = 0;
  if (GetKeyState(VK_LBUTTON) < 0) k |= MK_LBUTTON;
  if (GetKeyState(VK_RBUTTON) < 0) k |= MK_RBUTTON;
  if (GetKeyState(VK_MBUTTON) < 0) k |= MK_MBUTTON;
  if (GetKeyState(VK_SHIFT) < 0) k |= MK_SHIFT;
  if (GetKeyState(VK_CONTROL) < 0) k |= MK_CONTROL;
  return k;
}

// The deepest shown, enabled control under a point of the form's client area;
// `local` receives the point in that control's window coordinates (its outer
// top-left at 0, 0).
TControl* HitTest(TForm* form, int x, int y, TPoint& local) {
  TControl* c = form;
  local = {x, y};
  for (;;) {
    TPoint inClient{local.X - c->ClientOffset().X, local.Y - c->ClientOffset().Y};
    if (!c->ClientRect().Contains(inClient.X, inClient.Y)) return c;
    TControl* hit = nullptr;
    for (int i = c->ControlCount() - 1; i >= 0; --i) {
      TControl* k = c->Controls(i);
      if (k->Visible() && k->Enabled() && k->HandleAllocated() &&
          k->BoundsRect().Contains(inClient.X, inClient.Y)) {
        hit = k;
        break;
      }
    }
    if (!hit) return c;
    local = {inClient.X - hit->Left(), inClient.Y - hit->Top()};
    c = hit;
  }
}

void Deliver(TControl* c, UINT msg, WPARAM w, LPARAM l) {
  try {
    c->Perform(msg, w, l);
  } catch (...) {
    Application->HandleException(c);
  }
}

void SendScroll(TControl* c, int bar, int code, int pos) {
  Deliver(c, bar == SB_HORZ ? WM_HSCROLL : WM_VSCROLL, MAKEWPARAM(code, pos), 0);
}

void UpdateHover(TControl* c) {
  HWND h = c ? c->Handle() : 0;
  HWND old = key_state::Hover();
  if (h == old) return;
  key_state::SetHover(h);
  HintHoverChanged(c);
  if (TControl* o = TControl::FromHandle(old)) Deliver(o, CM_MOUSELEAVE, 0, 0);
  if (c) Deliver(c, CM_MOUSEENTER, 0, 0);
}

bool InClient(TControl* c, TPoint local) {
  TPoint o = c->ClientOffset();
  return c->ClientRect().Contains(local.X - o.X, local.Y - o.Y);
}

}  // namespace

void TInput::Reset() {
  St() = TInputState{};
  TDragDrop::Reset();
}

TControl* TInput::ControlAt(TPoint screen, TForm* first, TPoint& client) {
  auto in = [&](TForm* f) -> TControl* {
    if (!f || !f->Visible() || !f->HandleAllocated() || !f->Enabled()) return nullptr;
    TPoint p{screen.X - f->Left(), screen.Y - f->Top()};
    if (!Rect(0, 0, f->Width(), f->Height()).Contains(p.X, p.Y)) return nullptr;
    TPoint local;
    TControl* c = HitTest(f, p.X, p.Y, local);
    client = {local.X - c->ClientOffset().X, local.Y - c->ClientOffset().Y};
    return c;
  };
  if (TControl* c = in(first)) return c;
  for (int i = Application->FormCount() - 1; i >= 0; --i) {
    TForm* f = Application->Forms(i);
    if (f == first || f->NoActivate) continue;
    if (TControl* c = in(f)) return c;
  }
  return nullptr;
}

void TInput::PostMouseMove(TForm* form, int x, int y) {
  if (!form || !form->HandleAllocated()) return;
  key_state::SetCursorPos(form->ClientToScreen({x, y}));
  std::vector<TPendingMove>& moves = St().moves;
  for (TPendingMove& m : moves)
    if (m.form == form->Handle()) {
      m.x = x;
      m.y = y;
      return;
    }
  moves.push_back({form->Handle(), x, y});
}

bool TInput::DeliverPendingMoves() {
  std::vector<TPendingMove> moves;
  moves.swap(St().moves);
  for (const TPendingMove& m : moves)
    if (auto* f = dynamic_cast<TForm*>(TControl::FromHandle(m.form))) MouseMove(f, m.x, m.y);
  return !moves.empty();
}

int TInput::PendingMoves() { return static_cast<int>(St().moves.size()); }

namespace {
HWND PopupWnd = 0;
bool PopupTakesKeys = false;
}  // namespace

void TInput::SetPopup(TForm* form, bool TakesKeys) {
  PopupWnd = form ? form->Handle() : 0;
  PopupTakesKeys = form && TakesKeys;
}

TForm* TInput::Popup() {
  auto* f = dynamic_cast<TForm*>(TControl::FromHandle(PopupWnd));
  return f && f->Visible() ? f : nullptr;
}

void TInput::MouseMove(TForm* form, int x, int y) {
  DeliverPendingMoves();
  if (!form || !form->HandleAllocated()) return;
  TPoint screen = form->ClientToScreen({x, y});
  key_state::SetCursorPos(screen);
  if (TDragDrop::MouseMove(screen)) return;
  TBarDrag& d = St().drag;
  if (d.wnd) {
    TControl* c = TControl::FromHandle(d.wnd);
    if (!c) {
      d = TBarDrag{};
      return;
    }
    if (d.part != sbpThumb) return;
    TScrollBarLayout l = ScrollBarLayout(c, d.bar);
    TPoint local = c->ScreenToClient(screen);
    local.X += c->ClientOffset().X;
    local.Y += c->ClientOffset().Y;
    int along = l.Horizontal ? local.X - l.LineUp.Right : local.Y - l.LineUp.Bottom;
    int pos = l.PosFromThumbOffset(c->ScrollBar(d.bar), along - d.grab);
    if (pos != d.pos) {
      d.pos = pos;
      c->ScrollBar(d.bar).TrackPos = pos;
      SendScroll(c, d.bar, SB_THUMBTRACK, pos);
    }
    return;
  }
  TControl* target = TControl::FromHandle(GetCapture());
  TPoint local;
  if (!target || GetParentForm(target) != form) {
    target = HitTest(form, x, y, local);
    if (!form->Enabled()) return;
  } else {
    local = target->ScreenToClient(screen);
    local.X += target->ClientOffset().X;
    local.Y += target->ClientOffset().Y;
  }
  UpdateHover(target);
  bool client = GetCapture() == target->Handle() || InClient(target, local);
  Deliver(target, WM_SETCURSOR, target->Handle(), MAKELPARAM(client ? 1 : 0, WM_MOUSEMOVE));
  if (!client) return;
  TPoint p{local.X - target->ClientOffset().X, local.Y - target->ClientOffset().Y};
  Deliver(target, WM_MOUSEMOVE, MouseKeys(), MAKELPARAM(p.X, p.Y));
}

void TInput::MouseButton(TForm* form, int x, int y, TMouseButton physical, bool down) {
  DeliverPendingMoves();
  if (!form || !form->HandleAllocated()) return;
  TPoint screen = form->ClientToScreen({x, y});
  key_state::SetCursorPos(screen);
  key_state::SetPhysicalButton(physical, down);
  TMouseButton button = key_state::Logical(physical);

  if (down) CancelHint();
  // A drag past its threshold takes the buttons; a release before it ends
  // the drag and reaches the control as usual.
  if (TDragDrop::Moving()) {
    if (!down && button == mbLeft) TDragDrop::LeftButtonUp();
    return;
  }
  if (!down && button == mbLeft) TDragDrop::LeftButtonUp();
  if (TForm* popup = Popup(); down && popup && popup != form) {
    popup->Close();
    return;
  }
  // A press in a form that is not the active one activates it first, as a
  // desktop does; pop-ups never take the activation.
  if (down && !form->NoActivate && !form->Active() && form->Enabled() && form->Visible()) form->Activate();
  TBarDrag& d = St().drag;
  if (d.wnd) {
    if (!down && button == mbLeft) {
      TBarDrag ended = d;
      d = TBarDrag{};
      if (TControl* c = TControl::FromHandle(ended.wnd)) {
        if (ended.part == sbpThumb) SendScroll(c, ended.bar, SB_THUMBPOSITION, ended.pos);
        SendScroll(c, ended.bar, SB_ENDSCROLL, 0);
      }
    }
    return;
  }

  TControl* target = TControl::FromHandle(GetCapture());
  TPoint local;
  if (!target || GetParentForm(target) != form) {
    if (!form->Enabled()) return;
    target = HitTest(form, x, y, local);
    if (!InClient(target, local)) {
      // The frame: only the scroll bars answer, to the left button.
      if (!down || button != mbLeft) return;
      for (int bar : {SB_HORZ, SB_VERT}) {
        const TWindowScrollBar& sb = target->ScrollBar(bar);
        if (!sb.Visible || !sb.Enabled) continue;
        TScrollBarLayout l = ScrollBarLayout(target, bar);
        TScrollBarPart part = l.HitTest(local.X, local.Y);
        if (part == sbpNone) continue;
        d.wnd = target->Handle();
        d.bar = bar;
        d.part = part;
        d.pos = sb.Pos;
        switch (part) {
          case sbpLineUp: SendScroll(target, bar, SB_LINEUP, 0); break;
          case sbpLineDown: SendScroll(target, bar, SB_LINEDOWN, 0); break;
          case sbpPageUp: SendScroll(target, bar, SB_PAGEUP, 0); break;
          case sbpPageDown: SendScroll(target, bar, SB_PAGEDOWN, 0); break;
          case sbpThumb:
            d.grab = l.Horizontal ? local.X - l.Thumb.Left : local.Y - l.Thumb.Top;
            target->ScrollBar(bar).TrackPos = sb.Pos;
            SendScroll(target, bar, SB_THUMBTRACK, sb.Pos);
            break;
          default: break;
        }
        return;
      }
      return;
    }
  } else {
    local = target->ScreenToClient(screen);
    local.X += target->ClientOffset().X;
    local.Y += target->ClientOffset().Y;
  }
  TPoint p{local.X - target->ClientOffset().X, local.Y - target->ClientOffset().Y};
  UINT base = button == mbLeft ? WM_LBUTTONDOWN : button == mbRight ? WM_RBUTTONDOWN : WM_MBUTTONDOWN;
  UINT msg = base + (down ? 0 : 1);
  if (down) {
    TLastDown& last = St().last;
    std::uint64_t now = Clock()->Now();
    bool dbl = last.valid && last.button == button && last.wnd == target->Handle() &&
               now - last.time <= GetDoubleClickTime() &&
               std::abs(screen.X - last.screen.X) <= GetSystemMetrics(SM_CXDOUBLECLK) / 2 &&
               std::abs(screen.Y - last.screen.Y) <= GetSystemMetrics(SM_CYDOUBLECLK) / 2;
    if (dbl) {
      msg = base + 2;
      last.valid = false;
    } else {
      last = TLastDown{true, button, target->Handle(), now, screen};
    }
  }
  Deliver(target, msg, MouseKeys(), MAKELPARAM(p.X, p.Y));
}

void TInput::Wheel(TForm* form, int x, int y, int delta, bool horizontal) {
  DeliverPendingMoves();
  if (!form || !form->HandleAllocated() || !form->Enabled()) return;
  TPoint screen = form->ClientToScreen({x, y});
  key_state::SetCursorPos(screen);
  TPoint local;
  TControl* target = HitTest(form, x, y, local);
  Deliver(target, horizontal ? WM_MOUSEHWHEEL : WM_MOUSEWHEEL,
          MAKEWPARAM(static_cast<int>(MouseKeys()), delta), MAKELPARAM(screen.X, screen.Y));
}

char TInput::KeyChar(WORD vk) {
  bool shift = GetKeyState(VK_SHIFT) < 0;
  bool ctrl = GetKeyState(VK_CONTROL) < 0;
  if (vk >= 'A' && vk <= 'Z') {
    if (ctrl) return static_cast<char>(vk - 'A' + 1);
    bool upper = shift != ((GetKeyState(VK_CAPITAL) & 1) != 0);
    return static_cast<char>(upper ? vk : vk - 'A' + 'a');
  }
  if (ctrl) return 0;
  if (vk >= '0' && vk <= '9') return shift ? ")!@#$%^&*("[vk - '0'] : static_cast<char>(vk);
  switch (vk) {
    case VK_SPACE: return ' ';
    case VK_RETURN: return 13;
    case VK_ESCAPE: return 27;
    case VK_BACK: return 8;
    case VK_TAB: return 9;
    case VK_OEM_MINUS: return shift ? '_' : '-';
    case VK_OEM_PLUS: return shift ? '+' : '=';
    case VK_OEM_COMMA: return shift ? '<' : ',';
    case VK_OEM_PERIOD: return shift ? '>' : '.';
    default: break;
  }
  if (vk >= VK_NUMPAD0 && vk <= VK_NUMPAD0 + 9) return static_cast<char>('0' + vk - VK_NUMPAD0);
  return 0;
}

namespace {
// The focused control (or the active form) that takes keys and characters,
// or the pop-up that takes them; nullptr when none can.
TControl* KeyTarget() {
  if (TForm* popup = TInput::Popup(); popup && PopupTakesKeys) return popup;
  TControl* target = TControl::FromHandle(GetFocus());
  if (!target) target = Application->ActiveForm();
  if (!target || !target->HandleAllocated()) return nullptr;
  TForm* form = GetParentForm(target);
  if (form && !form->Enabled()) return nullptr;
  return target;
}

// A character message, offered to the control itself first; False when its
// handler freed the window.
bool DeliverChar(HWND h, unsigned char ch, LPARAM data) {
  TControl* target = TControl::FromHandle(h);
  if (!target) return false;
  auto wparam = static_cast<WPARAM>(ch);
  LRESULT consumed = 0;
  try {
    consumed = target->Perform(CN_CHAR, wparam, data);
  } catch (...) {
    Application->HandleException(target);
    return false;
  }
  if (!(target = TControl::FromHandle(h))) return false;
  if (!consumed) Deliver(target, WM_CHAR, wparam, data);
  return TControl::FromHandle(h) != nullptr;
}
}  // namespace

void TInput::Key(WORD vk, bool down, bool CharsFromKey) {
  DeliverPendingMoves();
  bool wasDown = GetKeyState(vk) < 0;
  key_state::SetKey(vk, down);
  if (down) CancelHint();
  if (down && vk == VK_ESCAPE && TDragDrop::InProgress()) {
    TDragDrop::Cancel();
    return;
  }
  TControl* target = KeyTarget();
  if (!target) return;
  bool alt = GetKeyState(VK_MENU) < 0;
  bool sys = alt || vk == VK_MENU;
  LPARAM data = 1;
  if (alt) data |= KF_ALTDOWN_BIT;
  if (wasDown) data |= KF_REPEAT_BIT;
  if (!down) data |= KF_UP_BIT | KF_REPEAT_BIT;
  UINT cn = down ? (sys ? CN_SYSKEYDOWN : CN_KEYDOWN) : (sys ? CN_SYSKEYUP : CN_KEYUP);
  UINT wm = down ? (sys ? WM_SYSKEYDOWN : WM_KEYDOWN) : (sys ? WM_SYSKEYUP : WM_KEYUP);
  HWND h = target->Handle();
  LRESULT consumed = 0;
  try {
    consumed = target->Perform(cn, vk, data);
  } catch (...) {
    Application->HandleException(target);
    return;
  }
  // The handler may have freed the window.
  target = TControl::FromHandle(h);
  if (consumed || !target) return;
  Deliver(target, wm, vk, data);
  if (!down || alt) return;
  auto ch = static_cast<unsigned char>(KeyChar(vk));
  if (ch == 0 || (!CharsFromKey && ch >= ' ')) return;
  DeliverChar(h, ch, data);
}

void TInput::Text(const std::string& utf8) {
  DeliverPendingMoves();
  TControl* target = KeyTarget();
  // A menu takes its letters as keys: they type nothing.
  if (!target || target == Popup()) return;
  HWND h = target->Handle();
  LPARAM data = 1;
  if (GetKeyState(VK_MENU) < 0) data |= KF_ALTDOWN_BIT;
  for (char32_t c : Utf8ToUnicode(utf8)) {
    if (!(target = TControl::FromHandle(h))) return;
    int byte = UnicodeToCharsetByte(c, target->Font.Charset);
    // Control characters come with their keys.
    if (byte < ' ' || byte == 0x7F) continue;
    if (!DeliverChar(h, static_cast<unsigned char>(byte), data)) return;
  }
}

void TInput::Resized(TForm* form, int width, int height) {
  DeliverPendingMoves();
  if (!form) return;
  form->SetBounds(form->Left(), form->Top(), width, height);
}

void TInput::Moved(TForm* form, int left, int top) {
  DeliverPendingMoves();
  if (!form) return;
  form->SetBounds(left, top, form->Width(), form->Height());
}

void TInput::CloseRequested(TForm* form) {
  DeliverPendingMoves();
  if (form && form->HandleAllocated()) Deliver(form, WM_CLOSE, 0, 0);
}

}  // namespace redozir

#include "platform/inject.h"

#include <cctype>
#include <vector>

#include "platform/application.h"
#include "platform/clipboard.h"
#include "platform/exceptions.h"
#include "platform/input.h"
#include "platform/keys.h"

namespace redozir {

namespace {

TForm* FormOf(TControl* c, TPoint& p) {
  TForm* f = GetParentForm(c);
  if (!f || !c->HandleAllocated()) throw EInvalidOperation("Inject: the control is not on a shown form");
  TPoint o = c->SurfaceOrigin();
  p = {p.X + o.X, p.Y + o.Y};
  return f;
}

// Holds modifiers in the key state for the life of the object.
class THeld {
 public:
  explicit THeld(TShiftState s) {
    Hold(s & ssShift, VK_SHIFT);
    Hold(s & ssCtrl, VK_CONTROL);
    Hold(s & ssAlt, VK_MENU);
  }
  ~THeld() {
    for (int vk : held_) key_state::SetKey(vk, false);
  }

 private:
  void Hold(bool want, int vk) {
    if (want && GetKeyState(vk) >= 0) {
      key_state::SetKey(vk, true);
      held_.push_back(vk);
    }
  }
  std::vector<int> held_;
};

void MoveIfElsewhere(TForm* f, TPoint p) {
  TPoint cur;
  GetCursorPos(cur);
  TPoint screen = f->ClientToScreen(p);
  if (cur.X != screen.X || cur.Y != screen.Y) TInput::MouseMove(f, p.X, p.Y);
}

void PressModifiers(TShiftState s, bool down) {
  const WORD keys[] = {VK_SHIFT, VK_CONTROL, VK_MENU};
  const TShiftState bits[] = {ssShift, ssCtrl, ssAlt};
  for (int i = 0; i < 3; ++i) {
    int k = down ? i : 2 - i;
    if (s & bits[k]) TInput::Key(keys[k], down);
  }
}

}  // namespace

void Inject::MouseMove(TControl* c, int x, int y, TShiftState shift) {
  TPoint p{x, y};
  TForm* f = FormOf(c, p);
  THeld held(shift);
  TInput::MouseMove(f, p.X, p.Y);
}

void Inject::PostMouseMove(TControl* c, int x, int y) {
  TPoint p{x, y};
  TForm* f = FormOf(c, p);
  TInput::PostMouseMove(f, p.X, p.Y);
}

namespace {
void Button(TControl* c, TMouseButton b, int x, int y, TShiftState shift, bool down) {
  TPoint p{x, y};
  TForm* f = FormOf(c, p);
  THeld held(shift);
  MoveIfElsewhere(f, p);
  TInput::MouseButton(f, p.X, p.Y, b, down);
}
}  // namespace

void Inject::MouseDown(TControl* c, TMouseButton b, int x, int y, TShiftState shift) {
  Button(c, b, x, y, shift, true);
}

void Inject::MouseUp(TControl* c, TMouseButton b, int x, int y, TShiftState shift) {
  Button(c, b, x, y, shift, false);
}

void Inject::Click(TControl* c, int x, int y, TShiftState shift, TMouseButton b) {
  MouseDown(c, b, x, y, shift);
  MouseUp(c, b, x, y, shift);
}

void Inject::DoubleClick(TControl* c, int x, int y, TShiftState shift, TMouseButton b) {
  Click(c, x, y, shift, b);
  Click(c, x, y, shift, b);
}

void Inject::Wheel(TControl* c, int x, int y, int delta, TShiftState shift, bool horizontal) {
  TPoint p{x, y};
  TForm* f = FormOf(c, p);
  THeld held(shift);
  MoveIfElsewhere(f, p);
  TInput::Wheel(f, p.X, p.Y, delta, horizontal);
}

void Inject::KeyDown(WORD vk, TShiftState shift) {
  PressModifiers(shift, true);
  TInput::Key(vk, true);
}

void Inject::KeyUp(WORD vk, TShiftState shift) {
  TInput::Key(vk, false);
  PressModifiers(shift, false);
}

void Inject::Key(WORD vk, TShiftState shift) {
  KeyDown(vk, shift);
  KeyUp(vk, shift);
}

void Inject::Text(const std::string& s) {
  for (size_t i = 0; i < s.size();) {
    unsigned char u = static_cast<unsigned char>(s[i]);
    if (u < 0x80 && std::isalpha(u)) {
      Key(static_cast<WORD>(std::toupper(u)), std::isupper(u) ? ssShift : 0);
    } else if (u < 0x80 && std::isdigit(u)) {
      Key(u);
    } else if (u == ' ') {
      Key(VK_SPACE);
    } else if (u == '\n') {
      Key(VK_RETURN);
    } else {
      // The whole UTF-8 sequence at once.
      size_t n = 1;
      while (i + n < s.size() && (static_cast<unsigned char>(s[i + n]) & 0xC0) == 0x80) ++n;
      TInput::Text(s.substr(i, n));
      i += n;
      continue;
    }
    ++i;
  }
}

void Inject::Resize(TForm* f, int width, int height) { TInput::Resized(f, width, height); }

void Inject::Close(TForm* f) { TInput::CloseRequested(f); }

void Inject::ScrollBarClick(TControl* c, int bar, TScrollBarPart part) {
  TScrollBarLayout l = ScrollBarLayout(c, bar);
  TRect r = part == sbpLineUp     ? l.LineUp
            : part == sbpPageUp   ? l.PageUp
            : part == sbpThumb    ? l.Thumb
            : part == sbpPageDown ? l.PageDown
            : part == sbpLineDown ? l.LineDown
                                  : TRect{};
  if (r.IsEmpty() || !c->ScrollBar(bar).Visible)
    throw EInvalidOperation("Inject: that part of the scroll bar is not shown");
  TPoint off = c->ClientOffset();
  // Window coordinates to client coordinates of the control.
  TPoint p{(r.Left + r.Right) / 2 - off.X, (r.Top + r.Bottom) / 2 - off.Y};
  MouseDown(c, mbLeft, p.X, p.Y);
  MouseUp(c, mbLeft, p.X, p.Y);
}

void Inject::ScrollBarDrag(TControl* c, int bar, int toPos) {
  TScrollBarLayout l = ScrollBarLayout(c, bar);
  if (l.Thumb.IsEmpty() || !c->ScrollBar(bar).Visible)
    throw EInvalidOperation("Inject: the scroll bar shows no thumb");
  TPoint off = c->ClientOffset();
  TPoint grab{(l.Thumb.Left + l.Thumb.Right) / 2 - off.X, (l.Thumb.Top + l.Thumb.Bottom) / 2 - off.Y};
  MouseDown(c, mbLeft, grab.X, grab.Y);
  // The thumb offset that stands for toPos, searched over the track.
  const TWindowScrollBar& sb = c->ScrollBar(bar);
  int room = l.TrackLength() - l.ThumbLength();
  int best = 0;
  for (int o = 0; o <= room; ++o)
    if (std::abs(l.PosFromThumbOffset(sb, o) - toPos) < std::abs(l.PosFromThumbOffset(sb, best) - toPos))
      best = o;
  int current = l.Horizontal ? l.Thumb.Left - l.LineUp.Right : l.Thumb.Top - l.LineUp.Bottom;
  TPoint to = grab;
  (l.Horizontal ? to.X : to.Y) += best - current;
  MouseMove(c, to.X, to.Y);
  MouseUp(c, mbLeft, to.X, to.Y);
}

TColor Inject::Pixel(TControl* c, int x, int y) {
  TPoint p{x, y};
  TForm* f = FormOf(c, p);
  TBitmap* s = f->Surface();
  if (!s || p.X < 0 || p.Y < 0 || p.X >= s->Width() || p.Y >= s->Height())
    throw ERangeError("Inject::Pixel outside the form");
  return s->GetPixel(p.X, p.Y);
}

THeadlessSession::THeadlessSession() : clock_(10000) {
  Application->SetBackEnd(nullptr);
  Application->ClearMessages();
  Application->ResetTerminated();
  key_state::Reset();
  TInput::Reset();
  ResetClipboard();
  redozir::ReleaseCapture();
  redozir::SetFocus(0);
  redozir::SetCursor(nullptr);
  Screen->SetCursor(crDefault);
  SetClock(&clock_);
}

THeadlessSession::~THeadlessSession() {
  SetClock(nullptr);
  ResetClipboard();
  Application->ClearMessages();
  key_state::Reset();
  TInput::Reset();
}

}  // namespace redozir

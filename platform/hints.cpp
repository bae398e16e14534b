#include "platform/hints.h"

#include <algorithm>

#include "platform/application.h"
#include "platform/font.h"
#include "platform/keys.h"
#include "platform/screen.h"
#include "platform/surface_fill.h"
#include "platform/timers.h"

namespace redozir {

namespace {

// Room between the text and the frame, and below the pointer's tip.
constexpr int kHintMargin = 3;
constexpr int kBelowPointer = 20;

struct THintState {
  // Kept for the life of the process, like the application's own windows.
  THintWindow* Window = nullptr;
  TTimer* Timer = nullptr;
  HWND Control = 0;  // the control the pointer rests on
  bool Showing = false;
};

THintState& Hints() {
  static THintState s;
  return s;
}

void HideHint() {
  THintState& h = Hints();
  h.Showing = false;
  if (h.Timer) h.Timer->SetEnabled(false);
  if (h.Window && h.Window->Visible()) h.Window->Hide();
}

void HintTimerFired(TObject*) {
  THintState& h = Hints();
  if (h.Showing) {
    // The hide pause has passed.
    HideHint();
    return;
  }
  h.Timer->SetEnabled(false);
  TControl* c = TControl::FromHandle(h.Control);
  TForm* form = c ? GetParentForm(c) : nullptr;
  if (!c || c->Hint.empty() || !c->ShowHint() || !Application->ShowHint || !form || !form->Visible()) return;
  if (!h.Window) h.Window = new THintWindow(nullptr);
  TPoint at;
  GetCursorPos(at);
  h.Window->ActivateHint(TPoint{at.X, at.Y + kBelowPointer}, c->Hint);
  h.Showing = true;
  h.Timer->SetInterval(Application->HintHidePause);
  h.Timer->SetEnabled(true);
}

}  // namespace

THintWindow::THintWindow(TComponent* AOwner) : TForm(AOwner) {
  SetBorderStyle(bsNone);
  SetColor(clInfoBk);
  NoActivate = true;
}

void THintWindow::ActivateHint(TPoint At, const std::string& Text) {
  text_ = Text;
  TSize e = Canvas()->TextExtentW(Utf8ToWide(Text));
  int w = e.cx + 2 * kHintMargin + 2, h = e.cy + 2 * kHintMargin;
  int x = std::clamp(At.X, 0, std::max(Screen->Width() - w, 0));
  int y = std::clamp(At.Y, 0, std::max(Screen->Height() - h, 0));
  SetBounds(x, y, w, h);
  Invalidate();
  Show();
}

void THintWindow::Paint() {
  TControlCanvas* c = Canvas();
  TPoint o = c->Origin();
  TRect r = Bounds(o.X, o.Y, ClientWidth(), ClientHeight());
  TRect clip = c->DeviceClip();
  FillSurfaceRect(c->Bitmap(), r, clInfoBk, &clip);
  FrameSurfaceRect(c->Bitmap(), r, clWindowFrame, clWindowFrame, &clip);
  c->Font = Font;
  c->Font.Color = clInfoText;
  c->Brush.Style = bsClear;
  c->TextOutW(kHintMargin + 1, kHintMargin, Utf8ToWide(text_));
}

void HintHoverChanged(TControl* Control) {
  THintState& h = Hints();
  HWND now = Control ? Control->Handle() : 0;
  // The hint window itself under the pointer keeps the hint.
  if (h.Window && Control == h.Window) return;
  if (now == h.Control) return;
  HideHint();
  h.Control = now;
  if (!Control || Control->Hint.empty() || !Control->ShowHint() || !Application->ShowHint) return;
  if (!h.Timer) {
    h.Timer = new TTimer(nullptr);
    h.Timer->SetOnTimer(HintTimerFired);
  }
  h.Timer->SetEnabled(false);
  h.Timer->SetInterval(Application->HintPause);
  h.Timer->SetEnabled(true);
}

void CancelHint() {
  HideHint();
  // Resting on the same control afterwards does not bring the hint back;
  // moving to another one does.
}

THintWindow* ShownHintWindow() {
  THintState& h = Hints();
  return h.Showing && h.Window && h.Window->Visible() ? h.Window : nullptr;
}

}  // namespace redozir

#include "platform/buttons.h"

#include "platform/font.h"
#include "platform/stdctrls.h"
#include "platform/surface_fill.h"

namespace redozir {

TButton::TButton(TComponent* AOwner) : TControl(AOwner) {
  TabStop = true;
  Opaque = true;
  SetBounds(0, 0, 75, 25);
}

void TButton::Click() {
  if (TForm* f = GetParentForm(this); f && modalResult_ != mrNone) f->SetModalResult(modalResult_);
  TControl::Click();
}

void TButton::WndProc(TMessage& m) {
  if (m.Msg == CM_DIALOGKEY) {
    // The default button answers Enter unless another button has the focus.
    bool active = Focused();
    if (!active && default_) {
      TControl* focus = TControl::FromHandle(GetFocus());
      active = dynamic_cast<TButton*>(focus) == nullptr;
    }
    TShiftState s = KeyDataToShiftState(m.LParam) & (ssShift | ssCtrl | ssAlt);
    if (((m.WParam == VK_RETURN && active) || (m.WParam == VK_ESCAPE && cancel_)) && s == 0 && CanFocus()) {
      Click();
      m.Result = 1;
      return;
    }
  }
  TControl::WndProc(m);
}

void TButton::Paint() {
  TControlCanvas* c = Canvas();
  TRect clip = c->DeviceClip();
  TPoint o = c->Origin();
  TRect r = Bounds(o.X, o.Y, ClientWidth(), ClientHeight());
  FillSurfaceRect(c->Bitmap(), r, Color(), &clip);
  if (default_) {
    FrameSurfaceRect(c->Bitmap(), r, clWindowFrame, clWindowFrame, &clip);
    r = Rect(r.Left + 1, r.Top + 1, r.Right - 1, r.Bottom - 1);
  }
  if (pressed_)
    FrameSurfaceRect(c->Bitmap(), r, clBtnShadow, clBtnHighlight, &clip);
  else
    FrameSurfaceRect(c->Bitmap(), r, clBtnHighlight, cl3DDkShadow, &clip);
  if (Caption().empty()) return;
  c->Font = Font;
  c->Font.Color = Enabled() ? clBtnText : clGrayText;
  c->Brush.Style = bsClear;
  // Captions are UTF-8, as the other controls' are.
  TSize ext = c->TextExtentW(Utf8ToWide(ShownCaption(Caption()).Text));
  // A pressed face shows its caption one pixel down and to the right.
  int shift = pressed_ ? 1 : 0;
  DrawCaption(*c, (ClientWidth() - ext.cx) / 2 + shift, (ClientHeight() - ext.cy) / 2 + shift, Caption());
}

void TButton::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (Button == mbLeft) {
    pressed_ = true;
    if (CanFocus() && !Focused()) SetFocus();
    Invalidate();
  }
  TControl::MouseDown(Button, Shift, X, Y);
}

void TButton::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (Button == mbLeft && pressed_) {
    pressed_ = false;
    Invalidate();
  }
  TControl::MouseUp(Button, Shift, X, Y);
}

void TButton::KeyUp(WORD& Key, TShiftState Shift) {
  TControl::KeyUp(Key, Shift);
  if (Key == VK_SPACE) Click();
}

}  // namespace redozir

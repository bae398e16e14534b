// TButton: a push button that clicks on a mouse press and release inside it,
// on Space, and through its form on Enter (the default button) and Esc (the
// cancel button); a ModalResult other than mrNone closes a modal form.
#pragma once

#include "platform/forms.h"

#pragma GCC visibility push(default)
namespace redozir {

class TButton : public TControl {
 public:
  explicit TButton(TComponent* AOwner);

  bool Default() const { return default_; }
  void SetDefault(bool v) { default_ = v; }
  bool Cancel() const { return cancel_; }
  void SetCancel(bool v) { cancel_ = v; }
  TModalResult ModalResult() const { return modalResult_; }
  void SetModalResult(TModalResult r) { modalResult_ = r; }

  void Click() override;

 protected:
  void WndProc(TMessage& Message) override;
  void Paint() override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void KeyUp(WORD& Key, TShiftState Shift) override;

 private:
  bool default_ = false;
  bool cancel_ = false;
  bool pressed_ = false;
  TModalResult modalResult_ = mrNone;
};

}  // namespace redozir
#pragma GCC visibility pop

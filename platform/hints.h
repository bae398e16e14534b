// Hints: a control's Hint shown in a small window of its own after the
// pointer rests on the control, gone when the pointer leaves, presses or a
// key is typed.
#pragma once

#include "platform/forms.h"

#pragma GCC visibility push(default)
namespace redozir {

// The small borderless window a hint shows in: the text on the hint colour
// in a thin frame, sized to the text.
class THintWindow : public TForm {
 public:
  explicit THintWindow(TComponent* AOwner);
  // Sizes the window to Text and shows it with its top-left corner at the
  // screen point At (moved inside the screen).
  void ActivateHint(TPoint At, const std::string& Text);
  const std::string& Text() const { return text_; }

 protected:
  void Paint() override;

 private:
  std::string text_;
};

// The input layer tells the hints where the pointer is and when it acts.
void HintHoverChanged(TControl* Control);
void CancelHint();
// The hint window while a hint shows; nullptr otherwise.
THintWindow* ShownHintWindow();

}  // namespace redozir
#pragma GCC visibility pop

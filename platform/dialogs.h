// The platform's font and colour dialogs. There is no desktop dialog to show:
// Execute asks the process-wide answerer (a test or a program installs one),
// and without one it answers as a user who cancels.
#pragma once

#include <functional>

#include "platform/components.h"
#include "platform/graphics.h"

#pragma GCC visibility push(default)
namespace redozir {

class TCommonDialog : public TComponent {
 public:
  using TComponent::TComponent;
  // True when the user confirmed; the dialog's fields then hold the choice.
  bool Execute();
  // Called by Execute with the dialog; changes its fields and answers
  // whether the user confirmed.
  static std::function<bool(TCommonDialog* dialog)> Answerer;
  TNotifyEvent OnShow, OnClose;
};

class TFontDialog : public TCommonDialog {
 public:
  using TCommonDialog::TCommonDialog;
  TFont Font;
};

class TColorDialog : public TCommonDialog {
 public:
  using TCommonDialog::TCommonDialog;
  TColor Color = clBlack;
};

}  // namespace redozir
#pragma GCC visibility pop

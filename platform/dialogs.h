// The platform's font and colour dialogs. Execute asks the process-wide
// answerer when a test or a program installs one. Otherwise, on a display,
// the colour dialog shows a picker of its own (TColorPickerForm) modally;
// the font dialog, which has none, and any dialog without a display answer
// as a user who cancels.
#pragma once

#include <functional>

#include "platform/buttons.h"
#include "platform/components.h"
#include "platform/edits.h"
#include "platform/forms.h"
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
  // Shows the picker on Color when no answerer is installed and a display
  // is there.
  bool Execute();
  TColor Color = clBlack;
};

// The colour dialog's picker: a grid of 48 basic colours and the red, green
// and blue fields (0 to 255; text that is no number reads 0) of the colour
// shown in the swatch beside them; OK or Return take it, Cancel or Escape
// leave it.
class TColorPickerForm : public TForm {
 public:
  static constexpr int kColumns = 8, kRows = 6;
  static constexpr int kCellWidth = 22, kCellHeight = 18;

  explicit TColorPickerForm(TComponent* AOwner);
  TColor Color() const { return color_; }
  // Shows Value in the swatch and the fields.
  void SetColor(TColor Value);
  // The basic colour of a cell (row by row), and the cell under a client
  // point (-1 outside the grid).
  static TColor BasicColor(int Index);
  int CellAt(int X, int Y) const;
  TEdit* Field(int Channel) const { return fields_[Channel]; }  // 0 red, 1 green, 2 blue
  TButton* OKButton() const { return ok_; }
  TButton* CancelButton() const { return cancel_; }

 protected:
  void Paint() override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;

 private:
  void FieldChanged();
  TColor color_ = clBlack;
  TEdit* fields_[3] = {};
  TButton* ok_ = nullptr;
  TButton* cancel_ = nullptr;
  bool filling_ = false;
};

}  // namespace redozir
#pragma GCC visibility pop

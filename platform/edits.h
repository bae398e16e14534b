// TEdit: a single-line text box: typing, Backspace and Delete, the arrows,
// Home and End with Shift to select, one level of undo (EM_UNDO / WM_UNDO),
// cut, copy and paste through the clipboard, a caret while focused.
#pragma once

#include <string>

#include "platform/controls.h"

// KeyPress is also a macro of the X11 headers, which a program may include first.
#pragma push_macro("KeyPress")
#undef KeyPress

#pragma GCC visibility push(default)
namespace redozir {

class TEdit : public TControl {
 public:
  explicit TEdit(TComponent* AOwner);

  const std::string& Text() const { return text_; }
  void SetText(const std::string& s);
  int SelStart() const { return selStart_; }
  int SelLength() const { return selLength_; }
  void SetSelStart(int v);
  void SetSelLength(int v);
  std::string SelText() const;
  void SelectAll();
  // 0: no limit.
  int MaxLength = 0;
  bool ReadOnly = false;
  bool Modified = false;
  bool CanUndo() const { return canUndo_; }
  void Undo();
  void CutToClipboard();
  void CopyToClipboard();
  void PasteFromClipboard();
  TNotifyEvent OnChange;

 protected:
  void WndProc(TMessage& Message) override;
  void Paint() override;
  void KeyDown(WORD& Key, TShiftState Shift) override;
  void KeyPress(char& Key) override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseMove(TShiftState Shift, int X, int Y) override;

 private:
  // Replaces the selection, keeping the text before for undo.
  void ReplaceSelection(const std::string& s);
  void Changed();
  void MoveCaret(int to, bool extend);
  int CharAt(int x);
  void PlaceCaret();

  std::string text_;
  int selStart_ = 0;
  int selLength_ = 0;
  // The end of the selection that moves (the caret).
  int caret_ = 0;
  int anchor_ = 0;
  std::string undoText_;
  int undoCaret_ = 0;
  bool canUndo_ = false;
};

}  // namespace redozir
#pragma GCC visibility pop
#pragma pop_macro("KeyPress")

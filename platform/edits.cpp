#include "platform/edits.h"

#include <algorithm>

#include "platform/clipboard.h"
#include "platform/keys.h"

namespace redozir {

namespace {
constexpr int kMargin = 2;
}

TEdit::TEdit(TComponent* AOwner) : TControl(AOwner) {
  TabStop = true;
  Opaque = true;
  SetColor(clWindow);
  SetBorderStyle(bsSingle);
  SetBounds(0, 0, 121, 21);
  SetCursor(crIBeam);
}

void TEdit::SetText(const std::string& s) {
  std::string t = MaxLength > 0 && static_cast<int>(s.size()) > MaxLength ? s.substr(0, MaxLength) : s;
  if (t == text_) return;
  text_ = t;
  selStart_ = selLength_ = 0;
  caret_ = anchor_ = 0;
  canUndo_ = false;
  Changed();
}

void TEdit::SetSelStart(int v) {
  v = std::clamp(v, 0, static_cast<int>(text_.size()));
  caret_ = anchor_ = selStart_ = v;
  selLength_ = 0;
  PlaceCaret();
  Invalidate();
}

void TEdit::SetSelLength(int v) {
  int end = std::clamp(selStart_ + std::max(v, 0), selStart_, static_cast<int>(text_.size()));
  selLength_ = end - selStart_;
  anchor_ = selStart_;
  caret_ = end;
  PlaceCaret();
  Invalidate();
}

std::string TEdit::SelText() const {
  return text_.substr(static_cast<size_t>(selStart_), static_cast<size_t>(selLength_));
}

void TEdit::SelectAll() {
  SetSelStart(0);
  SetSelLength(static_cast<int>(text_.size()));
}

void TEdit::Changed() {
  Modified = true;
  PlaceCaret();
  Invalidate();
  if (OnChange) OnChange(this);
}

void TEdit::ReplaceSelection(const std::string& s) {
  if (ReadOnly) return;
  std::string insert = s;
  if (MaxLength > 0) {
    int room = MaxLength - (static_cast<int>(text_.size()) - selLength_);
    if (room <= 0 && !insert.empty() && selLength_ == 0) return;
    if (static_cast<int>(insert.size()) > std::max(room, 0))
      insert.resize(static_cast<size_t>(std::max(room, 0)));
  }
  undoText_ = text_;
  undoCaret_ = caret_;
  canUndo_ = true;
  text_.replace(static_cast<size_t>(selStart_), static_cast<size_t>(selLength_), insert);
  selStart_ += static_cast<int>(insert.size());
  selLength_ = 0;
  caret_ = anchor_ = selStart_;
  Changed();
}

void TEdit::Undo() {
  if (!canUndo_) return;
  std::swap(text_, undoText_);
  int c = std::clamp(undoCaret_, 0, static_cast<int>(text_.size()));
  undoCaret_ = caret_;
  caret_ = anchor_ = selStart_ = c;
  selLength_ = 0;
  Changed();
}

void TEdit::CopyToClipboard() {
  if (selLength_ > 0) SetClipboardText(SelText());
}

void TEdit::CutToClipboard() {
  if (selLength_ == 0 || ReadOnly) return;
  CopyToClipboard();
  ReplaceSelection("");
}

void TEdit::PasteFromClipboard() {
  std::string t;
  if (!GetClipboardText(t)) return;
  // One line: the paste stops at the first line break.
  size_t nl = t.find_first_of("\r\n");
  if (nl != std::string::npos) t.resize(nl);
  ReplaceSelection(t);
}

void TEdit::MoveCaret(int to, bool extend) {
  to = std::clamp(to, 0, static_cast<int>(text_.size()));
  caret_ = to;
  if (!extend) anchor_ = to;
  selStart_ = std::min(anchor_, caret_);
  selLength_ = std::abs(caret_ - anchor_);
  PlaceCaret();
  Invalidate();
}

int TEdit::CharAt(int x) {
  TControlCanvas* c = Canvas();
  c->Font = Font;
  int best = 0;
  for (int i = 1; i <= static_cast<int>(text_.size()); ++i) {
    int w = c->TextWidth(text_.substr(0, static_cast<size_t>(i)));
    int prev = c->TextWidth(text_.substr(0, static_cast<size_t>(i - 1)));
    if (x - kMargin >= (w + prev) / 2) best = i;
  }
  return best;
}

void TEdit::PlaceCaret() {
  if (!Focused() || CaretState().Owner != Handle()) return;
  TControlCanvas* c = Canvas();
  c->Font = Font;
  SetCaretPos(kMargin + c->TextWidth(text_.substr(0, static_cast<size_t>(caret_))), kMargin);
}

void TEdit::KeyDown(WORD& Key, TShiftState Shift) {
  TControl::KeyDown(Key, Shift);
  bool extend = (Shift & ssShift) != 0;
  switch (Key) {
    case VK_LEFT: MoveCaret(caret_ - 1, extend); break;
    case VK_RIGHT: MoveCaret(caret_ + 1, extend); break;
    case VK_HOME: MoveCaret(0, extend); break;
    case VK_END: MoveCaret(static_cast<int>(text_.size()), extend); break;
    case VK_DELETE:
      if (selLength_ == 0 && caret_ < static_cast<int>(text_.size())) MoveCaret(caret_ + 1, true);
      if (Shift & ssShift)
        CutToClipboard();
      else
        ReplaceSelection("");
      break;
    default: return;
  }
  Key = 0;
}

void TEdit::KeyPress(char& Key) {
  TControl::KeyPress(Key);
  unsigned char k = static_cast<unsigned char>(Key);
  if (k == 8) {
    if (selLength_ == 0 && caret_ > 0) MoveCaret(caret_ - 1, true);
    ReplaceSelection("");
  } else if (k == 1) {
    SelectAll();
  } else if (k == 3) {
    CopyToClipboard();
  } else if (k == 22) {
    PasteFromClipboard();
  } else if (k == 24) {
    CutToClipboard();
  } else if (k == 26) {
    Undo();
  } else if (k >= 32 && k != 127) {
    ReplaceSelection(std::string(1, Key));
  } else {
    return;
  }
  Key = 0;
}

void TEdit::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (Button == mbLeft) {
    if (CanFocus() && !Focused()) SetFocus();
    MoveCaret(CharAt(X), (Shift & ssShift) != 0);
  }
  TControl::MouseDown(Button, Shift, X, Y);
}

void TEdit::MouseMove(TShiftState Shift, int X, int Y) {
  if ((Shift & ssLeft) && MouseCapture()) MoveCaret(CharAt(X), true);
  TControl::MouseMove(Shift, X, Y);
}

void TEdit::WndProc(TMessage& m) {
  switch (m.Msg) {
    case WM_GETDLGCODE: m.Result = DLGC_WANTARROWS | DLGC_WANTCHARS | DLGC_HASSETSEL; return;
    case WM_UNDO:
    case EM_UNDO:
      m.Result = canUndo_ ? 1 : 0;
      Undo();
      return;
    case WM_CUT: CutToClipboard(); return;
    case WM_COPY: CopyToClipboard(); return;
    case WM_PASTE: PasteFromClipboard(); return;
    case WM_CLEAR: ReplaceSelection(""); return;
    case WM_SETFOCUS: {
      TControlCanvas* c = Canvas();
      c->Font = Font;
      CreateCaret(Handle(), 0, std::max(c->TextHeight("Wg"), 1));
      PlaceCaret();
      ShowCaret(Handle());
      break;
    }
    case WM_KILLFOCUS: DestroyCaret(); break;
    default: break;
  }
  TControl::WndProc(m);
}

void TEdit::Paint() {
  TControlCanvas* c = Canvas();
  c->Font = Font;
  c->Brush.Color = Enabled() ? Color() : clBtnFace;
  c->Brush.Style = bsSolid;
  c->FillRect(ClientRect());
  int x = kMargin;
  auto part = [&](int from, int to, bool selected) {
    if (to <= from) return;
    std::string s = text_.substr(static_cast<size_t>(from), static_cast<size_t>(to - from));
    c->Brush.Color = selected ? clHighlight : (Enabled() ? Color() : clBtnFace);
    c->Font.Color = selected ? clHighlightText : (Enabled() ? Font.Color : clGrayText);
    c->TextOut(x, kMargin, s);
    x += c->TextWidth(s);
  };
  int end = selStart_ + selLength_;
  bool showSel = Focused() && selLength_ > 0;
  part(0, showSel ? selStart_ : static_cast<int>(text_.size()), false);
  if (showSel) {
    part(selStart_, end, true);
    part(end, static_cast<int>(text_.size()), false);
  }
}

}  // namespace redozir

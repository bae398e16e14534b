// In-place editing of text and memo objects: the single-line editor over a
// text, the text control over a memo, their keys, auto-size, and the vector
// view's own keys and focus.
#include <algorithm>
#include <cmath>
#include <functional>

#include "imaging/view/ie_textcontrol.h"
#include "imaging/view/ievect.h"
#include "platform/bitmap.h"
#include "platform/font.h"

namespace redozir {

namespace {

using TKeyHook = std::function<void(WORD& Key, TShiftState Shift)>;

// The single-line editor of a text object: it also asks for Enter and
// Escape (they end editing rather than reaching the form), and the view
// sees every key before the editor does.
class TIEVTextEdit : public TIEEdit {
 public:
  using TIEEdit::TIEEdit;
  TKeyHook Hook;

 protected:
  void WndProc(TMessage& Message) override {
    TIEEdit::WndProc(Message);
    if (Message.Msg == WM_GETDLGCODE) Message.Result |= DLGC_WANTALLKEYS;
  }
  void KeyDown(WORD& Key, TShiftState Shift) override {
    if (Hook) Hook(Key, Shift);
    if (Key != 0) TIEEdit::KeyDown(Key, Shift);
  }
};

class TIEVMemoEdit : public TIETextControl {
 public:
  using TIETextControl::TIETextControl;
  TKeyHook Hook;

 protected:
  void KeyDown(WORD& Key, TShiftState Shift) override {
    if (Hook) Hook(Key, Shift);
    if (Key != 0) TIETextControl::KeyDown(Key, Shift);
  }
};

// Editor bounds stay within reach of the client area however far the
// object lies.
constexpr int kEditorReach = 1 << 14;

int Reach(double v) {
  return std::isfinite(v) ? static_cast<int>(std::clamp(v, -1.0 * kEditorReach, 2.0 * kEditorReach)) : 0;
}

}  // namespace

void IEVSetupMemoControl(TIETextControl& Control, const TIEVObjectRecord& R) {
  if (R.Font) Control.Font = R.Font->ToFont();
  Control.Font.Color = R.PenColor;
  Control.Brush.Color = R.BrushColor;
  Control.Brush.Style = static_cast<TBrushStyle>(R.BrushStyle);
  Control.BackgroundBrush.Color = R.BrushColor;
  Control.BackgroundBrush.Style = static_cast<TBrushStyle>(R.FillStyle);
  Control.FramePen.Color = R.BorderColor;
  Control.FramePen.Style = static_cast<TPenStyle>(R.BorderStyle);
  Control.SetLineSpacing(R.LineSpacing);
  Control.SetMargins(R.Margins[0], R.Margins[1], R.Margins[2], R.Margins[3]);
  Control.SetAlignment(R.TextAlign);
}

void TRedozIrVect::StartTextEdit(int hobj) {
  TIEVObjectRecord* r = hobj >= 0 ? GetObjectRecord(hobj) : nullptr;
  if (!r || (r->Kind != ievkTEXT && r->Kind != ievkMEMO) || !r->TextEditable) return;
  EndTextEdit();
  fTextBeforeEdit = r->Text;
  TControl* editor;
  if (r->Kind == ievkTEXT) {
    if (!fTextEdit) {
      auto e = std::make_unique<TIEVTextEdit>(nullptr);
      e->Hide();
      e->SetParent(this);
      e->MaxLength = kIEMaxTextLength;
      e->Hook = [this](WORD& Key, TShiftState Shift) { TextEditKeyDown(Key, Shift, false); };
      e->OnChange = [this](TObject*) { TextEditChanged(); };
      fTextEdit = std::move(e);
    }
    fTextEdit->SetText(r->Text);
    fTextEdit->SetSelStart(static_cast<int>(fTextEdit->Text().size()));
    editor = fTextEdit.get();
  } else {
    if (!fMemoEdit) {
      auto e = std::make_unique<TIEVMemoEdit>(nullptr);
      e->Hide();
      e->SetParent(this);
      e->Hook = [this](WORD& Key, TShiftState Shift) { TextEditKeyDown(Key, Shift, true); };
      e->OnCaretMove = [this](TObject* Sender) {
        if (OnTextEditCursorMoved) OnTextEditCursorMoved(Sender);
      };
      fMemoEdit = std::move(e);
    }
    IEVSetupMemoControl(*fMemoEdit, *r);
    TIETextMemo memo;
    memo.Text = r->Text;
    memo.Records = r->CharInfo;
    if (r->AttrIndices) memo.Indices = *r->AttrIndices;
    fMemoEdit->SetMemo(std::move(memo));
    editor = fMemoEdit.get();
  }
  fTextEditing = hobj;
  ShowTextEditor();
  if (OnActivateTextEdit) OnActivateTextEdit(this);
  if (editor->CanFocus()) editor->SetFocus();
  // Greek or Russian typed into the editor, and the objects made after it,
  // need the language's own code page.
  if (int charset = IESystemTextCharset(); charset >= 0) {
    Font.Charset = static_cast<TFontCharset>(charset);
    editor->Font.Charset = static_cast<TFontCharset>(charset);
  }
  Invalidate();
}

void TRedozIrVect::ShowTextEditor() {
  const TIEVObjectRecord* r = fTextEditing >= 0 ? GetObjectRecord(fTextEditing) : nullptr;
  TControl* editor = EditorOfObject();
  for (TControl* e : {static_cast<TControl*>(fTextEdit.get()), static_cast<TControl*>(fMemoEdit.get())})
    if (e && e != editor) e->Hide();
  if (!editor) return;
  const int l = Reach(ObjXBmp2Scr(std::min(r->x1, r->x2))), t = Reach(ObjYBmp2Scr(std::min(r->y1, r->y2)));
  const int rr = Reach(ObjXBmp2Scr(std::max(r->x1, r->x2))), b = Reach(ObjYBmp2Scr(std::max(r->y1, r->y2)));
  const double zy = ZoomY() / 100.0;
  if (editor == fTextEdit.get()) {
    TFont f = r->Font ? r->Font->ToFont() : Font;
    const double h = f.Height == 0 ? double(b - t) : std::trunc(f.Height * zy);
    f.Height = static_cast<int>(std::clamp(h, -double(kMaxFontPixels), double(kMaxFontPixels)));
    f.Color = r->PenColor;
    fTextEdit->Font = f;
    fTextEdit->SetColor(r->BrushStyle == bsClear ? Background() : r->BrushColor);
  } else {
    fMemoEdit->SetZoom(std::clamp(zy, 0.01, 100.0));
  }
  editor->SetBounds(l, t, std::max(rr - l + 1, 1), std::max(b - t + 1, 1));
  editor->Show();
}

void TRedozIrVect::EndTextEdit() {
  if (fTextEditing < 0) return;
  TIEVObjectRecord* r = GetObjectRecord(fTextEditing);
  fTextEditing = -1;
  if (r && r->Kind == ievkTEXT && fTextEdit) {
    r->Text = fTextEdit->Text();
  } else if (r && r->Kind == ievkMEMO && fMemoEdit) {
    // The control's records may hold ones no character uses any more: the
    // object gets only used records, counted afresh, one index per character.
    TIETextMemo m = fMemoEdit->TakeMemo();
    IEPackTextRecords(m);
    for (TIECharInfo& c : m.Records) c.RefCount = 0;
    for (std::int32_t i : m.Indices) ++m.Records[static_cast<std::size_t>(i)].RefCount;
    r->Text = std::move(m.Text);
    r->CharInfo = std::move(m.Records);
    r->AttrIndices = std::move(m.Indices);
  }
  for (TControl* e : {static_cast<TControl*>(fTextEdit.get()), static_cast<TControl*>(fMemoEdit.get())})
    if (e) e->Hide();
  if (OnDeactivateTextEdit) OnDeactivateTextEdit(this);
  DoVectorialChanged();
}

void TRedozIrVect::TextEditKeyDown(WORD& Key, TShiftState Shift, bool Memo) {
  if (OnTextKeyDown) OnTextKeyDown(this, Key, Shift);
  if (Key == VK_ESCAPE && !Memo && fTextEdit) {
    // The editor's own undo goes back one change only: Escape puts back the
    // whole text as it was when editing began.
    fTextEdit->SetText(fTextBeforeEdit);
  } else if (Key != VK_ESCAPE && (Memo || Key != VK_RETURN)) {
    return;
  }
  Key = 0;
  EndTextEdit();
  if (CanFocus()) SetFocus();
  Update();
}

void TRedozIrVect::TextEditChanged() {
  TIEVObjectRecord* r = fTextEditing >= 0 ? GetObjectRecord(fTextEditing) : nullptr;
  if (!r || r->Kind != ievkTEXT || !r->TextAutoSize || !fTextEdit) return;
  TBitmap b(1, 1, pf24bit);
  b.Canvas()->Font = fTextEdit->Font;
  const int w = b.Canvas()->TextWidth(fTextEdit->Text()) + b.Canvas()->TextWidth("M");
  fTextEdit->SetWidth(w);
  const double z = std::max(ZoomX() / 100.0, 1e-6);
  const double x2 = std::trunc(std::min(r->x1, r->x2) + w / z);
  r->x2 = static_cast<int>(std::clamp(x2, -2e9, 2e9));
  if (r->x1 > r->x2) r->x1 = r->x2;
}

// ---- the view's keys and focus

void TRedozIrVect::KeyDown(WORD& Key, TShiftState Shift) {
  TRedozIrView::KeyDown(Key, Shift);
  if (Key == VK_ESCAPE && fTextEditing >= 0) {
    EndTextEdit();
    Update();
  } else if (Key == VK_F2 && !fSelection.empty()) {
    const TIEVObjectRecord* r = GetObjectRecord(fSelection.front());
    if (r && (r->Kind == ievkTEXT || r->Kind == ievkMEMO)) StartTextEdit(fSelection.front());
  }
}

void TRedozIrVect::FocusTextEditor() {
  TControl* e = EditorOfObject();
  if (e && e->Visible() && e->CanFocus()) e->SetFocus();
}

TControl* TRedozIrVect::EditorOfObject() {
  const TIEVObjectRecord* r = fTextEditing >= 0 ? GetObjectRecord(fTextEditing) : nullptr;
  if (!r) return nullptr;
  if (r->Kind == ievkTEXT) return fTextEdit.get();
  return r->Kind == ievkMEMO ? fMemoEdit.get() : nullptr;
}

}  // namespace redozir

#include "platform/stdctrls.h"

#include <algorithm>
#include <cstdint>

#include "platform/font.h"
#include "platform/input.h"
#include "platform/screen.h"
#include "platform/surface_fill.h"

namespace redozir {

namespace {

// The control's client rectangle on the surface, and the paint clip.
struct TSurfaceArea {
  TControlCanvas* c;
  TRect r;
  TRect clip;
};

TSurfaceArea Area(TControl* control) {
  TControlCanvas* c = control->Canvas();
  TPoint o = c->Origin();
  return {c, Bounds(o.X, o.Y, control->ClientWidth(), control->ClientHeight()), c->DeviceClip()};
}

// A caption in the control's font and colour (grey when disabled).
void Text(TControl* control, TControlCanvas* c, int x, int y, const std::string& caption) {
  c->Font = control->Font;
  c->Font.Color = control->Enabled() ? control->Font.Color : clGrayText;
  c->Brush.Style = bsClear;
  DrawCaption(*c, x, y, caption);
}

int TextWidth(TControlCanvas* c, const std::string& s) { return c->TextExtentW(Utf8ToWide(s)).cx; }

std::string Shown(const std::string& s) { return ShownCaption(s).Text; }

// Arrows reach these controls; Tab still moves the focus on.
bool WantArrows(TMessage& m) {
  if (m.Msg != WM_GETDLGCODE) return false;
  m.Result = DLGC_WANTARROWS;
  return true;
}

}  // namespace

// ---- captions

TShownCaption ShownCaption(const std::string& Caption) {
  TShownCaption out;
  for (size_t i = 0; i < Caption.size(); ++i) {
    if (Caption[i] == '&') {
      if (++i == Caption.size()) break;
      // The first single mark names the letter that follows it (a whole
      // UTF-8 sequence).
      if (Caption[i] != '&' && out.AccelLength == 0) {
        out.Accel = out.Text.size();
        size_t n = 1;
        while (i + n < Caption.size() && (static_cast<unsigned char>(Caption[i + n]) & 0xC0) == 0x80) ++n;
        out.AccelLength = n;
      }
    }
    out.Text += Caption[i];
  }
  return out;
}

void DrawCaption(TCanvas& c, int x, int y, const std::string& Caption) {
  TShownCaption s = ShownCaption(Caption);
  c.TextOutW(x, y, Utf8ToWide(s.Text));
  if (s.AccelLength == 0) return;
  const int from = c.TextExtentW(Utf8ToWide(s.Text.substr(0, s.Accel))).cx;
  const int width = c.TextExtentW(Utf8ToWide(s.Text.substr(s.Accel, s.AccelLength))).cx;
  // One pixel row just under the base line.
  const int row = y + c.GetTextMetrics().tmAscent + 1;
  const TBrush brush = c.Brush;
  c.Brush = {c.Font.Color, bsSolid};
  c.FillRect(Rect(x + from, row, x + from + width, row + 1));
  c.Brush = brush;
}

// ---- TLabel

TLabel::TLabel(TComponent* AOwner) : TControl(AOwner) { SetBounds(0, 0, 65, 13); }

void TLabel::SetCaption(const std::string& s) {
  TControl::SetCaption(s);
  if (!AutoSize) return;
  TControlCanvas* c = Canvas();
  c->Font = Font;
  TSize e = c->TextExtentW(Utf8ToWide(Shown(s)));
  SetBounds(Left(), Top(), std::max(e.cx, 1), std::max(e.cy, Height()));
}

void TLabel::Paint() {
  TSurfaceArea a = Area(this);
  if (!Transparent) FillSurfaceRect(a.c->Bitmap(), a.r, Color(), &a.clip);
  a.c->Font = Font;
  int w = TextWidth(a.c, Shown(Caption()));
  int x = Alignment == taLeftJustify    ? 0
          : Alignment == taRightJustify ? ClientWidth() - w
                                        : (ClientWidth() - w) / 2;
  Text(this, a.c, x, 0, Caption());
}

// ---- TCheckBox

namespace {
constexpr int kBox = 13;
}

TCheckBox::TCheckBox(TComponent* AOwner) : TControl(AOwner) {
  TabStop = true;
  SetBounds(0, 0, 97, 17);
}

void TCheckBox::SetChecked(bool v) {
  if (v == checked_) return;
  checked_ = v;
  Invalidate();
  TControl::Click();
}

void TCheckBox::Click() { SetChecked(!checked_); }

void TCheckBox::KeyUp(WORD& Key, TShiftState Shift) {
  TControl::KeyUp(Key, Shift);
  if (Key == VK_SPACE) Click();
}

void TCheckBox::WndProc(TMessage& m) {
  // A click focuses the box as it does a button.
  if (m.Msg == WM_LBUTTONDOWN && CanFocus() && !Focused()) SetFocus();
  TControl::WndProc(m);
}

void TCheckBox::Paint() {
  TSurfaceArea a = Area(this);
  int boxLeft = Alignment == taLeftJustify ? ClientWidth() - kBox : 0;
  int top = (ClientHeight() - kBox) / 2;
  TRect box = Bounds(a.r.Left + boxLeft, a.r.Top + top, kBox, kBox);
  FillSurfaceRect(a.c->Bitmap(), box, Enabled() ? clWindow : clBtnFace, &a.clip);
  FrameSurfaceRect(a.c->Bitmap(), box, clBtnShadow, clBtnHighlight, &a.clip);
  if (checked_) {
    // A tick of three short strokes.
    for (int i = 0; i < 7; ++i) {
      int x = box.Left + 3 + i;
      int y = box.Top + (i < 3 ? 5 + i : 9 - (i - 2));
      FillSurfaceRect(a.c->Bitmap(), Bounds(x, y, 1, 3), Enabled() ? clWindowText : clGrayText, &a.clip);
    }
  }
  a.c->Font = Font;
  int th = a.c->TextHeight("Wg");
  Text(this, a.c, Alignment == taLeftJustify ? 0 : kBox + 4, (ClientHeight() - th) / 2, Caption());
}

// ---- TComboBox

namespace {

// Where an index into a list lands once its strings [at, at + removed)
// became inserted others: -1 when its string went.
int Followed(int index, int at, int removed, int inserted) {
  if (index < at) return index;
  if (index < at + removed) return -1;
  return index - removed + inserted;
}

}  // namespace

TComboItems& TComboItems::operator=(std::vector<std::string> v) {
  const int removed = static_cast<int>(items_.size()), inserted = static_cast<int>(v.size());
  items_ = std::move(v);
  owner_->ItemsChanged(0, removed, inserted);
  return *this;
}

void TComboItems::Set(size_t i, std::string s) {
  items_.at(i) = std::move(s);
  // The same place holds another string: whatever showed it paints again.
  owner_->ItemsChanged(static_cast<int>(i), 0, 0);
}

void TComboItems::push_back(std::string s) {
  items_.push_back(std::move(s));
  owner_->ItemsChanged(static_cast<int>(items_.size()) - 1, 0, 1);
}

TComboItems::const_iterator TComboItems::insert(const_iterator pos, std::string s) {
  auto it = items_.insert(pos, std::move(s));
  owner_->ItemsChanged(static_cast<int>(it - items_.begin()), 0, 1);
  return it;
}

TComboItems::const_iterator TComboItems::erase(const_iterator first, const_iterator last) {
  const int at = static_cast<int>(first - items_.cbegin()), removed = static_cast<int>(last - first);
  auto it = items_.erase(first, last);
  owner_->ItemsChanged(at, removed, 0);
  return it;
}

// The open list of a TComboBox: a borderless form of its own, so that it
// shows over everything below the combo box, in the test surfaces as in a
// real window.
class TComboDropDown : public TPopupForm {
 public:
  explicit TComboDropDown(TComboBox* Combo)
      : TPopupForm(clWindow, [Combo] { Combo->CloseUp(false); }), combo_(Combo) {}
  int Hot() const { return hot_; }
  void Open() {
    hot_ = combo_->ItemIndex();
    Font = combo_->Font;
    top_ = 0;
    Place();
    Show();
    TInput::SetPopup(this);
  }
  // The list changed while open: the highlight stays on its string (or
  // goes with it), and the window takes the rows the list now has.
  void Follow(int at, int removed, int inserted) {
    hot_ = Followed(hot_, at, removed, inserted);
    Place();
    Invalidate();
  }
  void Move(int to) {
    const int n = static_cast<int>(combo_->Items.size());
    if (n == 0) return;
    hot_ = std::clamp(to, 0, n - 1);
    Reveal();
    Invalidate();
  }
  int PageRows() const { return rows_; }

 protected:
  // As many rows as the list has, up to DropDownCount (one, empty, for an
  // empty list), below the combo box or above it where the screen ends.
  void Place() {
    const int n = static_cast<int>(combo_->Items.size());
    rows_ = std::clamp(std::min(combo_->DropDownCount, n), 1, std::max(n, 1));
    int h = rows_ * RowHeight() + 2;
    TPoint below =
        combo_->ClientToScreen({-combo_->ClientOffset().X, combo_->Height() - combo_->ClientOffset().Y});
    int top = below.Y;
    // Above the combo box when the screen ends first.
    if (top + h > Screen->Height()) top = below.Y - combo_->Height() - h;
    SetBounds(below.X, std::max(top, 0), combo_->Width(), h);
    Reveal();
  }
  void Paint() override {
    TSurfaceArea a = Area(this);
    FillSurfaceRect(a.c->Bitmap(), a.r, clWindow, &a.clip);
    FrameSurfaceRect(a.c->Bitmap(), a.r, clWindowFrame, clWindowFrame, &a.clip);
    const int rh = RowHeight();
    for (int i = 0; i < rows_; ++i) {
      int item = top_ + i;
      if (item >= static_cast<int>(combo_->Items.size())) break;
      TRect row = Rect(a.r.Left + 1, a.r.Top + 1 + i * rh, a.r.Right - 1, a.r.Top + 1 + (i + 1) * rh);
      if (item == hot_) FillSurfaceRect(a.c->Bitmap(), row, clHighlight, &a.clip);
      a.c->Font = Font;
      a.c->Font.Color = item == hot_ ? clHighlightText : clWindowText;
      a.c->Brush.Style = bsClear;
      a.c->TextOutW(3, 1 + i * rh + 1, Utf8ToWide(combo_->Items[static_cast<size_t>(item)]));
    }
  }
  void MouseMove(TShiftState Shift, int X, int Y) override {
    TForm::MouseMove(Shift, X, Y);
    if (int item = ItemAt(Y); item >= 0 && item != hot_) Move(item);
  }
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override {
    TForm::MouseUp(Button, Shift, X, Y);
    if (Button != mbLeft || X < 0 || X >= Width()) return;
    if (int item = ItemAt(Y); item >= 0) {
      hot_ = item;
      combo_->CloseUp(true);
    }
  }
  bool DoMouseWheel(TShiftState Shift, int WheelDelta, TPoint MousePos) override {
    Move(hot_ + (WheelDelta > 0 ? -1 : 1));
    return true;
  }

 private:
  int RowHeight() {
    Canvas()->Font = Font;
    return Canvas()->TextHeight("Wg") + 2;
  }
  int ItemAt(int Y) {
    if (Y < 1) return -1;
    int item = top_ + (Y - 1) / RowHeight();
    return item < static_cast<int>(combo_->Items.size()) && (Y - 1) / RowHeight() < rows_ ? item : -1;
  }
  // Scrolls so that the highlighted row shows.
  void Reveal() {
    const int n = static_cast<int>(combo_->Items.size());
    if (hot_ >= 0 && hot_ < top_) top_ = hot_;
    if (hot_ >= top_ + rows_) top_ = hot_ - rows_ + 1;
    top_ = std::clamp(top_, 0, std::max(n - rows_, 0));
  }

  TComboBox* combo_;
  int hot_ = -1, top_ = 0, rows_ = 1;
};

TComboBox::TComboBox(TComponent* AOwner) : TControl(AOwner) {
  TabStop = true;
  Opaque = true;
  SetColor(clWindow);
  SetBorderStyle(bsSingle);
  SetBounds(0, 0, 145, 21);
}

TComboBox::~TComboBox() {
  if (dropDown_ && TInput::Popup() == dropDown_.get()) TInput::SetPopup(nullptr);
}

void TComboBox::ItemsChanged(int At, int Removed, int Inserted) {
  itemIndex_ = Followed(itemIndex_, At, Removed, Inserted);
  Invalidate();
  if (DroppedDown()) dropDown_->Follow(At, Removed, Inserted);
}

void TComboBox::SetItemIndex(int v) {
  if (v < 0 || v >= static_cast<int>(Items.size())) v = -1;
  if (v == itemIndex_) return;
  itemIndex_ = v;
  Invalidate();
}

std::string TComboBox::Text() const {
  const int i = ItemIndex();
  return i >= 0 ? Items[static_cast<size_t>(i)] : "";
}

bool TComboBox::DroppedDown() const { return dropDown_ && dropDown_->Visible(); }

TForm* TComboBox::DropDownWindow() const { return DroppedDown() ? dropDown_.get() : nullptr; }

int TComboBox::DropDownIndex() const { return DroppedDown() ? dropDown_->Hot() : -1; }

void TComboBox::SetDroppedDown(bool v) {
  if (v == DroppedDown()) return;
  if (!v) {
    CloseUp(false);
    return;
  }
  if (!Enabled() || !HandleAllocated() || droppingDown_) return;
  // The event may fill the list, empty it, or disable or hide the box; it
  // opens the list by returning.
  if (OnDropDown) {
    droppingDown_ = true;
    try {
      OnDropDown(this);
    } catch (...) {
      droppingDown_ = false;
      throw;
    }
    droppingDown_ = false;
  }
  if (Items.empty() || DroppedDown() || !Enabled() || !HandleAllocated()) return;
  if (!dropDown_) dropDown_ = std::make_unique<TComboDropDown>(this);
  if (CanFocus() && !Focused()) SetFocus();
  dropDown_->Open();
}

void TComboBox::CloseUp(bool Choose) {
  if (!DroppedDown()) return;
  int chosen = dropDown_->Hot();
  if (TInput::Popup() == dropDown_.get()) TInput::SetPopup(nullptr);
  dropDown_->Hide();
  if (Choose && chosen >= 0) UserSelect(chosen);
  if (OnCloseUp) OnCloseUp(this);
}

void TComboBox::UserSelect(int index) {
  if (Items.empty()) return;
  index = std::clamp(index, 0, static_cast<int>(Items.size()) - 1);
  if (index == itemIndex_) return;
  SetItemIndex(index);
  if (OnClick) OnClick(this);
  if (OnChange) OnChange(this);
}

void TComboBox::KeyDown(WORD& Key, TShiftState Shift) {
  TControl::KeyDown(Key, Shift);
  if (DroppedDown()) {
    TComboDropDown& d = *dropDown_;
    switch (Key) {
      case VK_UP:
      case VK_LEFT: d.Move(std::max(d.Hot() - 1, 0)); break;
      case VK_DOWN:
      case VK_RIGHT: d.Move(d.Hot() + 1); break;
      case VK_PRIOR: d.Move(d.Hot() - d.PageRows()); break;
      case VK_NEXT: d.Move(d.Hot() + d.PageRows()); break;
      case VK_HOME: d.Move(0); break;
      case VK_END: d.Move(static_cast<int>(Items.size()) - 1); break;
      case VK_RETURN: CloseUp(true); break;
      case VK_ESCAPE:
      case VK_F4: CloseUp(false); break;
      default: return;
    }
    Key = 0;
    return;
  }
  if (Key == VK_F4 || (Key == VK_DOWN && (Shift & ssAlt))) {
    SetDroppedDown(true);
    Key = 0;
    return;
  }
  switch (Key) {
    case VK_UP:
    case VK_LEFT: UserSelect(std::max(itemIndex_ - 1, 0)); break;
    case VK_DOWN:
    case VK_RIGHT: UserSelect(itemIndex_ + 1); break;
    case VK_HOME: UserSelect(0); break;
    case VK_END: UserSelect(static_cast<int>(Items.size()) - 1); break;
    default: return;
  }
  Key = 0;
}

void TComboBox::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (Button == mbLeft) {
    if (CanFocus() && !Focused()) SetFocus();
    SetDroppedDown(!DroppedDown());
  }
  TControl::MouseDown(Button, Shift, X, Y);
}

bool TComboBox::DoMouseWheel(TShiftState Shift, int WheelDelta, TPoint MousePos) {
  if (TControl::DoMouseWheel(Shift, WheelDelta, MousePos)) return true;
  if (DroppedDown()) {
    dropDown_->Move(dropDown_->Hot() + (WheelDelta > 0 ? -1 : 1));
    return true;
  }
  UserSelect(WheelDelta > 0 ? std::max(itemIndex_ - 1, 0) : itemIndex_ + 1);
  return true;
}

void TComboBox::WndProc(TMessage& m) {
  // Return and Escape close the open list rather than press the form's
  // default or cancel button.
  if (m.Msg == WM_GETDLGCODE && DroppedDown()) {
    m.Result = DLGC_WANTARROWS | DLGC_WANTALLKEYS;
    return;
  }
  if (WantArrows(m)) return;
  if (m.Msg == WM_KILLFOCUS) CloseUp(false);
  // The text shows selected only while the box has the focus.
  if (m.Msg == WM_SETFOCUS || m.Msg == WM_KILLFOCUS) Invalidate();
  TControl::WndProc(m);
}

void TComboBox::Paint() {
  TSurfaceArea a = Area(this);
  FillSurfaceRect(a.c->Bitmap(), a.r, Enabled() ? Color() : clBtnFace, &a.clip);
  int bw = std::min(16, ClientWidth());
  TRect button = Rect(a.r.Right - bw, a.r.Top, a.r.Right, a.r.Bottom);
  FillSurfaceRect(a.c->Bitmap(), button, clBtnFace, &a.clip);
  FrameSurfaceRect(a.c->Bitmap(), button, clBtnHighlight, cl3DDkShadow, &a.clip);
  // The arrow: a small triangle pointing down.
  int cx = button.Left + bw / 2, cy = button.Top + ClientHeight() / 2 - 1;
  for (int i = 0; i < 4; ++i)
    FillSurfaceRect(a.c->Bitmap(), Rect(cx - 3 + i, cy + i, cx + 4 - i, cy + i + 1), clBtnText, &a.clip);
  if (Focused())
    FillSurfaceRect(a.c->Bitmap(), Rect(a.r.Left + 1, a.r.Top + 1, button.Left - 1, a.r.Bottom - 1),
                    clHighlight, &a.clip);
  a.c->Font = Font;
  a.c->Font.Color = Focused() ? clHighlightText : (Enabled() ? Font.Color : clGrayText);
  a.c->Brush.Style = bsClear;
  a.c->TextOutW(2, (ClientHeight() - a.c->TextHeight("Wg")) / 2, Utf8ToWide(Text()));
}

// ---- TUpDown

TUpDown::TUpDown(TComponent* AOwner) : TControl(AOwner) { SetBounds(0, 0, 16, 24); }

void TUpDown::SetPosition(int v) {
  position_ = std::clamp(v, Min, std::max(Min, Max));
  if (associate_) {
    std::string s = std::to_string(position_);
    if (Thousands) {
      // Groups of three digits from the right.
      bool neg = !s.empty() && s[0] == '-';
      std::string digits = neg ? s.substr(1) : s;
      std::string g;
      for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) g += ',';
        g += digits[i];
      }
      s = (neg ? "-" : "") + g;
    }
    associate_->SetText(s);
  }
  Invalidate();
}

void TUpDown::SetAssociate(TEdit* e) {
  associate_ = e;
  if (!e) return;
  SetParent(e->Parent());
  SetBounds(e->Left() + e->Width(), e->Top(), Width(), e->Height());
  SetPosition(position_);
}

void TUpDown::Step(TUDBtnType b) {
  // The edit's text counts when the user typed into it; text that reads as
  // no number keeps the position.
  if (associate_) {
    std::string t;
    for (char ch : associate_->Text())
      if (ch != ',') t += ch;
    try {
      size_t used = 0;
      int v = std::stoi(t, &used);
      if (used == t.size()) position_ = std::clamp(v, Min, std::max(Min, Max));
    } catch (const std::exception&) {
    }
  }
  std::int64_t next = static_cast<std::int64_t>(position_) + (b == btNext ? Increment : -Increment);
  SetPosition(static_cast<int>(std::clamp<std::int64_t>(next, Min, std::max(Min, Max))));
  if (OnClick) OnClick(this, b);
}

void TUpDown::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (Button == mbLeft) Step(Y < ClientHeight() / 2 ? btNext : btPrev);
  TControl::MouseDown(Button, Shift, X, Y);
}

void TUpDown::Paint() {
  TSurfaceArea a = Area(this);
  int half = ClientHeight() / 2;
  TRect up = Rect(a.r.Left, a.r.Top, a.r.Right, a.r.Top + half);
  TRect down = Rect(a.r.Left, a.r.Top + half, a.r.Right, a.r.Bottom);
  for (const TRect& r : {up, down}) {
    FillSurfaceRect(a.c->Bitmap(), r, clBtnFace, &a.clip);
    FrameSurfaceRect(a.c->Bitmap(), r, clBtnHighlight, cl3DDkShadow, &a.clip);
  }
  int cx = a.r.Left + ClientWidth() / 2;
  TColor arrow = Enabled() ? clBtnText : clGrayText;
  for (int i = 0; i < 3; ++i) {
    FillSurfaceRect(a.c->Bitmap(), Rect(cx - i, up.Top + half / 2 - 1 + i, cx + i + 1, up.Top + half / 2 + i),
                    arrow, &a.clip);
    FillSurfaceRect(a.c->Bitmap(),
                    Rect(cx - 2 + i, down.Top + half / 2 - 1 + i, cx + 3 - i, down.Top + half / 2 + i), arrow,
                    &a.clip);
  }
}

// ---- TTrackBar

TTrackBar::TTrackBar(TComponent* AOwner) : TControl(AOwner) {
  TabStop = true;
  SetBounds(0, 0, 150, 45);
}

void TTrackBar::SetMin(int v) {
  min_ = v;
  max_ = std::max(max_, min_);
  SetPosition(position_);
  Invalidate();
}

void TTrackBar::SetMax(int v) {
  max_ = v;
  min_ = std::min(min_, max_);
  SetPosition(position_);
  Invalidate();
}

void TTrackBar::SetPosition(int v) {
  v = std::clamp(v, min_, max_);
  if (v == position_) return;
  position_ = v;
  Invalidate();
  if (OnChange) OnChange(this);
}

int TTrackBar::PositionAt(int x) const {
  int track = std::max(ClientWidth() - ThumbLength, 1);
  double f = std::clamp(static_cast<double>(x - ThumbLength / 2) / track, 0.0, 1.0);
  return min_ + static_cast<int>(f * (max_ - min_) + 0.5);
}

void TTrackBar::KeyDown(WORD& Key, TShiftState Shift) {
  TControl::KeyDown(Key, Shift);
  switch (Key) {
    case VK_LEFT:
    case VK_UP: SetPosition(position_ - 1); break;
    case VK_RIGHT:
    case VK_DOWN: SetPosition(position_ + 1); break;
    case VK_PRIOR: SetPosition(position_ - PageSize); break;
    case VK_NEXT: SetPosition(position_ + PageSize); break;
    case VK_HOME: SetPosition(min_); break;
    case VK_END: SetPosition(max_); break;
    default: return;
  }
  Key = 0;
}

void TTrackBar::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (Button == mbLeft) {
    if (CanFocus() && !Focused()) SetFocus();
    SetPosition(PositionAt(X));
  }
  TControl::MouseDown(Button, Shift, X, Y);
}

void TTrackBar::MouseMove(TShiftState Shift, int X, int Y) {
  if ((Shift & ssLeft) && MouseCapture()) SetPosition(PositionAt(X));
  TControl::MouseMove(Shift, X, Y);
}

void TTrackBar::WndProc(TMessage& m) {
  if (WantArrows(m)) return;
  TControl::WndProc(m);
}

void TTrackBar::Paint() {
  TSurfaceArea a = Area(this);
  int mid = a.r.Top + ClientHeight() / 2;
  int half = ThumbLength / 2;
  TRect channel = Rect(a.r.Left + half, mid - 2, a.r.Right - half, mid + 2);
  FrameSurfaceRect(a.c->Bitmap(), channel, clBtnShadow, clBtnHighlight, &a.clip);
  int track = std::max(ClientWidth() - ThumbLength, 1);
  int span = std::max(max_ - min_, 1);
  if (Frequency > 0 && (max_ - min_) / Frequency < track)
    for (int v = min_; v <= max_; v += Frequency) {
      int x = a.r.Left + half + static_cast<int>(static_cast<std::int64_t>(v - min_) * track / span);
      FillSurfaceRect(a.c->Bitmap(), Rect(x, a.r.Bottom - 3, x + 1, a.r.Bottom), clWindowText, &a.clip);
    }
  int tx = a.r.Left + static_cast<int>(static_cast<std::int64_t>(position_ - min_) * track / span);
  TRect thumb = Rect(tx, a.r.Top, tx + ThumbLength, std::min(a.r.Bottom - 3, a.r.Top + ClientHeight()));
  FillSurfaceRect(a.c->Bitmap(), thumb, Focused() ? clHighlight : clBtnFace, &a.clip);
  FrameSurfaceRect(a.c->Bitmap(), thumb, clBtnHighlight, cl3DDkShadow, &a.clip);
}

// ---- TPanel

TPanel::TPanel(TComponent* AOwner) : TControl(AOwner) {
  Opaque = true;
  SetBounds(0, 0, 185, 41);
}

void TPanel::Paint() {
  TSurfaceArea a = Area(this);
  TColor back = ParentBackground && Parent() ? Parent()->Color() : Color();
  FillSurfaceRect(a.c->Bitmap(), a.r, back, &a.clip);
  if (BevelOuter == bvRaised)
    FrameSurfaceRect(a.c->Bitmap(), a.r, clBtnHighlight, clBtnShadow, &a.clip);
  else if (BevelOuter == bvLowered)
    FrameSurfaceRect(a.c->Bitmap(), a.r, clBtnShadow, clBtnHighlight, &a.clip);
  std::string s = Shown(Caption());
  if (s.empty()) return;
  a.c->Font = Font;
  TSize e = a.c->TextExtentW(Utf8ToWide(s));
  Text(this, a.c, (ClientWidth() - e.cx) / 2, (ClientHeight() - e.cy) / 2, Caption());
}

// ---- TGroupBox

TGroupBox::TGroupBox(TComponent* AOwner) : TControl(AOwner) { SetBounds(0, 0, 185, 105); }

void TGroupBox::Paint() {
  TSurfaceArea a = Area(this);
  std::string s = Shown(Caption());
  a.c->Font = Font;
  int th = a.c->TextHeight("Wg");
  TRect frame = Rect(a.r.Left, a.r.Top + th / 2, a.r.Right, a.r.Bottom);
  FrameSurfaceRect(a.c->Bitmap(), frame, clBtnShadow, clBtnHighlight, &a.clip);
  FrameSurfaceRect(a.c->Bitmap(), Rect(frame.Left + 1, frame.Top + 1, frame.Right - 1, frame.Bottom - 1),
                   clBtnHighlight, clBtnShadow, &a.clip);
  if (s.empty()) return;
  int w = TextWidth(a.c, s);
  FillSurfaceRect(a.c->Bitmap(), Bounds(a.r.Left + 8, a.r.Top, w, th), Color(), &a.clip);
  Text(this, a.c, 8, 0, Caption());
}

// ---- TImage

TImage::TImage(TComponent* AOwner) : TControl(AOwner) { SetBounds(0, 0, 105, 105); }

void TImage::Paint() {
  if (Picture.Empty()) return;
  TControlCanvas* c = Canvas();
  if (Stretch)
    c->StretchDraw(ClientRect(), Picture);
  else
    c->Draw(0, 0, Picture);
}

// ---- TProgressBar

TProgressBar::TProgressBar(TComponent* AOwner) : TControl(AOwner) {
  Opaque = true;
  SetBounds(0, 0, 150, 16);
}

void TProgressBar::SetPosition(int v) {
  v = std::clamp(v, Min, std::max(Min, Max));
  if (v == position_) return;
  position_ = v;
  Invalidate();
}

void TProgressBar::Paint() {
  TSurfaceArea a = Area(this);
  FillSurfaceRect(a.c->Bitmap(), a.r, clBtnFace, &a.clip);
  FrameSurfaceRect(a.c->Bitmap(), a.r, clBtnShadow, clBtnHighlight, &a.clip);
  int span = std::max(Max - Min, 1);
  int inner = std::max(ClientWidth() - 2, 0);
  int w = static_cast<int>(static_cast<std::int64_t>(position_ - Min) * inner / span);
  if (w > 0)
    FillSurfaceRect(a.c->Bitmap(), Rect(a.r.Left + 1, a.r.Top + 1, a.r.Left + 1 + w, a.r.Bottom - 1),
                    clHighlight, &a.clip);
}

// ---- TTabSheet and TPageControl

TTabSheet::TTabSheet(TComponent* AOwner) : TControl(AOwner) {}

TTabSheet::~TTabSheet() { SetPageControl(nullptr); }

void TTabSheet::SetPageControl(TPageControl* p) {
  if (p == pageControl_) return;
  if (pageControl_) pageControl_->Remove(this);
  pageControl_ = p;
  if (p) p->Insert(this);
}

void TTabSheet::SetTabVisible(bool v) {
  if (v == tabVisible_) return;
  tabVisible_ = v;
  if (pageControl_) pageControl_->TabsChanged();
}

int TTabSheet::PageIndex() const {
  if (!pageControl_) return -1;
  for (int i = 0; i < pageControl_->PageCount(); ++i)
    if (pageControl_->Pages(i) == this) return i;
  return -1;
}

TPageControl::TPageControl(TComponent* AOwner) : TControl(AOwner) {
  TabStop = true;
  SetBounds(0, 0, 289, 193);
}

TPageControl::~TPageControl() {
  for (TTabSheet* p : pages_) p->pageControl_ = nullptr;
}

void TPageControl::Insert(TTabSheet* p) {
  pages_.push_back(p);
  p->SetParent(this);
  p->SetVisible(false);
  PlaceSheet(p);
  TabsChanged();
}

void TPageControl::Remove(TTabSheet* p) {
  pages_.erase(std::remove(pages_.begin(), pages_.end(), p), pages_.end());
  if (active_ == p) active_ = nullptr;
  TabsChanged();
}

void TPageControl::PlaceSheet(TTabSheet* p) {
  p->SetBounds(2, kTabHeight + 2, std::max(Width() - 4, 0), std::max(Height() - kTabHeight - 4, 0));
}

void TPageControl::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  TControl::SetBounds(ALeft, ATop, AWidth, AHeight);
  for (TTabSheet* p : pages_) PlaceSheet(p);
}

void TPageControl::SetActivePage(TTabSheet* p) {
  if (p && (p->pageControl_ != this || !p->TabVisible())) return;
  if (p == active_) return;
  if (active_) active_->SetVisible(false);
  active_ = p;
  if (p) p->SetVisible(true);
  Invalidate();
}

void TPageControl::TabsChanged() {
  // A sheet whose tab goes is no longer shown.
  if (active_ && !active_->TabVisible()) SetActivePage(nullptr);
  Invalidate();
}

TRect TPageControl::TabRect(const TTabSheet* p) {
  if (!p->TabVisible()) return TRect();
  TControlCanvas* c = Canvas();
  c->Font = Font;
  int x = 2;
  for (TTabSheet* q : pages_) {
    if (!q->TabVisible()) continue;
    int w = TextWidth(c, Shown(q->Caption())) + 12;
    if (q == p) return Rect(x, 0, x + w, kTabHeight);
    x += w;
  }
  return TRect();
}

bool TPageControl::SelectPage(TTabSheet* p) {
  if (p == active_ || !p || p->pageControl_ != this || !p->TabVisible()) return false;
  bool allow = true;
  if (OnChanging) OnChanging(this, allow);
  if (!allow) return false;
  SetActivePage(p);
  if (OnChange) OnChange(this);
  return true;
}

void TPageControl::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (Button == mbLeft)
    for (TTabSheet* p : pages_)
      if (TabRect(p).Contains(X, Y)) {
        SelectPage(p);
        break;
      }
  TControl::MouseDown(Button, Shift, X, Y);
}

void TPageControl::KeyDown(WORD& Key, TShiftState Shift) {
  TControl::KeyDown(Key, Shift);
  bool next = Key == VK_RIGHT || (Key == VK_TAB && (Shift & ssCtrl) && !(Shift & ssShift));
  bool prev = Key == VK_LEFT || (Key == VK_TAB && (Shift & ssCtrl) && (Shift & ssShift));
  if (!next && !prev) return;
  std::vector<TTabSheet*> shown;
  for (TTabSheet* p : pages_)
    if (p->TabVisible()) shown.push_back(p);
  if (shown.empty()) return;
  auto at = std::find(shown.begin(), shown.end(), active_);
  int i = at == shown.end() ? 0 : static_cast<int>(at - shown.begin());
  int n = static_cast<int>(shown.size());
  SelectPage(shown[static_cast<size_t>((i + (next ? 1 : n - 1)) % n)]);
  Key = 0;
}

void TPageControl::WndProc(TMessage& m) {
  if (WantArrows(m)) return;
  TControl::WndProc(m);
}

void TPageControl::Paint() {
  TSurfaceArea a = Area(this);
  TColor back = Parent() ? Parent()->Color() : Color();
  FillSurfaceRect(a.c->Bitmap(), Rect(a.r.Left, a.r.Top, a.r.Right, a.r.Top + kTabHeight), back, &a.clip);
  TRect body = Rect(a.r.Left, a.r.Top + kTabHeight, a.r.Right, a.r.Bottom);
  FillSurfaceRect(a.c->Bitmap(), body, Color(), &a.clip);
  FrameSurfaceRect(a.c->Bitmap(), body, clBtnHighlight, cl3DDkShadow, &a.clip);
  for (TTabSheet* p : pages_) {
    TRect t = TabRect(p);
    if (t.Right <= t.Left) continue;
    bool on = p == active_;
    TRect s = Rect(a.r.Left + t.Left, a.r.Top + t.Top + (on ? 0 : 2), a.r.Left + t.Right,
                   a.r.Top + t.Bottom + (on ? 1 : 0));
    FillSurfaceRect(a.c->Bitmap(), s, Color(), &a.clip);
    FrameSurfaceRect(a.c->Bitmap(), Rect(s.Left, s.Top, s.Right, s.Bottom + 2), clBtnHighlight, cl3DDkShadow,
                     &a.clip);
    if (on)
      FillSurfaceRect(a.c->Bitmap(), Rect(s.Left + 1, s.Bottom - 1, s.Right - 1, s.Bottom + 1), Color(),
                      &a.clip);
    Text(this, a.c, t.Left + 6, t.Top + (on ? 3 : 4), p->Caption());
  }
}

}  // namespace redozir

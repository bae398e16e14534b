#include "platform/menus.h"

#include <algorithm>
#include <cctype>

#include "platform/exceptions.h"
#include "platform/font.h"
#include "platform/forms.h"
#include "platform/hints.h"
#include "platform/input.h"
#include "platform/keys.h"
#include "platform/screen.h"
#include "platform/stdctrls.h"
#include "platform/surface_fill.h"

namespace redozir {

namespace {
// Room left of the caption for the check mark, right of it, and the height of
// a separator line.
constexpr int kGutter = 20, kRightRoom = 16, kLineHeight = 9, kFrame = 2;
}  // namespace

char TMenuItem::Accelerator() const {
  TShownCaption s = ShownCaption(Caption);
  if (s.AccelLength != 1) return 0;
  return static_cast<char>(std::toupper(static_cast<unsigned char>(s.Text[s.Accel])));
}

void TMenuItem::Click() {
  if (OnClick) OnClick(this);
}

// The menu's window: a borderless pop-up form, the items one row each.
class TPopupMenuWindow : public TPopupForm {
 public:
  explicit TPopupMenuWindow(TPopupMenu* Menu)
      : TPopupForm(clMenu, [Menu] { Menu->CloseMenu(); }), menu_(Menu) {}
  int Hot() const { return hot_; }

  void Open(int X, int Y) {
    Canvas()->Font = Font;
    const int rowHeight = Canvas()->TextHeight("Wg") + 6;
    int width = 0, y = kFrame;
    rows_.clear();
    for (TMenuItem* item : menu_->items_) {
      int h = !item->Visible ? 0 : item->IsLine() ? kLineHeight : rowHeight;
      rows_.push_back(Rect(kFrame, y, 0, y + h));
      y += h;
      if (item->Visible && !item->IsLine())
        width = std::max(width, Canvas()->TextExtentW(Utf8ToWide(ShownCaption(item->Caption).Text)).cx);
    }
    width += kGutter + kRightRoom + 2 * kFrame;
    for (TRect& r : rows_) r.Right = width - kFrame;
    const int height = y + kFrame;
    // Inside the screen: left of or above the point when it would run off.
    if (X + width > Screen->Width()) X -= width;
    if (Y + height > Screen->Height()) Y -= height;
    SetBounds(std::max(X, 0), std::max(Y, 0), width, height);
    hot_ = -1;
    Invalidate();
    Show();
    TInput::SetPopup(this, true);
  }

  // The next item Up or Down picks, round the ends (the current one when no
  // other can be picked).
  void Move(int Step) {
    const int n = static_cast<int>(rows_.size());
    int i = hot_ < 0 && Step < 0 ? n : hot_;
    for (int k = 0; k < n; ++k) {
      i = (i + Step + n) % n;
      if (menu_->items_[static_cast<size_t>(i)]->Selectable()) return SetHot(i);
    }
  }

 protected:
  void WndProc(TMessage& m) override {
    if (m.Msg == WM_GETDLGCODE) {
      m.Result = DLGC_WANTALLKEYS | DLGC_WANTARROWS | DLGC_WANTTAB;
      return;
    }
    TForm::WndProc(m);
  }
  void KeyDown(WORD& Key, TShiftState Shift) override {
    switch (Key) {
      case VK_UP: Move(-1); break;
      case VK_DOWN: Move(1); break;
      case VK_HOME:
        hot_ = -1;
        Move(1);
        break;
      case VK_END:
        hot_ = -1;
        Move(-1);
        break;
      case VK_RETURN:
      case VK_SPACE:
        if (hot_ >= 0) menu_->Choose(hot_);
        break;
      case VK_ESCAPE: menu_->CloseMenu(); break;
      default:
        if ((Key >= 'A' && Key <= 'Z') || (Key >= '0' && Key <= '9')) {
          auto& items = menu_->items_;
          for (size_t i = 0; i < items.size(); ++i)
            if (items[i]->Selectable() && items[i]->Accelerator() == static_cast<char>(Key))
              return menu_->Choose(static_cast<int>(i));
        }
        break;
    }
  }
  void MouseMove(TShiftState Shift, int X, int Y) override {
    TForm::MouseMove(Shift, X, Y);
    int i = ItemAt(X, Y);
    SetHot(i >= 0 && menu_->items_[static_cast<size_t>(i)]->Selectable() ? i : -1);
  }
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override {
    TForm::MouseUp(Button, Shift, X, Y);
    int i = ItemAt(X, Y);
    if (Button != mbMiddle && i >= 0 && menu_->items_[static_cast<size_t>(i)]->Selectable()) menu_->Choose(i);
  }
  void Paint() override {
    TControlCanvas* c = Canvas();
    TPoint o = c->Origin();
    TRect clip = c->DeviceClip();
    TBitmap* b = c->Bitmap();
    auto at = [&](const TRect& r) { return Rect(o.X + r.Left, o.Y + r.Top, o.X + r.Right, o.Y + r.Bottom); };
    FillSurfaceRect(b, at(ClientRect()), clMenu, &clip);
    FrameSurfaceRect(b, at(ClientRect()), clBtnHighlight, cl3DDkShadow, &clip);
    for (size_t i = 0; i < rows_.size(); ++i) {
      const TMenuItem* item = menu_->items_[i];
      TRect r = at(rows_[i]);
      if (!item->Visible) continue;
      if (item->IsLine()) {
        int mid = (r.Top + r.Bottom) / 2;
        FillSurfaceRect(b, Rect(r.Left + 1, mid - 1, r.Right - 1, mid), clBtnShadow, &clip);
        FillSurfaceRect(b, Rect(r.Left + 1, mid, r.Right - 1, mid + 1), clBtnHighlight, &clip);
        continue;
      }
      const bool hot = static_cast<int>(i) == hot_;
      if (hot) FillSurfaceRect(b, r, clHighlight, &clip);
      TColor ink = !item->Enabled ? clGrayText : hot ? clHighlightText : clMenuText;
      if (item->Checked) {
        // A tick in the gutter.
        int x = r.Left + 5, y = (r.Top + r.Bottom) / 2 - 3;
        for (int k = 0; k < 7; ++k)
          FillSurfaceRect(b, Bounds(x + k, y + (k < 3 ? k + 2 : 6 - k + 2), 1, 2), ink, &clip);
      }
      c->Font = Font;
      c->Font.Color = ink;
      c->Brush.Style = bsClear;
      DrawCaption(*c, rows_[i].Left + kGutter, rows_[i].Top + 3, item->Caption);
    }
  }

 private:
  void SetHot(int i) {
    if (i == hot_) return;
    hot_ = i;
    Invalidate();
  }
  int ItemAt(int X, int Y) const {
    for (size_t i = 0; i < rows_.size(); ++i)
      if (rows_[i].Contains(X, Y)) return static_cast<int>(i);
    return -1;
  }

  TPopupMenu* menu_;
  std::vector<TRect> rows_;  // client rectangle of each item (empty when hidden)
  int hot_ = -1;
};

TPopupMenu::TPopupMenu(TComponent* AOwner) : TComponent(AOwner) {}

TPopupMenu::~TPopupMenu() { CloseMenu(); }

TMenuItem* TPopupMenu::Add(const std::string& Caption, TNotifyEvent OnClick) {
  CloseMenu();
  auto* item = new TMenuItem(this);
  item->Caption = Caption;
  item->OnClick = std::move(OnClick);
  items_.push_back(item);
  return item;
}

TMenuItem* TPopupMenu::Items(int Index) const {
  if (Index < 0 || Index >= Count())
    throw ERangeError("List index out of bounds (" + std::to_string(Index) + ")");
  return items_[static_cast<size_t>(Index)];
}

void TPopupMenu::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation != opRemove) return;
  auto it = std::find(items_.begin(), items_.end(), AComponent);
  if (it == items_.end()) return;
  // The window's rows follow the items: a menu that loses one while shown
  // closes.
  CloseMenu();
  items_.erase(it);
}

void TPopupMenu::SetPopupComponent(TControl* Control) {
  popupComponent_ = Control && Control->HandleAllocated() ? Control->Handle() : 0;
}

void TPopupMenu::Popup(int X, int Y) {
  CloseMenu();
  // Whatever else was popped up goes, as does a hint.
  if (TForm* other = TInput::Popup()) other->Close();
  CancelHint();
  if (OnPopup) OnPopup(this);
  if (std::none_of(items_.begin(), items_.end(), [](TMenuItem* i) { return i->Visible; })) return;
  if (!window_) window_ = std::make_unique<TPopupMenuWindow>(this);
  window_->Open(X, Y);
}

void TPopupMenu::CloseMenu() {
  if (!window_ || !window_->Visible()) return;
  if (TInput::Popup() == window_.get()) TInput::SetPopup(nullptr);
  window_->Hide();
}

TForm* TPopupMenu::Window() const { return window_ && window_->Visible() ? window_.get() : nullptr; }

int TPopupMenu::Highlighted() const { return Window() ? window_->Hot() : -1; }

void TPopupMenu::Choose(int Index) {
  TMenuItem* item = items_[static_cast<size_t>(Index)];
  CloseMenu();
  item->Click();
}

// ---- the control's side

void TControl::SetPopupMenu(TPopupMenu* Menu) {
  if (popupMenu_) RemoveFreeNotification(popupMenu_);
  popupMenu_ = Menu;
  if (Menu) FreeNotification(Menu);
}

void TControl::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent && AComponent == popupMenu_) popupMenu_ = nullptr;
}

void TControl::ContextMenu(TMessage& m) {
  TPoint at{GET_X_LPARAM(m.LParam), GET_Y_LPARAM(m.LParam)};
  // From a key: at the control's top left.
  if (m.LParam == -1) at = ClientToScreen({0, 0});
  if (popupMenu_ && popupMenu_->AutoPopup) {
    popupMenu_->SetPopupComponent(this);
    popupMenu_->Popup(at.X, at.Y);
    m.Result = 1;
  } else if (parent_) {
    m.Result = parent_->Perform(WM_CONTEXTMENU, m.WParam, m.LParam);
  }
}

}  // namespace redozir

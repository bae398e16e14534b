// Pop-up menus: TPopupMenu shows its TMenuItem items in a pop-up window at a
// screen point, as a control's PopupMenu on a right click (on the release) or
// on the context-menu key (Shift+F10 too). The window takes no focus: while it
// shows, the keys go to it (Up and Down move over the enabled items, an
// accelerator letter or Return chooses, Esc closes), and a press anywhere
// else closes it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/controls.h"

#pragma GCC visibility push(default)
namespace redozir {

class TMenuItem : public TComponent {
 public:
  using TComponent::TComponent;
  // "&" marks the accelerator letter ("&&" shows one "&"); "-" makes the
  // item a separator line.
  std::string Caption;
  bool Enabled = true;
  bool Checked = false;
  bool Visible = true;
  TNotifyEvent OnClick;
  bool IsLine() const { return Caption == "-"; }
  // The accelerator letter in upper case (0 for none).
  char Accelerator() const;
  // Whether Up, Down, a letter or the pointer can pick the item.
  bool Selectable() const { return Visible && Enabled && !IsLine(); }
  virtual void Click();
};

class TPopupMenuWindow;

class TPopupMenu : public TComponent {
 public:
  explicit TPopupMenu(TComponent* AOwner);
  ~TPopupMenu() override;

  // A new item at the end, owned by the menu.
  TMenuItem* Add(const std::string& Caption, TNotifyEvent OnClick = nullptr);
  int Count() const { return static_cast<int>(items_.size()); }
  TMenuItem* Items(int Index) const;

  // Off: a right click or the context-menu key does not show the menu (Popup
  // still does).
  bool AutoPopup = true;
  // The control the menu was last shown for (nullptr once it is gone).
  TControl* PopupComponent() const { return TControl::FromHandle(popupComponent_); }
  void SetPopupComponent(TControl* Control);
  // Called before the menu shows, in time to change the items.
  TNotifyEvent OnPopup;

  // Shows the menu with its top left at the screen point (moved to stay on
  // the screen), nothing highlighted; it stays until an item is chosen or
  // it is closed.
  void Popup(int X, int Y);
  void CloseMenu();
  // The window while the menu shows (nullptr otherwise) and the highlighted
  // item (-1 for none).
  TForm* Window() const;
  int Highlighted() const;

 protected:
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  friend class TPopupMenuWindow;
  void Choose(int Index);

  std::vector<TMenuItem*> items_;
  std::unique_ptr<TPopupMenuWindow> window_;
  HWND popupComponent_ = 0;
};

}  // namespace redozir
#pragma GCC visibility pop

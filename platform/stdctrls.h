// The standard controls of the platform's dialogs: label, check box, combo
// box, up-down, track bar, panel, group box, image, progress bar and the page
// control with its tab sheets. Each is a model with the classic properties
// and events that paints itself into its form's surface. Setting a value by
// code fires no event, as with the classic controls, except where noted; the
// user's mouse and keys do. Captions and items are UTF-8.
#pragma once

#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "platform/bitmap.h"
#include "platform/controls.h"
#include "platform/edits.h"
#include "platform/forms.h"

#pragma GCC visibility push(default)
namespace redozir {

enum TAlignment { taLeftJustify, taRightJustify, taCenter };

// A caption marks its accelerator with "&" ("&&" shows one "&"): the text as
// shown, and the UTF-8 bytes of the accelerator letter in it (none when
// AccelLength is 0).
struct TShownCaption {
  std::string Text;
  size_t Accel = 0, AccelLength = 0;
};
TShownCaption ShownCaption(const std::string& Caption);
// Draws a caption as shown at (x, y), the top left of its cell, in the
// canvas's font, its accelerator letter underlined.
void DrawCaption(TCanvas& Canvas, int x, int y, const std::string& Caption);

class TLabel : public TControl {
 public:
  explicit TLabel(TComponent* AOwner);
  // With AutoSize the label takes the width (and at least the height) of its
  // caption whenever the caption changes.
  void SetCaption(const std::string& s) override;
  bool AutoSize = true;
  // Draws no background: the parent shows through.
  bool Transparent = true;
  TAlignment Alignment = taLeftJustify;

 protected:
  void Paint() override;
  bool SeeThrough() const override { return Transparent; }
};

// A box with its caption over whatever lies under it. A user's click or
// Space toggles it and fires OnClick; setting Checked by code fires OnClick
// too when it changes.
class TCheckBox : public TControl {
 public:
  explicit TCheckBox(TComponent* AOwner);
  bool Checked() const { return checked_; }
  void SetChecked(bool v);
  // taLeftJustify puts the caption left of the box.
  TAlignment Alignment = taRightJustify;

 protected:
  void Click() override;
  void Paint() override;
  void KeyUp(WORD& Key, TShiftState Shift) override;
  void WndProc(TMessage& Message) override;
  bool SeeThrough() const override { return true; }

 private:
  bool checked_ = false;
};

class TComboBox;
class TComboDropDown;

// The strings of a combo box's list. Every change reaches the box, so that
// its selection and its open list follow the list: clearing or replacing it
// selects nothing, erasing the selected string selects nothing, and strings
// inserted or erased before the selected one keep that one selected.
class TComboItems {
 public:
  using const_iterator = std::vector<std::string>::const_iterator;
  explicit TComboItems(TComboBox* Owner) : owner_(Owner) {}
  TComboItems(const TComboItems&) = delete;
  TComboItems& operator=(const TComboItems& v) { return *this = v.items_; }
  TComboItems& operator=(std::vector<std::string> v);
  TComboItems& operator=(std::initializer_list<std::string> v) { return *this = std::vector<std::string>(v); }
  operator const std::vector<std::string>&() const { return items_; }
  bool operator==(const std::vector<std::string>& v) const { return items_ == v; }
  size_t size() const { return items_.size(); }
  bool empty() const { return items_.empty(); }
  // Checked: an index outside the list throws std::out_of_range.
  const std::string& operator[](size_t i) const { return items_.at(i); }
  void Set(size_t i, std::string s);
  const_iterator begin() const { return items_.begin(); }
  const_iterator end() const { return items_.end(); }
  void push_back(std::string s);
  const_iterator insert(const_iterator pos, std::string s);
  const_iterator erase(const_iterator pos) { return erase(pos, pos + 1); }
  const_iterator erase(const_iterator first, const_iterator last);
  void clear() { *this = std::vector<std::string>(); }

 private:
  TComboBox* owner_;
  std::vector<std::string> items_;
};

// A drop-down list. A click on the control (or Alt+Down, F4) opens the list
// in a borderless window of its own below it (above when the screen ends
// first); there the wheel, the arrows, Page Up/Down, Home and End move the
// highlight, a click or Return chooses, Escape or a press anywhere else
// closes. With the list closed Up/Down and the wheel step the selection. A
// user's choice fires OnClick, then OnChange; ItemIndex set by code fires
// nothing. OnDropDown fires before the list opens (it may fill the list; an
// empty list does not open). Items may change at any time, from the box's
// own events too: the selection and the open list follow them.
class TComboBox : public TControl {
 public:
  explicit TComboBox(TComponent* AOwner);
  ~TComboBox() override;
  TComboItems Items{this};
  // -1: nothing selected; indices outside the list read as -1.
  int ItemIndex() const { return itemIndex_ < static_cast<int>(Items.size()) ? itemIndex_ : -1; }
  void SetItemIndex(int v);
  std::string Text() const;
  // Rows the open list shows before it scrolls.
  int DropDownCount = 8;
  bool DroppedDown() const;
  void SetDroppedDown(bool v);
  // The open list's window; nullptr while it is closed.
  TForm* DropDownWindow() const;
  // The highlighted row of the open list (-1 while closed).
  int DropDownIndex() const;
  TNotifyEvent OnChange, OnDropDown, OnCloseUp;

 protected:
  void Paint() override;
  void KeyDown(WORD& Key, TShiftState Shift) override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  bool DoMouseWheel(TShiftState Shift, int WheelDelta, TPoint MousePos) override;
  void WndProc(TMessage& Message) override;
  // The selection already answered the press.
  void Click() override {}

 private:
  friend class TComboDropDown;
  friend class TComboItems;
  // The strings [At, At + Removed) of the list became Inserted others.
  void ItemsChanged(int At, int Removed, int Inserted);
  void UserSelect(int index);
  void CloseUp(bool Choose);
  int itemIndex_ = -1;
  bool droppingDown_ = false;
  std::unique_ptr<TComboDropDown> dropDown_;
};

enum TUDBtnType { btNext, btPrev };
using TUDClickEvent = std::function<void(TObject* Sender, TUDBtnType Button)>;

// Two arrow buttons that step Position between Min and Max, and write it
// into the associated edit (which then fires its OnChange).
class TUpDown : public TControl {
 public:
  explicit TUpDown(TComponent* AOwner);
  int Min = 0;
  int Max = 100;
  int Increment = 1;
  // Thousands separators in the associated edit's text.
  bool Thousands = true;
  int Position() const { return position_; }
  // Clamped to Min..Max; the associated edit shows it.
  void SetPosition(int v);
  TEdit* Associate() const { return associate_; }
  // Places the up-down at the right of the edit and shows its position.
  void SetAssociate(TEdit* e);
  TUDClickEvent OnClick;

 protected:
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void Paint() override;

 private:
  void Step(TUDBtnType b);
  int position_ = 0;
  TEdit* associate_ = nullptr;
};

// A slider: Position between Min and Max (clamped, also when Min or Max
// moves), ticks every Frequency. The arrows step by 1, Page Up / Page Down by
// PageSize, Home and End go to the ends, a click moves the thumb there.
// OnChange fires whenever Position changes, by code too.
class TTrackBar : public TControl {
 public:
  explicit TTrackBar(TComponent* AOwner);
  int Min() const { return min_; }
  int Max() const { return max_; }
  void SetMin(int v);
  void SetMax(int v);
  int Position() const { return position_; }
  void SetPosition(int v);
  int Frequency = 1;
  int PageSize = 2;
  int ThumbLength = 20;
  TNotifyEvent OnChange;

 protected:
  void Paint() override;
  void KeyDown(WORD& Key, TShiftState Shift) override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseMove(TShiftState Shift, int X, int Y) override;
  void WndProc(TMessage& Message) override;

 private:
  int PositionAt(int x) const;
  int min_ = 0, max_ = 10, position_ = 0;
};

enum TBevelCut { bvNone, bvLowered, bvRaised };

// A raised (or lowered) area of its own colour with a centred caption.
class TPanel : public TControl {
 public:
  explicit TPanel(TComponent* AOwner);
  TBevelCut BevelOuter = bvRaised;
  // Takes the parent's colour when painting; cleared, the panel shows Color.
  bool ParentBackground = true;

 protected:
  void Paint() override;
};

// An etched frame with its caption at the top left.
class TGroupBox : public TControl {
 public:
  explicit TGroupBox(TComponent* AOwner);

 protected:
  void Paint() override;
};

// Shows Picture at its top left (stretched to the control with Stretch).
class TImage : public TControl {
 public:
  explicit TImage(TComponent* AOwner);
  TBitmap Picture;
  bool Stretch = false;

 protected:
  void Paint() override;
};

// A bar filled in proportion to Position between Min and Max (clamped).
class TProgressBar : public TControl {
 public:
  explicit TProgressBar(TComponent* AOwner);
  int Min = 0;
  int Max = 100;
  int Position() const { return position_; }
  void SetPosition(int v);

 protected:
  void Paint() override;

 private:
  int position_ = 0;
};

class TPageControl;

// One page of a page control; its controls are children of the sheet.
class TTabSheet : public TControl {
 public:
  explicit TTabSheet(TComponent* AOwner);
  ~TTabSheet() override;
  TPageControl* PageControl() const { return pageControl_; }
  void SetPageControl(TPageControl* p);
  bool TabVisible() const { return tabVisible_; }
  void SetTabVisible(bool v);
  int PageIndex() const;

 private:
  friend class TPageControl;
  TPageControl* pageControl_ = nullptr;
  bool tabVisible_ = true;
};

using TTabChangingEvent = std::function<void(TObject* Sender, bool& AllowChange)>;

// Tabs along the top, one per sheet whose tab is visible, and the active
// sheet below them. A click on a tab or Ctrl+Tab (Ctrl+Shift+Tab) asks
// OnChanging, switches and fires OnChange; ActivePage set by code fires
// neither.
class TPageControl : public TControl {
 public:
  explicit TPageControl(TComponent* AOwner);
  ~TPageControl() override;
  int PageCount() const { return static_cast<int>(pages_.size()); }
  TTabSheet* Pages(int i) const { return pages_.at(static_cast<size_t>(i)); }
  TTabSheet* ActivePage() const { return active_; }
  // nullptr, a sheet of this control with a visible tab, or nothing happens.
  void SetActivePage(TTabSheet* p);
  bool HotTrack = false;
  // The rectangle of a visible sheet's tab (client coordinates), empty when hidden.
  TRect TabRect(const TTabSheet* p);
  // Switches as the user does: OnChanging may refuse, then OnChange.
  bool SelectPage(TTabSheet* p);
  TTabChangingEvent OnChanging;
  TNotifyEvent OnChange;

  static constexpr int kTabHeight = 20;

 protected:
  void Paint() override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void KeyDown(WORD& Key, TShiftState Shift) override;
  void WndProc(TMessage& Message) override;

 public:
  void SetBounds(int ALeft, int ATop, int AWidth, int AHeight) override;

 private:
  friend class TTabSheet;
  void Insert(TTabSheet* p);
  void Remove(TTabSheet* p);
  void PlaceSheet(TTabSheet* p);
  void TabsChanged();
  std::vector<TTabSheet*> pages_;
  TTabSheet* active_ = nullptr;
};

}  // namespace redozir
#pragma GCC visibility pop

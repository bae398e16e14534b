#include "platform/menus.h"

#include <gtest/gtest.h>

#include "recorder.h"

using namespace redozir;

namespace {

// Open, a line, a disabled item, a checked one, Exit; a recorder that keeps
// its key and press messages has the menu and the focus.
struct TMenuFixture : TFormFixture {
  TPopupMenu menu{nullptr};
  int opened = 0, exited = 0, checked = 0, popups = 0;
  TMenuFixture() {
    menu.Add("&Open", [this](TObject*) { ++opened; });
    menu.Add("-");
    menu.Add("&Disabled", [](TObject*) { FAIL() << "a disabled item was chosen"; })->Enabled = false;
    menu.Add("&Check", [this](TObject*) { ++checked; })->Checked = true;
    menu.Add("E&xit", [this](TObject*) { ++exited; });
    menu.OnPopup = [this](TObject*) { ++popups; };
    rec->SetPopupMenu(&menu);
    rec->SetFocus();
    rec->Keep = {WM_KEYDOWN, WM_LBUTTONDOWN};
    rec->Clear();
  }
  // The height of a text row, from the window's: four rows and a 9-pixel
  // line inside a 2-pixel frame.
  int Row() const { return (menu.Window()->Height() - 4 - 9) / 4; }
  // The middle of item i's row in the window.
  int RowMiddle(int i) const {
    const int tops[] = {2, 2 + Row(), 2 + Row() + 9, 2 + 2 * Row() + 9, 2 + 3 * Row() + 9};
    return tops[i] + (i == 1 ? 4 : Row() / 2);
  }
  bool FocusKept() const { return rec->Focused() && form->Active() && !menu.Window()->Active(); }
};

TEST(PopupMenu, OpensOnTheRightReleaseAtThePointerAndKeysMoveOverTheItemsThatCanBePicked) {
  TMenuFixture f;
  Inject::MouseDown(f.rec, mbRight, 30, 20);
  EXPECT_EQ(f.menu.Window(), nullptr) << "not on the press";
  Inject::MouseUp(f.rec, mbRight, 30, 20);
  ASSERT_TRUE(f.menu.Window());
  EXPECT_EQ(f.popups, 1);
  EXPECT_EQ(f.menu.PopupComponent(), f.rec);
  EXPECT_EQ(f.menu.Window()->ClientToScreen({0, 0}), f.rec->ClientToScreen({30, 20}));
  EXPECT_EQ(f.menu.Highlighted(), -1);
  EXPECT_TRUE(f.FocusKept());
  // Down skips the line and the disabled item, and goes round the ends.
  const struct {
    WORD key;
    int highlighted;
  } steps[] = {{VK_DOWN, 0}, {VK_DOWN, 3}, {VK_DOWN, 4}, {VK_DOWN, 0}, {VK_UP, 4}, {VK_UP, 3}, {VK_UP, 0}};
  for (const auto& s : steps) {
    Inject::Key(s.key);
    EXPECT_EQ(f.menu.Highlighted(), s.highlighted);
  }
  Application->ProcessMessages();
  TForm* w = f.menu.Window();
  EXPECT_EQ(Inject::Pixel(w, 20, f.RowMiddle(0)), ColorToRGB(clHighlight)) << "the highlighted row";
  EXPECT_EQ(Inject::Pixel(w, 20, f.RowMiddle(4)), ColorToRGB(clMenu));
  EXPECT_TRUE(f.rec->Log.empty()) << "the keys went to the menu";
  // Return chooses: its OnClick once, the menu gone, the keys back.
  Inject::Key(VK_RETURN);
  EXPECT_EQ(f.opened, 1);
  EXPECT_EQ(f.menu.Window(), nullptr);
  EXPECT_TRUE(f.rec->Focused() && f.form->Active());
  Inject::Key('Z');
  EXPECT_EQ(f.rec->Msgs(), (std::vector<UINT>{WM_KEYDOWN}));
}

TEST(PopupMenu, TheContextKeysOpenItAtTheControlAndALetterEscOrAPressElsewhereEndsIt) {
  TMenuFixture f;
  const struct {
    WORD key;
    TShiftState shift;
  } openers[] = {{VK_APPS, 0}, {VK_F10, ssShift}};
  for (const auto& o : openers) {
    Inject::Key(o.key, o.shift);
    ASSERT_TRUE(f.menu.Window()) << o.key;
    EXPECT_EQ(f.menu.Window()->ClientToScreen({0, 0}), f.rec->ClientToScreen({0, 0}));
    EXPECT_TRUE(f.FocusKept());
    f.menu.CloseMenu();
  }
  // A letter chooses its item, unless the item is disabled.
  Inject::Key(VK_APPS);
  Inject::Key('D');
  ASSERT_TRUE(f.menu.Window());
  Inject::Key('X');
  EXPECT_EQ(f.exited, 1);
  EXPECT_EQ(f.menu.Window(), nullptr);
  // Esc closes with nothing chosen; the next key is the control's.
  Inject::Key(VK_APPS);
  Inject::Key(VK_ESCAPE);
  EXPECT_EQ(f.menu.Window(), nullptr);
  f.rec->Clear();
  Inject::Key('Z');
  EXPECT_EQ(f.rec->Msgs(), (std::vector<UINT>{WM_KEYDOWN}));
  // A press elsewhere closes it and goes no further.
  Inject::Key(VK_APPS);
  f.rec->Clear();
  Inject::Click(f.rec, 5, 5);
  EXPECT_EQ(f.menu.Window(), nullptr);
  EXPECT_TRUE(f.rec->Log.empty());
  // The pointer lights only what can be picked; a click on a disabled item
  // leaves the menu open, one on an item chooses it.
  Inject::Click(f.rec, 30, 20, 0, mbRight);
  TForm* w = f.menu.Window();
  ASSERT_TRUE(w);
  Inject::MouseMove(w, 20, f.RowMiddle(3));
  EXPECT_EQ(f.menu.Highlighted(), 3);
  Inject::MouseMove(w, 20, f.RowMiddle(2));
  EXPECT_EQ(f.menu.Highlighted(), -1);
  Inject::Click(w, 20, f.RowMiddle(2));
  Inject::Click(w, 20, f.RowMiddle(1));
  ASSERT_TRUE(f.menu.Window());
  Inject::Click(w, 20, f.RowMiddle(3));
  EXPECT_EQ(f.checked, 1);
  EXPECT_EQ(f.menu.Window(), nullptr);
  EXPECT_TRUE(f.rec->Focused() && f.form->Active());
  EXPECT_EQ(f.opened + f.exited, 1);
}

TEST(PopupMenu, AControlWithoutOneShowsItsParentsAndAFreedMenuIsForgotten) {
  TMenuFixture f;
  TPopupMenu formMenu(nullptr);
  formMenu.Add("Form");
  f.form->SetPopupMenu(&formMenu);
  f.rec->SetPopupMenu(nullptr);
  Inject::Click(f.rec, 30, 20, 0, mbRight);
  EXPECT_TRUE(formMenu.Window());
  EXPECT_EQ(formMenu.PopupComponent(), f.form);
  formMenu.CloseMenu();
  {
    TPopupMenu gone(nullptr);
    f.rec->SetPopupMenu(&gone);
  }
  EXPECT_EQ(f.rec->PopupMenu(), nullptr);
  Inject::Click(f.rec, 30, 20, 0, mbRight);
  EXPECT_TRUE(formMenu.Window());
}

}  // namespace

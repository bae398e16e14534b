#include "platform/stdctrls.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/application.h"
#include "platform/forms.h"
#include "platform/hints.h"
#include "platform/inject.h"

using namespace redozir;

namespace {

struct TShownForm {
  TForm* form = new TForm(nullptr);
  TShownForm() {
    form->SetBounds(0, 0, 400, 300);
    form->Show();
  }
  ~TShownForm() { delete form; }
  template <typename T>
  T* Add(int l, int t, int w, int h) {
    auto* c = new T(form);
    c->SetParent(form);
    c->SetBounds(l, t, w, h);
    return c;
  }
};

}  // namespace

TEST(StdCtrls, TrackBarClampsAndAnswersKeysAndClicks) {
  THeadlessSession s;
  TShownForm f;
  auto* tb = f.Add<TTrackBar>(10, 10, 120, 20);
  tb->SetMax(100);
  tb->PageSize = 10;
  tb->ThumbLength = 20;
  int changes = 0;
  tb->OnChange = [&](TObject*) { ++changes; };
  tb->SetPosition(150);
  EXPECT_EQ(tb->Position(), 100);
  tb->SetPosition(-5);
  EXPECT_EQ(tb->Position(), 0);
  EXPECT_EQ(changes, 2);
  tb->SetPosition(0);
  EXPECT_EQ(changes, 2) << "no change, no event";
  tb->SetFocus();
  struct TKeyCase {
    WORD key;
    int expected;
  };
  const TKeyCase keys[] = {{VK_RIGHT, 1},  {VK_NEXT, 11},  {VK_LEFT, 10}, {VK_END, 100},
                           {VK_DOWN, 100}, {VK_PRIOR, 90}, {VK_HOME, 0},  {VK_UP, 0}};
  for (const TKeyCase& k : keys) {
    Inject::Key(k.key);
    EXPECT_EQ(tb->Position(), k.expected) << "key " << k.key;
  }
  // The track runs over 100 pixels from x = 10: the middle is position 50.
  Inject::Click(tb, 60, 10);
  EXPECT_EQ(tb->Position(), 50);
  tb->SetMax(30);
  EXPECT_EQ(tb->Position(), 30) << "a smaller Max pulls the position in";
}

TEST(StdCtrls, UpDownStepsWithinItsRangeAndWritesItsEdit) {
  THeadlessSession s;
  TShownForm f;
  auto* e = f.Add<TEdit>(10, 10, 40, 21);
  auto* ud = f.Add<TUpDown>(0, 0, 16, 21);
  ud->Max = 1000;
  ud->Thousands = false;
  ud->SetAssociate(e);
  EXPECT_EQ(ud->Left(), 50);
  std::vector<std::string> texts;
  e->OnChange = [&](TObject*) { texts.push_back(e->Text()); };
  Inject::Click(ud, 5, 2);
  EXPECT_EQ(e->Text(), "1");
  e->SetText("999");
  Inject::Click(ud, 5, 2);
  Inject::Click(ud, 5, 2);
  EXPECT_EQ(ud->Position(), 1000) << "typed text counts; Max holds";
  Inject::Click(ud, 5, 18);
  EXPECT_EQ(e->Text(), "999");
  EXPECT_EQ(texts, (std::vector<std::string>{"1", "999", "1000", "999"}));
  ud->Thousands = true;
  ud->SetPosition(1000);
  EXPECT_EQ(e->Text(), "1,000");
  ud->SetPosition(-3);
  EXPECT_EQ(ud->Position(), 0);
}

TEST(StdCtrls, ComboBoxFiresClickThenChangeOnlyForTheUser) {
  THeadlessSession s;
  TShownForm f;
  auto* cb = f.Add<TComboBox>(10, 10, 100, 21);
  cb->Items = {"a", "b", "c"};
  std::vector<std::string> events;
  cb->OnClick = [&](TObject*) { events.push_back("click " + cb->Text()); };
  cb->OnChange = [&](TObject*) { events.push_back("change " + cb->Text()); };
  cb->SetItemIndex(1);
  cb->SetItemIndex(7);
  EXPECT_EQ(cb->ItemIndex(), -1) << "an index outside the list selects nothing";
  EXPECT_TRUE(events.empty());
  Inject::Click(cb, 5, 5);
  ASSERT_TRUE(cb->DroppedDown());
  Inject::Key(VK_DOWN);
  Inject::Key(VK_RETURN);
  EXPECT_FALSE(cb->DroppedDown());
  EXPECT_EQ(cb->ItemIndex(), 0);
  // Closed, the arrows step the selection.
  Inject::Key(VK_DOWN);
  Inject::Key(VK_END);
  Inject::Key(VK_DOWN);
  EXPECT_EQ(events,
            (std::vector<std::string>{"click a", "change a", "click b", "change b", "click c", "change c"}));
  // Only the focused box shows its text selected.
  auto* other = f.Add<TComboBox>(10, 40, 100, 21);
  Application->ProcessMessages();
  EXPECT_EQ(Inject::Pixel(cb, 60, 10), ColorToRGB(clHighlight));
  other->SetFocus();
  Application->ProcessMessages();
  EXPECT_EQ(Inject::Pixel(cb, 60, 10), ColorToRGB(clWindow));
  EXPECT_EQ(Inject::Pixel(other, 60, 10), ColorToRGB(clHighlight));
}

TEST(StdCtrls, ComboBoxListOpensBelowMovesAndChoosesOrCloses) {
  THeadlessSession s;
  TShownForm f;
  TShownForm other;
  auto* cb = f.Add<TComboBox>(10, 10, 100, 21);
  for (int i = 0; i < 12; ++i) cb->Items.push_back("item " + std::to_string(i));
  cb->SetItemIndex(2);
  int changes = 0;
  cb->OnChange = [&](TObject*) { ++changes; };
  Inject::Click(cb, 5, 5);
  TForm* list = cb->DropDownWindow();
  ASSERT_TRUE(list);
  // Under the combo box, as wide, eight rows high, with its own pixels.
  EXPECT_EQ(list->ClientToScreen({0, 0}),
            cb->ClientToScreen({-cb->ClientOffset().X, 21 - cb->ClientOffset().Y}));
  EXPECT_EQ(list->Width(), 100);
  const int row = (list->Height() - 2) / 8;
  Application->ProcessMessages();
  EXPECT_EQ(Inject::Pixel(list, 50, 1 + 2 * row + row / 2), ColorToRGB(clHighlight))
      << "the current item is lit";
  EXPECT_EQ(Inject::Pixel(list, 50, 1 + row / 2), ColorToRGB(clWindow));
  EXPECT_EQ(cb->DropDownIndex(), 2);
  // The wheel and the keys move the highlight, not the choice.
  Inject::Wheel(list, 50, 1 + 2 * row + row / 2, -WHEEL_DELTA);
  Inject::Key(VK_NEXT);
  EXPECT_EQ(cb->DropDownIndex(), 11);
  EXPECT_EQ(cb->ItemIndex(), 2);
  // Escape closes with nothing chosen; a click on a row chooses it.
  Inject::Key(VK_ESCAPE);
  EXPECT_FALSE(cb->DroppedDown());
  Inject::Click(cb, 5, 5);
  Inject::MouseMove(cb->DropDownWindow(), 50, 1 + 4 * row + 1);
  EXPECT_EQ(cb->DropDownIndex(), 4);
  Inject::Click(cb->DropDownWindow(), 50, 1 + 4 * row + 1);
  EXPECT_EQ(cb->ItemIndex(), 4);
  EXPECT_EQ(changes, 1);
  // End scrolls to the last item, lit on the last row; the rows then show
  // items 4 to 11, and a click on the third chooses item 6.
  Inject::Click(cb, 5, 5);
  Inject::Key(VK_END);
  Application->ProcessMessages();
  EXPECT_EQ(cb->DropDownIndex(), 11);
  EXPECT_EQ(Inject::Pixel(cb->DropDownWindow(), 50, 1 + 7 * row + row / 2), ColorToRGB(clHighlight));
  EXPECT_EQ(Inject::Pixel(cb->DropDownWindow(), 50, 1 + 6 * row + row / 2), ColorToRGB(clWindow));
  Inject::Click(cb->DropDownWindow(), 50, 1 + 2 * row + row / 2);
  EXPECT_EQ(cb->ItemIndex(), 6);
  EXPECT_EQ(changes, 2);
  // A press in another window closes the list and goes no further.
  Inject::Click(cb, 5, 5);
  bool reached = false;
  other.form->OnMouseDown = [&](TObject*, TMouseButton, TShiftState, int, int) { reached = true; };
  Inject::Click(other.form, 5, 5);
  EXPECT_FALSE(cb->DroppedDown());
  EXPECT_FALSE(reached);
  EXPECT_EQ(cb->ItemIndex(), 6);
}

TEST(StdCtrls, ComboBoxSelectionFollowsTheProgramsChangesToTheList) {
  struct TCase {
    const char* name;
    std::function<void(TComboItems&)> change;
    int index;
    const char* text;
  };
  const TCase cases[] = {
      {"cleared", [](TComboItems& l) { l.clear(); }, -1, ""},
      {"replaced",
       [](TComboItems& l) {
         l = {"x", "y", "z", "w"};
       },
       -1, ""},
      {"the selected string erased", [](TComboItems& l) { l.erase(l.begin() + 1); }, -1, ""},
      {"a string before it erased", [](TComboItems& l) { l.erase(l.begin()); }, 0, "b"},
      {"strings after it erased", [](TComboItems& l) { l.erase(l.begin() + 2, l.end()); }, 1, "b"},
      {"a string inserted before it", [](TComboItems& l) { l.insert(l.begin(), "z"); }, 2, "b"},
      {"a string inserted after it", [](TComboItems& l) { l.insert(l.begin() + 2, "z"); }, 1, "b"},
      {"one added at the end", [](TComboItems& l) { l.push_back("d"); }, 1, "b"},
      {"its string replaced", [](TComboItems& l) { l.Set(1, "B"); }, 1, "B"},
  };
  for (const TCase& c : cases) {
    THeadlessSession s;
    TShownForm f;
    auto* cb = f.Add<TComboBox>(10, 10, 100, 21);
    cb->Items = {"a", "b", "c"};
    cb->SetItemIndex(1);
    cb->SetFocus();
    Application->ProcessMessages();
    c.change(cb->Items);
    EXPECT_EQ(cb->ItemIndex(), c.index) << c.name;
    EXPECT_EQ(cb->Text(), c.text) << c.name;
    // Painted with whatever it shows now.
    Application->ProcessMessages();
  }
  THeadlessSession s;
  TShownForm f;
  auto* cb = f.Add<TComboBox>(10, 10, 100, 21);
  cb->Items = {"a"};
  EXPECT_THROW(static_cast<void>(cb->Items[1]), std::out_of_range);
  EXPECT_THROW(cb->Items.Set(1, "b"), std::out_of_range);
}

TEST(StdCtrls, ComboBoxOpenListFollowsChangesFromTheProgramAndFromItsEvents) {
  THeadlessSession s;
  TShownForm f;
  auto* cb = f.Add<TComboBox>(10, 10, 100, 21);
  // Filled when it opens, as a program fills a list it builds late.
  cb->OnDropDown = [&](TObject*) {
    if (cb->Items.empty())
      for (const char* t : {"a", "b", "c", "d", "e"}) cb->Items.push_back(t);
  };
  Inject::Click(cb, 5, 5);
  TForm* list = cb->DropDownWindow();
  ASSERT_TRUE(list);
  const int row = (list->Height() - 2) / 5;
  EXPECT_EQ(list->Height(), 5 * row + 2);
  Inject::Key(VK_DOWN);
  Inject::Key(VK_DOWN);
  EXPECT_EQ(cb->DropDownIndex(), 1);
  // Strings erased before the lit one: it stays lit, the list gets shorter.
  cb->Items.erase(cb->Items.begin());
  EXPECT_EQ(cb->DropDownIndex(), 0);
  EXPECT_EQ(list->Height(), 4 * row + 2);
  Application->ProcessMessages();
  EXPECT_EQ(Inject::Pixel(list, 50, 1 + row / 2), ColorToRGB(clHighlight));
  // Emptied while open: one empty row, nothing to choose.
  cb->Items.clear();
  EXPECT_EQ(list->Height(), row + 2);
  EXPECT_EQ(cb->DropDownIndex(), -1);
  Application->ProcessMessages();
  Inject::Key(VK_DOWN);
  Inject::Key(VK_END);
  Inject::Click(list, 50, 1 + row / 2);
  Inject::Key(VK_RETURN);
  EXPECT_FALSE(cb->DroppedDown());
  EXPECT_EQ(cb->ItemIndex(), -1);
  // A choice whose OnChange empties the list leaves nothing selected.
  cb->OnChange = [&](TObject*) { cb->Items.clear(); };
  Inject::Click(cb, 5, 5);
  Inject::Key(VK_DOWN);
  Inject::Key(VK_RETURN);
  EXPECT_TRUE(cb->Items.empty());
  EXPECT_EQ(cb->ItemIndex(), -1);
  Application->ProcessMessages();
  // An OnDropDown that empties the list opens none; one that asks for the
  // list is answered by its own return.
  cb->Items = {"a"};
  cb->OnDropDown = [&](TObject*) { cb->Items.clear(); };
  Inject::Click(cb, 5, 5);
  EXPECT_FALSE(cb->DroppedDown());
  cb->Items = {"a"};
  int dropDowns = 0;
  cb->OnDropDown = [&](TObject*) {
    ++dropDowns;
    cb->SetDroppedDown(true);
  };
  Inject::Click(cb, 5, 5);
  EXPECT_TRUE(cb->DroppedDown());
  EXPECT_EQ(dropDowns, 1);
}

TEST(StdCtrls, AHintShowsAfterThePointerRestsAndGoesWhenItLeaves) {
  THeadlessSession s;
  TShownForm f;
  auto* box = f.Add<TCheckBox>(10, 10, 100, 17);
  auto* plain = f.Add<TCheckBox>(10, 40, 100, 17);
  box->Hint = "Tell me";
  box->SetShowHint(true);
  Inject::MouseMove(box, 5, 5);
  s.Clock().Advance(Application->HintPause - 1);
  Application->ProcessMessages();
  EXPECT_EQ(ShownHintWindow(), nullptr);
  s.Clock().Advance(1);
  Application->ProcessMessages();
  THintWindow* hint = ShownHintWindow();
  ASSERT_TRUE(hint);
  EXPECT_EQ(hint->Text(), "Tell me");
  Application->ProcessMessages();
  EXPECT_EQ(Inject::Pixel(hint, 1, 1), ColorToRGB(clInfoBk));
  EXPECT_GT(hint->Top(), box->ClientToScreen({0, 0}).Y);
  Inject::MouseMove(plain, 5, 5);
  EXPECT_EQ(ShownHintWindow(), nullptr);
  // Back on it, the hint comes again, and leaves by itself after a while.
  Inject::MouseMove(box, 6, 5);
  s.Clock().Advance(Application->HintPause);
  Application->ProcessMessages();
  ASSERT_TRUE(ShownHintWindow());
  s.Clock().Advance(Application->HintHidePause);
  Application->ProcessMessages();
  EXPECT_EQ(ShownHintWindow(), nullptr);
}

TEST(StdCtrls, CheckBoxTogglesByClickSpaceAndCode) {
  THeadlessSession s;
  TShownForm f;
  auto* cb = f.Add<TCheckBox>(10, 10, 100, 17);
  int clicks = 0;
  cb->OnClick = [&](TObject*) { ++clicks; };
  Inject::Click(cb, 5, 5);
  EXPECT_TRUE(cb->Checked());
  Inject::Key(VK_SPACE);
  EXPECT_FALSE(cb->Checked());
  cb->SetChecked(true);
  cb->SetChecked(true);
  EXPECT_EQ(clicks, 3);
}

TEST(StdCtrls, PageControlAsksBeforeSwitchingAndSkipsHiddenTabs) {
  THeadlessSession s;
  TShownForm f;
  auto* pc = f.Add<TPageControl>(10, 10, 300, 200);
  TTabSheet* sheets[3];
  const char* names[] = {"One", "Two", "Three"};
  for (int i = 0; i < 3; ++i) {
    sheets[i] = new TTabSheet(f.form);
    sheets[i]->SetCaption(names[i]);
    sheets[i]->SetPageControl(pc);
  }
  pc->SetActivePage(sheets[0]);
  EXPECT_TRUE(sheets[0]->Visible());
  EXPECT_FALSE(sheets[1]->Visible());
  sheets[1]->SetTabVisible(false);
  pc->SetActivePage(sheets[1]);
  EXPECT_EQ(pc->ActivePage(), sheets[0]) << "a hidden tab's sheet cannot be active";
  EXPECT_EQ(pc->TabRect(sheets[1]).Right, 0);
  bool allow = false;
  std::vector<std::string> events;
  pc->OnChanging = [&](TObject*, bool& a) {
    events.push_back("changing " + pc->ActivePage()->Caption());
    a = allow;
  };
  pc->OnChange = [&](TObject*) { events.push_back("change " + pc->ActivePage()->Caption()); };
  TRect third = pc->TabRect(sheets[2]);
  Inject::Click(pc, third.Left + 3, 5);
  EXPECT_EQ(pc->ActivePage(), sheets[0]);
  allow = true;
  Inject::Click(pc, third.Left + 3, 5);
  EXPECT_EQ(pc->ActivePage(), sheets[2]);
  EXPECT_FALSE(sheets[0]->Visible());
  EXPECT_EQ(events, (std::vector<std::string>{"changing One", "changing One", "change Three"}));
}

TEST(StdCtrls, ProgressBarClampsAndPaintsItsShare) {
  THeadlessSession s;
  TShownForm f;
  auto* pb = f.Add<TProgressBar>(10, 10, 102, 10);
  pb->SetPosition(250);
  EXPECT_EQ(pb->Position(), 100);
  pb->SetPosition(50);
  f.form->Update();
  EXPECT_EQ(Inject::Pixel(pb, 40, 5), ColorToRGB(clHighlight));
  EXPECT_EQ(Inject::Pixel(pb, 70, 5), ColorToRGB(clBtnFace));
}

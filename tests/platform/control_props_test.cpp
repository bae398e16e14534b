#include <gtest/gtest.h>

#include <string>

#include "platform/buttons.h"
#include "platform/edits.h"
#include "recorder.h"

using namespace redozir;

namespace {

TEST(TabOrder, TabAndShiftTabFollowTheOrderThroughNestedControlsAndWrap) {
  THeadlessSession s;
  TForm form(nullptr);
  form.SetBounds(0, 0, 300, 200);
  auto add = [&](TControl* c, TControl* parent, const char* name, int left) {
    c->SetName(name);
    c->SetParent(parent);
    c->SetBounds(left, 10, 40, 20);
    return c;
  };
  TControl* a = add(new TButton(&form), &form, "a", 0);
  TControl* panel = add(new TRecorder(&form), &form, "panel", 50);
  panel->SetBounds(50, 50, 200, 100);
  TControl* c = add(new TButton(&form), panel, "c", 0);
  TControl* d = add(new TButton(&form), panel, "d", 50);
  TControl* off = add(new TButton(&form), &form, "off", 100);
  TControl* edit = add(new TEdit(&form), &form, "edit", 150);
  EXPECT_EQ(edit->TabOrder(), 3) << "a new control comes last";
  add(new TRecorder(&form), &form, "no stop", 200);
  off->SetEnabled(false);
  edit->SetTabOrder(0);
  d->SetTabOrder(0);
  auto orders = [&] {
    return std::to_string(a->TabOrder()) + std::to_string(panel->TabOrder()) +
           std::to_string(off->TabOrder()) + std::to_string(edit->TabOrder()) + " " +
           std::to_string(c->TabOrder()) + std::to_string(d->TabOrder());
  };
  EXPECT_EQ(orders(), "1230 10");
  form.Show();
  edit->SetFocus();
  std::string seen;
  for (int i = 0; i < 4; ++i) {
    Inject::Key(VK_TAB);
    seen += TControl::FromHandle(GetFocus())->Name() + " ";
  }
  EXPECT_EQ(seen, "a d c edit ");
  seen.clear();
  for (int i = 0; i < 2; ++i) {
    Inject::Key(VK_TAB, ssShift);
    seen += TControl::FromHandle(GetFocus())->Name() + " ";
  }
  EXPECT_EQ(seen, "c d ");
  edit->SetTabOrder(99);
  EXPECT_EQ(orders(), "0124 10") << "past the end means last";
  panel->SetTabOrder(-5);
  EXPECT_EQ(orders(), "1024 10");
  panel->SetParent(nullptr);
  EXPECT_EQ(panel->TabOrder(), -1);
  EXPECT_EQ(orders(), "0-113 10") << "the others close the gap";
  // An order asked for before the control has a parent holds once it has one.
  auto* late = new TButton(&form);
  late->SetTabOrder(0);
  late->SetParent(&form);
  EXPECT_EQ(late->TabOrder(), 0);
  EXPECT_EQ(a->TabOrder(), 1);
  delete panel;
}

TEST(ParentSettings, AControlFollowsItsParentsCtl3DAndShowHintUntilItSetsItsOwn) {
  THeadlessSession s;
  TForm form(nullptr);
  auto* panel = new TRecorder(&form);
  panel->SetParent(&form);
  auto* box = new TRecorder(&form);
  box->SetBorderStyle(bsSingle);
  box->SetBounds(0, 0, 100, 50);
  form.SetShowHint(true);
  form.SetCtl3D(false);
  box->SetParent(panel);
  EXPECT_TRUE(box->ShowHint()) << "taken from the parent's parent on joining";
  EXPECT_FALSE(box->Ctl3D());
  EXPECT_EQ(box->ClientWidth(), 98) << "a flat border is one pixel";
  form.SetCtl3D(true);
  EXPECT_TRUE(box->Ctl3D());
  EXPECT_EQ(box->ClientWidth(), 96);
  box->SetShowHint(true);
  EXPECT_FALSE(box->ParentShowHint()) << "set, even to the same value";
  box->SetCtl3D(true);
  EXPECT_FALSE(box->ParentCtl3D());
  form.SetShowHint(false);
  form.SetCtl3D(false);
  EXPECT_FALSE(panel->ShowHint());
  EXPECT_TRUE(box->ShowHint());
  EXPECT_TRUE(box->Ctl3D());
  box->SetParentShowHint(true);
  box->SetParentCtl3D(true);
  EXPECT_FALSE(box->ShowHint());
  EXPECT_FALSE(box->Ctl3D());
}

}  // namespace

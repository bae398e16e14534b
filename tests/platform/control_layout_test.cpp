#include <gtest/gtest.h>

#include "recorder.h"

using namespace redozir;

namespace {

TEST(Anchors, AResizeKeepsTheDistancesToTheAnchoredSides) {
  THeadlessSession s;
  // The form grows from 200 x 150 to 300 x 200, then goes back.
  struct Case {
    TAnchors anchors;
    TRect before, after;
  } cases[] = {
      {akLeft | akTop, Rect(40, 30, 100, 80), Rect(40, 30, 100, 80)},
      {akRight | akBottom, Rect(40, 30, 100, 80), Rect(140, 80, 200, 130)},
      {akLeft | akTop | akRight | akBottom, Rect(40, 30, 100, 80), Rect(40, 30, 200, 130)},
      {akTop | akRight, Rect(40, 30, 100, 80), Rect(140, 30, 200, 80)},
      {akLeft | akTop | akBottom, Rect(40, 30, 100, 80), Rect(40, 30, 100, 130)},
      // Neither side: the centre stays at the same fraction of the parent,
      // 75 * 300 / 200 = 112.5 rounding away from zero, 55 * 200 / 150 = 73.3.
      {0, Rect(45, 30, 105, 80), Rect(83, 48, 143, 98)},
  };
  for (const Case& c : cases) {
    TForm form(nullptr);
    form.SetBounds(0, 0, 200, 150);
    auto* ctl = new TRecorder(&form);
    ctl->SetParent(&form);
    ctl->SetBounds(c.before.Left, c.before.Top, c.before.Width(), c.before.Height());
    ctl->SetAnchors(c.anchors);
    form.Show();
    Inject::Resize(&form, 300, 200);
    EXPECT_EQ(ctl->BoundsRect(), c.after) << int(c.anchors);
    Inject::Resize(&form, 200, 150);
    EXPECT_EQ(ctl->BoundsRect(), c.before) << int(c.anchors);
  }
}

TEST(Anchors, AlignWinsAndAPlaceTheProgramGivesIsKeptFromThen) {
  THeadlessSession s;
  TForm form(nullptr);
  form.SetBounds(0, 0, 200, 150);
  auto* docked = new TRecorder(&form);
  docked->SetParent(&form);
  docked->SetBounds(0, 0, 30, 10);
  docked->SetAnchors(akRight | akBottom);
  docked->SetAlign(alLeft);
  auto* ctl = new TRecorder(&form);
  ctl->SetParent(&form);
  ctl->SetBounds(100, 20, 50, 50);
  ctl->SetAnchors(akTop | akRight);
  form.SetBounds(0, 0, 250, 150);
  EXPECT_EQ(docked->BoundsRect(), Rect(0, 0, 30, 150));
  EXPECT_EQ(ctl->BoundsRect(), Rect(150, 20, 200, 70));
  ctl->SetLeft(10);
  form.SetBounds(0, 0, 230, 150);
  EXPECT_EQ(ctl->BoundsRect(), Rect(-10, 20, 40, 70)) << "190 from the right edge, as the program placed it";
  // Placed in a parent that has no size yet: the anchors hold from the
  // parent's first size, without moving the control.
  auto* panel = new TRecorder(&form);
  panel->SetParent(&form);
  auto* inner = new TRecorder(&form);
  inner->SetParent(panel);
  inner->SetBounds(5, 5, 10, 10);
  inner->SetAnchors(akRight | akBottom);
  panel->SetBounds(0, 0, 100, 100);
  EXPECT_EQ(inner->BoundsRect(), Rect(5, 5, 15, 15));
  panel->SetBounds(0, 0, 120, 110);
  EXPECT_EQ(inner->BoundsRect(), Rect(25, 15, 35, 25));
}

}  // namespace

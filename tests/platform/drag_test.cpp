#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "platform/keys.h"
#include "recorder.h"

using namespace redozir;

namespace {

std::string At(int x, int y) {
  char text[32];
  std::snprintf(text, sizeof text, " %d,%d", x, y);
  return text;
}

// Two controls side by side: `a` is dragged, `b` takes what is dropped where
// X >= 20 of its client area.
struct TDragFixture : TFormFixture {
  TRecorder* b;
  std::vector<std::string> log;
  TDragFixture() {
    rec->SetBounds(10, 10, 60, 60);
    rec->SetName("a");
    b = new TRecorder(form);
    b->SetParent(form);
    b->SetBounds(100, 10, 60, 60);
    b->SetName("b");
    auto name = [](TObject* o) { return o ? static_cast<TComponent*>(o)->Name() : std::string("nil"); };
    rec->OnStartDrag = [this](TObject*, TDragObject*&) { log.push_back("start"); };
    rec->OnMouseDown = [this](TObject*, TMouseButton, TShiftState, int, int) { log.push_back("a down"); };
    b->OnDragOver = [this, name](TObject*, TObject* source, int x, int y, TDragState st, bool& accept) {
      const char* states[] = {"enter", "leave", "move"};
      log.push_back("over " + name(source) + " " + states[st] + At(x, y));
      accept = x >= 20;
    };
    b->OnDragDrop = [this, name](TObject*, TObject* source, int x, int y) {
      log.push_back("drop " + name(source) + At(x, y));
    };
    rec->OnEndDrag = [this, name](TObject*, TObject* target, int x, int y) {
      log.push_back("end " + name(target) + At(x, y));
    };
  }
};

using Log = std::vector<std::string>;

TEST(DragDrop, AnAutomaticDragIsDroppedWhereItIsAcceptedAndOnlyThere) {
  struct Case {
    const char* what;
    int upX;
    bool escape;
    Log expected;
  } cases[] = {
      {"accepted",
       25,
       false,
       {"start", "over a enter 20,30", "over a move 25,30", "over a leave 25,30", "drop a 25,30",
        "end b 25,30"}},
      {"refused",
       10,
       false,
       {"start", "over a enter 20,30", "over a move 10,30", "over a leave 10,30", "end nil 0,0"}},
      {"cancelled",
       25,
       true,
       {"start", "over a enter 20,30", "over a move 25,30", "over a leave 25,30", "end nil 0,0"}},
  };
  for (const Case& c : cases) {
    TDragFixture f;
    f.rec->SetDragMode(dmAutomatic);
    Inject::MouseDown(f.rec, mbLeft, 5, 5);
    EXPECT_TRUE(f.rec->Dragging());
    EXPECT_EQ(GetCursor(), Screen->Cursors(crNoDrop)) << "a takes no drop";
    Inject::MouseMove(f.b, 20, 30);
    EXPECT_EQ(GetCursor(), Screen->Cursors(crDrag));
    Inject::MouseMove(f.b, c.upX, 30);
    if (c.escape) Inject::Key(VK_ESCAPE);
    f.b->Keep = {WM_LBUTTONUP};
    f.b->Clear();
    Inject::MouseUp(f.b, mbLeft, c.upX, 30);
    EXPECT_EQ(f.log, c.expected) << c.what;
    EXPECT_FALSE(f.rec->Dragging());
    EXPECT_EQ(f.b->Log.size(), c.escape ? 1u : 0u) << c.what << ": the release of a drag is the drag's";
  }
}

TEST(DragDrop, AManualDragWaitsForItsThresholdAndAShortPressStaysAClick) {
  TDragFixture f;
  int clicks = 0;
  f.rec->OnClick = [&](TObject*) { ++clicks; };
  f.rec->OnMouseDown = [&](TObject*, TMouseButton, TShiftState, int, int) { f.rec->BeginDrag(false, 5); };
  Inject::MouseDown(f.rec, mbLeft, 5, 5);
  Inject::MouseMove(f.rec, 9, 9);
  EXPECT_EQ(f.log, Log{"start"});
  Inject::MouseUp(f.rec, mbLeft, 9, 9);
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(f.log, (Log{"start", "end nil 0,0"}));
  f.log.clear();
  Inject::MouseDown(f.rec, mbLeft, 5, 5);
  Inject::MouseMove(f.rec, 5, 10);
  Inject::MouseMove(f.b, 30, 5);
  Inject::MouseUp(f.b, mbLeft, 30, 5);
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(f.log, (Log{"start", "over a enter 30,5", "over a leave 30,5", "drop a 30,5", "end b 30,5"}));
  f.b->Keep = {WM_MOUSEMOVE};
  f.b->Clear();
  Inject::MouseMove(f.b, 40, 5);
  EXPECT_EQ(f.b->Log.size(), 1u) << "the pressed source holds the mouse no more";
  EXPECT_THROW(TRecorder(nullptr).BeginDrag(true), EInvalidOperation) << "no window to drag from";
}

}  // namespace

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/input.h"
#include "platform/keys.h"
#include "recorder.h"

using namespace redozir;

namespace {

const std::vector<UINT> kMouse = {WM_MOUSEMOVE,   WM_LBUTTONDOWN, WM_LBUTTONUP,     WM_LBUTTONDBLCLK,
                                  WM_RBUTTONDOWN, WM_RBUTTONUP,   WM_RBUTTONDBLCLK, WM_MOUSEWHEEL};

TEST(MessageFlow, ClickArrivesAsDownThenUpWithCoordinatesAndKeyState) {
  TFormFixture f;
  f.rec->Keep = kMouse;
  std::vector<std::pair<TMouseButton, TShiftState>> events;
  f.rec->OnMouseDown = [&](TObject*, TMouseButton b, TShiftState s, int x, int y) {
    events.push_back({b, s});
    EXPECT_EQ(x, 30);
    EXPECT_EQ(y, 40);
  };
  int clicks = 0;
  f.rec->OnClick = [&](TObject*) { ++clicks; };
  Inject::Click(f.rec, 30, 40, ssShift);
  ASSERT_EQ(f.rec->Msgs(), (std::vector<UINT>{WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP}));
  const TRecorded& down = f.rec->Log[1];
  const TRecorded& up = f.rec->Log[2];
  EXPECT_EQ(down.WParam, MK_LBUTTON | MK_SHIFT);
  EXPECT_EQ(up.WParam, MK_SHIFT);  // the button is already up in its own release
  EXPECT_EQ(GET_X_LPARAM(down.LParam), 30);
  EXPECT_EQ(GET_Y_LPARAM(down.LParam), 40);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].first, mbLeft);
  EXPECT_EQ(events[0].second, ssShift | ssLeft);
  EXPECT_EQ(clicks, 1);
  EXPECT_GE(GetKeyState(VK_SHIFT), 0) << "the modifier is released after the click";
}

TEST(MessageFlow, DoubleClickReplacesTheSecondDown) {
  struct TCase {
    const char* name;
    int secondX;
    std::uint64_t pause;
    bool dbl;
  };
  const TCase cases[] = {
      {"same point, at once", 30, 0, true},
      {"within the double-click box", 32, 0, true},
      {"outside the box", 33, 0, false},
      {"at the double-click time", 30, 500, true},
      {"after the double-click time", 30, 501, false},
  };
  for (const TCase& c : cases) {
    TFormFixture f;
    f.rec->Keep = {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK};
    std::vector<TShiftState> downs;
    f.rec->OnMouseDown = [&](TObject*, TMouseButton, TShiftState s, int, int) { downs.push_back(s); };
    Inject::Click(f.rec, 30, 40);
    f.session.Clock().Advance(c.pause);
    Inject::Click(f.rec, c.secondX, 40);
    UINT second = c.dbl ? WM_LBUTTONDBLCLK : WM_LBUTTONDOWN;
    EXPECT_EQ(f.rec->Msgs(), (std::vector<UINT>{WM_LBUTTONDOWN, WM_LBUTTONUP, second, WM_LBUTTONUP}))
        << c.name;
    ASSERT_EQ(downs.size(), 2u);
    EXPECT_EQ((downs[1] & ssDouble) != 0, c.dbl) << c.name;
  }
}

TEST(MessageFlow, ThirdClickAfterADoubleClickIsAPlainDown) {
  TFormFixture f;
  f.rec->Keep = {WM_LBUTTONDOWN, WM_LBUTTONDBLCLK};
  Inject::DoubleClick(f.rec, 5, 5);
  Inject::Click(f.rec, 5, 5);
  EXPECT_EQ(f.rec->Msgs(), (std::vector<UINT>{WM_LBUTTONDOWN, WM_LBUTTONDBLCLK, WM_LBUTTONDOWN}));
}

TEST(MessageFlow, SwappedButtonsSendRightButtonMessagesButAsyncStateStaysPhysical) {
  TFormFixture f;
  f.rec->Keep = kMouse;
  SwapMouseButton(true);
  EXPECT_EQ(GetSystemMetrics(SM_SWAPBUTTON), 1);
  Inject::MouseDown(f.rec, mbLeft, 10, 10);
  EXPECT_LT(GetAsyncKeyState(VK_LBUTTON), 0);
  EXPECT_GE(GetAsyncKeyState(VK_RBUTTON), 0);
  EXPECT_LT(GetKeyState(VK_RBUTTON), 0);
  EXPECT_GE(GetKeyState(VK_LBUTTON), 0);
  Inject::MouseUp(f.rec, mbLeft, 10, 10);
  EXPECT_EQ(f.rec->Msgs(), (std::vector<UINT>{WM_MOUSEMOVE, WM_RBUTTONDOWN, WM_RBUTTONUP}));
  EXPECT_EQ(f.rec->Log[1].WParam, MK_RBUTTON);
}

TEST(MessageFlow, MouseDownCapturesSoMovesOutsideStillArrive) {
  TFormFixture f;
  f.rec->Keep = {WM_MOUSEMOVE, WM_LBUTTONUP};
  Inject::MouseDown(f.rec, mbLeft, 10, 10);
  EXPECT_TRUE(f.rec->MouseCapture());
  f.rec->Clear();
  Inject::MouseMove(f.form, 190, 140);  // far outside the recorder
  Inject::MouseUp(f.form, mbLeft, 190, 140);
  ASSERT_EQ(f.rec->Msgs(), (std::vector<UINT>{WM_MOUSEMOVE, WM_LBUTTONUP}));
  // Form (190, 140) is recorder client (170, 130).
  EXPECT_EQ(GET_X_LPARAM(f.rec->Log[0].LParam), 170);
  EXPECT_EQ(GET_Y_LPARAM(f.rec->Log[0].LParam), 130);
  EXPECT_FALSE(f.rec->MouseCapture());
}

TEST(MessageFlow, PendingMovesMergeIntoOneAtTheLatestPositionAndKeepTheirPlaceBeforeOtherInput) {
  TFormFixture f;
  f.rec->Keep = {WM_MOUSEMOVE, WM_LBUTTONDOWN};
  for (int x = 30; x <= 60; x += 10) Inject::PostMouseMove(f.form, x, 20);
  EXPECT_TRUE(f.rec->Log.empty());  // not read yet; the cursor is there already
  TPoint cur;
  GetCursorPos(cur);
  EXPECT_EQ(f.form->ScreenToClient(cur), (TPoint{60, 20}));
  Application->ProcessMessages();
  ASSERT_EQ(f.rec->Msgs(), (std::vector<UINT>{WM_MOUSEMOVE}));
  EXPECT_EQ(GET_X_LPARAM(f.rec->Log[0].LParam), 40);  // form 60 is recorder 40
  // A button waits for the moves before it; a move after it is its own.
  f.rec->Clear();
  Inject::PostMouseMove(f.form, 70, 20);
  Inject::PostMouseMove(f.form, 75, 20);
  TInput::MouseButton(f.form, 75, 20, mbLeft, true);
  Inject::PostMouseMove(f.form, 80, 20);
  Application->ProcessMessages();
  ASSERT_EQ(f.rec->Msgs(), (std::vector<UINT>{WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_MOUSEMOVE}));
  EXPECT_EQ(GET_X_LPARAM(f.rec->Log[0].LParam), 55);
  EXPECT_EQ(GET_X_LPARAM(f.rec->Log[2].LParam), 60);
  TInput::MouseButton(f.form, 80, 20, mbLeft, false);
}

TEST(MessageFlow, WheelCarriesSignedDeltaKeysAndScreenPoint) {
  TFormFixture f;
  f.form->SetBounds(100, 50, 200, 150);
  f.rec->Keep = {WM_MOUSEWHEEL};
  int delta = 0;
  TPoint at;
  TShiftState shift = 0;
  f.rec->OnMouseWheel = [&](TObject*, TShiftState s, int d, TPoint p, bool& handled) {
    delta = d;
    at = p;
    shift = s;
    handled = true;
  };
  Inject::Wheel(f.rec, 7, 9, -240, ssCtrl);
  ASSERT_EQ(f.rec->Log.size(), 1u);
  EXPECT_EQ(GET_WHEEL_DELTA_WPARAM(f.rec->Log[0].WParam), -240);
  EXPECT_EQ(GET_KEYSTATE_WPARAM(f.rec->Log[0].WParam), MK_CONTROL);
  EXPECT_EQ(delta, -240);
  EXPECT_EQ(shift, ssCtrl);
  // Screen point: form at (100, 50), recorder client at (20, 10) in it.
  EXPECT_EQ(at, (TPoint{127, 69}));
  EXPECT_EQ(f.rec->ScreenToClient(at), (TPoint{7, 9}));
}

TEST(MessageFlow, KeysReachTheFocusedControlAsTheControlSeesThem) {
  TFormFixture f;
  f.rec->Keep = {CN_KEYDOWN, WM_KEYDOWN, CN_CHAR, WM_CHAR, CN_KEYUP, WM_KEYUP, WM_SYSKEYDOWN, WM_SYSKEYUP};
  f.rec->SetFocus();
  std::string typed;
  f.rec->OnKeyPress = [&](TObject*, char& c) { typed += c; };
  Inject::Key('A', ssShift);
  EXPECT_EQ(typed, "A");
  // Shift down, then A down with its character, A up, Shift up.
  EXPECT_EQ(f.rec->Msgs(), (std::vector<UINT>{CN_KEYDOWN, WM_KEYDOWN, CN_KEYDOWN, WM_KEYDOWN, CN_CHAR,
                                              WM_CHAR, CN_KEYUP, WM_KEYUP, CN_KEYUP, WM_KEYUP}));
  EXPECT_EQ(f.rec->Log[2].WParam, WPARAM('A'));
  EXPECT_EQ(f.rec->Log[5].WParam, WPARAM('A'));
  EXPECT_EQ(f.rec->Log[7].LParam & KF_UP_BIT, KF_UP_BIT);

  f.rec->Clear();
  typed.clear();
  Inject::Key('C', ssCtrl);
  EXPECT_EQ(typed, "\x03");
  f.rec->Clear();
  Inject::Key(VK_F2, ssAlt);
  // With Alt held the keys come as system keys, with no character.
  EXPECT_EQ(f.rec->Msgs(), (std::vector<UINT>{WM_SYSKEYDOWN, WM_SYSKEYDOWN, WM_SYSKEYUP, WM_SYSKEYUP}));
  EXPECT_NE(f.rec->Log[1].LParam & KF_ALTDOWN_BIT, 0);
}

TEST(MessageFlow, KeyDownHandlerSeesShiftAndCanSwallowTheKey) {
  TFormFixture f;
  f.rec->SetFocus();
  std::vector<std::pair<WORD, TShiftState>> seen;
  f.rec->OnKeyDown = [&](TObject*, WORD& k, TShiftState s) {
    seen.push_back({k, s});
    if (k == 'X') k = 0;
  };
  Inject::Key('X', ssShift | ssCtrl);
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[2].first, 'X');
  EXPECT_EQ(seen[2].second, ssShift | ssCtrl);
}

TEST(MessageFlow, PostFromAnotherThreadIsHandledOnlyWhenTheLoopPumps) {
  TFormFixture f;
  const UINT msg = WM_USER + 7000;
  f.rec->Keep = {msg};
  HWND h = f.rec->Handle();
  std::thread t([h] {
    for (int i = 0; i < 3; ++i) PostMessage(h, msg, static_cast<WPARAM>(i), 0);
  });
  t.join();
  EXPECT_TRUE(f.rec->Log.empty());
  EXPECT_EQ(Application->PendingMessages(), 3);
  Application->ProcessMessages();
  ASSERT_EQ(f.rec->Log.size(), 3u);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(f.rec->Log[i].WParam, WPARAM(i));
}

TEST(MessageFlow, PostToAFreedWindowIsDropped) {
  TFormFixture f;
  HWND h = f.rec->Handle();
  EXPECT_TRUE(PostMessage(h, WM_USER + 1, 0, 0));
  delete f.rec;
  EXPECT_FALSE(IsWindow(h));
  EXPECT_FALSE(PostMessage(h, WM_USER + 1, 0, 0));
  Application->ProcessMessages();  // the queued one is dropped: no crash under ASan
  EXPECT_EQ(Application->PendingMessages(), 0);
  EXPECT_EQ(SendMessage(h, WM_USER + 1, 0, 0), 0);
}

TEST(MessageFlow, SendFromAnotherThreadWaitsForTheLoopAndReturnsTheResult) {
  TFormFixture f;
  class TAnswer : public TControl {
   public:
    using TControl::TControl;
    void WndProc(TMessage& m) override {
      if (m.Msg == WM_USER + 5) {
        m.Result = static_cast<LRESULT>(m.WParam) * 2;
        return;
      }
      TControl::WndProc(m);
    }
  };
  auto* a = new TAnswer(f.form);
  a->SetParent(f.form);
  HWND h = a->Handle();
  std::atomic<LRESULT> got{-1};
  std::thread t([&] { got = SendMessage(h, WM_USER + 5, 21, 0); });
  while (Application->PendingMessages() == 0) std::this_thread::yield();
  EXPECT_EQ(got.load(), -1);
  Application->ProcessMessages();
  t.join();
  EXPECT_EQ(got.load(), 42);
}

TEST(MessageFlow, LoopOrderIsPostedThenTimersThenPaints) {
  TFormFixture f;
  std::vector<std::string> order;
  const UINT msg = WM_USER + 1;
  class TOrder : public TRecorder {
   public:
    using TRecorder::TRecorder;
    std::vector<std::string>* out = nullptr;
    void WndProc(TMessage& m) override {
      if (m.Msg == WM_USER + 1) out->push_back("posted");
      if (m.Msg == WM_PAINT) out->push_back("paint");
      TRecorder::WndProc(m);
    }
  };
  auto* o = new TOrder(f.form);
  o->out = &order;
  o->SetParent(f.form);
  o->SetBounds(0, 0, 10, 10);
  Application->ProcessMessages();
  order.clear();
  TTimer timer(nullptr);
  timer.SetInterval(10);
  timer.SetOnTimer([&](TObject*) {
    order.push_back("timer");
    timer.SetEnabled(false);
  });
  o->Invalidate();
  PostMessage(o->Handle(), msg, 0, 0);
  f.session.Clock().Skip(10);
  Application->ProcessMessages();
  EXPECT_EQ(order, (std::vector<std::string>{"posted", "timer", "paint"}));
}

TEST(MessageFlow, ExceptionInAHandlerIsReportedAndTheLoopGoesOn) {
  TFormFixture f;
  std::string reported;
  Application->OnException = [&](TObject*, const std::exception& e) { reported = e.what(); };
  f.rec->OnMouseDown = [](TObject*, TMouseButton, TShiftState, int, int) { throw Exception("boom"); };
  Inject::Click(f.rec, 1, 1);
  EXPECT_EQ(reported, "boom");
  Application->OnException = nullptr;
  EXPECT_FALSE(f.rec->MouseCapture() && GetCapture() == 0);
}

}  // namespace

namespace {

TEST(MessageFlow, PostsRacingTheWindowsDestructionAreDroppedSafely) {
  TFormFixture f;
  const UINT msg = WM_USER + 9;
  f.rec->Keep = {msg};
  HWND h = f.rec->Handle();
  std::atomic<bool> go{true};
  std::atomic<int> refused{0};
  std::thread poster([&] {
    while (go) {
      if (!PostMessage(h, msg, 0, 0)) ++refused;
      std::this_thread::yield();
    }
  });
  while (f.rec->Log.size() < 20) Application->ProcessMessages();
  delete f.rec;
  // Whatever was queued before or after is dropped; nothing touches the
  // freed control (ASan watches).
  for (int i = 0; i < 50; ++i) Application->ProcessMessages();
  while (refused == 0) std::this_thread::yield();
  go = false;
  poster.join();
  Application->ClearMessages();
  EXPECT_GT(refused.load(), 0);
}

}  // namespace

#include <gtest/gtest.h>

#include "imaging/core/ie_window_calls.h"
#include "imaging/core/ieview.h"
#include "platform/application.h"
#include "platform/clipboard.h"
#include "platform/forms.h"
#include "platform/inject.h"
#include "platform/keys.h"
#include "platform/scrollbars.h"
#include "platform/timers.h"

using namespace redozir;

TEST(IEWindowCalls, PrimaryButtonFollowsTheSwap) {
  THeadlessSession session;
  struct Case {
    bool swapped;
    TMouseButton physical;
    bool primary;
  } cases[] = {{false, mbLeft, true}, {false, mbRight, false}, {true, mbRight, true}, {true, mbLeft, false}};
  for (const auto& c : cases) {
    key_state::Reset();
    SwapMouseButton(c.swapped);
    EXPECT_FALSE(IEIsPrimaryButtonDown());
    key_state::SetPhysicalButton(c.physical, true);
    EXPECT_EQ(IEIsPrimaryButtonDown(), c.primary) << c.swapped << " " << int(c.physical);
    key_state::SetPhysicalButton(c.physical, false);
  }
  SwapMouseButton(false);
}

TEST(IEWindowCalls, ClipboardOpensWithRetriesAndGivesUp) {
  THeadlessSession session;
  ASSERT_TRUE(IEOpenClipboard());
  std::uint64_t before = session.Clock().Now();
  EXPECT_FALSE(IEOpenClipboard());  // already open: ten tries, then False
  EXPECT_GE(session.Clock().Now() - before, 9u * 20u);
  CloseClipboard();
  EXPECT_TRUE(IEOpenClipboard());
  CloseClipboard();
}

TEST(IEWindowCalls, ScrollBarsPlainAndFlat) {
  THeadlessSession session;
  auto* form = new TForm(nullptr);
  form->SetBounds(0, 0, 200, 150);
  auto* view = new TIEView(form);
  view->SetParent(form);
  view->SetBounds(10, 10, 120, 90);
  form->Show();
  Application->ProcessMessages();
  EXPECT_EQ(view->BorderStyle(), bsSingle);
  EXPECT_TRUE(view->Ctl3D());
  ASSERT_NE(view->GetCanvas(), nullptr);
  for (bool flat : {false, true}) {
    HWND h = view->Handle();
    if (flat) InitializeFlatSB(h);
    IESetScrollBarParams(h, SB_HORZ, 0, 99, 10, 40, true, flat);
    const TWindowScrollBar& sb = view->ScrollBar(SB_HORZ);
    EXPECT_EQ(sb.Max, 99);
    EXPECT_EQ(sb.Page, 10u);
    EXPECT_EQ(sb.Pos, 40);
    EXPECT_TRUE(IESetScrollRange(h, SB_HORZ, 0, 50, true, flat));
    IESetScrollPos(h, SB_HORZ, 30, true, flat);
    EXPECT_EQ(sb.Pos, 30);
    EXPECT_TRUE(IEShowScrollBar(h, SB_VERT, true, flat));
    EXPECT_TRUE(view->ScrollBar(SB_VERT).Visible);
    IEEnableScrollBar(h, SB_VERT, ESB_DISABLE_BOTH, flat);
    EXPECT_FALSE(view->ScrollBar(SB_VERT).Enabled);
    IEShowScrollBar(h, SB_VERT, false, flat);
    IEEnableScrollBar(h, SB_VERT, ESB_ENABLE_BOTH, flat);
  }
  EXPECT_FALSE(IEShowScrollBar(0, SB_VERT, true, false));  // no window: no effect
  delete form;
}

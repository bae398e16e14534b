#include <gtest/gtest.h>

#include "recorder.h"

using namespace redozir;

namespace {

void SetBar(HWND h, int bar, int max, UINT page, int pos) {
  TScrollInfo si;
  si.fMask = SIF_ALL;
  si.nMax = max;
  si.nPage = page;
  si.nPos = pos;
  SetScrollInfo(h, bar, si, true);
}

TEST(ScrollBars, ShowingABarSendsExactlyOneSizeWithTheSmallerClient) {
  struct TCase {
    const char* name;
    int bar;
    bool bordered;
    int clientW, clientH;
  };
  // The recorder is 100 x 80; bars are 17 pixels, a 3-D border 2 per side.
  const TCase cases[] = {
      {"vertical", SB_VERT, false, 83, 80},
      {"horizontal", SB_HORZ, false, 100, 63},
      {"both at once", SB_BOTH, false, 83, 63},
      {"vertical inside a border", SB_VERT, true, 79, 76},
  };
  for (const TCase& c : cases) {
    TFormFixture f;
    if (c.bordered) f.rec->SetBorderStyle(bsSingle);
    Application->ProcessMessages();
    f.rec->Keep = {WM_SIZE};
    f.rec->Clear();
    ASSERT_TRUE(ShowScrollBar(f.rec->Handle(), c.bar, true));
    ASSERT_EQ(f.rec->Log.size(), 1u) << c.name;
    EXPECT_EQ(LOWORD(f.rec->Log[0].LParam), c.clientW) << c.name;
    EXPECT_EQ(HIWORD(f.rec->Log[0].LParam), c.clientH) << c.name;
    EXPECT_EQ(f.rec->ClientWidth(), c.clientW) << c.name;
    EXPECT_EQ(f.rec->ClientHeight(), c.clientH) << c.name;
    // Showing it again changes nothing and sends nothing.
    ShowScrollBar(f.rec->Handle(), c.bar, true);
    EXPECT_EQ(f.rec->Log.size(), 1u) << c.name;
    ShowScrollBar(f.rec->Handle(), c.bar, false);
    ASSERT_EQ(f.rec->Log.size(), 2u) << c.name;
    EXPECT_EQ(f.rec->ClientWidth(), c.bordered ? 96 : 100) << c.name;
  }
}

TEST(ScrollBars, SetScrollInfoClampsThePositionAndShowsTheBarWhenNeeded) {
  TFormFixture f;
  HWND h = f.rec->Handle();
  TScrollInfo si;
  si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
  si.nMin = 0;
  si.nMax = 99;
  si.nPage = 10;
  si.nPos = 200;
  EXPECT_EQ(SetScrollInfo(h, SB_VERT, si, true), 90);  // the last page starts at 90
  EXPECT_TRUE(f.rec->ScrollBar(SB_VERT).Visible);
  EXPECT_EQ(SetScrollPos(h, SB_VERT, -5, true), 90);
  EXPECT_EQ(GetScrollPos(h, SB_VERT), 0);
  // A page that covers the range: the bar goes, or stays disabled.
  si.fMask = SIF_PAGE;
  si.nPage = 100;
  SetScrollInfo(h, SB_VERT, si, true);
  EXPECT_FALSE(f.rec->ScrollBar(SB_VERT).Visible);
  si.fMask = SIF_RANGE | SIF_PAGE | SIF_DISABLENOSCROLL;
  si.nPage = 200;
  ShowScrollBar(h, SB_VERT, true);
  SetScrollInfo(h, SB_VERT, si, true);
  EXPECT_TRUE(f.rec->ScrollBar(SB_VERT).Visible);
  EXPECT_FALSE(f.rec->ScrollBar(SB_VERT).Enabled);
  // No window, no effect.
  EXPECT_EQ(SetScrollInfo(0, SB_VERT, si, true), 0);
  EXPECT_FALSE(ShowScrollBar(12345, SB_VERT, true));
}

TEST(ScrollBars, ClicksOnTheBarSendTheScrollCodes) {
  struct TCase {
    TScrollBarPart part;
    int code;
  };
  const TCase cases[] = {
      {sbpLineUp, SB_LINEUP},
      {sbpLineDown, SB_LINEDOWN},
      {sbpPageUp, SB_PAGEUP},
      {sbpPageDown, SB_PAGEDOWN},
  };
  for (int bar : {SB_HORZ, SB_VERT}) {
    for (const TCase& c : cases) {
      TFormFixture f;
      HWND h = f.rec->Handle();
      SetBar(h, bar, 999, 100, 450);
      UINT msg = bar == SB_HORZ ? WM_HSCROLL : WM_VSCROLL;
      f.rec->Keep = {msg, WM_LBUTTONDOWN, WM_LBUTTONUP};
      f.rec->Clear();
      Inject::ScrollBarClick(f.rec, bar, c.part);
      ASSERT_EQ(f.rec->Msgs(), (std::vector<UINT>{msg, msg})) << "part " << c.part;
      EXPECT_EQ(LOWORD(f.rec->Log[0].WParam), c.code);
      EXPECT_EQ(LOWORD(f.rec->Log[1].WParam), SB_ENDSCROLL);
      // The platform leaves the position to the window.
      EXPECT_EQ(GetScrollPos(h, bar), 450);
    }
  }
}

TEST(ScrollBars, DraggingTheThumbTracksAndEndsWithThePosition) {
  TFormFixture f;
  HWND h = f.rec->Handle();
  SetBar(h, SB_VERT, 65535, 16384, 0);
  f.rec->Keep = {WM_VSCROLL};
  f.rec->Clear();
  Inject::ScrollBarDrag(f.rec, SB_VERT, 30000);
  ASSERT_GE(f.rec->Log.size(), 3u);
  EXPECT_EQ(LOWORD(f.rec->Log.front().WParam), SB_THUMBTRACK);
  const TRecorded& pos = f.rec->Log[f.rec->Log.size() - 2];
  EXPECT_EQ(LOWORD(pos.WParam), SB_THUMBPOSITION);
  // The track is 80 - 2 x 17 = 46 pixels: one pixel is about 1100 positions.
  EXPECT_NEAR(HIWORD(pos.WParam), 30000, 1200);
  EXPECT_EQ(LOWORD(f.rec->Log.back().WParam), SB_ENDSCROLL);
  TScrollInfo got;
  got.fMask = SIF_TRACKPOS;
  GetScrollInfo(h, SB_VERT, got);
  EXPECT_EQ(got.nTrackPos, HIWORD(pos.WParam));
}

TEST(ScrollBars, DisabledBarsIgnoreClicksAndFlatBarsKeepTheirFlag) {
  TFormFixture f;
  HWND h = f.rec->Handle();
  ShowScrollBar(h, SB_HORZ, true);
  SetScrollRange(h, SB_HORZ, 0, 100, true);
  EnableScrollBar(h, SB_HORZ, ESB_DISABLE_BOTH);
  f.rec->Keep = {WM_HSCROLL};
  f.rec->Clear();
  TScrollBarLayout l = ScrollBarLayout(f.rec, SB_HORZ);
  Inject::Click(f.form, 20 + l.LineUp.Left + 2, 10 + l.LineUp.Top + 2);
  EXPECT_TRUE(f.rec->Log.empty());
  EXPECT_TRUE(InitializeFlatSB(h));
  EXPECT_TRUE(f.rec->ScrollBar(SB_HORZ).Flat);
  EXPECT_TRUE(f.rec->ScrollBar(SB_VERT).Flat);
  UninitializeFlatSB(h);
  EXPECT_FALSE(f.rec->ScrollBar(SB_HORZ).Flat);
}

}  // namespace

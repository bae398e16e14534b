#include <gtest/gtest.h>

#include <cstring>

#include "platform/clipboard.h"
#include "platform/exceptions.h"
#include "platform/keys.h"
#include "recorder.h"

using namespace redozir;

namespace {

TEST(KeyState, ToggleBitFlipsOnEachPressAndShiftStateFollows) {
  THeadlessSession s;
  EXPECT_EQ(GetKeyState(VK_CAPITAL), 0);
  Inject::Key(VK_CAPITAL);
  EXPECT_EQ(GetKeyState(VK_CAPITAL), 1);
  Inject::KeyDown(VK_CAPITAL);
  EXPECT_EQ(static_cast<std::uint16_t>(GetKeyState(VK_CAPITAL)), 0x8000);
  Inject::KeyUp(VK_CAPITAL);
  Inject::KeyDown(VK_SHIFT);
  Inject::KeyDown(VK_MENU);
  EXPECT_EQ(GetShiftState(), ssShift | ssAlt);
  EXPECT_LT(GetAsyncKeyState(VK_SHIFT), 0);
  Inject::KeyUp(VK_MENU);
  Inject::KeyUp(VK_SHIFT);
  EXPECT_EQ(GetShiftState(), 0);
}

TEST(Caret, BelongsToOneWindowAndGoesWithIt) {
  TFormFixture f;
  HWND h = f.rec->Handle();
  EXPECT_FALSE(ShowCaret(h)) << "no caret yet";
  ASSERT_TRUE(CreateCaret(h, 0, 14));
  EXPECT_FALSE(CaretState().Visible()) << "created hidden";
  EXPECT_TRUE(SetCaretPos(5, 7));
  EXPECT_TRUE(ShowCaret(h));
  EXPECT_TRUE(CaretState().Visible());
  EXPECT_EQ(CaretState().Height, 14);
  EXPECT_EQ(CaretState().Width, 1);
  HideCaret(h);
  HideCaret(h);
  ShowCaret(h);
  EXPECT_FALSE(CaretState().Visible()) << "hides nest";
  ShowCaret(h);
  TPoint p;
  EXPECT_TRUE(GetCaretPos(p));
  EXPECT_EQ(p, (TPoint{5, 7}));
  delete f.rec;
  EXPECT_EQ(CaretState().Owner, 0u);
  EXPECT_FALSE(DestroyCaret());
}

TEST(Clipboard, FormatsByNameAndBlocksRoundTrip) {
  THeadlessSession s;
  UINT vect = RegisterClipboardFormat("REDOZIR VECT");
  UINT memo = RegisterClipboardFormat("REDOZIR TEXTMEMO");
  EXPECT_GE(vect, 0xC000u);
  EXPECT_NE(vect, memo);
  EXPECT_EQ(RegisterClipboardFormat("redozir vect"), vect);
  EXPECT_EQ(GetClipboardFormatName(memo), "REDOZIR TEXTMEMO");
  EXPECT_EQ(RegisterClipboardFormat(""), 0u);

  const std::uint8_t block[] = {1, 2, 3, 0, 5};
  EXPECT_FALSE(SetClipboardBytes(vect, block, sizeof block)) << "not open";
  ASSERT_TRUE(OpenClipboard(0));
  EXPECT_FALSE(OpenClipboard(0)) << "already open";
  EXPECT_TRUE(EmptyClipboard());
  EXPECT_TRUE(SetClipboardBytes(vect, block, sizeof block));
  EXPECT_TRUE(SetClipboardBytes(CF_TEXT, "ab\r\nc", 6));
  EXPECT_TRUE(CloseClipboard());
  EXPECT_TRUE(IsClipboardFormatAvailable(vect));
  EXPECT_FALSE(IsClipboardFormatAvailable(memo));
  std::string text;
  ASSERT_TRUE(GetClipboardText(text));
  EXPECT_EQ(text, "ab\r\nc");
  ASSERT_TRUE(OpenClipboard(0));
  std::vector<std::uint8_t> got;
  EXPECT_TRUE(GetClipboardBytes(vect, got));
  EXPECT_EQ(got, std::vector<std::uint8_t>(block, block + sizeof block));
  EmptyClipboard();
  CloseClipboard();
  EXPECT_EQ(CountClipboardFormats(), 0);
}

TEST(Clipboard, TakesGlobalBlocksAndFreesThemWhenReplacedOrEmptied) {
  THeadlessSession s;
  UINT fmt = RegisterClipboardFormat("REDOZIR TEXTMEMO");
  HGLOBAL a = GlobalAlloc(GMEM_MOVEABLE | GMEM_SHARE, 4);
  HGLOBAL b = GlobalAlloc(GMEM_MOVEABLE | GMEM_SHARE, 8);
  std::memcpy(GlobalLock(b), "12345678", 8);
  GlobalUnlock(b);
  EXPECT_EQ(SetClipboardData(fmt, a), nullptr) << "not open";
  ASSERT_TRUE(OpenClipboard(0));
  EXPECT_EQ(SetClipboardData(fmt, a), a);
  EXPECT_EQ(SetClipboardData(fmt, b), b);
  EXPECT_EQ(GlobalSize(a), 0u) << "the replaced block was freed";
  EXPECT_EQ(GetClipboardData(fmt), b);
  EXPECT_EQ(GlobalSize(GetClipboardData(fmt)), 8u);
  EXPECT_EQ(SetClipboardData(fmt, a), nullptr) << "a freed block is refused";
  EmptyClipboard();
  EXPECT_EQ(GlobalSize(b), 0u);
  EXPECT_EQ(GetClipboardData(fmt), nullptr);
  CloseClipboard();
  EXPECT_EQ(GetClipboardData(CF_TEXT), nullptr) << "closed";
}

TEST(Clipboard, OpenRetriesWhileAnotherHolderHasIt) {
  THeadlessSession s;
  std::uint64_t start = Clock()->Now();
  SetClipboardBusy(3);
  EXPECT_TRUE(OpenClipboardWithRetries(0, 10, 20));
  EXPECT_EQ(Clock()->Now() - start, 60u) << "three waits of 20 ms";
  CloseClipboard();
  SetClipboardBusy(10);
  EXPECT_FALSE(OpenClipboardWithRetries(0, 10, 20));
  EXPECT_TRUE(SetClipboardText("x"));
}

TEST(Cursor, ControlCursorShowsUnderTheMouseUnlessTheScreenCursorIsSet) {
  TFormFixture f;
  HCURSOR custom = CreateShapeCursor("CROCE3", csCrossShape);
  Screen->SetCursors(1785, custom);
  f.rec->SetCursor(1785);
  Inject::MouseMove(f.rec, 5, 5);
  EXPECT_EQ(GetCursor(), custom);
  Inject::MouseMove(f.form, 150, 120);
  EXPECT_EQ(GetCursor(), Screen->Cursors(crArrow));
  Screen->SetCursor(crHourGlass);
  EXPECT_EQ(GetCursor()->Shape, csWaitShape);
  Inject::MouseMove(f.rec, 6, 6);
  EXPECT_EQ(GetCursor()->Shape, csWaitShape);
  Screen->SetCursor(crDefault);
  EXPECT_EQ(GetCursor(), custom);
  EXPECT_EQ(Screen->Cursors(4242), Screen->Cursors(crArrow)) << "unknown ids give the arrow";
  EXPECT_EQ(Screen->PixelsPerInch(), 96);
}

TEST(Cursor, PicturesBecomeImageCursorsInTheTable) {
  // Colour over mask: black mask shows the colour; white mask over black is
  // see-through, over another colour (an inverting pixel) black.
  TBitmap color(2, 2, pf24bit), mask(2, 2, pf1bit);
  color.SetPixel(0, 0, clRed);
  color.SetPixel(1, 1, clBlue);
  mask.SetPixel(1, 0, clWhite);
  mask.SetPixel(1, 1, clWhite);
  HCURSOR masked = CreateMaskedCursor("CROCE3+", color, mask, 1, 0);
  EXPECT_EQ(masked->Shape, csImageShape);
  EXPECT_EQ(masked->Pixels, (std::vector<std::uint32_t>{0xFFFF0000u, 0u, 0xFF000000u, 0xFF000000u}));
  EXPECT_EQ(masked->HotX, 1);
  EXPECT_EQ(CreateMaskedCursor("CROCE3+", color, mask, 1, 0), masked) << "the same picture, the same handle";
  EXPECT_NE(CreateMaskedCursor("CROCE3+", color, mask, 0, 0), masked) << "another hot spot";

  // A 32-bit bitmap's fourth byte is the alpha.
  TBitmap argb(1, 1, pf32bit);
  const std::uint8_t bgra[4] = {1, 2, 3, 0x80};
  std::memcpy(argb.ScanLine(0), bgra, 4);
  HCURSOR half = CreateImageCursor("half", argb, 0, 0);
  EXPECT_EQ(half->Pixels, (std::vector<std::uint32_t>{0x80030201u}));

  // Registered under an id: a control showing that id shows the picture, and
  // a new picture under the same id replaces it on screen at once.
  TFormFixture f;
  Screen->SetCursors(1791, masked);
  f.rec->SetCursor(1791);
  Inject::MouseMove(f.rec, 5, 5);
  EXPECT_EQ(GetCursor(), masked);
  Screen->SetCursors(1791, half);
  EXPECT_EQ(GetCursor(), half);
  Screen->SetCursors(1791, nullptr);
  EXPECT_EQ(Screen->Cursors(1791), Screen->Cursors(crArrow));

  struct Bad {
    int w, h, hotX, hotY;
    size_t pixels;
  } bad[] = {{0, 1, 0, 0, 0}, {257, 1, 0, 0, 257}, {2, 2, 2, 0, 4}, {2, 2, 0, -1, 4}, {2, 2, 0, 0, 3}};
  for (const Bad& b : bad)
    EXPECT_THROW(CreateImageCursor("bad", b.w, b.h, std::vector<std::uint32_t>(b.pixels), b.hotX, b.hotY),
                 EInvalidGraphic)
        << b.w << " x " << b.h << " hot " << b.hotX << ", " << b.hotY;
  TBitmap small(1, 2, pf1bit);
  EXPECT_THROW(CreateMaskedCursor("bad", color, small, 0, 0), EInvalidGraphic);
}

TEST(Cursor, MouseEnterAndLeaveFollowTheHover) {
  TFormFixture f;
  std::vector<std::string> ev;
  f.rec->OnMouseEnter = [&](TObject*) { ev.push_back("enter"); };
  f.rec->OnMouseLeave = [&](TObject*) { ev.push_back("leave"); };
  Inject::MouseMove(f.rec, 1, 1);
  Inject::MouseMove(f.rec, 2, 2);
  Inject::MouseMove(f.form, 190, 140);
  EXPECT_EQ(ev, (std::vector<std::string>{"enter", "leave"}));
}

}  // namespace

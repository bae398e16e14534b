#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "imaging/view/ie_textcontrol.h"
#include "platform/application.h"
#include "platform/clipboard.h"
#include "platform/dialogs.h"
#include "platform/font.h"
#include "platform/forms.h"
#include "platform/inject.h"
#include "platform/keys.h"

using namespace redozir;

namespace {

// Every character 10 wide, lines 10 high (ascent 8, descent 2, internal
// leading 1): baselines lie 9 below a line's top.
struct TFixedMetrics {
  TFixedTextMeasurer measurer{10, 8, 2, 1};
  TTextMeasurer* previous;
  TFixedMetrics() : previous(SetTextMeasurer(&measurer)) {}
  ~TFixedMetrics() { SetTextMeasurer(previous); }
};

TIETextMemo MemoOf(const std::string& text) {
  TIETextMemo m;
  m.Text = text;
  return m;
}

// A parentless control laid out on W x H units of a bitmap, as vector
// objects draw memos.
struct TLaidOut {
  TFixedMetrics metrics;
  TIETextControl ctl{nullptr};
  TBitmap bmp{300, 200, pf24bit};
  void Layout(int W, int H) {
    TIECanvas c(bmp.Canvas(), false, false);
    ctl.LayoutAndDraw(&c, 0, 0, W, H);
  }
};

// The control (60 x 60 client pixels) focused on a shown form.
struct TOnForm {
  TFixedMetrics metrics;
  THeadlessSession session;
  TForm* form;
  TIETextControl* ctl;
  explicit TOnForm(const std::string& text, int W = 60, int H = 60) {
    ResetClipboard();
    form = new TForm(nullptr);
    form->SetBounds(0, 0, 300, 200);
    ctl = new TIETextControl(form);
    ctl->SetParent(form);
    ctl->SetBounds(0, 0, W, H);
    ctl->SetMemo(MemoOf(text));
    form->Show();
    ctl->SetFocus();
    Application->ProcessMessages();
  }
  ~TOnForm() {
    delete form;
    ResetClipboard();
  }
};

// Every index names a record, and every count is the number of characters
// that name it.
void ExpectConsistent(const TIETextMemo& m, const char* what) {
  ASSERT_EQ(m.Indices.size(), m.Text.size()) << what;
  std::vector<int> counts(m.Records.size(), 0);
  for (std::int32_t idx : m.Indices) {
    ASSERT_GE(idx, 0) << what;
    ASSERT_LT(static_cast<std::size_t>(idx), m.Records.size()) << what;
    ++counts[idx];
  }
  for (std::size_t r = 0; r < m.Records.size(); ++r)
    EXPECT_EQ(m.Records[r].RefCount, counts[r]) << what << " record " << r;
}

}  // namespace

TEST(IETextControl, LayoutWorkedOutByHand) {
  struct TPos {
    int index, x, y;
  };
  struct TCase {
    const char* name;
    std::string text;
    int width;
    double marginLeft;
    int alignment;
    double zoom;
    std::vector<TPos> chars;
    int caret;
    TPoint caretPos;
    int caretHeight;
    int lineSpacing = 0;
  };
  const std::string a20(20, 'a');
  const TCase cases[] = {
      // Width 60: text width 58, so a character fits while x + 10 + 2 < 58.
      {"wrap after the last space; an over-long word breaks at the line width",
       "ab cdefgh",
       60,
       0,
       0,
       1.0,
       {{0, 1, 1}, {1, 11, 1}, {2, 21, 1}, {3, 1, 11}, {7, 41, 11}, {8, 1, 21}},
       9,
       {11, 21},
       10},
      // Width 200: inset 1 and text width 198 (19 characters of 10 fit).
      {"width 200", a20, 200, 0, 0, 1.0, {{0, 1, 1}, {18, 181, 1}, {19, 1, 11}}, 0, {1, 1}, 10},
      // Right aligned "ab" ends 1 left of the text width: 198 - 21 - 1.
      {"width 200 right aligned",
       "ab",
       200,
       0,
       ieTextAlignRight,
       1.0,
       {{0, 177, 1}, {1, 187, 1}},
       2,
       {197, 1},
       10},
      // A 10 % left margin: inset 21 and text width 178 (17 characters fit).
      {"left margin 10 %", a20, 200, 10, 0, 1.0, {{0, 21, 1}, {16, 181, 1}, {17, 21, 11}}, 0, {21, 1}, 10},
      {"left margin 10 % right aligned",
       "ab",
       200,
       10,
       ieTextAlignRight,
       1.0,
       {{0, 157, 1}, {1, 167, 1}},
       0,
       {157, 1},
       10},
      // (58 - 11 - 10) / 2 = 18.
      {"centred", "ab", 60, 0, ieTextAlignCenter, 1.0, {{0, 19, 1}, {1, 29, 1}}, 1, {29, 1}, 10},
      // "ab cd " stretched by 58 / 52 (the trailing space does not count); the
      // last line keeps its widths.
      {"justified",
       "ab cd ef",
       60,
       0,
       ieTextAlignJustify,
       1.0,
       {{0, 1, 1}, {1, 12, 1}, {2, 23, 1}, {3, 34, 1}, {4, 45, 1}, {5, 56, 1}, {6, 1, 11}, {7, 11, 11}},
       8,
       {21, 11},
       10},
      {"a first character wider than the line stops the layout",
       "ab",
       13,
       0,
       0,
       1.0,
       {{1, -1, -1}},
       0,
       {1, 1},
       10},
      {"caret after a final line break", "ab\n", 60, 0, 0, 1.0, {{0, 1, 1}, {2, 21, 1}}, 3, {1, 11}, 10},
      {"caret on an empty text", "", 60, 0, 0, 1.0, {}, 0, {1, 1}, 10},
      {"caret on an empty line", "ab\n\ncd", 60, 0, 0, 1.0, {{4, 1, 21}}, 3, {1, 11}, 10},
      {"zoom 2 doubles positions and the caret",
       "ab",
       60,
       0,
       0,
       2.0,
       {{0, 2, 2}, {1, 22, 2}},
       2,
       {42, 2},
       20},
      // Lines of 10 pixels, 2048 pixels apart at most either way.
      {"line spacing clamped above", "a\nb", 60, 0, 0, 1.0, {{2, 1, 2059}}, 0, {1, 1}, 10, INT_MAX},
      {"line spacing clamped below", "a\nb", 60, 0, 0, 1.0, {{2, 1, -2037}}, 0, {1, 1}, 10, INT_MIN},
  };
  for (const TCase& c : cases) {
    TLaidOut l;
    l.ctl.SetAlignment(c.alignment);
    l.ctl.SetMemo(MemoOf(c.text));
    l.ctl.SetMargins(c.marginLeft, 0, 0, 0);
    l.ctl.SetZoom(c.zoom);
    l.ctl.SetCaretIndex(c.caret);
    l.ctl.SetLineSpacing(c.lineSpacing);
    l.Layout(c.width, 50);
    for (const TPos& p : c.chars) {
      EXPECT_EQ(l.ctl.CharX(p.index), p.x) << c.name << " char " << p.index;
      EXPECT_EQ(l.ctl.CharY(p.index), p.y) << c.name << " char " << p.index;
    }
    EXPECT_EQ(l.ctl.CaretPos().X, c.caretPos.X) << c.name;
    EXPECT_EQ(l.ctl.CaretPos().Y, c.caretPos.Y) << c.name;
    EXPECT_EQ(l.ctl.CaretHeight(), c.caretHeight) << c.name;
  }
}

TEST(IETextControl, CollectsTheLinesThatFitAndIgnoresTinyAreas) {
  TLaidOut l;
  l.ctl.SetMemo(MemoOf("ab cdefgh"));
  l.ctl.CollectLines = true;
  l.Layout(60, 50);
  EXPECT_EQ(l.ctl.CollectedText(), "ab \ncdefg\nh\n");
  // Text height 13: the second line's baseline (20) lies below 1 + 13.
  l.Layout(60, 15);
  EXPECT_EQ(l.ctl.CollectedText(), "ab \n");
  // A layout area of width 1 changes nothing.
  l.Layout(1, 50);
  EXPECT_EQ(l.ctl.CollectedText(), "ab \n");
}

TEST(IETextControl, ZoomedGapFillWithASpaceOfNoWidthEnds) {
  // Spaces without width, so a justified line at zoom 2 has gaps to fill.
  struct TNoSpace : TFixedTextMeasurer {
    TNoSpace() : TFixedTextMeasurer(10, 8, 2, 1) {}
    TSize Extent(const TFont& f, const std::u32string& t) override {
      TSize s = TFixedTextMeasurer::Extent(f, t);
      for (char32_t ch : t)
        if (ch == U' ') s.cx -= 10;
      return s;
    }
  } measurer;
  TLaidOut l;
  SetTextMeasurer(&measurer);
  l.ctl.SetAlignment(ieTextAlignJustify);
  l.ctl.SetMemo(MemoOf("ab cd efghij kl"));
  l.ctl.SetZoom(2.0);
  l.Layout(60, 50);
  // "k" starts the third line: (10 + 10 + 1) x 2.
  EXPECT_EQ(l.ctl.CharY(13), 42);
  SetTextMeasurer(&l.metrics.measurer);
}

TEST(IETextControl, SelectedTextInvertsResolvedColours) {
  TLaidOut l;
  l.ctl.Font.Color = clWindowText;          // black once resolved
  l.ctl.Brush = TBrush{clWindow, bsSolid};  // white once resolved
  l.ctl.BackgroundBrush.Style = bsClear;
  l.ctl.SetMemo(MemoOf("ac"));
  l.ctl.SetSelection(0, 1);
  l.bmp.Canvas()->Brush.Color = clRed;
  l.bmp.Canvas()->FillRect(Rect(0, 0, 300, 200));
  l.Layout(60, 50);
  // The cells reach above the baseline (10) by the font's ascent; their
  // second row holds no ink of "a" or "c".
  EXPECT_EQ(l.bmp.GetPixel(3, 2), clBlack);
  EXPECT_EQ(l.bmp.GetPixel(13, 2), clWhite);
}

TEST(IETextControl, InitChecksIndicesAndRecountsRecords) {
  TLaidOut l;
  TIETextMemo m = MemoOf("abc");
  TIECharInfo r = TIECharInfo::Make(TFont{}, TBrush{}, 0);
  r.RefCount = 99;
  r.Height = 1 << 30;
  r.Align = 9;
  r.BrushStyle = 200;
  m.Records = {r};
  m.Indices = {0, 5, -1};
  l.ctl.SetMemo(m);
  ExpectConsistent(l.ctl.Memo(), "handed in");
  EXPECT_EQ(l.ctl.Memo().Records[0].RefCount, 3);
  EXPECT_EQ(l.ctl.Memo().Records[0].Height, kIEMaxTextFontHeight);
  EXPECT_EQ(l.ctl.Memo().Records[0].Align, ieTextAlignLeft);
  EXPECT_EQ(l.ctl.Memo().Records[0].BrushStyle, bsClear);
  // A text without records gets one record for all of it.
  l.ctl.SetMemo(MemoOf("xyz"));
  ASSERT_EQ(l.ctl.Memo().Records.size(), 1u);
  EXPECT_EQ(l.ctl.Memo().Records[0].RefCount, 3);
}

TEST(IETextControl, TypedCharactersShareRecordsThroughFormattingDeletingAndPacking) {
  TOnForm f("");
  Inject::Text(std::string(100, 'a'));
  ASSERT_EQ(f.ctl->Memo().Text, std::string(100, 'a'));
  ASSERT_EQ(f.ctl->Memo().Records.size(), 1u);
  EXPECT_EQ(f.ctl->Memo().Records[0].RefCount, 100);
  auto bold = [&](int i) {
    const TIETextMemo& m = f.ctl->Memo();
    return (m.Records[m.Indices[i]].Style & fsBold) != 0;
  };
  f.ctl->SetSelection(10, 20);
  Inject::Key('B', ssCtrl);
  ExpectConsistent(f.ctl->Memo(), "bold 10..19");
  EXPECT_EQ(f.ctl->Memo().Records.size(), 2u);
  EXPECT_TRUE(bold(10) && bold(19) && !bold(9) && !bold(20));
  // The first selected character decides: 5 is not bold, so all become bold;
  // then 10 is bold, so all become plain.
  f.ctl->SetSelection(5, 15);
  Inject::Key('B', ssCtrl);
  EXPECT_TRUE(bold(5) && bold(14) && bold(19));
  f.ctl->SetSelection(10, 25);
  Inject::Key('B', ssCtrl);
  EXPECT_TRUE(bold(5) && bold(9) && !bold(10) && !bold(24));
  ExpectConsistent(f.ctl->Memo(), "toggled");
  // Deleting every bold character leaves the bold record unused.
  f.ctl->SetSelection(3, 12);
  Inject::Key(VK_DELETE);
  EXPECT_EQ(f.ctl->TextLength(), 91);
  ExpectConsistent(f.ctl->Memo(), "deleted");
  EXPECT_EQ(f.ctl->Memo().Records[1].RefCount, 0);
  // All bold: the first record falls out of use, and packing renumbers.
  f.ctl->SetSelection(0, 91);
  Inject::Key('B', ssCtrl);
  EXPECT_EQ(f.ctl->Memo().Records[0].RefCount, 0);
  TIETextMemo m = f.ctl->TakeMemo();
  IEPackTextRecords(m);
  ExpectConsistent(m, "packed");
  ASSERT_EQ(m.Records.size(), 1u);
  EXPECT_EQ(m.Records[0].RefCount, 91);
  EXPECT_EQ(m.Records[0].Style, fsBold);
}

TEST(IETextControl, ClipboardKeepsFormatsAndRefusesShortBlocks) {
  TOnForm f("ab\nc");
  const UINT memoFormat = IETextMemoClipboardFormat();
  f.ctl->SetSelection(1, 2);
  f.ctl->ToggleSelStyle(fsBold);
  f.ctl->SetSelection(0, 4);
  ASSERT_TRUE(f.ctl->CopyToClipboard());
  std::vector<std::uint8_t> plain, memo;
  ASSERT_TRUE(OpenClipboard(0));
  ASSERT_TRUE(GetClipboardBytes(CF_TEXT, plain));
  ASSERT_TRUE(GetClipboardBytes(memoFormat, memo));
  CloseClipboard();
  EXPECT_EQ(plain, (std::vector<std::uint8_t>{'a', 'b', 13, 10, 'c', 0}));
  ASSERT_EQ(memo.size(), 1125u);
  EXPECT_EQ(std::memcmp(memo.data(), "ab\nc", 5), 0);
  EXPECT_EQ(TIECharInfo::FromBytes(memo.data() + 5 + 280).Style, fsBold);

  // Formats come back on paste.
  f.ctl->SetSelection(4, 4);
  ASSERT_TRUE(f.ctl->PasteFromClipboard());
  const TIETextMemo& m = f.ctl->Memo();
  EXPECT_EQ(m.Text, "ab\ncab\nc");
  EXPECT_EQ(m.Records[m.Indices[5]].Style, fsBold);
  EXPECT_EQ(m.Records[m.Indices[4]].Style, 0);
  ExpectConsistent(m, "pasted");

  auto putBlocks = [&](std::size_t memoBytes, const char* text) {
    ASSERT_TRUE(OpenClipboard(0));
    EmptyClipboard();
    SetClipboardBytes(memoFormat, memo.data(), memoBytes);
    if (text) SetClipboardBytes(CF_TEXT, text, std::strlen(text) + 1);
    CloseClipboard();
  };
  struct TCase {
    const char* name;
    std::function<void()> setUp;
    bool pasted;
    const char* text;
  };
  const TCase cases[] = {
      {"a truncated block is refused and the selection stays", [&] { putBlocks(1124, nullptr); }, false,
       "ab\ncab\nc"},
      {"a truncated block falls back to plain text", [&] { putBlocks(1124, "x\r\ny"); }, true, "x\nyab\nc"},
      {"plain text drops every 13", [] { SetClipboardText("x\r\ny"); }, true, "x\nyab\nc"},
      {"nothing to paste deletes nothing", [] { ResetClipboard(); }, false, "ab\ncab\nc"},
  };
  for (const TCase& c : cases) {
    TIETextMemo keep = f.ctl->TakeMemo();
    f.ctl->SetMemo(MemoOf("ab\ncab\nc"));
    f.ctl->SetSelection(0, 4);
    c.setUp();
    EXPECT_EQ(f.ctl->PasteFromClipboard(), c.pasted) << c.name;
    EXPECT_EQ(f.ctl->Memo().Text, c.text) << c.name;
    if (!c.pasted) {
      EXPECT_EQ(f.ctl->SelEnd(), 4) << c.name;
    }
  }

  // Cut deletes only what reached the clipboard.
  f.ctl->SetSelection(0, 2);
  SetClipboardBusy(100);
  EXPECT_FALSE(f.ctl->CutToClipboard());
  SetClipboardBusy(0);
  EXPECT_EQ(f.ctl->TextLength(), 8);
  SendMessage(f.ctl->Handle(), WM_CUT, 0, 0);
  EXPECT_EQ(f.ctl->Memo().Text, "\ncab\nc");
}

TEST(IETextControl, CaretMovesByKeys) {
  struct TCase {
    const char* name;
    std::string text;
    int caret;
    std::function<void(TIETextControl*)> keys;
    int expected;
  };
  const TCase cases[] = {
      {"down from a long line onto a shorter one with lines below: its start", "abcd\nab\nabcd", 4,
       [](TIETextControl*) { Inject::Key(VK_DOWN); }, 5},
      {"down onto a shorter last line: the end", "abcd\nab", 4, [](TIETextControl*) { Inject::Key(VK_DOWN); },
       7},
      {"up from the left inset onto a centred line: its end", "ab\nab\nabcd", 4,
       [](TIETextControl* c) {
         Inject::Key('E', ssCtrl);
         c->SetCaretIndex(6);
         Inject::Key(VK_UP);
       },
       5},
      {"up on the first line stays", "abcd\nab", 2, [](TIETextControl*) { Inject::Key(VK_UP); }, 2},
      {"down on the last line stays", "abcd\nab", 6, [](TIETextControl*) { Inject::Key(VK_DOWN); }, 6},
      {"up keeps the column", "abcd\nabcd", 7, [](TIETextControl*) { Inject::Key(VK_UP); }, 2},
      {"home and end of a line", "ab\nabcd\nx", 5,
       [](TIETextControl*) {
         Inject::Key(VK_HOME);
         Inject::Key(VK_RIGHT);
         Inject::Key(VK_END);
       },
       7},
      {"ctrl+left goes to the start of the word", "ab cd", 5,
       [](TIETextControl*) { Inject::Key(VK_LEFT, ssCtrl); }, 3},
      {"ctrl+right at the end stays", "ab", 2, [](TIETextControl*) { Inject::Key(VK_RIGHT, ssCtrl); }, 2},
      {"ctrl+right over the last word ends after it", "ab cd", 2,
       [](TIETextControl*) { Inject::Key(VK_RIGHT, ssCtrl); }, 5},
      {"ctrl+right inside the last word ends after it", "ab cd", 4,
       [](TIETextControl*) { Inject::Key(VK_RIGHT, ssCtrl); }, 5},
      {"backspace at 0 does nothing", "ab", 0, [](TIETextControl*) { Inject::Key(VK_BACK); }, 0},
      {"delete takes the letter after the caret and keeps it", "abcdef", 2,
       [](TIETextControl* c) {
         Inject::Key(VK_DELETE);
         Inject::Text("X");
         EXPECT_EQ(c->Memo().Text, "abXdef");
       },
       3},
      {"every move on an empty text stays at 0", "", 0,
       [](TIETextControl*) {
         for (WORD k : {VK_LEFT, VK_RIGHT, VK_UP, VK_DOWN, VK_HOME, VK_END, VK_BACK, VK_DELETE}) {
           Inject::Key(k);
           Inject::Key(k, ssCtrl);
         }
       },
       0},
  };
  for (const TCase& c : cases) {
    TOnForm f(c.text);
    f.ctl->SetCaretIndex(c.caret);
    Application->ProcessMessages();
    c.keys(f.ctl);
    EXPECT_EQ(f.ctl->CaretIndex(), c.expected) << c.name;
  }
}

TEST(IETextControl, SelectionByKeysAndMouse) {
  TOnForm f("ab cd ef");
  Inject::Key(VK_RIGHT, ssShift);
  Inject::Key(VK_RIGHT, ssShift);
  EXPECT_EQ(f.ctl->SelStart(), 0);
  EXPECT_EQ(f.ctl->SelEnd(), 2);
  // Typing replaces the selection.
  Inject::Text("X");
  EXPECT_EQ(f.ctl->Memo().Text, "X cd ef");
  // A press between "c" and "d" (x 11 + 10 on line 1), then a drag to the end.
  Inject::MouseDown(f.ctl, mbLeft, 30, 5);
  EXPECT_EQ(f.ctl->CaretIndex(), 3);
  Inject::MouseMove(f.ctl, 25, 15);
  Inject::MouseUp(f.ctl, mbLeft, 25, 15);
  EXPECT_EQ(f.ctl->SelStart(), 3);
  EXPECT_EQ(f.ctl->SelEnd(), 7);
  // A double click selects the word without its trailing space.
  Inject::DoubleClick(f.ctl, 25, 5);
  EXPECT_EQ(f.ctl->SelStart(), 2);
  EXPECT_EQ(f.ctl->SelEnd(), 4);
  // A drag or a shift+click extends from a press the text has since shrunk
  // below: no further than the text.
  f.session.Clock().Advance(1000);
  Inject::MouseDown(f.ctl, mbLeft, 40, 15);
  EXPECT_EQ(f.ctl->CaretIndex(), 7);
  f.ctl->SetSelection(2, 7);
  Inject::Key(VK_DELETE);
  Inject::MouseMove(f.ctl, 5, 5);
  Inject::MouseUp(f.ctl, mbLeft, 5, 5);
  EXPECT_EQ(f.ctl->SelStart(), 0);
  EXPECT_EQ(f.ctl->SelEnd(), 2);
  f.session.Clock().Advance(1000);
  Inject::Click(f.ctl, 15, 5, ssShift);
  EXPECT_EQ(f.ctl->SelStart(), 1);
  EXPECT_EQ(f.ctl->SelEnd(), 2);
}

TEST(IETextControl, PaintShowsTheTextAndTheCaretWhileFocused) {
  TOnForm f("ab");
  f.ctl->SetCaretIndex(2);
  Application->ProcessMessages();
  EXPECT_TRUE(CaretState().Visible());
  EXPECT_EQ(CaretState().Owner, f.ctl->Handle());
  EXPECT_EQ(CaretState().Pos, (TPoint{21, 1}));
  EXPECT_EQ(CaretState().Height, 10);
  // The frame in the frame pen's black, the cells in the brush's white.
  EXPECT_EQ(Inject::Pixel(f.ctl, 0, 0), clBlack);
  EXPECT_EQ(Inject::Pixel(f.ctl, 2, 2), clWhite);
  f.form->SetFocus();
  Application->ProcessMessages();
  EXPECT_EQ(CaretState().Owner, 0u);
}

TEST(IETextControl, EditsShowWhatANewControlShows) {
  // A control kept through random typing, deleting, caret moves and
  // selections (so laid out and painted again only where lines changed)
  // shows and has laid out what a new control given its text shows. Real
  // glyph widths, a bigger font on part of the text, a justified and a
  // centred paragraph; at zoom 1 and at a zoom that draws afterwards; and so
  // narrow that the text ends at the first character too wide for a line.
  struct TCase {
    double zoom;
    int width;
  };
  for (TCase c : {TCase{1.0, 170}, TCase{1.5, 170}, TCase{1.0, 14}}) {
    const double zoom = c.zoom;
    THeadlessSession session;
    auto makeOn = [zoom, c](TForm*& form, const TIETextMemo& memo) {
      form = new TForm(nullptr);
      form->SetBounds(0, 0, 260, 200);
      auto* ctl = new TIETextControl(form);
      ctl->SetParent(form);
      ctl->SetBounds(5, 5, c.width, 130);
      ctl->SetLineSpacing(1);
      ctl->SetZoom(zoom);
      ctl->SetMemo(memo);
      form->Show();
      return ctl;
    };
    std::string text;
    for (int i = 0; i < 60; ++i)
      text += std::string(i % 13 == 12 ? "\n" : "") + "word" + std::string(i % 4, 'x') + " ";
    TForm* form;
    TIETextControl* ctl = makeOn(form, MemoOf(text));
    ctl->SetFocus();
    ctl->SetSelection(20, 40);
    TFont big = ctl->Font;
    big.Height = -17;
    ctl->SetSelFont(big);
    ctl->SetCaretIndex(30);
    ctl->SetParagraphAlignment(ieTextAlignJustify);
    ctl->SetCaretIndex(text.size() - 5);
    ctl->SetParagraphAlignment(ieTextAlignCenter);
    Application->ProcessMessages();
    std::uint32_t rnd = 7;
    auto next = [&](int n) { return static_cast<int>((rnd = rnd * 1103515245u + 12345u) >> 8) % n; };
    const WORD moves[] = {VK_LEFT, VK_RIGHT, VK_UP, VK_DOWN, VK_HOME, VK_END};
    for (int step = 0; step < 120; ++step) {
      switch (next(6)) {
        case 0: Inject::Text(std::string(1, "ab lmW "[next(7)])); break;
        case 1: Inject::Key(next(2) ? VK_BACK : VK_DELETE); break;
        case 2: Inject::Key(next(4) ? moves[next(6)] : VK_RETURN); break;
        case 3: Inject::Key(moves[next(6)], ssShift); break;
        case 4: ctl->SetCaretIndex(next(ctl->TextLength() + 1)); break;
        default: Inject::Text("o"); break;
      }
      Application->ProcessMessages();
      // The caret after every step (a line laid out again may start where
      // it stands); every character and pixel after every third.
      TForm* freshForm;
      TIETextControl* fresh = makeOn(freshForm, ctl->Memo());
      fresh->SetSelection(ctl->SelStart(), ctl->SelEnd());
      fresh->SetCaretIndex(ctl->CaretIndex());
      Application->ProcessMessages();
      ASSERT_EQ(fresh->CaretPos(), ctl->CaretPos()) << zoom << " " << step;
      ASSERT_EQ(fresh->CaretHeight(), ctl->CaretHeight()) << step;
      if (step % 3) {
        delete freshForm;
        ctl->SetFocus();
        continue;
      }
      for (int i = 0; i <= ctl->TextLength(); ++i) {
        ASSERT_EQ(fresh->CharX(i), ctl->CharX(i)) << c.width << " " << step << " " << i;
        ASSERT_EQ(fresh->CharY(i), ctl->CharY(i)) << step << " " << i;
      }
      for (int y = 0; y < 130; ++y)
        for (int x = 0; x < c.width; ++x)
          ASSERT_EQ(Inject::Pixel(fresh, x, y), Inject::Pixel(ctl, x, y))
              << zoom << " " << step << " at " << x << "," << y;
      delete freshForm;
      ctl->SetFocus();
    }
    delete form;
  }
}

TEST(IETextControl, TypingBelowTheLastVisibleRowKeepsTheDrawnTextWithItsLines) {
  // Once the text runs below the control, a typed character changes no row
  // shown; the next paint compares the lines with the text they were drawn
  // from, which must be as long as they are.
  TOnForm f("", 120, 60);
  for (int i = 0; i < 40; ++i) {
    Inject::Text("word word ");
    Application->ProcessMessages();
  }
  EXPECT_EQ(f.ctl->TextLength(), 400);
  // Taking it all back shows the empty control again.
  f.ctl->SetSelection(0, 400);
  Inject::Key(VK_DELETE);
  Application->ProcessMessages();
  EXPECT_EQ(Inject::Pixel(f.ctl, 11, 5), clWhite);
}

TEST(IETextControl, FontHeightsAndMarginsAreClamped) {
  struct THeight {
    int h, grown, shrunk;
  };
  for (const THeight& c :
       {THeight{-1, -2, 1}, THeight{1, 2, 1}, THeight{-5, -6, -4}, THeight{0, 1, 1},
        THeight{-kIEMaxTextFontHeight, -kIEMaxTextFontHeight, -kIEMaxTextFontHeight + 1}}) {
    EXPECT_EQ(TIETextControl::GrowHeight(c.h), c.grown) << c.h;
    EXPECT_EQ(TIETextControl::ShrinkHeight(c.h), c.shrunk) << c.h;
  }
  TLaidOut l;
  l.ctl.SetMargins(150, -5, 60, std::nan(""));
  EXPECT_EQ(l.ctl.MarginLeft(), 99);
  EXPECT_EQ(l.ctl.MarginTop(), 0);
  EXPECT_EQ(l.ctl.MarginRight(), 0);
  EXPECT_EQ(l.ctl.MarginBottom(), 0);
  l.ctl.SetMargins(60, 50, 60, 50);
  EXPECT_EQ(l.ctl.MarginRight(), 39);
  EXPECT_EQ(l.ctl.MarginBottom(), 49);
}

TEST(IETextControl, AutoGrowStops) {
  TOnForm f("ab cd ef gh ij kl mn", 60, 20);
  f.ctl->AutoGrow = true;
  f.ctl->SetMargins(0, 60, 0, 60);
  int h = 0;
  for (int i = 0; i < 500 && f.ctl->Height() != h; ++i) {
    h = f.ctl->Height();
    Application->ProcessMessages();
  }
  EXPECT_GT(h, 20);
  EXPECT_LT(h, 1 << 15);
  Application->ProcessMessages();
  EXPECT_EQ(f.ctl->Height(), h);
}

TEST(IETextControl, TypedCharactersBecomeBytesOfTheCodePage) {
  TOnForm f("");
  f.ctl->Perform(WM_CHAR, 0x20AC, 0);  // euro sign: 0x80 in code page 1252
  f.ctl->Perform(WM_CHAR, 0x4E2D, 0);  // not in code page 1252
  f.ctl->Perform(WM_CHAR, 'x', 0);
  EXPECT_EQ(f.ctl->Memo().Text, "\x80x");
}

TEST(IETextControl, FontAndColourDialogsThroughTheAnswerer) {
  TOnForm f("ab");
  TCommonDialog::Answerer = [](TCommonDialog* d) {
    if (auto* fd = dynamic_cast<TFontDialog*>(d)) {
      fd->Font.Height = -20;
      fd->Font.Style = fsItalic;
    }
    if (auto* cd = dynamic_cast<TColorDialog*>(d)) cd->Color = clRed;
    return true;
  };
  f.ctl->SetSelection(0, 1);
  Inject::Key('F', ssCtrl);
  Inject::Key('G', ssCtrl);
  TCommonDialog::Answerer = nullptr;
  const TIETextMemo& m = f.ctl->Memo();
  EXPECT_EQ(m.Records[m.Indices[0]].Height, -20);
  EXPECT_EQ(m.Records[m.Indices[0]].Style, fsItalic);
  EXPECT_EQ(m.Records[m.Indices[0]].BrushColor, clRed);
  EXPECT_EQ(m.Records[m.Indices[1]].Height, f.ctl->Font.Height);
}

TEST(IEEdit, SwallowsTabAndAsksForNavigationKeys) {
  THeadlessSession session;
  TForm* form = new TForm(nullptr);
  TIEEdit* edit = new TIEEdit(form);
  edit->SetParent(form);
  edit->SetBounds(0, 0, 100, 20);
  form->Show();
  edit->SetFocus();
  Inject::Text("a");
  edit->Perform(WM_CHAR, '\t', 0);
  EXPECT_EQ(edit->Text(), "a");
  EXPECT_EQ(edit->Perform(CM_WANTSPECIALKEY, VK_TAB, 0), 1);
  EXPECT_EQ(edit->Perform(CM_WANTSPECIALKEY, VK_RETURN, 0), 0);
  delete form;
}

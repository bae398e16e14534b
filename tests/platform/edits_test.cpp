#include <gtest/gtest.h>

#include "platform/clipboard.h"
#include "platform/dialogs.h"
#include "platform/edits.h"
#include "platform/keys.h"
#include "recorder.h"

using namespace redozir;

namespace {

struct TEditFixture {
  THeadlessSession session;
  TForm* form;
  TEdit* edit;
  TEditFixture() {
    form = new TForm(nullptr);
    edit = new TEdit(form);
    edit->SetParent(form);
    edit->SetBounds(10, 10, 150, 24);
    form->Show();
    edit->SetFocus();
    Application->ProcessMessages();
  }
  ~TEditFixture() { delete form; }
};

TEST(Edit, TypingEditingAndSelectingByKeys) {
  struct TCase {
    const char* name;
    std::function<void()> keys;
    const char* text;
    int selStart, selLength;
  };
  const TCase cases[] = {
      {"typing", [] { Inject::Text("Hello"); }, "Hello", 5, 0},
      {"backspace", [] { Inject::Text("abc"), Inject::Key(VK_BACK); }, "ab", 2, 0},
      {"delete at the caret", [] { Inject::Text("abc"), Inject::Key(VK_HOME), Inject::Key(VK_DELETE); }, "bc",
       0, 0},
      {"shift selects, typing replaces",
       [] {
         Inject::Text("abcd"), Inject::Key(VK_LEFT, ssShift), Inject::Key(VK_LEFT, ssShift),
             Inject::Text("X");
       },
       "abX", 3, 0},
      {"shift+home selects to the start",
       [] { Inject::Text("abcd"), Inject::Key(VK_LEFT), Inject::Key(VK_HOME, ssShift); }, "abcd", 0, 3},
      {"ctrl+z undoes the last change", [] { Inject::Text("ab"), Inject::Key('Z', ssCtrl); }, "a", 1, 0},
      {"backspace at the start does nothing", [] { Inject::Key(VK_BACK); }, "", 0, 0},
      // The edit's code page (1252) has e acute but no Cyrillic zhe.
      {"text input types punctuation and accents in the code page",
       [] { Inject::Text("a;:'\"?/\\|~[]\xC3\xA9\xD0\xB6"); }, "a;:'\"?/\\|~[]\xE9", 13, 0},
  };
  for (const TCase& c : cases) {
    TEditFixture f;
    c.keys();
    EXPECT_EQ(f.edit->Text(), c.text) << c.name;
    EXPECT_EQ(f.edit->SelStart(), c.selStart) << c.name;
    EXPECT_EQ(f.edit->SelLength(), c.selLength) << c.name;
  }
}

TEST(Edit, CutCopyPasteAndUndoMessages) {
  TEditFixture f;
  Inject::Text("one two");
  f.edit->SetSelStart(4);
  f.edit->SetSelLength(3);
  SendMessage(f.edit->Handle(), WM_CUT, 0, 0);
  EXPECT_EQ(f.edit->Text(), "one ");
  std::string clip;
  ASSERT_TRUE(GetClipboardText(clip));
  EXPECT_EQ(clip, "two");
  f.edit->SetSelStart(0);
  SendMessage(f.edit->Handle(), WM_PASTE, 0, 0);
  EXPECT_EQ(f.edit->Text(), "twoone ");
  EXPECT_EQ(SendMessage(f.edit->Handle(), EM_UNDO, 0, 0), 1);
  EXPECT_EQ(f.edit->Text(), "one ");
  // A pasted line break ends the paste; MaxLength cuts what does not fit.
  SetClipboardText("ab\r\ncd");
  f.edit->MaxLength = 5;
  f.edit->SetSelStart(4);
  SendMessage(f.edit->Handle(), WM_PASTE, 0, 0);
  EXPECT_EQ(f.edit->Text(), "one a");
  EXPECT_EQ(SendMessage(f.edit->Handle(), WM_GETDLGCODE, 0, 0),
            DLGC_WANTARROWS | DLGC_WANTCHARS | DLGC_HASSETSEL);
}

TEST(Edit, CaretFollowsTheFocusAndTheClickPlacesIt) {
  TEditFixture f;
  EXPECT_EQ(CaretState().Owner, f.edit->Handle());
  EXPECT_TRUE(CaretState().Visible());
  Inject::Text("wide text");
  TPoint end;
  GetCaretPos(end);
  Inject::Click(f.edit, 1, 5);
  EXPECT_EQ(f.edit->SelStart(), 0);
  TPoint start;
  GetCaretPos(start);
  EXPECT_LT(start.X, end.X);
  Inject::Click(f.edit, 140, 5, ssShift);
  EXPECT_EQ(f.edit->SelLength(), 9) << "shift+click extends to the end";
  f.form->SetActiveControl(nullptr);
  ::SetFocus(f.form->Handle());
  EXPECT_EQ(CaretState().Owner, 0u) << "the caret goes with the focus";
}

TEST(Dialogs, TheColourPickerTakesABasicColourOrTypedChannels) {
  THeadlessSession s;
  TColorPickerForm p(nullptr);
  p.Show();
  p.SetColor(RGB(1, 2, 3));
  EXPECT_EQ(p.Field(0)->Text(), "1");
  // The second cell of the second row is pure yellow.
  Inject::Click(&p, 8 + 22 + 5, 8 + 18 + 5);
  EXPECT_EQ(p.Color(), RGB(255, 255, 0));
  EXPECT_EQ(p.Field(2)->Text(), "0");
  p.Field(2)->SetText("300");
  EXPECT_EQ(p.Color(), RGB(255, 255, 255)) << "past 255 reads 255";
  p.Field(1)->SetText("x");
  EXPECT_EQ(p.Color(), RGB(255, 0, 255)) << "no number reads 0";
  Application->ProcessMessages();
  EXPECT_EQ(Inject::Pixel(&p, p.Width() - 20, 20), RGB(255, 0, 255)) << "the swatch";
}

TEST(Dialogs, ExecuteAsksTheAnswererAndCancelsWithoutOne) {
  TColorDialog d(nullptr);
  EXPECT_FALSE(d.Execute());
  TCommonDialog::Answerer = [](TCommonDialog* dlg) {
    static_cast<TColorDialog*>(dlg)->Color = clTeal;
    return true;
  };
  EXPECT_TRUE(d.Execute());
  EXPECT_EQ(d.Color, clTeal);
  TCommonDialog::Answerer = nullptr;
}

}  // namespace

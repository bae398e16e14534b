#include <gtest/gtest.h>

#include <climits>
#include <cmath>

#include "imaging/core/dialog_text.h"
#include "imaging/core/iemask.h"
#include "imaging/view/ievect.h"
#include "platform/application.h"
#include "platform/forms.h"
#include "platform/inject.h"
#include "platform/keys.h"

using namespace redozir;

namespace {

// A vector view of 200 x 150 on a shown form, holding a 200 x 150 image and
// the keyboard focus.
struct TVectOnForm {
  THeadlessSession session;
  TForm* form;
  TRedozIrVect* view;
  int activated = 0, deactivated = 0;
  TVectOnForm() {
    form = new TForm(nullptr);
    form->SetBounds(0, 0, 400, 300);
    view = new TRedozIrVect(form);
    view->SetParent(form);
    view->SetBounds(0, 0, 200, 150);
    view->GetIEBitmap()->Allocate(200, 150, ie24RGB);
    form->Show();
    Application->ProcessMessages();
    view->Update();
    view->SetFocus();
    view->OnActivateTextEdit = [this](TObject*) { ++activated; };
    view->OnDeactivateTextEdit = [this](TObject*) { ++deactivated; };
  }
  ~TVectOnForm() { delete form; }
  TVectOnForm(const TVectOnForm&) = delete;
  TVectOnForm& operator=(const TVectOnForm&) = delete;
  TIEVObjectRecord& Add(TIEVObjectKind Kind, const std::string& Text) {
    const int h = view->AddNewObject();
    TIEVObjectRecord& r = *view->GetObjectRecord(h);
    r.Kind = Kind;
    r.x1 = 20, r.y1 = 20, r.x2 = 100, r.y2 = 40;
    r.Text = Text;
    view->AddToSelection(h, false);
    return r;
  }
};

TEST(VectText, EscapePutsBackTheWholeTextAndEnterKeepsIt) {
  TVectOnForm f;
  TIEVObjectRecord& r = f.Add(ievkTEXT, "ab");
  Inject::Key(VK_F2);
  ASSERT_EQ(f.view->EditingObject(), 0);
  ASSERT_TRUE(f.view->TextEditor() && f.view->TextEditor()->Visible());
  EXPECT_EQ(f.view->TextEditor()->Text(), "ab");
  // The editor's own undo would leave "abxy".
  Inject::Text("xyz");
  Inject::Key(VK_ESCAPE);
  EXPECT_EQ(r.Text, "ab");
  EXPECT_EQ(f.view->EditingObject(), -1);
  EXPECT_FALSE(f.view->TextEditor()->Visible());
  Inject::Key(VK_F2);
  Inject::Text("c");
  Inject::Key(VK_RETURN);
  EXPECT_EQ(r.Text, "abc");
  EXPECT_EQ(f.activated, 2);
  EXPECT_EQ(f.deactivated, 2);
  // Not text-editable: F2 opens nothing.
  r.TextEditable = 0;
  Inject::Key(VK_F2);
  EXPECT_EQ(f.view->EditingObject(), -1);
}

TEST(VectText, ANewTextOpensForEditingUnlessAskedNot) {
  for (bool edit : {true, false}) {
    TVectOnForm f;
    f.view->EditOnCreate = edit;
    f.view->ObjectInteract = oiPutText;
    Inject::MouseDown(f.view, mbLeft, 10, 10);
    Inject::MouseMove(f.view, 90, 30, ssLeft);
    Inject::MouseUp(f.view, mbLeft, 90, 30);
    ASSERT_EQ(f.view->ObjectsCount(), 1);
    EXPECT_EQ(f.view->EditingObject(), edit ? 0 : -1);
    // A double click on it in edit mode opens it.
    f.view->EndTextEdit();
    f.view->ObjectInteract = oiEdit;
    Inject::DoubleClick(f.view, 50, 20);
    EXPECT_EQ(f.view->EditingObject(), 0);
  }
}

TEST(VectText, AutoSizeWidensTheObjectWithTheText) {
  TVectOnForm f;
  TIEVObjectRecord& r = f.Add(ievkTEXT, "a");
  r.TextAutoSize = 1;
  f.view->StartTextEdit(0);
  Inject::Text("bbbbbbbbbbbbbbbbbbbb");
  // At 100 % the object's right edge follows the editor's width.
  EXPECT_GT(f.view->TextEditor()->Width(), 81);
  EXPECT_EQ(r.x2, r.x1 + f.view->TextEditor()->Width());
}

TEST(VectText, TheEditorTakesTheCodePageOfAGreekOrRussianSystem) {
  const struct {
    const char* locale;
    TFontCharset charset;
  } cases[] = {{"el_GR.UTF-8", GREEK_CHARSET}, {"ru_RU.UTF-8", RUSSIAN_CHARSET}, {"de_DE", DEFAULT_CHARSET}};
  for (const auto& c : cases) {
    TVectOnForm f;
    f.Add(ievkTEXT, "a");
    f.view->Font.Charset = DEFAULT_CHARSET;
    IESetSystemLocale(c.locale);
    f.view->StartTextEdit(0);
    EXPECT_EQ(f.view->TextEditor()->Font.Charset, c.charset) << c.locale;
    EXPECT_EQ(f.view->Font.Charset, c.charset) << c.locale;
  }
  IESetSystemLocale(IEProcessLocaleName());
}

TEST(VectText, EndingAMemoEditHandsBackConsistentRecordsAndIndices) {
  TVectOnForm f;
  TIEVObjectRecord& r = f.Add(ievkMEMO, "abcd");
  TIECharInfo bold = TIECharInfo::Make(TFont{}, TBrush{}, 0);
  bold.Style = 1;
  r.CharInfo = {TIECharInfo::Make(TFont{}, TBrush{}, 0), bold};
  r.AttrIndices = std::vector<std::int32_t>{1, 1, 0, 0};
  f.view->StartTextEdit(0);
  TIETextControl* m = f.view->MemoEditor();
  ASSERT_TRUE(m && m->Visible());
  // The bold characters go: their record is used no more.
  m->SetSelection(0, 2);
  m->DeleteSelection();
  m->SetCaretIndex(2);
  m->InsertChar('e');
  f.view->EndTextEdit();
  EXPECT_EQ(r.Text, "cde");
  ASSERT_TRUE(r.AttrIndices);
  ASSERT_EQ(r.AttrIndices->size(), r.Text.size());
  ASSERT_EQ(r.CharInfo.size(), 1u);
  EXPECT_EQ(r.CharInfo[0].Style, 0);
  EXPECT_EQ(r.CharInfo[0].RefCount, 3);
  for (std::int32_t i : *r.AttrIndices) EXPECT_EQ(i, 0);
  // What editing handed back stores and loads again.
  TMemoryStream s;
  f.view->SaveToStreamIEV(s);
  s.SetPosition(0);
  TRedozIrVect w(nullptr);
  EXPECT_TRUE(w.LoadFromStreamIEV(s)) << w.LastLoadError();
}

TEST(VectText, MemoLineSpacingIsClampedWhenReadAndWhenDrawn) {
  for (int spacing : {INT_MIN, INT_MAX}) {
    TVectOnForm f;
    f.Add(ievkMEMO, "a\nb\nc").LineSpacing = spacing;
    // The record keeps what code put there; the memo drawn from it clamps.
    f.view->Update();
    Application->ProcessMessages();
    TMemoryStream s;
    f.view->SaveToStreamIEV(s);
    s.SetPosition(0);
    TRedozIrVect w(nullptr);
    ASSERT_TRUE(w.LoadFromStreamIEV(s)) << w.LastLoadError();
    EXPECT_EQ(w.GetObjectRecord(0)->LineSpacing, spacing < 0 ? -kIEMaxLineSpacing : kIEMaxLineSpacing);
  }
}

TEST(VectHint, DragLengthShowsTheHintAndEndsWithTheLength) {
  TVectOnForm f;
  f.view->ObjectInteract = oiDragLen;
  double ended = -1;
  f.view->OnDragLenEnd = [&](TObject*, double v) { ended = v; };
  Inject::MouseDown(f.view, mbLeft, 10, 10);
  const TColor under = Inject::Pixel(f.view, 43, 53);
  Inject::MouseMove(f.view, 40, 50, ssLeft);
  EXPECT_EQ(Inject::Pixel(f.view, 43, 53), static_cast<TColor>(0x60FFFF));
  Inject::MouseUp(f.view, mbLeft, 40, 50);
  // Both ends count: 31 by 41 pixels.
  EXPECT_NEAR(ended, std::hypot(31.0, 41.0), 1e-9);
  EXPECT_EQ(Inject::Pixel(f.view, 43, 53), under);
  EXPECT_EQ(f.view->ObjectsCount(), 0);
}

TEST(VectHint, SelectionAreaAndLengthOverSubPolygons) {
  TVectOnForm f;
  f.view->SetDpi(10, 10);
  f.view->SetMUnit(ieuINCHES);  // a pixel is 0.1 inch
  for (TPoint p : {TPoint{0, 0}, TPoint{10, 0}, TPoint{10, 20}, TPoint{0, 20}})
    f.view->AddSelectionPoint(p.X, p.Y);
  f.view->EndSelect();
  f.view->Select(30, 30, 34, 38, 1);
  ASSERT_EQ(f.view->GetSelectionPointCount(), 9);  // a separator between the two
  EXPECT_NEAR(f.view->SelectionArea(), (10 * 20 + 4 * 8) * 0.01, 1e-9);
  EXPECT_NEAR(f.view->SelectionLength(), (60 + 24) * 0.1, 1e-9);
}

// While a polygon is being drawn its length runs on to the mouse; the area's
// sign is the hint font's byte.
TEST(VectHint, PolygonBeingDrawnMeasuresToTheMouse) {
  TVectOnForm f;
  f.view->SetMouseInteract(IEMouseInteract({miSelectPolygon}));
  f.view->ObjectInteract = oiMeasureLength;
  std::string text;
  double value = 0;
  f.view->OnMeasureHint = [&](TObject*, std::string& t, double v) { text = t, value = v; };
  Inject::Click(f.view, 10, 10);
  Inject::Click(f.view, 60, 10);
  Inject::MouseMove(f.view, 100, 10);
  EXPECT_EQ(value, 50 + 50 + 40);  // closed, then on to the mouse
  Inject::Click(f.view, 60, 50);
  f.view->ObjectInteract = oiMeasureArea;
  Inject::MouseMove(f.view, 70, 50);
  EXPECT_EQ(text, "1000.00 pixels\xB2");
}

TEST(VectHint, SelectionAreaOfAMaskCountsItsPixels) {
  for (int bits : {1, 8}) {
    TVectOnForm f;
    TIEMask* m = f.view->SelectionMask();
    m->AllocateBits(200, 150, bits);
    for (int y = 5; y <= 6; ++y)
      for (int x = 3; x <= 20; ++x) m->SetPixel(x, y, 1);
    m->SetPixel(100, 100, 1);
    EXPECT_EQ(f.view->SelectionArea(), 2 * 18 + 1) << bits;
  }
}

TEST(VectHint, PaintTurnsFastDragOnUntilThePrimaryButtonIsUp) {
  for (bool swapped : {false, true}) {
    TVectOnForm f;
    SwapMouseButton(swapped);
    const TMouseButton primary = swapped ? mbRight : mbLeft;
    Inject::MouseDown(f.view, primary, 30, 30);
    f.view->Invalidate();
    Application->ProcessMessages();
    EXPECT_TRUE(f.view->Dragging) << swapped;
    f.session.Clock().Advance(120);
    EXPECT_TRUE(f.view->Dragging) << swapped;
    Inject::MouseUp(f.view, primary, 30, 30);
    f.session.Clock().Advance(60);
    EXPECT_FALSE(f.view->Dragging) << swapped;
  }
}

}  // namespace

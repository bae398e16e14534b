#include <gtest/gtest.h>

#include <string>

#include "imaging/core/iebitmap.h"
#include "imaging/view/redozir_view.h"
#include "platform/application.h"
#include "platform/forms.h"
#include "platform/inject.h"

using namespace redozir;

namespace {

// A shown view whose 100 x 80 grey picture fills its client area at 100 %.
struct TShownSelection {
  THeadlessSession session;
  TForm* form;
  TRedozIrView* view;
  TShownSelection() {
    form = new TForm(nullptr);
    form->SetBounds(0, 0, 300, 200);
    view = new TRedozIrView(form);
    view->SetParent(form);
    view->SetBorderStyle(bsNone);
    view->SetBounds(0, 0, 100, 80);
    view->GetIEBitmap()->Allocate(100, 80, ie24RGB);
    view->GetIEBitmap()->Fill(static_cast<double>(RGB(128, 128, 128)));
    form->Show();
    Application->ProcessMessages();
    view->Update();
    Application->ProcessMessages();
  }
  ~TShownSelection() { delete form; }
  TShownSelection(const TShownSelection&) = delete;
  TShownSelection& operator=(const TShownSelection&) = delete;
  void Repaint() {
    view->Invalidate();
    Application->ProcessMessages();
  }
  // A for colour A, B for colour B, . for anything else, along a row.
  std::string Row(int x1, int x2, int y) {
    std::string s;
    for (int x = x1; x <= x2; ++x) {
      TColor c = Inject::Pixel(view, x, y);
      s += c == view->SelectionColorA ? 'A' : c == view->SelectionColorB ? 'B' : '.';
    }
    return s;
  }
};

}  // namespace

TEST(SelectionPaint, TheOutlineIsDottedFourAndFourAndTheTimerMarchesIt) {
  TShownSelection f;
  f.view->SelectionOptions &= static_cast<TIESelectionOptions>(~(1u << iesoSizeable));
  // Points of a polygon not yet ended: the outline is walked dot by dot.
  for (TPoint p : {TPoint{10, 10}, TPoint{40, 10}, TPoint{40, 30}}) f.view->AddSelectionPoint(p.X, p.Y);
  f.Repaint();
  EXPECT_EQ(f.Row(10, 27, 10), "AAAABBBBAAAABBBBAA");
  ASSERT_NE(f.view->AntsTimer(), nullptr);
  EXPECT_TRUE(f.view->AntsTimer()->Enabled());
  f.session.Clock().Advance(210);
  EXPECT_EQ(f.Row(10, 27, 10), "AAABBBBAAAABBBBAAA");
  // While a polygon is being drawn the ants stand still and it stays open.
  f.view->SelectionState().PolySelecting = true;
  f.session.Clock().Advance(420);
  EXPECT_EQ(f.Row(10, 27, 10), "AAABBBBAAAABBBBAAA");
  f.Repaint();
  EXPECT_EQ(f.Row(11, 14, 11), "....") << "no closing edge back to the first point";
  f.view->Deselect();
  EXPECT_FALSE(f.view->AntsTimer()->Enabled());
}

TEST(SelectionPaint, ARectangleShowsGripsAndGridAndGripsAreFoundAtCornersAndSides) {
  TShownSelection f;
  f.view->GripShape = 0;
  f.view->SelectionGridSize = 3;
  f.view->Select(20, 20, 80, 50, 0);
  f.Repaint();
  EXPECT_EQ(Inject::Pixel(f.view, 17, 17), f.view->GripBrushColor) << "a square grip on the corner";
  EXPECT_EQ(Inject::Pixel(f.view, 48, 17), f.view->GripBrushColor) << "and on the middle of a side";
  struct {
    int x, y, grip;
  } cases[] = {{21, 19, ieTopLeft},     {79, 22, ieTopRight},   {86, 55, ieNone},
               {78, 48, ieBottomRight}, {20, 35, ieLeftSide},   {81, 30, ieRightSide},
               {50, 21, ieTopSide},     {50, 52, ieBottomSide}, {50, 35, ieNone}};
  for (const auto& c : cases) EXPECT_EQ(f.view->GripAt(c.x, c.y), c.grip) << c.x << "," << c.y;
  // Two grid lines each way, in grey, inside the rectangle.
  EXPECT_EQ(Inject::Pixel(f.view, 40, 30), TColor(0xA0A0A0));
  EXPECT_EQ(Inject::Pixel(f.view, 30, 40), TColor(0xA0A0A0));
  EXPECT_EQ(f.view->MoveHitTest(30, 30), 0);
  EXPECT_EQ(f.view->MoveHitTest(30, 30, ssShift), -1);
  EXPECT_EQ(f.view->MoveHitTest(10, 10), -1);
}

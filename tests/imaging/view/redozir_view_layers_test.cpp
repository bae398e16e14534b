#include <gtest/gtest.h>

#include "imaging/core/iebitmap.h"
#include "imaging/view/redozir_view.h"

using namespace redozir;

namespace {
void MakeSolid(TIEBitmap* b, int w, int h, TColor c) {
  ASSERT_TRUE(b->Allocate(w, h, ie24RGB));
  b->Fill(static_cast<double>(c));
}

struct Px {
  int r, g, b;
  friend bool operator==(const Px&, const Px&) = default;
};
Px PixelAt(TIEBitmap* b, int x, int y) {
  TRGB p = b->GetPixels(x, y);
  return {p.r, p.g, p.b};
}
std::ostream& operator<<(std::ostream& o, const Px& p) {
  return o << "(" << p.r << "," << p.g << "," << p.b << ")";
}

// A view whose layer 0 is W x H and one more layer at (PosX, PosY).
struct TwoLayers {
  TRedozIrView v{nullptr};
  TwoLayers(int w, int h, int w1, int h1, int posX, int posY) {
    MakeSolid(v.GetIEBitmap(), w, h, clBlack);
    v.LayersAdd();
    MakeSolid(v.GetIEBitmap(), w1, h1, clBlack);
    v.GetCurrentLayer()->PosX = posX;
    v.GetCurrentLayer()->PosY = posY;
    v.SetLayersCurrent(0);
  }
};
}  // namespace

TEST(RedozIrViewLayers, MergingBlendsByAlphaTransparencyAndPositionAndCropsToLayerZero) {
  TRedozIrView v(nullptr);
  v.LayersMinSize = 1;  // the 1 x 1 layers below are drawn too
  v.SetBackground(clWhite);
  MakeSolid(v.GetIEBitmap(), 4, 3, RGB(200, 100, 0));
  // 1: blue 2 x 2 at (1, 1), its top-left pixel half transparent.
  v.LayersAdd();
  MakeSolid(v.GetIEBitmap(), 2, 2, RGB(0, 0, 255));
  v.GetIEBitmap()->GetAlphaChannel()->FillRect(0, 0, 0, 0, 128);
  v.GetCurrentLayer()->PosX = 1;
  v.GetCurrentLayer()->PosY = 1;
  // 2: red 1 x 1 at (-2, 0) with Transparency 64: the result grows 2 to the left.
  v.LayersAdd();
  MakeSolid(v.GetIEBitmap(), 1, 1, RGB(255, 0, 0));
  v.GetCurrentLayer()->PosX = -2;
  v.GetCurrentLayer()->Transparency = 64;
  // 3: green 2 x 2 at (-1, 1), cropped to layer 0: no growth, left column cut.
  v.LayersAdd();
  MakeSolid(v.GetIEBitmap(), 2, 2, RGB(0, 255, 0));
  v.GetCurrentLayer()->PosX = -1;
  v.GetCurrentLayer()->PosY = 1;
  v.GetCurrentLayer()->Cropped = true;
  // 4: invisible at (5, 0): not drawn, but it counts for the extent as every
  // layer that is not cropped does.
  v.LayersAdd();
  MakeSolid(v.GetIEBitmap(), 1, 1, RGB(9, 9, 9));
  v.GetCurrentLayer()->PosX = 5;
  v.GetCurrentLayer()->Visible = false;

  v.LayersMergeAll();
  ASSERT_EQ(v.GetLayersCount(), 1);
  EXPECT_EQ(v.LayersCurrent(), 0);
  TIEBitmap* m = v.GetIEBitmap();
  EXPECT_EQ(m, v.GetLayer(0)->Bitmap);
  EXPECT_EQ(m->PixelFormat(), ie24RGB);
  // Width: layer 4 reaches 5 + 1 = 6, plus the overhang of 2.
  ASSERT_EQ(m->Width(), 8);
  ASSERT_EQ(m->Height(), 3);
  const Px white{255, 255, 255}, base{200, 100, 0}, nearBlue{0, 0, 254}, green{0, 255, 0};
  struct Case {
    int x, y;
    Px expected;
  } cases[] = {
      // d + (s - d) x 64 / 256 with the shift rounding down: 255 - 63.75 -> 191.
      {0, 0, {255, 191, 191}},
      {1, 0, white},
      {1, 1, white},  // the cropped layer's cut column
      {2, 0, base},
      {5, 0, base},
      {2, 1, green},
      {2, 2, green},
      // w = 128: 200 - 100, 100 - 50, 0 + 127.5 -> 127.
      {3, 1, {100, 50, 127}},
      // An alpha plane in use weighs even opaque pixels by 255 / 256:
      // 200 - 199.2 -> 0, 100 - 99.6 -> 0, 254.0.
      {4, 1, nearBlue},
      {3, 2, nearBlue},
      {4, 2, nearBlue},
      {5, 2, base},
      {6, 0, white},  // grown area: background
      {7, 2, white},
  };
  for (const auto& c : cases) EXPECT_EQ(PixelAt(m, c.x, c.y), c.expected) << c.x << "," << c.y;
}

TEST(RedozIrViewLayers, DrawToStretchesALayerToItsShownSizeAndHonoursEnableAlpha) {
  TwoLayers t(3, 2, 1, 1, 1, 0);
  TRedozIrView& v = t.v;
  v.LayersMinSize = 1;  // a 1 x 1 layer is drawn too
  TIELayer* top = v.GetLayer(1);
  top->Bitmap->Fill(static_cast<double>(RGB(10, 20, 30)));
  top->Bitmap->GetAlphaChannel()->Fill(0);
  top->Width = 2;
  top->Height = 2;
  TIEBitmap dest;
  dest.Allocate(1, 1, ie8g);  // not 24-bit: taken to 24-bit, not left as it was
  v.LayersDrawTo(&dest);
  ASSERT_EQ(dest.PixelFormat(), ie24RGB);
  ASSERT_EQ(dest.Width(), 3);
  ASSERT_EQ(dest.Height(), 2);
  EXPECT_EQ(PixelAt(&dest, 1, 1), (Px{0, 0, 0}));  // fully transparent
  v.SetEnableAlphaChannel(false);
  v.LayersDrawTo(&dest);
  for (int y = 0; y < 2; ++y) {
    EXPECT_EQ(PixelAt(&dest, 0, y), (Px{0, 0, 0}));
    EXPECT_EQ(PixelAt(&dest, 1, y), (Px{10, 20, 30}));
    EXPECT_EQ(PixelAt(&dest, 2, y), (Px{10, 20, 30}));
  }
  // A rotated layer is drawn turned: its 3 x 3 turn lands at (1, 0), the
  // middle of the turn at (2, 1).
  top->SetRotate(30);
  dest.Fill(0);
  v.LayersDrawTo(&dest);
  EXPECT_EQ(PixelAt(&dest, 2, 1), (Px{10, 20, 30}));
}

TEST(RedozIrViewLayers, TheSelectionKeepsItsPlaceInLayerZeroAcrossLayers) {
  // Layer 1 is 10 x 10 at (5, 3) on a 20 x 20 layer 0.
  TwoLayers t(20, 20, 10, 10, 5, 3);
  TRedozIrView& v = t.v;
  v.SelectionMask()->SetPixel(6, 4, 1);
  v.SelectionMask()->SetPixel(19, 19, 1);  // outside layer 1: cut there
  v.SetLayersCurrent(1);
  EXPECT_EQ(v.SelectionStackCount(), 0);
  TIEMask* m = v.SelectionMask();
  ASSERT_EQ(m->Width(), 10);
  ASSERT_EQ(m->Height(), 10);
  EXPECT_EQ(m->GetPixel(1, 1), 1);
  EXPECT_EQ(m->X1, 1);
  EXPECT_EQ(m->Y1, 1);
  EXPECT_EQ(m->X2, 1);
  EXPECT_EQ(m->Y2, 1);
  // And back: the pixel returns to (6, 4); the cut one stays lost.
  v.SetLayersCurrent(0);
  ASSERT_EQ(m->Width(), 20);
  EXPECT_EQ(m->GetPixel(6, 4), 1);
  EXPECT_EQ(m->GetPixel(19, 19), 0);
  EXPECT_TRUE(v.Selected());
  // A selection that lands wholly outside the new layer is no selection.
  m->Empty();
  m->SetPixel(0, 0, 1);
  v.SetLayersCurrent(1);
  EXPECT_FALSE(v.Selected());
  EXPECT_EQ(m->Width(), 10);
}

TEST(RedozIrViewLayers, LayersLeftOfLayerZeroPassTheSelectionOnWithoutLosingIt) {
  // Layer 1 is 30 x 10 at (-20, 0), layer 2 30 x 10 at (-10, 0); layer 0's
  // column -5 is layer 1's 15 and layer 2's 5.
  TwoLayers t(10, 10, 30, 10, -20, 0);
  TRedozIrView& v = t.v;
  v.LayersAdd();
  MakeSolid(v.GetIEBitmap(), 30, 10, clBlack);
  v.GetCurrentLayer()->PosX = -10;
  v.SetLayersCurrent(1);
  v.SelectionMask()->SetPixel(15, 2, 1);
  v.SelectionMask()->SetPixel(22, 3, 1);
  v.SetLayersCurrent(2);
  EXPECT_EQ(v.SelectionMask()->GetPixel(5, 2), 1);
  EXPECT_EQ(v.SelectionMask()->GetPixel(12, 3), 1);
  v.SetLayersCurrent(0);
  EXPECT_EQ(v.SelectionMask()->GetPixel(2, 3), 1);
  EXPECT_EQ(v.SelectionMask()->X1, 2);
  EXPECT_EQ(v.SelectionMask()->Y1, 3);
}

TEST(RedozIrViewLayers, SwitchingAfterARemovalPopsNothingItDidNotPush) {
  TRedozIrView v(nullptr);
  MakeSolid(v.GetIEBitmap(), 8, 8, clBlack);
  v.LayersAdd();
  v.LayersAdd();
  // An entry saved by someone else (a zoom drag, say) must survive.
  v.SelectionMask()->SetPixel(1, 1, 1);
  v.PushSelection();
  v.SelectionMask()->Empty();
  v.SelectionMask()->SetPixel(3, 3, 1);
  v.LayersRemove(2);  // the current layer: current goes through -1
  EXPECT_EQ(v.LayersCurrent(), 1);
  EXPECT_EQ(v.SelectionStackCount(), 1);
  EXPECT_EQ(v.SelectionMask()->GetPixel(3, 3), 1);
  EXPECT_EQ(v.SelectionMask()->GetPixel(1, 1), 0);
  v.LayersAdd();      // carries the selection over: pushed and popped
  v.LayersRemove(1);  // below the current one: current also goes through -1
  EXPECT_EQ(v.LayersCurrent(), 1);
  EXPECT_EQ(v.SelectionStackCount(), 1);
  EXPECT_EQ(v.SelectionMask()->GetPixel(3, 3), 1);
  // The stranger's entry is still whole.
  EXPECT_TRUE(v.PopSelection(true, 0));
  EXPECT_EQ(v.SelectionMask()->GetPixel(1, 1), 1);
  EXPECT_EQ(v.SelectionMask()->GetPixel(3, 3), 0);
  EXPECT_FALSE(v.PopSelection(true, 0));
}

TEST(RedozIrViewLayers, PoppingFitsTheMaskToTheImageByMode) {
  struct Case {
    const char* what;
    int mode;
    bool remove;
    TPoint saved;        // a pixel of a 10 x 8 mask
    int pixelX, pixelY;  // where it ends on 6 x 5
  } cases[] = {
      {"mode 0 cuts", 0, true, {8, 6}, -1, -1},
      {"mode 1 moves back inside", 1, false, {8, 6}, 5, 4},
      {"mode 1 keeps a selection ending on the new edges", 1, true, {5, 4}, 5, 4},
      {"mode 1 moves back a selection on the column and row just outside", 1, true, {6, 5}, 5, 4},
  };
  for (const auto& c : cases) {
    TRedozIrView v(nullptr);
    MakeSolid(v.GetIEBitmap(), 10, 8, clBlack);
    v.Update();
    v.SelectionMask()->SetPixel(c.saved.X, c.saved.Y, 1);
    v.PushSelection();
    v.GetIEBitmap()->Allocate(6, 5, ie24RGB);
    v.Update();
    EXPECT_TRUE(v.PopSelection(c.remove, c.mode)) << c.what;
    EXPECT_EQ(v.SelectionStackCount(), c.remove ? 0 : 1) << c.what;
    TIEMask* m = v.SelectionMask();
    ASSERT_EQ(m->Width(), 6) << c.what;
    ASSERT_EQ(m->Height(), 5) << c.what;
    if (c.pixelX < 0) {
      EXPECT_TRUE(m->IsEmpty()) << c.what;
    } else {
      EXPECT_EQ(m->GetPixel(c.pixelX, c.pixelY), 1) << c.what;
      EXPECT_EQ(m->X1, c.pixelX) << c.what;
      EXPECT_EQ(m->Y2, c.pixelY) << c.what;
    }
  }
}

TEST(RedozIrViewLayers, ASelectionCarriedToAnotherLayerIsOutlinedByWhatItsEdgesLeave) {
  TRedozIrView v(nullptr);
  v.SelectionBase = iesbBitmap;
  MakeSolid(v.GetIEBitmap(), 10, 10, clBlack);
  v.LayersAdd();
  MakeSolid(v.GetIEBitmap(), 6, 10, clBlack);
  v.GetLayer(1)->PosX = 4;
  v.SetLayersCurrent(0);
  // A triangle whose long side runs down column 0: on the layer at x = 4
  // only its top corner is left, rows 0 to 4 deep.
  for (TPoint p : {TPoint{0, 0}, TPoint{9, 0}, TPoint{0, 9}}) v.AddSelectionPoint(p.X, p.Y);
  v.EndSelect();
  v.SetLayersCurrent(1);
  TIEMask* m = v.SelectionMask();
  ASSERT_FALSE(m->IsEmpty());
  int maxX = 0, maxY = 0;
  for (int i = 0; i < v.GetSelectionPointCount(); ++i) {
    maxX = std::max(maxX, v.GetSelectionPoints()[i].X);
    maxY = std::max(maxY, v.GetSelectionPoints()[i].Y);
  }
  EXPECT_EQ(maxX, m->X2 + 1);
  EXPECT_EQ(maxY, m->Y2 + 1);
  EXPECT_LT(maxY, 9);
}

TEST(RedozIrViewLayers, MergingOneLayerFlattensItsAlphaOntoTheBackground) {
  TRedozIrView v(nullptr);
  v.LayersMergeAll();  // an empty image merges into an empty image
  EXPECT_EQ(v.GetIEBitmap()->Width(), 0);
  v.SetBackground(clWhite);
  MakeSolid(v.GetIEBitmap(), 2, 1, RGB(100, 100, 100));
  v.GetIEBitmap()->GetAlphaChannel()->FillRect(0, 0, 0, 0, 0);
  int changes = 0;
  v.OnImageChange = [&](TObject*) { ++changes; };
  v.LayersMergeAll();
  EXPECT_EQ(changes, 1);
  EXPECT_FALSE(v.GetHasAlphaChannel());
  EXPECT_EQ(PixelAt(v.GetIEBitmap(), 0, 0), (Px{255, 255, 255}));
  // 255 + (100 - 255) x 255 / 256, the shift rounding down: 100.
  EXPECT_EQ(PixelAt(v.GetIEBitmap(), 1, 0), (Px{100, 100, 100}));
}

TEST(RedozIrViewLayers, AddingAndClearingAreImageChangesAndUpdatesDropLayerCaches) {
  TRedozIrView v(nullptr);
  int changes = 0;
  v.OnImageChange = [&](TObject*) { ++changes; };
  v.LayersAdd();
  v.LayersClear();
  EXPECT_EQ(changes, 2);
  v.GetLayer(0)->MaskedAlphaCache = new TIEBitmap();
  v.Update();
  EXPECT_EQ(v.GetLayer(0)->MaskedAlphaCache, nullptr);
}

TEST(RedozIrViewLayers, CroppingTransparentBordersKeepsTheKeptPixelsWhereTheyWereShown) {
  // Opaque only at x 3..5, y 2..4 of a 10 x 8 layer at 20, 30.
  for (bool sized : {false, true}) {
    TwoLayers t(100, 100, 10, 8, 20, 30);
    TIELayer* L = t.v.GetLayer(1);
    TIEBitmap* a = L->Bitmap->GetAlphaChannel();
    a->Fill(0);
    for (int y = 2; y <= 4; ++y)
      for (int x = 3; x <= 5; ++x) a->GetScanline(y)[x] = 255;
    a->SetFull(false);
    if (sized) {  // shown twice as large: the border is 6 and 4 client pixels
      L->Width = 20;
      L->Height = 16;
    }
    t.v.LayersCropTransparentBorders(1);
    EXPECT_EQ(L->Bitmap->Width(), 3);
    EXPECT_EQ(L->Bitmap->Height(), 3);
    EXPECT_EQ(L->PosX, sized ? 26 : 23);
    EXPECT_EQ(L->PosY, sized ? 34 : 32);
    EXPECT_EQ(L->GetWidth(), sized ? 6 : 3);
    EXPECT_EQ(L->GetHeight(), sized ? 6 : 3);
  }
}

// The view on screen: the back buffer's composition (blending, placement,
// outer modes, dimming, masks), the background, what a paint redoes and
// what it only blits, and the guards of flattening.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <stdexcept>
#include <thread>

#include "imaging/core/iebitmap.h"
#include "imaging/view/redozir_view.h"
#include "imaging/view/redozir_view_background.h"
#include "platform/application.h"
#include "platform/forms.h"
#include "platform/inject.h"

using namespace redozir;

namespace {
struct Px {
  int r, g, b;
  friend bool operator==(const Px&, const Px&) = default;
};
std::ostream& operator<<(std::ostream& o, const Px& p) {
  return o << "(" << p.r << "," << p.g << "," << p.b << ")";
}

Px PixelAt(TIEBitmap* b, int x, int y) {
  const std::uint8_t* p = b->GetScanline(y) + 3 * x;
  return {p[2], p[1], p[0]};
}
Px ColorPx(TColor c) {
  c = ColorToRGB(c);
  return {GetRValue(c), GetGValue(c), GetBValue(c)};
}

// A painting view (of class V) on a shown headless form, its client area
// ClientW x ClientH (no border), holding an ImageW x ImageH picture.
template <typename V = TRedozIrView>
struct TShownViewOf {
  THeadlessSession session;
  TForm* form;
  V* view;
  TShownViewOf(int ClientW, int ClientH, int ImageW, int ImageH) {
    form = new TForm(nullptr);
    form->SetBounds(0, 0, 400, 300);
    view = new V(form);
    view->SetParent(form);
    view->SetBorderStyle(bsNone);
    view->SetBounds(0, 0, ClientW, ClientH);
    view->GetIEBitmap()->Allocate(ImageW, ImageH, ie24RGB);
    view->GetIEBitmap()->Fill(0);
    form->Show();
    Application->ProcessMessages();
    view->Update();
    Application->ProcessMessages();
  }
  ~TShownViewOf() { delete form; }
  TShownViewOf(const TShownViewOf&) = delete;
  TShownViewOf& operator=(const TShownViewOf&) = delete;
  // The back buffer composed now, as a copy.
  std::unique_ptr<TIEBitmap> Compose() {
    auto b = TIEBitmap::CreateSized(view->GetClientWidthEx(), view->GetClientHeightEx(), ie24RGB);
    b->SetLocation(ieTBitmap);
    view->PaintLayersToBackBuffer(b.get(), nullptr, true, true);
    return b;
  }
};
using TShownView = TShownViewOf<>;

void Pattern(TIEBitmap* b, int w, int h) {
  b->Allocate(w, h, ie24RGB);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      std::uint8_t* p = b->GetScanline(y) + 3 * x;
      p[0] = static_cast<std::uint8_t>(x * 7 + y);
      p[1] = static_cast<std::uint8_t>(y * 11);
      p[2] = static_cast<std::uint8_t>(x * y);
    }
}

bool SameBytes(TIEBitmap* a, TIEBitmap* b) {
  if (a->Width() != b->Width() || a->Height() != b->Height()) return false;
  for (int y = 0; y < a->Height(); ++y)
    if (std::memcmp(a->GetScanline(y), b->GetScanline(y), 3 * static_cast<size_t>(a->Width())) != 0)
      return false;
  return true;
}
}  // namespace

TEST(RedozIrViewPaint, TheCompositionBlendsByTheSmallerOfAlphaAndTransparency) {
  // d + (s - d) x w / 256 with w = min(alpha, Transparency), the product
  // shifted right by 18 after w is scaled by 1024 (rounding down).
  struct Case {
    int s, d, alpha, transparency, expected;
  } cases[] = {
      {200, 100, 128, 255, 150},  // 100 x 131072 >> 18 = 50
      {0, 255, 255, 64, 191},     // -255 x 65536 >> 18 = -63.75 -> -64
      {255, 0, 10, 200, 9},       // 255 x 10240 >> 18 = 9.96 -> 9
      {90, 30, 40, 40, 39},       // 60 x 40960 >> 18 = 9.375 -> 9
  };
  for (const Case& c : cases) {
    TRedozIrView v(nullptr);
    v.GetIEBitmap()->Allocate(4, 4, ie24RGB);
    v.GetIEBitmap()->Fill(static_cast<double>(RGB(c.d, c.d, c.d)));
    v.LayersAdd();
    v.GetIEBitmap()->Fill(static_cast<double>(RGB(c.s, c.s, c.s)));
    v.GetIEBitmap()->GetAlphaChannel()->Fill(c.alpha);
    v.GetCurrentLayer()->Transparency = c.transparency;
    TIEBitmap dest;
    v.LayersDrawTo(&dest);
    EXPECT_EQ(PixelAt(&dest, 2, 1), (Px{c.expected, c.expected, c.expected})) << c.s << " over " << c.d;
  }
}

TEST(RedozIrViewPaint, ALayerDrawnByThePlainPathAndByPlacementGivesTheSamePixels) {
  for (double zoom : {33.0, 100.0, 250.0}) {
    for (TResampleFilter filter : {rfNone, rfFastLinear}) {
      TShownView f(200, 150, 10, 10);
      Pattern(f.view->GetIEBitmap(), 37, 23);
      TIEBitmap* alpha = f.view->GetIEBitmap()->GetAlphaChannel();
      for (int y = 0; y < 23; ++y)
        for (int x = 0; x < 37; ++x) alpha->GetScanline(y)[x] = static_cast<std::uint8_t>(x * 7 + y * 3);
      alpha->SetFull(false);
      f.view->SetZoomFilter(filter);
      f.view->Zoom(zoom);
      auto plain = f.Compose();
      // An own size (the bitmap's) takes the layer off the plain path.
      f.view->GetLayer(0)->Width = 37;
      f.view->GetLayer(0)->Height = 23;
      f.view->Update();
      auto placed = f.Compose();
      EXPECT_TRUE(SameBytes(plain.get(), placed.get())) << "zoom " << zoom << " filter " << filter;
      // The kept stretched source gives what the renderer gives by itself.
      const TIELayerDrawingInfo& di = f.view->GetLayer(0)->DrawingInfo;
      auto direct = TIEBitmap::CreateSized(200, 150, ie24RGB);
      direct->Fill(static_cast<double>(ColorToRGB(f.view->Background())));
      f.view->GetLayer(0)->Bitmap->RenderToTIEBitmapEx(direct.get(), nullptr, nullptr, di.XDst, di.YDst,
                                                       di.dxDst, di.dyDst, 0, 0, 37, 23, true, false, 255,
                                                       filter, 0);
      TRect img{di.XDst, di.YDst, di.XDst + di.dxDst, di.YDst + di.dyDst};
      bool same = true;
      for (int y = std::max(img.Top, 0); y < std::min(img.Bottom, 150); ++y)
        for (int x = std::max(img.Left, 0); x < std::min(img.Right, 200); ++x)
          same = same && PixelAt(direct.get(), x, y) == PixelAt(placed.get(), x, y);
      EXPECT_TRUE(same) << "zoom " << zoom << " filter " << filter;
    }
  }
}

TEST(RedozIrViewPaint, OuterModesAndDimOutsideMarkWhatLiesOutside) {
  // A 4 x 4 picture centred in 20 x 10: its rectangle is (8, 3)-(12, 7).
  const Px bg{10, 20, 30}, pic{200, 200, 200};
  struct Case {
    int mode;
    bool dim;
    int x, y;
    Px expected;
  } cases[] = {
      // Mode 2: grey where x + y is even outside, both ends of the picture's
      // rectangle counting as inside.
      {2, false, 0, 0, {128, 128, 128}},
      {2, false, 1, 0, bg},
      {2, false, 9, 4, pic},
      {2, false, 12, 4, bg},  // the right end is inside: left alone
      {2, false, 14, 4, {128, 128, 128}},
      // Mode 3: 60 added outside (the right end outside).
      {3, false, 0, 0, {70, 80, 90}},
      {3, false, 12, 4, {70, 80, 90}},
      {3, false, 11, 6, pic},
      // DimOutside on a 2 x 2 layer at (1, 1): box (9, 4)-(11, 6), edges in.
      {0, true, 0, 0, {97, 97, 97}},
      {0, true, 1, 0, bg},
      {0, true, 10, 5, {255, 0, 0}},
      {0, true, 11, 6, pic},  // on the box's edge: not dimmed
      {0, true, 12, 6, {97, 97, 97}},
      {0, true, 8, 4, {97, 97, 97}},  // the picture too is dimmed outside the box
  };
  for (const Case& c : cases) {
    TShownView f(20, 10, 4, 4);
    f.view->SetBackground(RGB(10, 20, 30));
    f.view->GetIEBitmap()->Fill(static_cast<double>(RGB(200, 200, 200)));
    f.view->LayersOuterMode = c.mode;
    if (c.dim) {
      f.view->LayersAdd();
      f.view->GetIEBitmap()->Allocate(2, 2, ie24RGB);
      f.view->GetIEBitmap()->Fill(static_cast<double>(RGB(255, 0, 0)));
      f.view->GetCurrentLayer()->PosX = 1;
      f.view->GetCurrentLayer()->PosY = 1;
      f.view->GetCurrentLayer()->DimOutside = true;
    }
    auto b = f.Compose();
    EXPECT_EQ(PixelAt(b.get(), c.x, c.y), c.expected) << "mode " << c.mode << " at " << c.x << "," << c.y;
  }
}

TEST(RedozIrViewPaint, PhotoLikeBackgroundPaintsGreyAFrameAndAChessboardByHand) {
  // A 100 x 50 transparent picture centred in 200 x 100: rectangle (50, 25)-(150, 75).
  for (TColor background : {RGB(200, 100, 50), clBtnFace}) {
    TShownView f(200, 100, 100, 50);
    f.view->GetIEBitmap()->GetAlphaChannel()->Fill(0);
    f.view->SetBackground(background);
    f.view->SetBackgroundStyle(iebsPhotoLike);
    auto b = f.Compose();
    // The complement of a system colour is that of the colour it stands for.
    TColor rgb = ColorToRGB(background), inverse = ~rgb & 0xFFFFFF;
    const Px grey{0xB0, 0xB0, 0xB0}, black{0, 0, 0};
    EXPECT_EQ(PixelAt(b.get(), 0, 0), grey);
    EXPECT_EQ(PixelAt(b.get(), 48, 24), grey);
    EXPECT_EQ(PixelAt(b.get(), 49, 24), black);
    EXPECT_EQ(PixelAt(b.get(), 150, 75), black);
    EXPECT_EQ(PixelAt(b.get(), 100, 75), black);
    EXPECT_EQ(PixelAt(b.get(), 151, 76), grey);
    EXPECT_EQ(PixelAt(b.get(), 50, 25), ColorPx(rgb));
    EXPECT_EQ(PixelAt(b.get(), 65, 40), ColorPx(rgb));
    EXPECT_EQ(PixelAt(b.get(), 66, 25), ColorPx(inverse));
    EXPECT_EQ(PixelAt(b.get(), 50, 41), ColorPx(inverse));
    EXPECT_EQ(PixelAt(b.get(), 66, 41), ColorPx(rgb));
  }
}

TEST(RedozIrViewPaint, HatchedBackgroundsCoverEveryPixel) {
  // A scroll must not leave the old frame in the hatch's gaps.
  for (TIEBackgroundStyle style : {iebsHorizontal, iebsCross, iebsDiagCross}) {
    TIEBitmap target(16, 16, ie24RGB);
    target.SetLocation(ieTBitmap);
    target.Fill(static_cast<double>(RGB(1, 2, 3)));
    TIEBackgroundParams p;
    p.Style = style;
    p.Background = RGB(0, 0, 200);
    IEPaintBackground(p, target.GetCanvas(), &target, TRect{}, Rect(0, 0, 16, 16), false);
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 16; ++x)
        ASSERT_NE(PixelAt(&target, x, y), (Px{1, 2, 3})) << style << " " << x << "," << y;
  }
}

// The gradient runs down, from the background colour on the top row to the
// end colour on the bottom one; every row is one colour.
TEST(RedozIrViewPaint, TheGradientBackgroundRunsFromTheTopDown) {
  TIEBitmap target(4, 256, ie24RGB);
  target.SetLocation(ieTBitmap);
  TIEBackgroundParams p;
  p.Style = iebsGradient;
  p.Background = RGB(255, 0, 0);
  p.GradientEndColor = RGB(0, 0, 255);
  IEPaintBackground(p, target.GetCanvas(), &target, TRect{}, Rect(0, 0, 4, 256), false);
  EXPECT_EQ(PixelAt(&target, 0, 0), (Px{255, 0, 0}));
  const Px last = PixelAt(&target, 0, 255);
  EXPECT_LE(last.r, 2);
  EXPECT_GE(last.b, 253);
  for (int y = 0; y < 256; ++y) {
    for (int x = 1; x < 4; ++x) ASSERT_EQ(PixelAt(&target, x, y), PixelAt(&target, 0, y)) << x << "," << y;
    if (y > 0) {
      ASSERT_LE(PixelAt(&target, 0, y).r, PixelAt(&target, 0, y - 1).r) << y;
    }
  }
}

TEST(RedozIrViewPaint, AnExposureOnlyBlitsAndAFailingOnPaintIsSwallowed) {
  TShownView f(60, 40, 30, 20);
  f.view->GetIEBitmap()->Fill(static_cast<double>(RGB(0, 128, 255)));
  f.view->Update();
  Application->ProcessMessages();
  int composed = f.view->CompositionCount();
  EXPECT_EQ(Inject::Pixel(f.view, 30, 20), RGB(0, 128, 255));
  // An exposure: the back buffer is blitted again, not composed.
  f.view->Invalidate();
  Application->ProcessMessages();
  EXPECT_EQ(f.view->CompositionCount(), composed);
  f.view->InvalidateRectEx(f.view->ClientRect());
  Application->ProcessMessages();
  EXPECT_EQ(f.view->CompositionCount(), composed + 1);
  // An update that is told not to invalidate leaves the window to its owner.
  for (bool hook : {false, true}) {
    f.view->InvalidateOnUpdate = hook;
    f.view->SuppressInvalidate = hook;
    f.view->Update();
    Application->ProcessMessages();
    EXPECT_EQ(f.view->CompositionCount(), composed + 1) << hook;
    f.view->InvalidateOnUpdate = true;
    f.view->SuppressInvalidate = false;
  }
  // The version text sits in the bottom-right corner on white.
  f.view->SetDrawVersion(true);
  Application->ProcessMessages();
  EXPECT_EQ(Inject::Pixel(f.view, 59, 39), clWhite);
  EXPECT_EQ(Inject::Pixel(f.view, 30, 20), RGB(0, 128, 255));
  // A handler that throws does not stop the loop nor the next paint.
  int paints = 0;
  f.view->OnPaint = [&](TObject*) {
    ++paints;
    throw std::runtime_error("handler failed");
  };
  for (int i = 0; i < 2; ++i) {
    f.view->Invalidate();
    EXPECT_NO_THROW(Application->ProcessMessages());
  }
  EXPECT_EQ(paints, 2);
}

namespace {
class TCountingView : public TRedozIrView {
 public:
  using TRedozIrView::TRedozIrView;
  int updates = 0;
  bool sendSize = false;

 protected:
  void DoUpdate() override {
    ++updates;
    if (sendSize) Perform(WM_SIZE, 0, 0);
    TRedozIrView::DoUpdate();
  }
};
}  // namespace

TEST(RedozIrViewPaint, AScrollBarComingRerunsTheUpdateOnceAndASizeInsideItDoesNotRecurse) {
  TShownViewOf<TCountingView> f(100, 100, 10, 10);
  TCountingView* v = f.view;
  // 150 x 80: the horizontal bar comes, and 83 rows still hold the picture.
  v->GetIEBitmap()->Allocate(150, 80, ie24RGB);
  v->updates = 0;
  v->Update();
  EXPECT_EQ(v->updates, 2);
  EXPECT_TRUE(v->ScrollBar(SB_HORZ).Visible);
  v->sendSize = true;
  v->updates = 0;
  v->Update();
  EXPECT_EQ(v->updates, 1);
}

TEST(RedozIrViewPaint, MessagesProgressPostedFromAThreadEraseSpecialKeysAndShiftCursors) {
  TShownView f(100, 100, 10, 10);
  TRedozIrView* v = f.view;
  std::vector<int> progress;
  v->SetOnProgress([&](TObject*, int per) { progress.push_back(per); });
  EXPECT_EQ(v->Perform(IEM_PROGRESS, 50, 0), 0);
  EXPECT_EQ(progress, std::vector<int>{50});
  // From another thread a post waits for the loop.
  HWND h = v->Handle();
  std::thread([h] { PostMessage(h, IEM_PROGRESS, 70, 0); }).join();
  EXPECT_EQ(progress.size(), 1u);
  Application->ProcessMessages();
  EXPECT_EQ(progress, (std::vector<int>{50, 70}));
  // Erasing erases nothing: the view paints every pixel itself.
  EXPECT_EQ(v->Perform(WM_ERASEBKGND, 0, 0), 1);
  v->OnSpecialKey = [](TObject*, WORD, TShiftState, bool& Handled) { Handled = true; };
  EXPECT_EQ(v->Perform(CM_WANTSPECIALKEY, VK_LEFT, 0), 1);
  // Shift shows the "+" cursors while held.
  v->SetFocus();
  struct Case {
    TCursor base, held;
  } cases[] = {{1785, 1791}, {1793, 1794}, {crArrow, crArrow}};
  for (const Case& c : cases) {
    v->SetCursor(c.base);
    Inject::KeyDown(VK_SHIFT, ssShift);
    EXPECT_EQ(v->Cursor(), c.held);
    Inject::KeyUp(VK_SHIFT);
    EXPECT_EQ(v->Cursor(), c.base);
    EXPECT_EQ(v->BaseCursor(), c.base);
  }
  // The swapped cursors are the view's pictures, shown at once.
  v->SetCursor(1793);
  Inject::KeyDown(VK_SHIFT, ssShift);
  HCURSOR shown = GetCursor();
  ASSERT_NE(shown, nullptr);
  EXPECT_EQ(shown, Screen->Cursors(1794));
  EXPECT_EQ(shown->Name, "CROCE2+");
  EXPECT_EQ(shown->Shape, csImageShape);
  Inject::KeyUp(VK_SHIFT);
  EXPECT_EQ(GetCursor(), Screen->Cursors(1793));
}

TEST(RedozIrViewPaint, MasksShapeTheLayerBelowAndAreNoPictureOfTheirOwn) {
  TRedozIrView v(nullptr);
  v.GetIEBitmap()->Allocate(4, 2, ie24RGB);
  v.GetIEBitmap()->Fill(0);
  v.LayersAdd();  // white, masked by the next layer
  v.GetIEBitmap()->Fill(static_cast<double>(RGB(255, 255, 255)));
  v.LayersAdd();  // the mask: left half 255, right half 0
  TIEBitmap* m = v.GetIEBitmap();
  m->Allocate(4, 2, ie8g);
  m->Fill(0);
  m->FillRect(0, 0, 1, 1, 255);
  v.GetCurrentLayer()->IsMask = true;
  TIEBitmap dest;
  v.LayersDrawTo(&dest);
  EXPECT_EQ(PixelAt(&dest, 0, 0), (Px{254, 254, 254}));  // w = 255: 255 x 255 / 256 rounds down
  EXPECT_EQ(PixelAt(&dest, 3, 1), (Px{0, 0, 0}));        // masked out, and the mask itself not drawn
  // A mask of no size hides the layer instead of dividing by zero.
  m->Allocate(0, 0, ie8g);
  v.Update();
  v.LayersDrawTo(&dest);
  EXPECT_EQ(PixelAt(&dest, 0, 0), (Px{0, 0, 0}));
  // A kept combination of another size than the layer is not used.
  v.GetLayer(1)->Bitmap->Resize(6, 2, 0, 255, 0, 0);
  v.LayersDrawTo(&dest);
  EXPECT_EQ(PixelAt(&dest, 0, 0), (Px{0, 0, 0}));
}

TEST(RedozIrViewPaint, AWindowlessMergeKeepsTheWholePicture) {
  // The hidden view's client area is 50 x 50; the picture is larger.
  TRedozIrView v(nullptr);
  Pattern(v.GetIEBitmap(), 120, 90);
  auto before = TIEBitmap::CreateSized(120, 90, ie24RGB);
  before->Assign(v.GetIEBitmap());
  v.Update();
  v.Zoom(250);
  v.LayersAdd();
  v.GetCurrentLayer()->Visible = false;
  v.LayersMergeAll();
  ASSERT_EQ(v.GetIEBitmap()->Width(), 120);
  ASSERT_EQ(v.GetIEBitmap()->Height(), 90);
  EXPECT_TRUE(SameBytes(v.GetIEBitmap(), before.get()));
  EXPECT_EQ(v.Zoom(), 250);
}

TEST(RedozIrViewPaint, GripsAndThePixelGridFollowTheCurrentLayer) {
  // Layer 1, 6 x 6 at (2, 2) over a 10 x 10 picture at 400 %: its box is
  // (18, 18)-(42, 42), four client pixels to a bitmap pixel.
  TShownView f(60, 60, 10, 10);
  TRedozIrView* v = f.view;
  v->Zoom(400);
  v->LayersAdd();
  v->GetIEBitmap()->Allocate(6, 6, ie24RGB);
  v->GetIEBitmap()->Fill(static_cast<double>(RGB(10, 200, 90)));
  v->GetCurrentLayer()->PosX = 2;
  v->GetCurrentLayer()->PosY = 2;
  v->DisplayGrid = true;
  v->SetMouseInteract(IEMouseInteract({miResizeLayers}));
  auto b = f.Compose();
  EXPECT_EQ(v->GetCurrentLayer()->ClientAreaBox, (TRect{18, 18, 42, 42}));
  // The grid inverts the client columns between the layer's bitmap pixels
  // (18 + 4k); the pixels between them keep their colour.
  EXPECT_EQ(PixelAt(b.get(), 26, 28), (Px{245, 55, 165}));
  EXPECT_EQ(PixelAt(b.get(), 27, 28), (Px{10, 200, 90}));
  struct Case {
    int x, y, grip;
  } cases[] = {
      {18, 18, ieTopLeft}, {42, 30, ieRightSide}, {30, 42, ieBottomSide}, {30, 30, ieNone}, {0, 0, ieNone}};
  for (const Case& c : cases) EXPECT_EQ(v->GetLayerGripAt(c.x, c.y), c.grip) << c.x << "," << c.y;
  // The rotation centre counts only while layers may be rotated.
  v->SetMouseInteract(IEMouseInteract({miMoveLayers, miRotateLayers}));
  EXPECT_EQ(v->GetLayerGripAt(30, 30), ieRotationCenter);
}

TEST(RedozIrViewPaint, ADeepZoomComposedAgainFromWhatTheLayerKeepsGivesTheRenderersBytes) {
  // At 400 % a 2000 x 1000 picture is too large to resample whole: the
  // renderer resamples the visible part, and the layer keeps it.
  TShownView f(100, 80, 10, 10);
  Pattern(f.view->GetIEBitmap(), 2000, 1000);
  f.view->SetZoomFilter(rfFastLinear);
  f.view->Zoom(400);
  f.view->SetViewXY(3000, 2000);
  auto first = f.Compose();
  auto again = f.Compose();
  EXPECT_TRUE(SameBytes(first.get(), again.get()));
  const TIELayerDrawingInfo& di = f.view->GetLayer(0)->DrawingInfo;
  auto direct = TIEBitmap::CreateSized(again->Width(), again->Height(), ie24RGB);
  f.view->GetIEBitmap()->RenderToTIEBitmapEx(direct.get(), nullptr, nullptr, di.XDst, di.YDst, di.dxDst,
                                             di.dyDst, 0, 0, 2000, 1000, true, false, 255, rfFastLinear, 0);
  EXPECT_TRUE(SameBytes(direct.get(), again.get()));
  // A moved origin resamples anew.
  f.view->SetViewXY(3100, 2000);
  auto moved = f.Compose();
  const TIELayerDrawingInfo& dm = f.view->GetLayer(0)->DrawingInfo;
  f.view->GetIEBitmap()->RenderToTIEBitmapEx(direct.get(), nullptr, nullptr, dm.XDst, dm.YDst, dm.dxDst,
                                             dm.dyDst, 0, 0, 2000, 1000, true, false, 255, rfFastLinear, 0);
  EXPECT_TRUE(SameBytes(direct.get(), moved.get()));
}

TEST(RedozIrViewPaint, AZoomGestureBackToASizeItShowedMakesNoStretchedCopyUntilItRests) {
  // 100 x 100 at 4000 % is 16 million pixels, as many as a stretched copy may
  // have; at 4100 % it is more. Zoomed at the corner, the way back from 4100 %
  // lands on the size and the origin of two steps before.
  TShownView f(60, 60, 100, 100);
  TRedozIrView* v = f.view;
  v->SetZoomFilter(rfNone);
  auto copyWidth = [&] {
    const auto& c = v->GetLayer(0)->PaintCache;
    return c && c->Resampled ? c->Resampled->Width() : 0;
  };
  for (double z : {4000.0, 4100.0, 4000.0}) {
    v->ZoomAt(0, 0, z, false);
    Application->ProcessMessages();
    EXPECT_EQ(copyWidth(), 0) << z;
  }
  // Resting at that size, the next composition (a scroll) makes it.
  v->SetViewXY(400, 0);
  Application->ProcessMessages();
  EXPECT_EQ(v->ViewX(), 400);
  EXPECT_EQ(copyWidth(), 4000);
}

TEST(RedozIrViewPaint, TheDelayedZoomFilterComesBackFourTicksAfterTheLastMove) {
  // Black beside white from 400 % to 800 %: without the filter the edge is
  // hard, with the linear filter the pixels beside it are in between.
  TShownView f(40, 20, 2, 1);
  TIEBitmap* b = f.view->GetIEBitmap();
  b->GetScanline(0)[3] = b->GetScanline(0)[4] = b->GetScanline(0)[5] = 255;
  f.view->Zoom(400);
  f.view->DelayZoomFilter = true;
  f.view->SetZoomFilter(rfFastLinear);
  f.view->Zoom(800);
  Application->ProcessMessages();
  // The last black column of the unfiltered picture.
  auto edge = [&] {
    return PixelAt(f.view->BackBuffer(), f.view->ImageRect().Left + 7, f.view->ImageRect().Top).r;
  };
  EXPECT_EQ(edge(), 0);
  f.session.Clock().Advance(3 * 210);
  Application->ProcessMessages();
  EXPECT_EQ(f.view->DelayZoomFilterCount(), 1);
  EXPECT_EQ(edge(), 0);
  f.session.Clock().Advance(210);
  Application->ProcessMessages();
  EXPECT_EQ(f.view->DelayZoomFilterCount(), 0);
  EXPECT_GT(edge(), 0);
  EXPECT_LT(edge(), 255);
  // At rest the timer stops; no further composition.
  const int composed = f.view->CompositionCount();
  f.session.Clock().Advance(5 * 210);
  Application->ProcessMessages();
  EXPECT_EQ(f.view->CompositionCount(), composed);
  EXPECT_FALSE(f.view->AntsTimer() && f.view->AntsTimer()->Enabled());
}

TEST(RedozIrViewPaint, AViewGrownWhileUpdatesAreLockedShowsThePictureInTheNewArea) {
  TShownView f(20, 20, 10, 10);
  Pattern(f.view->GetIEBitmap(), 40, 40);
  f.view->SetScrollBars(ssNone);
  Application->ProcessMessages();
  f.view->LockUpdate();
  f.view->SetBounds(0, 0, 40, 40);
  f.view->Invalidate();
  Application->ProcessMessages();
  f.view->UnlockUpdateEx();
  // Pattern at 30, 30: blue 30 x 7 + 30 = 240, green 330 mod 256 = 74, red
  // 900 mod 256 = 132.
  ASSERT_EQ(f.view->BackBuffer()->Width(), 40);
  EXPECT_EQ(PixelAt(f.view->BackBuffer(), 30, 30), (Px{132, 74, 240}));
}

TEST(RedozIrViewPaint, MaskedAlphaAndTurnedLayersDrawWhatTheirLastStateSays) {
  // Layer 0 black; layer 1 white with its own alpha (0 at x = 0), masked by
  // layer 2 (255 at x = 0 and 1, 0 at x = 2 and 3).
  TShownView f(4, 2, 4, 2);
  TRedozIrView* v = f.view;
  v->LayersAdd();
  v->GetIEBitmap()->Allocate(4, 1, ie24RGB);
  v->GetIEBitmap()->Fill(static_cast<double>(RGB(255, 255, 255)));
  TIEBitmap* a = v->GetIEBitmap()->GetAlphaChannel();
  a->Fill(255);
  a->GetScanline(0)[0] = 0;
  a->SetFull(false);
  v->LayersAdd();
  TIEBitmap* m = v->GetIEBitmap();
  m->Allocate(4, 1, ie8g);
  m->Fill(0);
  m->GetScanline(0)[0] = m->GetScanline(0)[1] = 255;
  v->GetCurrentLayer()->IsMask = true;
  v->Update();
  auto masked = f.Compose();
  // w = 255 blends white over black to 255 x 255 / 256, rounded down.
  EXPECT_EQ(PixelAt(masked.get(), 0, 0), (Px{0, 0, 0}));  // its own alpha
  EXPECT_EQ(PixelAt(masked.get(), 1, 0), (Px{254, 254, 254}));
  EXPECT_EQ(PixelAt(masked.get(), 2, 0), (Px{0, 0, 0}));  // the mask
  EXPECT_EQ(PixelAt(masked.get(), 3, 0), (Px{0, 0, 0}));
  // A 2 x 2 layer (red, green over blue, white) turned twice with no update
  // between: at 180 degrees about its centre it shows white, blue over
  // green, red in the same place.
  v->LayersRemove(2);
  v->LayersRemove(1);
  v->LayersAdd();
  TIEBitmap* t = v->GetIEBitmap();
  t->Allocate(2, 2, ie24RGB);
  const std::uint8_t top[6] = {0, 0, 255, 0, 255, 0}, bottom[6] = {255, 0, 0, 255, 255, 255};  // b, g, r
  std::memcpy(t->GetScanline(0), top, 6);
  std::memcpy(t->GetScanline(1), bottom, 6);
  v->GetCurrentLayer()->PosX = 1;
  v->GetCurrentLayer()->SetRotate(90);
  v->Update();
  f.Compose();
  v->GetCurrentLayer()->SetRotate(180);
  auto turned = f.Compose();
  EXPECT_EQ(PixelAt(turned.get(), 1, 0), (Px{254, 254, 254}));
  EXPECT_EQ(PixelAt(turned.get(), 2, 0), (Px{0, 0, 254}));
  EXPECT_EQ(PixelAt(turned.get(), 1, 1), (Px{0, 254, 0}));
  EXPECT_EQ(PixelAt(turned.get(), 2, 1), (Px{254, 0, 0}));
}

TEST(RedozIrViewPaint, ADragComposesOncePerPassOfTheLoopAtTheLatestPosition) {
  TShownView f(100, 80, 400, 300);
  f.view->SetMouseInteract(IEMouseInteract({miScroll}));
  Inject::MouseDown(f.view, mbLeft, 60, 50);
  Application->ProcessMessages();
  const int composed = f.view->CompositionCount();
  for (int k = 1; k <= 10; ++k) Inject::PostMouseMove(f.view, 60 - 3 * k, 50 - 2 * k);
  Application->ProcessMessages();
  EXPECT_EQ(f.view->CompositionCount(), composed + 1);
  EXPECT_EQ(f.view->ViewX(), 30);
  EXPECT_EQ(f.view->ViewY(), 20);
  Inject::MouseUp(f.view, mbLeft, 30, 30);
}

TEST(RedozIrViewPaint, TheBackBufferAfterZoomsAndScrollsIsAFullRecomposition) {
  // Two views of the same layers side by side: one zoomed and scrolled step
  // by step through the loop, the other set to the same zoom and origin and
  // composed from nothing each time.
  THeadlessSession session;
  TForm* form = new TForm(nullptr);
  form->SetBounds(0, 0, 400, 200);
  TRedozIrView* views[2];
  for (int k = 0; k < 2; ++k) {
    TRedozIrView* v = views[k] = new TRedozIrView(form);
    v->SetParent(form);
    v->SetBorderStyle(bsNone);
    v->SetScrollBars(ssNone);
    v->SetBounds(k * 160, 0, 150, 120);
    Pattern(v->GetIEBitmap(), 300, 200);
    TIEBitmap* a = v->GetIEBitmap()->GetAlphaChannel();
    for (int y = 0; y < 200; ++y)
      for (int x = 0; x < 300; ++x) a->GetScanline(y)[x] = static_cast<std::uint8_t>(255 - (x + y) % 97);
    a->SetFull(false);
    v->LayersAdd();
    Pattern(v->GetIEBitmap(), 60, 40);
    v->GetCurrentLayer()->Transparency = 128;
    v->GetCurrentLayer()->PosX = 100;
    v->GetCurrentLayer()->PosY = 50;
    v->LayersAdd();
    Pattern(v->GetIEBitmap(), 50, 30);
    v->GetCurrentLayer()->PosX = 200;
    v->GetCurrentLayer()->PosY = 120;
    v->GetCurrentLayer()->SetRotate(30);
    v->SetLayersCurrent(0);
  }
  form->Show();
  Application->ProcessMessages();
  TRedozIrView *v = views[0], *ref = views[1];
  auto both = [&](auto change) {
    change(v);
    change(ref);
  };
  std::mt19937 rng(15);
  for (TResampleFilter filter : {rfNone, rfLanczos3, rfFastLinear}) {
    v->SetZoomFilter(filter);
    ref->SetZoomFilter(filter);
    both([](TRedozIrView* x) {
      x->Deselect();
      x->SetBackgroundStyle(iebsSolid);
    });
    const int keptBefore = v->KeptFrameCount();
    for (int step = 0; step < 40; ++step) {
      int mx, my;
      v->GetMaxViewXY(mx, my);
      // Mostly scrolls (of 2, 7 and 90 pixels), some at whole zoom ratios
      // where the frame is kept, then a zoom step, a whole ratio, a change
      // that a scroll must not carry along.
      const char kinds[] = "sssmmlzwwccpb";
      char kind = kinds[rng() % 13];
      const bool changes = kind == 'c' || kind == 'p' || kind == 'b';
      if (changes && mx == 0 && my == 0) kind = 'w';
      if (kind == 'z') {
        const double factor = rng() % 2 ? 1.1 : 1 / 1.1;
        v->ZoomAt(static_cast<int>(rng() % 150), static_cast<int>(rng() % 120),
                  std::clamp(v->ZoomX() * factor, 20.0, 800.0), false);
      } else if (kind == 'w') {
        const double zooms[] = {100, 150, 200, 300};
        v->Zoom(zooms[rng() % 4]);
      } else if (kind == 'c' || kind == 'p' || kind == 'b') {
        // A selection filled into the back buffer or only outlined on the
        // window, none, another background, a layer moved or made more
        // transparent with no update, a mark the program draws into the back
        // buffer; each with a move of the origin.
        const int change = kind == 'p' ? 6 : kind == 'b' ? 7 : static_cast<int>(rng() % 6);
        if (change == 7) {
          TCanvas* c = v->GetBackBufferBitmap()->Canvas();
          c->Brush.Color = clRed;
          c->FillRect(Rect(40, 30, 60, 50));
        } else if (change <= 1) {
          both([&](TRedozIrView* x) {
            x->SetSelectionOptions(change ? x->SelectionOptions | (1u << iesoFilled)
                                          : x->SelectionOptions & ~(1u << iesoFilled));
            x->Select(20, 10, 90, 70);
          });
        } else if (change == 2) {
          both([](TRedozIrView* x) { x->Deselect(); });
        } else if (change <= 5) {
          const TIEBackgroundStyle styles[] = {iebsChessboard, iebsGradient, iebsSolid};
          both([&](TRedozIrView* x) { x->SetBackgroundStyle(styles[change - 3]); });
        } else {
          const bool move = rng() % 2;
          both([&](TRedozIrView* x) {
            TIELayer* l = x->GetLayer(1);
            (move ? l->PosX : l->Transparency) += move ? 3 : l->Transparency > 128 ? -64 : 64;
          });
        }
        v->SetViewXY(v->ViewX() < mx ? v->ViewX() + 1 : mx - 1, v->ViewY() < my ? v->ViewY() + 1 : my - 1);
      } else {
        const int d = kind == 's' ? 2 : kind == 'm' ? 7 : 90;
        v->SetViewXY(v->ViewX() + static_cast<int>(rng() % (2 * d + 1)) - d,
                     v->ViewY() + static_cast<int>(rng() % (2 * d + 1)) - d);
      }
      Application->ProcessMessages();
      ref->Zoom(v->ZoomX());
      ref->SetViewXY(v->ViewX(), v->ViewY());
      ref->Update();
      auto full = TIEBitmap::CreateSized(150, 120, ie24RGB);
      full->SetLocation(ieTBitmap);
      ref->PaintLayersToBackBuffer(full.get(), nullptr, true, true);
      ASSERT_TRUE(SameBytes(v->BackBuffer(), full.get()))
          << "filter " << filter << " step " << step << " zoom " << v->ZoomX() << " at " << v->ViewX() << ", "
          << v->ViewY() << " kind " << kind;
    }
    EXPECT_GE(v->KeptFrameCount() - keptBefore, 5) << "filter " << filter;
  }
  delete form;
}

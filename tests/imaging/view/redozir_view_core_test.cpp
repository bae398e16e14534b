#include <gtest/gtest.h>

#include "imaging/core/iebitmap.h"
#include "imaging/view/redozir_view.h"
#include "platform/inject.h"

using namespace redozir;

namespace {
struct TWatchedView : TRedozIrView {
  explicit TWatchedView(TComponent* AOwner) : TRedozIrView(AOwner) {}
  int updates = 0, fixes = 0, crops = 0;
  void DoUpdate() override {
    ++updates;
    TRedozIrView::DoUpdate();
  }
  void LayersFixRotations(int LayerIndex) override {
    EXPECT_EQ(LayerIndex, -1);
    ++fixes;
  }
  void LayersCropTransparentBorders(int LayerIndex) override {
    EXPECT_EQ(LayerIndex, -1);
    ++crops;
  }
};

// A transition as the engine leaves it while it runs: it holds the view's
// paint lock.
void PretendRunning(TRedozIrView& v) {
  TIETransitionEffects* t = v.Transition();
  t->Running = true;
  t->Effect = 1;
  t->FrameImage->SetSize(20, 10);
  v.LockPaint();
}
}  // namespace

TEST(RedozIrViewCore, AShownViewHasAWindowFollowsItsFormAndStopsATransitionOnResize) {
  THeadlessSession session;
  auto* form = new TForm(nullptr);
  form->SetBounds(0, 0, 320, 200);
  auto* v = new TWatchedView(form);
  v->SetParent(form);
  v->SetBorderStyle(bsNone);
  v->SetAlign(alClient);
  EXPECT_FALSE(v->HandleAllocated());
  EXPECT_EQ(v->GetClientWidthEx(), 50);
  form->Show();
  ASSERT_TRUE(v->HandleAllocated());
  EXPECT_TRUE(v->HasParentWindow());
  EXPECT_EQ(v->GetClientWidthEx(), form->ClientWidth());
  EXPECT_EQ(v->GetClientHeightEx(), form->ClientHeight());

  int stops = 0;
  v->SetOnTransitionStop([&](TObject* Sender) {
    EXPECT_EQ(Sender, v);
    ++stops;
  });
  PretendRunning(*v);
  int before = v->updates;
  Inject::Resize(form, 400, 250);
  EXPECT_EQ(v->GetClientWidthEx(), 400);
  EXPECT_EQ(v->GetClientHeightEx(), 250);
  EXPECT_GT(v->updates, before);
  EXPECT_EQ(stops, 1);
  EXPECT_FALSE(v->Transition()->Running);
  EXPECT_EQ(v->Transition()->FrameImage->Width(), 1);
  EXPECT_EQ(v->PaintLockCount(), 0);
  // The form frees the view it owns, with its engine and timer.
  delete form;
}

TEST(RedozIrViewCore, TransitionEventsLiveInTheEngineMadeOnFirstAssignment) {
  TRedozIrView v(nullptr);
  EXPECT_FALSE(v.GetOnTransitionStop());
  EXPECT_FALSE(v.GetOnTransitionStep());
  EXPECT_FALSE(v.GetOnTransitionPaint());
  EXPECT_EQ(v.Transition(), nullptr);
  v.Blank();  // nothing to stop, nothing made
  EXPECT_EQ(v.Transition(), nullptr);
  int stops = 0, steps = 0;
  v.SetOnTransitionStep([&](TObject*, int) { ++steps; });
  ASSERT_NE(v.Transition(), nullptr);
  TIETransitionEffects* t = v.Transition();
  EXPECT_EQ(t->Duration, 1000u);
  EXPECT_EQ(t->FrameImage->Width(), 1);
  EXPECT_EQ(t->FrameImage->PixelFormat(), pf24bit);
  EXPECT_FALSE(t->Timer->Enabled());
  EXPECT_EQ(t->Timer->Interval(), 1u);
  v.SetOnTransitionStop([&](TObject*) { ++stops; });
  v.SetOnTransitionPaint([](TObject*, TBitmap*, TIETransitionEffects*, int) {});
  EXPECT_EQ(v.Transition(), t);  // one engine for all three
  EXPECT_TRUE(v.GetOnTransitionStop());
  EXPECT_TRUE(v.GetOnTransitionPaint());
  // Stop needs an effect as well as Running.
  t->Running = true;
  v.StopTransition();
  EXPECT_TRUE(t->Running);
  EXPECT_EQ(stops, 0);
  t->Running = false;
  // Blanking stops a running one; FinishWithTarget adds an update.
  PretendRunning(v);
  t->FinishWithTarget = true;
  v.Blank();
  EXPECT_EQ(stops, 1);
  EXPECT_FALSE(t->Running);
  EXPECT_EQ(v.PaintLockCount(), 0);
  v.StopTransition();  // already stopped
  EXPECT_EQ(stops, 1);
  EXPECT_EQ(steps, 0);
}

TEST(RedozIrViewCore, TheOverviewFollowsTheCurrentBitmapAndLetsGoWhicheverSideGoesFirst) {
  for (bool mainFirst : {false, true}) {
    auto* main = new TWatchedView(nullptr);
    auto* overview = new TWatchedView(nullptr);
    main->GetIEBitmap()->Allocate(300, 200, ie24RGB);
    main->Update();
    main->SetOverviewView(overview, 1);
    EXPECT_TRUE(overview->IsOverview());
    EXPECT_EQ(overview->GetIEBitmap(), main->GetIEBitmap());
    // Moving the overview's selection brings that area into sight.
    overview->SelectionMask()->Empty();
    overview->SelectionMask()->SetPixel(100, 60, 1);
    overview->SelectionMask()->SetPixel(110, 70, 1);
    overview->DoSelectionChanging();
    EXPECT_EQ(main->ViewX(), 100);
    EXPECT_EQ(main->ViewY(), 60);
    // A new current bitmap here is the overview's too, so that it never
    // keeps one that a removal frees.
    main->LayersAdd();
    EXPECT_EQ(overview->GetIEBitmap(), main->GetIEBitmap());
    main->LayersRemove(1);
    EXPECT_EQ(overview->GetIEBitmap(), main->GetIEBitmap());
    if (mainFirst) {
      TIEBitmap* shared = main->GetIEBitmap();
      delete main;
      EXPECT_FALSE(overview->IsOverview());
      EXPECT_NE(overview->GetIEBitmap(), shared);
      EXPECT_FALSE(overview->OnSelectionChanging);
      EXPECT_FALSE(overview->OnMouseWheel);
      overview->DoSelectionChanging();  // reaches nothing freed
      delete overview;
    } else {
      delete overview;
      EXPECT_EQ(main->OverviewView(), nullptr);
      main->LayersAdd();  // no overview left to follow
      delete main;
    }
  }
}

TEST(RedozIrViewCore, ReplacingTheOverviewReleasesThePreviousOne) {
  TRedozIrView main(nullptr), a(nullptr), b(nullptr);
  main.SetOverviewView(&a, 0);
  main.SetOverviewView(&b, 0);
  EXPECT_FALSE(a.IsOverview());
  EXPECT_NE(a.GetIEBitmap(), main.GetIEBitmap());
  EXPECT_FALSE(a.OnSelectionChanging);
  EXPECT_EQ(b.GetIEBitmap(), main.GetIEBitmap());
  main.SetOverviewView(nullptr, 0);
  EXPECT_EQ(main.OverviewView(), nullptr);
  EXPECT_FALSE(b.IsOverview());
  EXPECT_NE(b.GetIEBitmap(), main.GetIEBitmap());
}

TEST(RedozIrViewCore, EventHandlersSeeTheProgramsSelectionBase) {
  TRedozIrView v(nullptr);
  std::vector<TIESelectionBase> seen;
  auto record = [&](TObject*) { seen.push_back(v.SelectionBase); };
  v.OnSelectionChanging = record;
  v.OnSelectionChange = record;
  v.OnMouseInSel = record;
  v.OnBeforeSelectionChange = record;
  v.OnMouseInResizingGrip = [&](TObject*, TIEGrip) { seen.push_back(v.SelectionBase); };
  v.OnLayerNotify = [&](TObject*, int, TIELayerEvent) { seen.push_back(v.SelectionBase); };
  v.SelectionBase = iesbBitmap;
  // Outside a mouse handler: the base as it is.
  v.DoLayerNotify(0, ielMoved);
  v.DoSelectionChange();
  // Inside one: the program's base, but OnSelectionChange sees the handler's.
  v.BeginClientSelectionBase();
  EXPECT_EQ(v.SelectionBase, iesbClientArea);
  v.DoLayerNotify(0, ielMoved);
  v.DoSelectionChanging();
  v.DoBeforeSelectionChange();
  v.DoMouseInSel();
  v.DoMouseInResizingGrip(ieTopLeft);
  v.DoSelectionChange();
  EXPECT_EQ(v.SelectionBase, iesbClientArea);
  EXPECT_EQ(seen, (std::vector<TIESelectionBase>{iesbBitmap, iesbBitmap, iesbBitmap, iesbBitmap, iesbBitmap,
                                                 iesbBitmap, iesbBitmap, iesbClientArea}));
  // A base the handler sets is the program's from then on.
  v.OnLayerNotify = [&](TObject*, int, TIELayerEvent) { v.SelectionBase = iesbClientArea; };
  v.DoLayerNotify(0, ielMoved);
  v.EndClientSelectionBase();
  EXPECT_EQ(v.SelectionBase, iesbClientArea);
  v.EndClientSelectionBase();  // unmatched: no effect
  EXPECT_EQ(v.SelectionBase, iesbClientArea);
}

TEST(RedozIrViewCore, IsRectanglePolygonWantsFourAlternatingAxisEdges) {
  struct Case {
    std::vector<TPoint> p;
    bool expected;
  } cases[] = {
      {{{0, 0}, {10, 0}, {10, 5}, {0, 5}}, true},
      {{{0, 0}, {0, 5}, {10, 5}, {10, 0}}, true},   // vertical edge first
      {{{0, 0}, {10, 0}, {10, 5}, {1, 5}}, false},  // last edge slanted
      {{{0, 0}, {10, 1}, {10, 5}, {0, 5}}, false},
      {{{0, 0}, {10, 0}, {20, 0}, {0, 0}}, false},  // all horizontal
      {{{0, 0}, {10, 0}, {10, 5}}, false},
      {{{0, 0}, {10, 0}, {10, 5}, {0, 5}, {0, 0}}, false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(TRedozIrView::IsRectanglePolygon(c.p.data(), static_cast<int>(c.p.size())), c.expected)
        << c.p.size() << " points from " << c.p[1].X << "," << c.p[1].Y;
  EXPECT_FALSE(TRedozIrView::IsRectanglePolygon(nullptr, 4));
}

TEST(RedozIrViewCore, MouseInteractFixesRotationsOrCropsBordersForLayerRotation) {
  TWatchedView v(nullptr);
  v.SetMouseInteract(IEMouseInteract({miMoveLayers, miRotateLayers}));
  EXPECT_EQ(v.crops, 1);
  EXPECT_EQ(v.fixes, 0);
  v.SetMouseInteract(IEMouseInteract({miZoom}));
  EXPECT_EQ(v.fixes, 1);
  v.SetMouseInteract(IEMouseInteract({miZoom}));  // unchanged: nothing runs
  EXPECT_EQ(v.fixes, 1);
  v.LayersCropBeforeRotating = false;
  v.SetMouseInteract(IEMouseInteract({miRotateLayers}));
  EXPECT_EQ(v.crops, 1);
}

TEST(RedozIrViewCore, PaintingStateDefaultsAndWhatTheSettersAskToRepaint) {
  TRedozIrView v(nullptr);
  EXPECT_EQ(v.Cursor(), 1785);
  ASSERT_NE(v.BackBuffer(), nullptr);
  EXPECT_EQ(v.BackBuffer()->Width(), 10);
  EXPECT_EQ(v.BackBuffer()->Height(), 10);
  EXPECT_EQ(v.BackBuffer()->PixelFormat(), ie24RGB);
  EXPECT_EQ(v.BackBuffer()->Location(), ieTBitmap);
  EXPECT_EQ(v.XorPen.Style, psDot);
  EXPECT_EQ(v.XorPen.Mode, pmNot);
  EXPECT_EQ(v.XorPen.Width, 1);
  EXPECT_EQ(v.SelectionColorA, clBlack);
  EXPECT_EQ(v.SelectionColorB, clWhite);
  EXPECT_TRUE(v.WallPaper()->Empty());
  TBitmap paper(3, 2);
  paper.SetPixel(2, 1, clRed);
  TPicture pic;
  pic.Assign(&paper);
  v.SetWallPaper(&pic);
  ASSERT_EQ(v.WallPaper()->Width(), 3);
  EXPECT_NE(v.WallPaper()->Graphic(), &paper);
  EXPECT_EQ(v.WallPaper()->Graphic()->GetPixel(2, 1), clRed);
  v.SetWallPaper(nullptr);
  EXPECT_TRUE(v.WallPaper()->Empty());
  EXPECT_FALSE(v.HandleAllocated());
}

TEST(RedozIrViewCore, WhileLoadingTheImageTakesTheControlsSizeCleared) {
  struct TLoadingView : TRedozIrView {
    TLoadingView() : TRedozIrView(nullptr) {}
    void Loading(bool On) { SetComponentState(On ? TComponentState{csLoading} : 0u); }
  } v;
  v.SetBackground(clRed);
  v.SetBounds(0, 0, 40, 30);
  EXPECT_EQ(v.GetIEBitmap()->Width(), 0);  // not while running
  v.Loading(true);
  v.SetBounds(0, 0, 40, 30);
  v.Loading(false);
  ASSERT_EQ(v.GetIEBitmap()->Width(), 40);
  ASSERT_EQ(v.GetIEBitmap()->Height(), 30);
  TRGB p = v.GetIEBitmap()->GetPixels(39, 29);
  EXPECT_EQ(p.r, 255);
  EXPECT_EQ(p.g, 0);
}

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "imaging/core/iebitmap.h"
#include "imaging/processing/ie_transition.h"
#include "imaging/processing/transition_effects.h"
#include "imaging/processing/transition_random.h"
#include "imaging/view/redozir_view.h"
#include "platform/exceptions.h"
#include "platform/timers.h"

using namespace redozir;

namespace {
// A screen of its own, counting what the engine asks of its host.
class TFakeHost : public TIETransitionHost {
 public:
  TFakeHost(int w, int h) : Screen(w, h, pf24bit) {}
  TObject* TransitionSender() override { return &Sender; }
  TCanvas* TransitionCanvas() override { return Screen.Canvas(); }
  int TransitionClientWidth() override { return Screen.Width(); }
  int TransitionClientHeight() override { return Screen.Height(); }
  TColor TransitionBackground() override { return Background; }
  void TransitionPaintBackground(TCanvas* Canvas, int Width, int Height) override {
    Canvas->Brush.Color = Background;
    Canvas->FillRect({0, 0, Width, Height});
  }
  void TransitionLockPaint() override { ++Locks; }
  void TransitionUnlockPaint() override { --Locks; }
  void TransitionUpdate() override { ++Updates; }

  TObject Sender;
  TBitmap Screen;
  TColor Background = RGB(10, 20, 30);
  int Locks = 0, Updates = 0;
};

// The manual clock for one test, with a single tick after ms.
class TClockScope {
 public:
  TClockScope() { SetClock(&clock_); }
  ~TClockScope() { SetClock(nullptr); }
  void TickAfter(std::uint64_t ms) {
    clock_.Skip(ms);
    FireDueTimers();
  }

 private:
  TManualClock clock_{5000};
};

void Fill(TBitmap& b, std::uint8_t v0, std::uint8_t v1) {
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x) {
      std::uint8_t* p = b.ScanLine(y) + 3 * x;
      p[0] = v0;
      p[1] = static_cast<std::uint8_t>(x);
      p[2] = v1;
    }
}

struct TPictures {
  TBitmap A{96, 64, pf24bit}, B{96, 64, pf24bit};
  TPictures() {
    Fill(A, 200, 0);
    Fill(B, 10, 255);
  }
};

const std::uint8_t* Px(TBitmap& b, int x, int y) { return b.ScanLine(y) + 3 * x; }
}  // namespace

TEST(TransitionEngine, TicksWhileStoppedDoNothingAndStartChecksItsArguments) {
  TClockScope clock;
  TFakeHost host(96, 64);
  TIETransitionEffects t(&host);
  int calls = 0;
  t.OnTransitionStep = [&](TObject*, int) { ++calls; };
  t.TimerTick();
  clock.TickAfter(10);
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(t.FrameImage->Width(), 1);

  TPictures p;
  TBitmap small(10, 10, pf24bit);
  EXPECT_THROW(t.Start(p.A, p.B, 0), ERangeError);
  EXPECT_THROW(t.Start(p.A, p.B, 188), ERangeError);  // the pan-and-zoom has its own start
  EXPECT_THROW(t.Start(p.A, p.B, 1, 1000, 3), ERangeError);
  EXPECT_THROW(t.Start(p.A, small, 1), EInvalidGraphic);
  EXPECT_THROW(t.Start(TBitmap(), TBitmap(), 1), EInvalidGraphic);
  EXPECT_THROW(t.StartPanZoom(nullptr, {0, 0, 1, 1}, {0, 0, 1, 1}), EInvalidGraphic);
  EXPECT_FALSE(t.Running);
  EXPECT_EQ(host.Locks, 0);
}

TEST(TransitionEngine, StepFollowsTheClockAndTheLastTickStops) {
  TClockScope clock;
  TFakeHost host(96, 64);
  TIETransitionEffects t(&host);
  TPictures p;
  std::vector<int> painted;
  int stops = 0;
  t.OnTransitionPaint = [&](TObject* s, TBitmap*, TIETransitionEffects*, int step) {
    EXPECT_EQ(s, &host.Sender);
    painted.push_back(step);
  };
  t.OnTransitionStop = [&](TObject*) { ++stops; };
  t.Start(p.A, p.B, 1, 1000, iettLinear, true);
  EXPECT_TRUE(t.Running);
  EXPECT_EQ(host.Locks, 1);
  EXPECT_EQ(t.Step, 0);
  clock.TickAfter(500);
  EXPECT_EQ(t.Step, 512);
  EXPECT_EQ(0, std::memcmp(Px(host.Screen, 5, 5), Px(p.A, 5, 5), 3));  // step 0 shown
  clock.TickAfter(500);
  EXPECT_FALSE(t.Running);
  EXPECT_EQ(t.Step, 1024);
  EXPECT_EQ(host.Locks, 0);
  EXPECT_EQ(host.Updates, 1);
  EXPECT_EQ(stops, 1);
  // The last frame, then the target with step 1024, shown on the host.
  EXPECT_EQ(painted, (std::vector<int>{0, 512, 1024}));
  EXPECT_EQ(0, std::memcmp(Px(host.Screen, 5, 5), Px(p.B, 5, 5), 3));
  EXPECT_EQ(t.FrameImage->Width(), 1);
}

TEST(TransitionEngine, TimingCurvesAreBoundedToTheStepRange) {
  struct TCase {
    std::uint8_t timing;
    double x;
    int step;
  };
  const TCase cases[] = {
      {iettLinear, 0, 0},          {iettLinear, 0.5, 512},      {iettLinear, 1, 1024},
      {iettLinear, 3, 1024},       {iettExponential, 0, 6},     {iettExponential, 0.5, 82},
      {iettExponential, 1, 1003},  {iettExponential, 50, 1024}, {iettLogarithmic, 0, 0},
      {iettLogarithmic, 0.001, 0}, {iettLogarithmic, 0.1, 556}, {iettLogarithmic, 0.5, 886},
      {iettLogarithmic, 1, 1024},  // 1028 on the curve
  };
  for (const TCase& c : cases)
    EXPECT_EQ(TIETransitionEffects::NextStep(c.x, c.timing), c.step) << int(c.timing) << " " << c.x;

  // A duration of 0 ends at the first tick.
  TClockScope clock;
  TFakeHost host(96, 64);
  TIETransitionEffects t(&host);
  TPictures p;
  t.Start(p.A, p.B, 17, 0, iettLogarithmic);
  clock.TickAfter(1);
  EXPECT_FALSE(t.Running);
  EXPECT_EQ(t.Step, 1024);
}

TEST(TransitionEngine, FadesAreExactAtTheEndsAndHalfway) {
  TClockScope clock;
  TFakeHost host(96, 64);
  TIETransitionEffects t(&host);
  TPictures p;
  const TColor bg = host.Background;
  struct TCase {
    int effect, step;
    std::vector<int> pixel;  // blue, green (column 7), red
  };
  const TCase cases[] = {
      {1, 0, {200, 7, 0}},
      {1, 512, {105, 7, 127}},
      {1, 1024, {10, 7, 255}},
      {2, 512, {115, 13, 5}},
      {2, 1024, {GetBValue(bg), GetGValue(bg), GetRValue(bg)}},
      {3, 0, {30, 20, 10}},
      {3, 512, {20, 13, 132}},
      {4, 511, {30, 19, 9}},
      {4, 512, {30, 20, 10}},
      {4, 1024, {10, 7, 255}},
  };
  for (const TCase& c : cases) {
    t.Start(p.A, p.B, c.effect);
    t.DrawFrame(c.step);
    const std::uint8_t* px = Px(*t.FrameImage, 7, 3);
    EXPECT_EQ((std::vector<int>{px[0], px[1], px[2]}), c.pixel) << c.effect << " at " << c.step;
  }
  t.Stop();
  EXPECT_EQ(host.Locks, 0);
}

// A table effect gets Round(s / 1024 x 100) percent: steps 1 to 5 are 0,
// step 6 is 1 (one pixel of "Wipe from Top Left" on 96 x 64).
TEST(TransitionEngine, TableEffectsGetTheRoundedPercent) {
  TClockScope clock;
  TFakeHost host(96, 64);
  TIETransitionEffects t(&host);
  TPictures p;
  for (auto [step, pixels] : std::vector<std::pair<int, int>>{{5, 0}, {6, 1}, {512, 48 * 32}}) {
    t.Start(p.A, p.B, 49);
    t.DrawFrame(0);
    t.DrawFrame(step);
    int n = 0;
    for (int y = 0; y < 64; ++y)
      for (int x = 0; x < 96; ++x) n += Px(*t.FrameImage, x, y)[0] == 10;
    EXPECT_EQ(n, pixels) << step;
  }
}

// Where the engine rounds a step to a position, a half goes to the even
// neighbour. Each row is a step at which Round, Trunc and rounding halves up
// all disagree, worked out from the formulas: the wipes' rectangles on a
// 96 x 64 frame, the random points' count on a 90-pixel row, the percent a
// table effect gets.
TEST(TransitionEngine, StepRoundingsTakeHalvesToEven) {
  TClockScope clock;
  TFakeHost host(96, 64);
  TIETransitionEffects t(&host);
  TPictures p;
  struct TCase {
    int effect, step;
    int first, last;  // the columns (7) or rows (9, 11) showing the target
  };
  const TCase wipes[] = {
      {7, 16, 94, 95},   // x = Round(94.5) = 94, w = Round(1.5) = 2
      {7, 80, 88, 95},   // x = Round(88.5) = 88, w = Round(7.5) = 8
      {9, 8, 0, -1},     // h = Round(0.5) = 0
      {9, 24, 0, 1},     // h = Round(1.5) = 2
      {11, 24, 62, 63},  // y = Round(62.5) = 62, h = Round(1.5) = 2
      {11, 40, 62, 63},  // y = Round(61.5) = 62, h = Round(2.5) = 2
  };
  for (const TCase& c : wipes) {
    t.Start(p.A, p.B, c.effect);
    t.DrawFrame(0);
    t.DrawFrame(c.step);
    const bool columns = c.effect == 7;
    for (int i = 0; i < (columns ? 96 : 64); ++i) {
      const std::uint8_t* px = columns ? Px(*t.FrameImage, i, 5) : Px(*t.FrameImage, 5, i);
      EXPECT_EQ(px[0] == 10, i >= c.first && i <= c.last) << c.effect << " at " << c.step << ": " << i;
    }
  }
  // n = Round(90 s (s / 180) / 1024) = Round(s^2 / 2048).
  TBitmap a(90, 2, pf24bit), b(90, 2, pf24bit);
  TFakeHost narrow(90, 2);
  TIETransitionEffects r(&narrow);
  r.Start(a, b, 25);
  r.DrawFrame(0);
  for (auto [step, count] : std::vector<std::pair<int, int>>{{32, 0}, {96, 4}, {160, 12}, {200, 20}}) {
    r.DrawFrame(step);
    EXPECT_EQ(r.RandomCount, count) << step;
  }
  // Round(128 / 1024 x 100) = Round(12.5) = 12 percent, Round(62.5) = 62: on
  // a 100-pixel frame "Wipe from Top Left" grows a pixel a percent.
  TBitmap a100(100, 50, pf24bit), b100(100, 50, pf24bit);
  Fill(a100, 200, 0);
  Fill(b100, 10, 255);
  TFakeHost wide(100, 50);
  TIETransitionEffects w(&wide);
  for (int step : {128, 640}) {
    w.Start(a100, b100, 49);
    w.DrawFrame(0);
    w.DrawFrame(step);
    const int percent = step == 128 ? 12 : 62;
    for (int k : {percent, percent + 1}) {
      TBitmap expected(100, 50, pf24bit);
      expected.Canvas()->Draw(0, 0, a100);
      IEDrawTableEffect(expected, a100, b100, 49, k);
      bool same = true;
      for (int y = 0; y < 50; ++y)
        same = same && std::memcmp(expected.ScanLine(y), w.FrameImage->ScanLine(y), 100 * 3) == 0;
      EXPECT_EQ(same, k == percent) << step << " drawn at " << k << " percent";
    }
  }
  w.Stop();
  t.Stop();
  r.Stop();
}

// "Random Boxes" copies whole 8 x 8 cells of the grid (cut at the edges),
// "Random Points" single pixels; neither draws again what a frame drew.
TEST(TransitionEngine, RandomBoxesFillWholeAlignedCells) {
  TClockScope clock;
  TFakeHost host(97, 61);
  TIETransitionEffects t(&host);
  TBitmap a(97, 61, pf24bit), b(97, 61, pf24bit);
  Fill(a, 200, 0);
  Fill(b, 10, 255);
  IERandSeed = 99;
  t.Start(a, b, 26);
  t.DrawFrame(0);
  t.DrawFrame(400);
  int cellsB = 0;
  for (int cy = 0; cy < 61; cy += 8)
    for (int cx = 0; cx < 97; cx += 8) {
      const std::uint8_t tag = Px(*t.FrameImage, cx, cy)[0];
      cellsB += tag == 10;
      for (int y = cy; y < std::min(cy + 8, 61); ++y)
        for (int x = cx; x < std::min(cx + 8, 97); ++x)
          ASSERT_EQ(Px(*t.FrameImage, x, y)[0], tag) << x << "," << y;
    }
  EXPECT_GT(cellsB, 0);
  const int drawn = t.RandomCount;
  const std::uint32_t seed = IERandSeed;
  t.DrawFrame(400);
  EXPECT_EQ(t.RandomCount, drawn);
  EXPECT_EQ(IERandSeed, seed);
}

// Row pushes and slides at step 256 of a 96-pixel row: which picture and
// which column each column of the frame shows.
TEST(TransitionEngine, RowPushesAndSlidesTakeTheirColumns) {
  TClockScope clock;
  TFakeHost host(96, 64);
  TIETransitionEffects t(&host);
  TPictures p;
  struct TCase {
    int effect;
    int split;            // columns before it come from the first picture
    bool firstIsB;        // the first picture is the target
    int first0, second0;  // their first source columns
  };
  const TCase cases[] = {
      {17, 24, true, 72, 0},   // B's last 24 columns push A to the right
      {18, 24, true, 0, 0},    // A slides out to the right over B
      {19, 72, false, 24, 0},  // B pushes A out to the left
      {20, 72, false, 0, 0},   // B slides in from the right over A
  };
  for (const TCase& c : cases) {
    t.Start(p.A, p.B, c.effect);
    t.DrawFrame(256);
    for (int x = 0; x < 96; ++x) {
      const bool first = x < c.split;
      TBitmap& src = first == c.firstIsB ? p.B : p.A;
      const int sx = first ? c.first0 + x : c.second0 + x - c.split;
      ASSERT_EQ(0, std::memcmp(Px(*t.FrameImage, x, 9), Px(src, sx, 9), 3)) << c.effect << " column " << x;
    }
  }
}

TEST(TransitionEngine, ARestartFromTheStopEventKeepsItsOwnStepAndOneLock) {
  TClockScope clock;
  TFakeHost host(96, 64);
  TIETransitionEffects t(&host);
  TPictures p;
  int stops = 0;
  t.OnTransitionStop = [&](TObject*) {
    if (++stops == 1) t.Start(p.B, p.A, 50, 1000);
  };
  t.Start(p.A, p.B, 120, 100);
  clock.TickAfter(100);
  EXPECT_EQ(stops, 1);
  EXPECT_TRUE(t.Running);
  EXPECT_EQ(t.Effect, 50);
  EXPECT_EQ(t.Step, 0);
  EXPECT_EQ(host.Locks, 1);
  clock.TickAfter(1000);
  EXPECT_FALSE(t.Running);
  EXPECT_EQ(host.Locks, 0);

  // A callback that stops the transition under the tick ends that tick.
  t.OnTransitionStop = nullptr;
  t.OnTransitionStep = [&](TObject*, int) { t.Stop(); };
  t.Start(p.A, p.B, 26, 1000);
  clock.TickAfter(300);
  EXPECT_FALSE(t.Running);
  EXPECT_EQ(host.Locks, 0);
  // So does a start from the step event: the new one is not disturbed.
  t.OnTransitionStep = [&](TObject*, int) {
    t.OnTransitionStep = nullptr;
    t.Start(p.A, p.B, 3, 1000);
  };
  t.Start(p.A, p.B, 5, 1000);
  clock.TickAfter(300);
  EXPECT_TRUE(t.Running);
  EXPECT_EQ(t.Effect, 3);
  EXPECT_EQ(t.Step, 0);
  EXPECT_EQ(host.Locks, 1);
  t.Stop();
  EXPECT_EQ(host.Locks, 0);
}

TEST(TransitionEngine, PanAndZoomClipsItsSourceAndFitsWhatIsLeft) {
  TClockScope clock;
  TFakeHost host(80, 40);
  TIETransitionEffects t(&host);
  TIEBitmap src(100, 50, ie24RGB);
  for (int y = 0; y < 50; ++y) std::memset(src.GetScanline(y), 255, 300);
  int painted = 0;
  t.OnTransitionPaint = [&](TObject*, TBitmap* b, TIETransitionEffects*, int) {
    ++painted;
    EXPECT_EQ(b, t.FrameImage.get());
  };
  // Half of the start rectangle lies left of the picture: its 50 x 50 rest is
  // fitted to 40 x 40 in the middle, the background beside it.
  t.StartPanZoom(&src, {-50, 0, 50, 50}, {200, 100, 300, 150}, 1000, iettLinear, true);
  clock.TickAfter(1);
  const TColor bg = host.Background;
  EXPECT_EQ(host.Screen.GetPixel(5, 20), bg);
  EXPECT_EQ(host.Screen.GetPixel(75, 20), bg);
  EXPECT_EQ(host.Screen.GetPixel(40, 20), clWhite);
  // Past the picture entirely: the background alone, nothing read outside.
  t.DrawFrame(1024);
  EXPECT_EQ(t.FrameImage->GetPixel(40, 20), bg);
  clock.TickAfter(1000);
  EXPECT_FALSE(t.Running);
  EXPECT_EQ(painted, 2);  // no target frame after a pan-and-zoom
  EXPECT_EQ(host.Updates, 1);
}

// The engine's own effects start from the start picture and end on the
// target, drawing only their pixels between (and the red edge of the "2"
// wipes; the cross fade blends).
TEST(TransitionEngine, BuiltInEffectsRunFromStartToTarget) {
  TClockScope clock;
  TFakeHost host(97, 61);
  TIETransitionEffects t(&host);
  TBitmap a(97, 61, pf24bit), b(97, 61, pf24bit);
  Fill(a, 200, 0);
  Fill(b, 10, 255);
  auto same = [&](TBitmap& x) {
    for (int y = 0; y < 61; ++y)
      if (std::memcmp(t.FrameImage->ScanLine(y), x.ScanLine(y), 97 * 3) != 0) return false;
    return true;
  };
  for (int e = 1; e <= 30; ++e) {
    if (e >= 2 && e <= 4) continue;  // the fades through the background
    t.Start(a, b, e);
    t.DrawFrame(0);
    // The rightward and downward "2" wipes start with their red edge on the
    // first column or row, the leftward and upward ones end with it there.
    if (e != 6 && e != 10) {
      EXPECT_TRUE(same(a)) << e;
    }
    for (int s : {1, 100, 256, 511, 512, 700, 1000, 1023, 1024}) {
      t.DrawFrame(s);
      for (int y = 0; y < 61; ++y)
        for (int x = 0; x < 97; ++x) {
          const std::uint8_t* px = Px(*t.FrameImage, x, y);
          const bool red = px[0] == 0 && px[1] == 0 && px[2] == 255 && e % 2 == 0 && e >= 6 && e <= 12;
          ASSERT_TRUE(px[0] == 200 || px[0] == 10 || red || e == 1)
              << e << " at " << s << " pixel " << x << "," << y;
        }
    }
    // The random effects fill by chance.
    if (e != 25 && e != 26 && e != 8 && e != 12) {
      EXPECT_TRUE(same(b)) << e;
    }
  }
}

// Frames of a pixel or two: the row effects and the random ones stay inside.
TEST(TransitionEngine, BuiltInEffectsOnTinyFrames) {
  TClockScope clock;
  TFakeHost host(3, 2);
  TIETransitionEffects t(&host);
  for (auto [w, h] : std::vector<std::pair<int, int>>{{1, 1}, {3, 2}}) {
    TBitmap a(w, h, pf24bit), b(w, h, pf24bit);
    Fill(a, 200, 0);
    Fill(b, 10, 255);
    for (int e = 1; e <= 30; ++e) {
      t.Start(a, b, e);
      for (int s : {0, 1, 300, 512, 900, 1024}) t.DrawFrame(s);
      clock.TickAfter(2000);
      EXPECT_FALSE(t.Running) << e;
    }
  }
  EXPECT_EQ(host.Locks, 0);
}

// A view is the host of its engine: a transition holds its paint lock and
// reports with the view as Sender.
TEST(TransitionEngine, AViewHostsItsEngine) {
  TClockScope clock;
  TRedozIrView v(nullptr);
  TObject* sender = nullptr;
  v.SetOnTransitionStop([&](TObject* s) { sender = s; });
  TPictures p;
  v.Transition()->Start(p.A, p.B, 113, 100);
  EXPECT_EQ(v.PaintLockCount(), 1);
  clock.TickAfter(100);
  EXPECT_EQ(v.PaintLockCount(), 0);
  EXPECT_EQ(sender, &v);
  // An engine of the program's own on the view, freed while it runs.
  {
    TIETransitionEffects own(&v);
    own.Start(p.A, p.B, 1);
    EXPECT_EQ(v.PaintLockCount(), 1);
  }
  EXPECT_EQ(v.PaintLockCount(), 0);
}

TEST(TransitionEngine, AnEventMayFreeTheEngineOrItsView) {
  TClockScope clock;
  TPictures p;
  // Each event in turn frees the engine under the tick that called it.
  for (int which = 0; which < 3; ++which) {
    TFakeHost host(96, 64);
    auto* t = new TIETransitionEffects(&host);
    auto freeEngine = [&] {
      delete t;
      t = nullptr;
    };
    if (which == 0) t->OnTransitionStep = [&](TObject*, int) { freeEngine(); };
    if (which == 1)
      t->OnTransitionPaint = [&](TObject*, TBitmap*, TIETransitionEffects*, int) { freeEngine(); };
    if (which == 2) t->OnTransitionStop = [&](TObject*) { freeEngine(); };
    t->Start(p.A, p.B, 1, 100, iettLinear, true);
    clock.TickAfter(100);
    EXPECT_EQ(t, nullptr) << which;
    EXPECT_EQ(host.Locks, 0) << which;
    delete t;
  }
  // A window closed when its transition ends (the event's own captures go
  // with the view: what it frees is reached through the stack).
  auto* v = new TRedozIrView(nullptr);
  auto close = [&] {
    delete v;
    v = nullptr;
  };
  v->SetOnTransitionStop([&](TObject*) { close(); });
  v->Transition()->Start(p.A, p.B, 113, 100);
  clock.TickAfter(100);
  EXPECT_EQ(v, nullptr);
}

// What a hand asks of the image view over a big picture (a 1920 x 1080
// client, an 8000 x 6000 picture with alpha, a half-transparent and a rotated
// layer): a zoom step (x1.1 at a point, in and out in turn), a whole zoom
// gesture in and back out with its median and worst steps, a scroll step at
// 100 %, each followed by one pass of the message loop, and a drag of 150
// mouse motions arriving at a hand's pace (0.65 s) through the loop. Each
// runs with the zoom filter none, fast linear and Lanczos3 (first argument),
// with DelayZoomFilter off and on (second argument), and reports its
// compositions and presents per step; the time of a step is the time from
// the input to its frame presented. A scroll step and the drag also report
// how many compositions kept the last frame, moved. The drag reports its
// presented frames per second, the longest gap between two presents and the
// mean and longest time from a motion to the present that shows it. The rest frame is the
// composition with the filter once the delay has run out after a zoom step.
// BENCH_THREADS=n fixes the worker count (the default is every core): with
// `taskset -c 0,1` and BENCH_THREADS=2 the figures of a two-core machine.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "imaging/core/ie_speed.h"
#include "platform/input.h"
#include "view_scene.h"

namespace {
using namespace redozir_bench;

// Counts what reaches the screen.
class TCountingBackEnd : public TBackEnd {
 public:
  int presents = 0;
  void Present(TForm*) override { ++presents; }
  void PresentChanged(TForm*, const std::vector<TRect>&) override { ++presents; }
};

struct TInteraction {
  TScene scene{true};
  TCountingBackEnd backEnd;
  TInteraction() {
    if (const char* t = std::getenv("BENCH_THREADS")) IESetMaxThreads(std::atoi(t));
    Application->SetBackEnd(&backEnd);
  }
};

TInteraction& Scene2() {
  static TInteraction* s = new TInteraction;
  return *s;
}

constexpr TResampleFilter kFilters[] = {rfNone, rfFastLinear, rfLanczos3};
const char* const kFilterNames[] = {"none", "fast linear", "Lanczos3"};

// Arguments: the zoom filter (0 none, 1 fast linear, 2 Lanczos3) and
// DelayZoomFilter (0 off, 1 on).
TInteraction& Prepare(benchmark::State& state) {
  TInteraction& s = Scene2();
  s.scene.view->DelayZoomFilter = state.range(1) != 0;
  s.scene.view->SetZoomFilter(kFilters[state.range(0)]);
  return s;
}

void Report(benchmark::State& state, int compositions, int presents, const char* what) {
  const double n = static_cast<double>(state.iterations());
  state.counters["compositions/step"] = compositions / n;
  state.counters["presents/step"] = presents / n;
  state.counters["steps/s"] = benchmark::Counter(n, benchmark::Counter::kIsRate);
  state.SetLabel(std::string(what) + " " + kFilterNames[state.range(0)] +
                 (state.range(1) ? ", delayed" : ""));
}

void FiltersAndDelay(benchmark::internal::Benchmark* b) { b->ArgsProduct({{0, 1, 2}, {0, 1}}); }

// Zoom step number Step from the fitted zoom Fit, and the pass of the loop
// that shows it: ten steps in at a point off the centre, ten back out.
void ZoomStep(TRedozIrView* v, double Fit, int Step) {
  const bool in = Step % 20 < 10;
  v->ZoomAt(kClientW / 3, kClientH / 3, in ? v->ZoomX() * 1.1 : std::max(Fit, v->ZoomX() / 1.1), false);
  Application->ProcessMessages();
}

void BM_ZoomStep(benchmark::State& state) {
  TInteraction& s = Prepare(state);
  TRedozIrView* v = s.scene.view;
  v->Fit();
  Application->ProcessMessages();
  const double fit = v->ZoomX();
  const int composed = v->CompositionCount(), presented = s.backEnd.presents;
  int step = 0;
  for (auto _ : state) ZoomStep(v, fit, step++);
  Report(state, v->CompositionCount() - composed, s.backEnd.presents - presented, "zoom step");
}
BENCHMARK(BM_ZoomStep)->Apply(FiltersAndDelay)->Unit(benchmark::kMillisecond)->MinTime(0.5)->UseRealTime();

// A whole zoom gesture as a hand gives it: from the fitted zoom in by x1.1 at
// the client's centre while the next step stays under 100 %, then back out by
// /1.1 there to the fitted zoom, each step followed by one pass of the loop. The way out lands on the sizes
// the way in showed. The view rests at the fitted zoom before each gesture (the filter's delay run out, not
// timed). One iteration is a whole gesture, timed step by step: a single slow step is a stutter the median
// hides, so the worst step in and out, and the zoom each landed on, are reported beside the median.
void BM_ZoomGesture(benchmark::State& state) {
  using Clock = std::chrono::steady_clock;
  TInteraction& s = Prepare(state);
  TRedozIrView* v = s.scene.view;
  v->Fit();
  Application->ProcessMessages();
  const double fit = v->ZoomX();
  std::vector<double> steps;
  double worst[2] = {0, 0}, worstAt[2] = {0, 0};
  auto step = [&](int Out, double Zoom) {
    const auto start = Clock::now();
    v->ZoomAt(kClientW / 2, kClientH / 2, Zoom, false);
    Application->ProcessMessages();
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    steps.push_back(ms);
    if (ms > worst[Out]) {
      worst[Out] = ms;
      worstAt[Out] = Zoom;
    }
  };
  for (auto _ : state) {
    state.PauseTiming();
    v->ZoomAt(kClientW / 2, kClientH / 2, fit, false);
    Application->ProcessMessages();
    s.scene.session.Clock().Advance(4 * 210);
    Application->ProcessMessages();
    state.ResumeTiming();
    int in = 0;
    for (double z = fit; z * 1.1 < 100; z *= 1.1, ++in) step(0, z * 1.1);
    for (; in > 0; --in) step(1, v->ZoomX() / 1.1);
  }
  std::sort(steps.begin(), steps.end());
  state.counters["median step ms"] = steps.empty() ? 0 : steps[steps.size() / 2];
  state.counters["worst in ms"] = worst[0];
  state.counters["worst in at %"] = worstAt[0];
  state.counters["worst out ms"] = worst[1];
  state.counters["worst out at %"] = worstAt[1];
  state.SetLabel(std::string("zoom gesture ") + kFilterNames[state.range(0)] +
                 (state.range(1) ? ", delayed" : ""));
}
BENCHMARK(BM_ZoomGesture)
    ->Apply(FiltersAndDelay)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime();

// The frame the filter comes back in: a zoom step with DelayZoomFilter on
// (not timed), then the delay's ticks and one pass of the loop (timed).
void BM_RestFrame(benchmark::State& state) {
  TInteraction& s = Prepare(state);
  TRedozIrView* v = s.scene.view;
  v->Fit();
  Application->ProcessMessages();
  const double fit = v->ZoomX();
  int composed = 0, presented = 0, step = 0;
  for (auto _ : state) {
    state.PauseTiming();
    ZoomStep(v, fit, step++);
    const int c = v->CompositionCount(), p = s.backEnd.presents;
    state.ResumeTiming();
    s.scene.session.Clock().Advance(4 * 210);
    Application->ProcessMessages();
    composed += v->CompositionCount() - c;
    presented += s.backEnd.presents - p;
  }
  Report(state, composed, presented, "rest frame");
}
BENCHMARK(BM_RestFrame)
    ->ArgsProduct({{1, 2}, {1}})
    ->Unit(benchmark::kMillisecond)
    ->MinTime(0.5)
    ->UseRealTime();

void BM_ScrollStep(benchmark::State& state) {
  TInteraction& s = Prepare(state);
  TRedozIrView* v = s.scene.view;
  v->Zoom(100);
  int mx, my;
  v->GetMaxViewXY(mx, my);
  v->SetViewXY(mx / 2, my / 2);
  Application->ProcessMessages();
  const int composed = v->CompositionCount(), kept = v->KeptFrameCount(), presented = s.backEnd.presents;
  int step = 0;
  for (auto _ : state) {
    // A hand's scroll: 37 x 21 pixels a step, back and forth.
    const int dir = step++ % 40 < 20 ? 1 : -1;
    v->SetViewXY(v->ViewX() + 37 * dir, v->ViewY() + 21 * dir);
    Application->ProcessMessages();
  }
  Report(state, v->CompositionCount() - composed, s.backEnd.presents - presented, "scroll step");
  state.counters["kept frames/step"] = (v->KeptFrameCount() - kept) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_ScrollStep)->Apply(FiltersAndDelay)->Unit(benchmark::kMillisecond)->MinTime(0.5)->UseRealTime();

// One iteration is a whole drag: 150 motions 4.3 ms apart, posted as a
// display reports them, the loop running as fast as it can meanwhile.
void BM_Drag150(benchmark::State& state) {
  using Clock = std::chrono::steady_clock;
  constexpr int kMotions = 150;
  constexpr double kSpacingMs = 650.0 / kMotions;
  TInteraction& s = Prepare(state);
  TRedozIrView* v = s.scene.view;
  v->SetMouseInteract(IEMouseInteract({miScroll}));
  v->Zoom(50);
  int mx, my;
  v->GetMaxViewXY(mx, my);
  Application->ProcessMessages();
  double worstGapMs = 0, seconds = 0, lagMs = 0, worstLagMs = 0;
  int drag = 0, frames = 0, compositions = 0, kept = 0, lags = 0;
  for (auto _ : state) {
    v->SetViewXY(mx / 2, my / 2);
    Application->ProcessMessages();
    const int dir = drag++ % 2 ? 1 : -1;
    Inject::MouseDown(v, mbLeft, kClientW / 2, kClientH / 2);
    const auto start = Clock::now();
    auto lastPresent = start;
    int posted = 0, presents = s.backEnd.presents;
    // The first motion not yet shown: it arrived when the display reported
    // it, however late the loop came to read it.
    int unshown = -1;
    const int presentsBefore = presents, composedBefore = v->CompositionCount(),
              keptBefore = v->KeptFrameCount();
    while (posted < kMotions || TInput::PendingMoves() > 0) {
      const double elapsed = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
      for (; posted < kMotions && posted * kSpacingMs <= elapsed; ++posted) {
        if (unshown < 0) unshown = posted;
        Inject::PostMouseMove(v, kClientW / 2 + dir * 4 * (posted + 1),
                              kClientH / 2 + dir * 2 * (posted + 1));
      }
      Application->ProcessMessages();
      if (s.backEnd.presents != presents) {
        presents = s.backEnd.presents;
        const auto now = Clock::now();
        const double at = std::chrono::duration<double, std::milli>(now - start).count();
        worstGapMs =
            std::max(worstGapMs, std::chrono::duration<double, std::milli>(now - lastPresent).count());
        lastPresent = now;
        if (unshown >= 0) {
          const double lag = at - unshown * kSpacingMs;
          lagMs += lag;
          worstLagMs = std::max(worstLagMs, lag);
          ++lags;
          unshown = -1;
        }
      }
    }
    seconds += std::chrono::duration<double>(lastPresent - start).count();
    frames += presents - presentsBefore;
    compositions += v->CompositionCount() - composedBefore;
    kept += v->KeptFrameCount() - keptBefore;
    Inject::MouseUp(v, mbLeft, kClientW / 2 + dir * 4 * kMotions, kClientH / 2 + dir * 2 * kMotions);
  }
  v->SetMouseInteract(0);
  Report(state, compositions, frames, "drag of 150 motions");
  state.counters["kept frames/step"] = kept / static_cast<double>(state.iterations());
  state.counters["frames/s"] = frames / std::max(seconds, 1e-9);
  state.counters["worst gap ms"] = worstGapMs;
  state.counters["motion to present ms"] = lagMs / std::max(lags, 1);
  state.counters["worst motion to present ms"] = worstLagMs;
}
BENCHMARK(BM_Drag150)->Apply(FiltersAndDelay)->Unit(benchmark::kMillisecond)->Iterations(4)->UseRealTime();
}  // namespace

BENCHMARK_MAIN();

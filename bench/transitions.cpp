// One 1920 x 1080 frame of every transition effect at half way (step 512,
// progress 50), beside a full-frame copy; the run ends with the slowest
// effect and its ratio to the copy.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "imaging/core/iebitmap.h"
#include "imaging/processing/ie_transition.h"
#include "platform/canvas.h"

using namespace redozir;

namespace {
constexpr int kW = 1920, kH = 1080;

class TBenchHost : public TIETransitionHost {
 public:
  TObject* TransitionSender() override { return &sender_; }
  TCanvas* TransitionCanvas() override { return screen_.Canvas(); }
  int TransitionClientWidth() override { return kW; }
  int TransitionClientHeight() override { return kH; }
  TColor TransitionBackground() override { return clGray; }
  void TransitionPaintBackground(TCanvas* Canvas, int Width, int Height) override {
    Canvas->Brush.Color = clGray;
    Canvas->FillRect({0, 0, Width, Height});
  }
  void TransitionLockPaint() override {}
  void TransitionUnlockPaint() override {}
  void TransitionUpdate() override {}

 private:
  TObject sender_;
  TBitmap screen_{kW, kH, pf24bit};
};

// Two busy pictures, so that no blit meets a uniform row.
void Paint(TBitmap& b, int seed) {
  for (int y = 0; y < kH; ++y) {
    std::uint8_t* row = b.ScanLine(y);
    for (int x = 0; x < kW * 3; ++x) row[x] = static_cast<std::uint8_t>(x * 7 + y * 3 + seed);
  }
}

void BM_FullFrameCopy(benchmark::State& state) {
  TBitmap a(kW, kH, pf24bit), f(kW, kH, pf24bit);
  Paint(a, 1);
  for (auto _ : state) {
    BitBlt(f.Canvas(), 0, 0, kW, kH, a.Canvas(), 0, 0, SRCCOPY);
    benchmark::DoNotOptimize(f.Bits());
  }
}

void BM_Effect(benchmark::State& state, int effect) {
  TBenchHost host;
  TIETransitionEffects t(&host);
  TBitmap a(kW, kH, pf24bit), b(kW, kH, pf24bit);
  Paint(a, 1);
  Paint(b, 101);
  TIEBitmap source(kW * 2, kH * 2, ie24RGB);
  if (effect == kPanZoomEffect)
    t.StartPanZoom(&source, {0, 0, kW * 2, kH * 2}, {kW / 2, kH / 2, kW, kH});
  else
    t.Start(a, b, effect);
  t.DrawFrame(0);
  for (auto _ : state) {
    // The random effects draw only what is new since the last frame: every
    // iteration draws all points and boxes of step 512.
    t.RandomCount = 0;
    t.DrawFrame(512);
    benchmark::DoNotOptimize(t.FrameImage->Bits());
  }
  t.Stop();
}

// Console output as usual; the real time per frame of each run kept.
class TSlowestReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& r : runs)
      if (r.run_type == Run::RT_Iteration && r.iterations > 0)
        times.push_back({r.benchmark_name(), r.GetAdjustedRealTime()});
  }
  std::vector<std::pair<std::string, double>> times;
};
}  // namespace

int main(int argc, char** argv) {
  benchmark::RegisterBenchmark("FullFrameCopy", BM_FullFrameCopy)->Unit(benchmark::kMillisecond);
  for (int e = 1; e <= kPanZoomEffect; ++e) {
    char name[96];
    std::snprintf(name, sizeof name, "Effect/%03d %s", e,
                  e == kPanZoomEffect ? "Pan and Zoom" : TransitionEffectTable[e - 1].Name);
    benchmark::RegisterBenchmark(name, BM_Effect, e)->Unit(benchmark::kMillisecond)->MinTime(0.1);
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  TSlowestReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  double copy = 0, slowest = 0;
  std::string name;
  for (const auto& [n, ms] : reporter.times) {
    if (n == "FullFrameCopy") copy = ms;
    if (n.rfind("Effect/", 0) == 0 && ms > slowest) {
      slowest = ms;
      name = n;
    }
  }
  if (copy > 0 && !name.empty())
    std::printf("slowest frame: %s %.2f ms, %.1f x the full-frame copy (%.2f ms)\n", name.c_str(), slowest,
                slowest / copy, copy);
  benchmark::Shutdown();
  return 0;
}

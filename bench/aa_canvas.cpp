// The anti-aliased canvas beside the plain path on a 1920 x 1080 24-bit
// bitmap: a 100-point polygon, a 2-pixel ellipse outline and a hatch fill.
#include <benchmark/benchmark.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "imaging/core/iegdiplus.h"

using namespace redozir;

namespace {

std::vector<TPoint> Star(int n) {
  std::vector<TPoint> pts;
  for (int i = 0; i < n; ++i) {
    double a = 2 * std::numbers::pi * i / n;
    double r = (i % 2) ? 300 : 520;
    pts.push_back({static_cast<int>(960 + r * std::cos(a)), static_cast<int>(540 + r * std::sin(a))});
  }
  return pts;
}

template <typename Draw>
void Run(benchmark::State& state, Draw draw) {
  bool antiAliased = state.range(0) != 0;
  const bool allowed = GDIPlusAllowed;
  GDIPlusAllowed = antiAliased;
  IEGDIPLoadLibrary();
  TBitmap bmp(1920, 1080, pf24bit);
  for (auto _ : state) {
    TIECanvas c(bmp.Canvas());
    draw(c);
    benchmark::DoNotOptimize(bmp.ScanLine(540));
  }
  IEGDIPUnloadLibrary();
  GDIPlusAllowed = allowed;
  state.SetLabel(antiAliased ? "anti-aliased" : "plain");
}

void BM_Polygon100(benchmark::State& state) {
  auto pts = Star(100);
  Run(state, [&](TIECanvas& c) {
    c.Brush()->SetColor(clBlue);
    c.Brush()->SetTransparency(200);
    c.Polygon(pts);
  });
}
BENCHMARK(BM_Polygon100)->Arg(0)->Arg(1);

void BM_EllipseOutline2px(benchmark::State& state) {
  Run(state, [](TIECanvas& c) {
    c.Pen()->SetWidth(2);
    c.Brush()->SetStyle(bsClear);
    c.Ellipse(100, 50, 1800, 1030);
  });
}
BENCHMARK(BM_EllipseOutline2px)->Arg(0)->Arg(1);

void BM_HatchFill(benchmark::State& state) {
  Run(state, [](TIECanvas& c) {
    c.Pen()->SetStyle(psClear);
    c.Brush()->SetStyle(bsDiagCross);
    c.Brush()->SetBackTransparency(128);
    c.Brush()->SetBackColor(clYellow);
    c.Rectangle(0, 0, 1920, 1080);
  });
}
BENCHMARK(BM_HatchFill)->Arg(0)->Arg(1);

}  // namespace

BENCHMARK_MAIN();

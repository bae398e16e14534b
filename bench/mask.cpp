// Selection mask: polygon fill of a lasso-like outline and the full-mask check.
#include <benchmark/benchmark.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "imaging/core/iemask.h"
#include "platform/bitmap.h"

using namespace redozir;

namespace {

std::vector<TPoint> Lasso(int w, int h, int points) {
  std::vector<TPoint> p;
  for (int i = 0; i < points; ++i) {
    double t = 2 * std::numbers::pi * i / points;
    double r = 0.45 * (1 + 0.1 * std::sin(13 * t));
    p.push_back(
        {static_cast<int>(w / 2 + r * w * std::cos(t)), static_cast<int>(h / 2 + r * h * std::sin(t))});
  }
  return p;
}

void BM_FillPolygons(benchmark::State& state) {
  int size = static_cast<int>(state.range(0));
  auto pts = Lasso(size, size, 2000);
  TIEMask m;
  m.AllocateBits(size, size, 1);
  for (auto _ : state) {
    m.FillPolygons(1, pts.data(), static_cast<int>(pts.size()));
    benchmark::DoNotOptimize(m.X2);
  }
  state.SetItemsProcessed(state.iterations() * size * size);
}
BENCHMARK(BM_FillPolygons)->Arg(1000)->Arg(4000);

void BM_SelectAll(benchmark::State& state) {
  int size = static_cast<int>(state.range(0));
  std::vector<TPoint> all = {{0, 0}, {size, 0}, {size, size}, {0, size}};
  TIEMask m;
  m.AllocateBits(size, size, 1);
  for (auto _ : state) {
    m.FillPolygons(1, all.data(), 4);
    benchmark::DoNotOptimize(m.Full());
  }
  state.SetItemsProcessed(state.iterations() * size * size);
}
BENCHMARK(BM_SelectAll)->Arg(4000);

// The marching ants over a full-HD back buffer, a large selection in view.
void BM_DrawOutline(benchmark::State& state) {
  double zoom = static_cast<double>(state.range(0)) / 100;
  auto pts = Lasso(4000, 4000, 2000);
  TIEMask m;
  m.AllocateBits(4000, 4000, 1);
  m.FillPolygons(1, pts.data(), static_cast<int>(pts.size()));
  TBitmap back(1920, 1080, pf24bit);
  int phase = 0;
  for (auto _ : state) m.DrawOutline(back.Canvas(), -100, -100, zoom, zoom, clWhite, clBlack, phase++);
  state.SetItemsProcessed(state.iterations() * 1920 * 1080);
}
BENCHMARK(BM_DrawOutline)->Arg(25)->Arg(100)->Arg(400);

}  // namespace

BENCHMARK_MAIN();

// Repaints of the image view: a 1920 x 1080 client over an 8000 x 6000
// picture with an alpha layer, a half-transparent layer and a rotated layer,
// at zoom to fit, 25 %, 100 % and 400 %, with the zoom filters none, fast
// linear and Lanczos3. Three kinds of repaint: a full recomposition (an
// update drops what the layers keep, as any change of the picture does), the
// steady state (the back buffer composed again from what the layers keep, as
// a moved layer or the selection's animation asks) and an exposure (the back
// buffer only blitted). A memcpy of the client's 32-bit bytes is the floor.
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <vector>

#include "view_scene.h"

namespace {
using namespace redozir_bench;

constexpr double kZooms[] = {0, 25, 100, 400};  // 0: fit
constexpr TResampleFilter kFilters[] = {rfNone, rfFastLinear, rfLanczos3};

// Arguments: zoom (0 fit, 1 25 %, 2 100 %, 3 400 %), filter (0 none, 1 fast
// linear, 2 Lanczos3), repaint (0 full recomposition, 1 steady state, 2
// exposure).
void BM_ViewRepaint(benchmark::State& state) {
  TScene& s = Scene();
  TRedozIrView* v = s.view;
  v->SetZoomFilter(kFilters[state.range(1)]);
  if (kZooms[state.range(0)] == 0)
    v->Fit();
  else
    v->Zoom(kZooms[state.range(0)]);
  // Into the middle of the picture.
  int mx, my;
  v->GetMaxViewXY(mx, my);
  v->SetViewXY(mx / 2, my / 2);
  Application->ProcessMessages();
  const int kind = static_cast<int>(state.range(2));
  int composed = v->CompositionCount();
  for (auto _ : state) {
    if (kind == 0)
      v->Update();
    else if (kind == 1)
      v->InvalidateRectEx(v->ClientRect());
    else
      v->Invalidate();
    Application->ProcessMessages();
  }
  int compositions = v->CompositionCount() - composed;
  if ((kind < 2 && compositions != state.iterations()) || (kind == 2 && compositions != 0))
    state.SkipWithError("the repaints composed the back buffer another number of times than asked");
  state.counters["repaints/s"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  state.SetLabel(
      std::string(kZooms[state.range(0)] == 0 ? "fit" : std::to_string(int(kZooms[state.range(0)])) + "%") +
      (state.range(1) == 0   ? " none"
       : state.range(1) == 1 ? " fast linear"
                             : " Lanczos3") +
      (kind == 0   ? " recompose"
       : kind == 1 ? " steady"
                   : " exposure"));
}
BENCHMARK(BM_ViewRepaint)
    ->ArgsProduct({{0, 1, 2, 3}, {0, 1, 2}, {0, 1, 2}})
    ->Unit(benchmark::kMillisecond)
    ->MinTime(0.3)
    ->UseRealTime();

// The floor: the client's 32-bit bytes moved by memcpy.
void BM_MemcpyClient(benchmark::State& state) {
  size_t n = static_cast<size_t>(kClientW) * kClientH * 4;
  std::vector<std::uint8_t> a(n, 1), b(n, 2);
  for (auto _ : state) {
    std::memcpy(b.data(), a.data(), n);
    benchmark::DoNotOptimize(b.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(n));
}
BENCHMARK(BM_MemcpyClient)->Unit(benchmark::kMillisecond);
}  // namespace

BENCHMARK_MAIN();

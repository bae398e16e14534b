// TIEBitmap at work on a 1920 x 1080 picture: pixel-format changes, a row
// walk of the disk buffer, the raw stream, and a filtered stretch of which
// only a part lands on the target.
#include <benchmark/benchmark.h>

#include <random>

#include "imaging/core/iebitmap.h"

using namespace redozir;

namespace {
void Noise(TIEBitmap& b) {
  b.Allocate(1920, 1080, ie24RGB);
  std::mt19937 rng(1);
  for (int y = 0; y < b.GetHeight(); ++y) {
    std::uint8_t* row = b.GetScanline(y);
    for (int x = 0; x < b.GetRowLen(); ++x) row[x] = static_cast<std::uint8_t>(rng());
  }
}
}  // namespace

static void BM_ConvertFrom24(benchmark::State& state) {
  auto pf = static_cast<TIEPixelFormat>(state.range(0));
  TIEBitmap src;
  Noise(src);
  TIEBitmap dst(1920, 1080, pf);
  for (auto _ : state) {
    dst.ConvertFrom(&src);
    benchmark::DoNotOptimize(dst.GetScanline(0));
  }
  state.SetItemsProcessed(state.iterations() * 1920 * 1080);
}
BENCHMARK(BM_ConvertFrom24)
    ->Arg(ie1g)
    ->Arg(ie8p)
    ->Arg(ie8g)
    ->Arg(ieCMYK)
    ->Arg(ieRGB48)
    ->Arg(ieCIELab)
    ->Arg(ie32RGB)
    ->Unit(benchmark::kMillisecond);

static void BM_ConvertTo24(benchmark::State& state) {
  auto pf = static_cast<TIEPixelFormat>(state.range(0));
  TIEBitmap noise, src;
  Noise(noise);
  src.Allocate(1920, 1080, pf);
  src.ConvertFrom(&noise);
  TIEBitmap dst(1920, 1080, ie24RGB);
  for (auto _ : state) {
    dst.ConvertFrom(&src);
    benchmark::DoNotOptimize(dst.GetScanline(0));
  }
  state.SetItemsProcessed(state.iterations() * 1920 * 1080);
}
BENCHMARK(BM_ConvertTo24)->Arg(ie8g)->Arg(ieCMYK)->Arg(ieCIELab)->Unit(benchmark::kMillisecond);

static void BM_DiskBufferRowWalk(benchmark::State& state) {
  TIEBitmap b;
  b.SetMemoryThreshold(0);
  b.Allocate(1920, 1080, ie24RGB);
  for (auto _ : state) {
    for (int y = 0; y < 1080; ++y) b.GetScanline(y)[y] = static_cast<std::uint8_t>(y);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * b.GetRowLen() * 1080);
}
BENCHMARK(BM_DiskBufferRowWalk)->Unit(benchmark::kMillisecond);

static void BM_RawSaveLoad(benchmark::State& state) {
  TIEBitmap src, dst;
  Noise(src);
  src.GetAlphaChannel();
  for (auto _ : state) {
    TMemoryStream m;
    src.SaveRawToStream(m);
    m.SetPosition(0);
    dst.LoadRawFromStream(m);
  }
  state.SetBytesProcessed(state.iterations() * 1920 * 1080 * 4);
}
BENCHMARK(BM_RawSaveLoad)->Unit(benchmark::kMillisecond);

// The picture enlarged to 3840 x 2160 by a kernel filter, drawn into a
// 640 x 480 target that shows a part of it.
static void BM_ClippedStretch(benchmark::State& state) {
  const auto filter = static_cast<TResampleFilter>(state.range(0));
  TIEBitmap src;
  Noise(src);
  TIEBitmap target(640, 480, ie24RGB);
  for (auto _ : state) {
    src.RenderToTIEBitmap(&target, -1000, -800, 3840, 2160, 0, 0, 1920, 1080, false, filter);
    benchmark::DoNotOptimize(target.GetScanline(0));
  }
  state.SetItemsProcessed(state.iterations() * 640 * 480);
}
BENCHMARK(BM_ClippedStretch)->Arg(rfTriangle)->Arg(rfLanczos3)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();

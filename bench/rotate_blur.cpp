// Rotation of a 4000 x 3000 24-bit picture by 30 degrees (bilinear and
// bicubic on the expanded canvas, and the three shears with blending) and the
// gaussian blur of a 4000 x 3000 8-bit plane at sigma 3, 10 and 50. Each
// iteration starts from a fresh copy (not timed); the result's allocation is
// timed. bench/peers runs the same work through OpenCV, libvips and
// ImageMagick.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <memory>

#include "imaging/core/iebitmap.h"
#include "imaging/processing/ie_blur.h"
#include "imaging/core/ie_parallel.h"
#include "imaging/processing/ie_rotate.h"

using namespace redozir;

namespace {

// Diagonal stripes over two gradients with a little noise; the plane is its
// green channel.
std::unique_ptr<TIEBitmap> Picture(TIEPixelFormat pf) {
  const int w = 4000, h = 3000;
  auto b = TIEBitmap::CreateSized(w, h, pf);
  std::uint32_t s = 2024;
  for (int y = 0; y < h; ++y) {
    std::uint8_t* r = b->GetScanline(y);
    for (int x = 0; x < w; ++x) {
      s = s * 22695477u + 1u;
      int noise = static_cast<int>(s >> 29);
      int stripe = ((x + y) / 61) % 2 ? 200 : 40;
      std::uint8_t g = static_cast<std::uint8_t>((y * 255 / h + noise) & 0xFF);
      if (pf == ie8g) {
        r[x] = g;
        continue;
      }
      r[3 * x] = static_cast<std::uint8_t>((x * 255 / w + noise) & 0xFF);
      r[3 * x + 1] = g;
      r[3 * x + 2] = static_cast<std::uint8_t>(stripe + noise);
    }
  }
  return b;
}

TIEBitmap* Source(TIEPixelFormat pf) {
  static std::unique_ptr<TIEBitmap> rgb, grey;
  auto& slot = pf == ie8g ? grey : rgb;
  if (!slot) slot = Picture(pf);
  return slot.get();
}

// BENCH_THREADS=n fixes the worker count (the default is every core);
// argument 0 of a benchmark keeps the scalar path.
void Setup(benchmark::State& state) {
  IESpeed().MaxThreads = std::getenv("BENCH_THREADS") ? std::atoi(std::getenv("BENCH_THREADS")) : 0;
  IESpeed().SIMD = state.range(0) != 0;
}

void Rotate(benchmark::State& state, int mode) {
  Setup(state);
  TIEBitmap* src = Source(ie24RGB);
  for (auto _ : state) {
    state.PauseTiming();
    auto b = std::make_unique<TIEBitmap>();
    b->Assign(src);
    state.ResumeTiming();
    if (mode == 0)
      _IERotate(b.get(), true, nullptr, TIEProgressEvent(), TRGB{255, 255, 255}, 30);
    else
      _IERotateInterpolated(b.get(), 0xFFFFFF, static_cast<std::uint8_t>(mode), nullptr, TIEProgressEvent(),
                            30);
    benchmark::DoNotOptimize(b->GetScanline(0));
    state.PauseTiming();
    b.reset();
    state.ResumeTiming();
  }
  IESpeed() = TIESpeedSettings{};
}

void Blur(benchmark::State& state) {
  Setup(state);
  TIEBitmap* src = Source(ie8g);
  double sigma = static_cast<double>(state.range(1));
  auto b = std::make_unique<TIEBitmap>();
  for (auto _ : state) {
    state.PauseTiming();
    b->Assign(src);
    state.ResumeTiming();
    _IEBlurRect8bit(b.get(), 0, 0, 3999, 2999, sigma);
    benchmark::DoNotOptimize(b->GetScanline(0));
  }
  IESpeed() = TIESpeedSettings{};
}

}  // namespace

static void BM_RotateBilinear30(benchmark::State& s) { Rotate(s, 1); }
static void BM_RotateBicubic30(benchmark::State& s) { Rotate(s, 2); }
static void BM_RotateShear30(benchmark::State& s) { Rotate(s, 0); }
static void BM_GaussBlur(benchmark::State& s) { Blur(s); }

BENCHMARK(BM_RotateBilinear30)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RotateBicubic30)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RotateShear30)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_GaussBlur)
    ->Args({1, 3})
    ->Args({1, 10})
    ->Args({1, 50})
    ->Args({0, 3})
    ->Args({0, 50})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

BENCHMARK_MAIN();

// Drawing primitives on a 1920 x 1080 24-bit bitmap.
#include <benchmark/benchmark.h>

#include "platform/bitmap.h"

static void BM_BitmapSetPixelRow(benchmark::State& state) {
  TBitmap bmp(1920, 1080, pf24bit);
  for (auto _ : state) {
    for (int x = 0; x < 1920; ++x) bmp.SetPixel(x, 540, clRed);
    benchmark::DoNotOptimize(bmp.ScanLine(540));
  }
}
BENCHMARK(BM_BitmapSetPixelRow);

BENCHMARK_MAIN();

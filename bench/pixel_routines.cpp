// Pixel routines of the reading road on full-size frames: the red/blue swap,
// YUY2 and I420 frames through the packed DIB reader, and the two-colour
// test, beside a plain memory copy of the same bytes in the same run.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "imaging/formats/byte_order.h"
#include "imaging/core/convert_1bit.h"
#include "imaging/processing/dib_input.h"

using namespace redozir;

namespace {
constexpr int kW = 1920, kH = 1080;

std::vector<std::uint8_t> Frame(std::uint32_t fourcc, std::int64_t dataBytes) {
  std::vector<std::uint8_t> b(40 + static_cast<size_t>(dataBytes));
  auto put32 = [&](size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
  };
  put32(0, 40);
  put32(4, kW);
  put32(8, kH);
  b[14] = 16;
  put32(16, fourcc);
  for (size_t i = 40; i < b.size(); ++i) b[i] = static_cast<std::uint8_t>(i * 7 + (i >> 11));
  return b;
}
}  // namespace

static void BM_MemoryCopy(benchmark::State& state) {
  const size_t n = static_cast<size_t>(state.range(0));
  std::vector<std::uint8_t> a(n, 1), b(n);
  for (auto _ : state) {
    std::memcpy(b.data(), a.data(), n);
    benchmark::DoNotOptimize(b.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(n));
}
BENCHMARK(BM_MemoryCopy)->Arg(kW* kH * 3)->Arg(4000 * 3000 * 3);

static void BM_CopyAndSwapRB_1080p(benchmark::State& state) {
  const size_t n = static_cast<size_t>(kW) * kH;
  std::vector<std::uint8_t> a(n * 3, 1), b(n * 3);
  for (auto _ : state) {
    IECopyAndSwapRB(b.data(), a.data(), static_cast<std::int64_t>(n));
    benchmark::DoNotOptimize(b.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(n * 3));
}
BENCHMARK(BM_CopyAndSwapRB_1080p);

static void BM_SwapRB_1080p(benchmark::State& state) {
  const size_t n = static_cast<size_t>(kW) * kH;
  std::vector<std::uint8_t> a(n * 3, 1);
  for (auto _ : state) {
    IESwapRB(a.data(), static_cast<std::int64_t>(n));
    benchmark::DoNotOptimize(a.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(n * 3));
}
BENCHMARK(BM_SwapRB_1080p);

// Bytes processed are the 24-bit output bytes, comparable with the copies.
static void BM_YUY2_1080p(benchmark::State& state) {
  auto f = Frame(IEFourCC("YUY2"), std::int64_t{kW} * kH * 2);
  TIEBitmap b;
  for (auto _ : state) {
    _CopyDIBtoBitmapEx(f.data(), static_cast<std::int64_t>(f.size()), &b);
    benchmark::DoNotOptimize(b.GetScanline(0));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kW * kH * 3);
}
BENCHMARK(BM_YUY2_1080p);

static void BM_I420_1080p(benchmark::State& state) {
  auto f = Frame(IEFourCC("I420"), std::int64_t{kW} * kH * 3 / 2);
  TIEBitmap b;
  for (auto _ : state) {
    _CopyDIBtoBitmapEx(f.data(), static_cast<std::int64_t>(f.size()), &b);
    benchmark::DoNotOptimize(b.GetScanline(0));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kW * kH * 3);
}
BENCHMARK(BM_I420_1080p);

// The whole 4000 x 3000 image holds two colours, so every pixel is visited.
static void BM_TwoColorsTo1bit_4000x3000(benchmark::State& state) {
  TIEBitmap src(4000, 3000, ie24RGB);
  for (int y = 0; y < 3000; ++y) {
    auto* p = reinterpret_cast<TRGB*>(src.GetScanline(y));
    for (int x = 0; x < 4000; ++x) p[x] = ((x / 7 + y / 5) & 1) ? TRGB{255, 255, 255} : TRGB{10, 20, 30};
  }
  TRGB c0, c1;
  for (auto _ : state) {
    auto r = _IETwoColorsTo1bit(&src, c0, c1);
    benchmark::DoNotOptimize(r.get());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 4000 * 3000 * 3);
}
BENCHMARK(BM_TwoColorsTo1bit_4000x3000)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();

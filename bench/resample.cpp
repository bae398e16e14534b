// Resampling of a 4000 x 3000 24-bit picture: the kernel resampler (Lanczos3
// down to 1000 x 750 and up from 1000 x 750), bicubic x 2, bilinear down,
// fast linear and the nearest stretch beside the machine's memory copy rate.
// The ...New forms ask for a new size every call. bench/peers runs the same
// work through libvips and OpenCV.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "imaging/core/iebitmap.h"
#include "imaging/processing/resample.h"
#include "imaging/processing/resample_internal.h"

using namespace redozir;

namespace {
// A picture with gradients, edges and noise, the same as bench/peers makes.
std::unique_ptr<TIEBitmap> Picture(int w, int h) {
  auto b = TIEBitmap::CreateSized(w, h, ie24RGB);
  std::uint32_t s = 12345;
  for (int y = 0; y < h; ++y) {
    std::uint8_t* r = b->GetScanline(y);
    for (int x = 0; x < w; ++x) {
      s = s * 1664525u + 1013904223u;
      int n = static_cast<int>(s >> 28);
      bool edge = ((x / 97) + (y / 89)) & 1;
      r[3 * x] = static_cast<std::uint8_t>((x * 255 / w + n) & 0xFF);
      r[3 * x + 1] = static_cast<std::uint8_t>((y * 255 / h + n) & 0xFF);
      r[3 * x + 2] = static_cast<std::uint8_t>(edge ? 220 - n : 30 + n);
    }
  }
  return b;
}

TIEBitmap* Source(int w, int h) {
  static std::unique_ptr<TIEBitmap> big, small, half;
  auto& slot = w == 4000 ? big : w == 1000 ? small : half;
  if (!slot) slot = Picture(w, h);
  return slot.get();
}

// With NewSize the destination shrinks by one pixel each way every call
// (cycling over 16 sizes), so nothing one call prepared serves the next: the
// figure a caller sees for a size it has not used before.
void Resample(benchmark::State& state, int sw, int sh, int dw, int dh, TResampleFilter f,
              bool NewSize = false, int Threads = 0) {
  TIEBitmap* src = Source(sw, sh);
  // Counted across repetitions too: a repetition of one or two calls (as
  // bench/peers asks for) would otherwise see the first size every time.
  static int call = 0;
  // BENCH_THREADS=n fixes the worker count (the default is every core).
  if (const char* t = std::getenv("BENCH_THREADS")) IESetMaxThreads(std::atoi(t));
  if (Threads > 0) IESetMaxThreads(Threads);
  IESetSIMD(state.range(0) != 0);
  for (auto _ : state) {
    const int d = NewSize ? call++ % 16 : 0;
    auto dst = TIEBitmap::CreateSized(dw - d, dh - d, ie24RGB);
    _IEResampleIEBitmap(src, dst.get(), f, TIEProgressEvent(), nullptr);
    benchmark::DoNotOptimize(dst->GetScanline(0));
  }
  IESetSIMD(true);
  // Bytes read plus bytes written, comparable with the memory copy.
  state.SetBytesProcessed(state.iterations() *
                          (static_cast<std::int64_t>(sw) * sh + static_cast<std::int64_t>(dw) * dh) * 3);
}
}  // namespace

static void BM_Lanczos3Down(benchmark::State& s) { Resample(s, 4000, 3000, 1000, 750, rfLanczos3); }
static void BM_Lanczos3DownNew(benchmark::State& s) { Resample(s, 4000, 3000, 1000, 750, rfLanczos3, true); }
static void BM_Lanczos3UpNew(benchmark::State& s) { Resample(s, 1000, 750, 4000, 3000, rfLanczos3, true); }
static void BM_BicubicUpOddNew(benchmark::State& s) { Resample(s, 2000, 1500, 3999, 2999, rfBicubic, true); }
static void BM_FastLinearDownNew(benchmark::State& s) {
  Resample(s, 4000, 3000, 2000, 1500, rfFastLinear, true);
}
static void BM_NearestDownNew(benchmark::State& s) { Resample(s, 4000, 3000, 2000, 1500, rfNone, true); }
static void BM_BicubicUp2New(benchmark::State& s) { Resample(s, 2000, 1500, 4000, 3000, rfBicubic, true); }
static void BM_BilinearDownNew(benchmark::State& s) { Resample(s, 4000, 3000, 1000, 750, rfBilinear, true); }
static void BM_BilinearDownOddNew(benchmark::State& s) {
  Resample(s, 4000, 3000, 999, 749, rfBilinear, true);
}
static void BM_FastLinearUpNew(benchmark::State& s) {
  Resample(s, 4000, 3000, 6000, 4500, rfFastLinear, true);
}
static void BM_NearestUpNew(benchmark::State& s) { Resample(s, 4000, 3000, 6000, 4500, rfNone, true); }

// The kernel resampler at a new size each call on 1 or 2 threads (the
// second argument). With --benchmark_enable_random_interleaving=true the
// repetitions of both alternate, so that the gain from the second thread is
// measured under the same load; the CPU column is the whole process's.
static void OneAndTwoThreads(benchmark::internal::Benchmark* b) {
  b->ArgNames({"simd", "threads"})
      ->Args({1, 1})
      ->Args({1, 2})
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime()
      ->MeasureProcessCPUTime();
}
static void BM_Lanczos3DownNewThreads(benchmark::State& s) {
  Resample(s, 4000, 3000, 1000, 750, rfLanczos3, true, static_cast<int>(s.range(1)));
  IESetMaxThreads(0);
}
static void BM_Lanczos3UpNewThreads(benchmark::State& s) {
  Resample(s, 1000, 750, 4000, 3000, rfLanczos3, true, static_cast<int>(s.range(1)));
  IESetMaxThreads(0);
}

// The gain from the second thread again, with the calls on 1 and on 2
// threads alternated closely (which goes first alternating too), so that
// both meet the same moments of a machine whose speed drifts within
// seconds: the median call of each and their ratio, as counters. Each timed
// call follows an untimed one on as many threads, as in a program that
// keeps its setting: right after a call on the other count, the result's
// cache lines (2 MB for the reduction) would sit in another core's cache.
static void ThreadGain(benchmark::State& state, int sw, int sh, int dw, int dh) {
  TIEBitmap* src = Source(sw, sh);
  std::vector<double> ms[2];
  std::int64_t call = 0;
  auto once = [&](int threads) {
    IESetMaxThreads(threads);
    const int d = static_cast<int>(call++ % 16);
    const auto t0 = std::chrono::steady_clock::now();
    auto dst = TIEBitmap::CreateSized(dw - d, dh - d, ie24RGB);
    _IEResampleIEBitmap(src, dst.get(), rfLanczos3, TIEProgressEvent(), nullptr);
    benchmark::DoNotOptimize(dst->GetScanline(0));
    dst.reset();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
  };
  std::int64_t pair = 0;
  for (auto _ : state) {
    for (int k = 0; k < 2; ++k) {
      const int t = static_cast<int>((pair + k) & 1);
      once(t + 1);
      ms[t].push_back(once(t + 1));
    }
    ++pair;
  }
  IESetMaxThreads(0);
  auto median = [](std::vector<double>& v) {
    std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
    return v[v.size() / 2];
  };
  const double one = median(ms[0]), two = median(ms[1]);
  state.counters["ms_1_thread"] = one;
  state.counters["ms_2_threads"] = two;
  state.counters["gain"] = one / two;
}
static void BM_Lanczos3DownThreadGain(benchmark::State& s) { ThreadGain(s, 4000, 3000, 1000, 750); }
static void BM_Lanczos3UpThreadGain(benchmark::State& s) { ThreadGain(s, 1000, 750, 4000, 3000); }

// The contributor tables alone, both directions of 4000 x 3000 -> 1000 x 750
// Lanczos3, as every call builds them: anew, in the memory the last call's
// tables left (the resampler keeps it from one call to the next).
static void BM_TapsLanczos3Down(benchmark::State& state) {
  if (const char* t = std::getenv("BENCH_THREADS")) IESetMaxThreads(std::atoi(t));
  TIEResampleTaps h, v;
  for (auto _ : state) {
    IEBuildTapsPair(4000, 1000, 3000, 750, rfLanczos3, IEResampleThreadCount(), h, v);
    benchmark::DoNotOptimize(h.W.data());
    benchmark::DoNotOptimize(v.W.data());
  }
}
static void BM_Lanczos3Up(benchmark::State& s) { Resample(s, 1000, 750, 4000, 3000, rfLanczos3); }
static void BM_BicubicUp2(benchmark::State& s) { Resample(s, 2000, 1500, 4000, 3000, rfBicubic); }
static void BM_BilinearDown(benchmark::State& s) { Resample(s, 4000, 3000, 1000, 750, rfBilinear); }
// Ratios whose pieces are not whole or dyadic, which take the double
// arithmetic throughout.
static void BM_BicubicUpOdd(benchmark::State& s) { Resample(s, 2000, 1500, 3999, 2999, rfBicubic); }
static void BM_BilinearDownOdd(benchmark::State& s) { Resample(s, 4000, 3000, 999, 749, rfBilinear); }
static void BM_FastLinearDown(benchmark::State& s) { Resample(s, 4000, 3000, 2000, 1500, rfFastLinear); }
static void BM_FastLinearUp(benchmark::State& s) { Resample(s, 4000, 3000, 6000, 4500, rfFastLinear); }
static void BM_NearestDown(benchmark::State& s) { Resample(s, 4000, 3000, 2000, 1500, rfNone); }
static void BM_NearestUp(benchmark::State& s) { Resample(s, 4000, 3000, 6000, 4500, rfNone); }

// The memory copy rate: 4000 x 3000 x 3 bytes into a new allocation (read
// plus written bytes, as above).
static void BM_Memcpy(benchmark::State& state) {
  TIEBitmap* src = Source(4000, 3000);
  std::size_t n = static_cast<std::size_t>(src->GetRowLen()) * 3000;
  for (auto _ : state) {
    auto dst = TIEBitmap::CreateSized(4000, 3000, ie24RGB);
    std::memcpy(dst->GetScanline(0), src->GetScanline(0), n);
    benchmark::DoNotOptimize(dst->GetScanline(0));
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(n) * 2);
}

// Argument 1: AVX2 rows where the processor has them; 0: the scalar rows.
BENCHMARK(BM_Lanczos3Down)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Lanczos3DownNew)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Lanczos3Up)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Lanczos3UpNew)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BicubicUpOddNew)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FastLinearDownNew)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_NearestDownNew)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BicubicUp2New)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BilinearDownNew)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BilinearDownOddNew)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FastLinearUpNew)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_NearestUpNew)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Lanczos3DownNewThreads)->Apply(OneAndTwoThreads);
BENCHMARK(BM_Lanczos3UpNewThreads)->Apply(OneAndTwoThreads);
BENCHMARK(BM_Lanczos3DownThreadGain)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);
BENCHMARK(BM_Lanczos3UpThreadGain)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);
BENCHMARK(BM_TapsLanczos3Down)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BicubicUp2)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BilinearDown)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BicubicUpOdd)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BilinearDownOdd)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FastLinearDown)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FastLinearUp)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_NearestDown)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_NearestUp)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Memcpy)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();

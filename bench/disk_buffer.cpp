// A 12000 x 12000 picture in memory and in the disk buffer (its memory
// threshold forced to 0), through the same work: a 30 degree bilinear
// rotation and a Lanczos3 reduction to half of the 24-bit picture, and the
// gaussian blur (sigma 10) of its 8-bit plane. The disk runs come first: the
// peak resident size is reset before them and reported after each of them
// ("peak_rss_MB", the whole process: pictures in memory are built only after
// the disk runs), beside the picture's in-memory size ("picture_MB"), and the
// processor time the kernel spent for the timed work ("sys_ms", all threads:
// page faults, mostly). Each job first runs once untimed: memory the process
// touches for the first time can cost several times more (a virtual machine's
// host may have to back it first), and without that the disk runs, which come
// first, paid for it alone.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>

#include "imaging/core/iebitmap.h"
#include "imaging/processing/ie_blur.h"
#include "imaging/processing/ie_rotate.h"
#include "imaging/processing/resample.h"

using namespace redozir;

namespace {

constexpr int kSide = 12000;

// Diagonal stripes over two gradients with a little noise, written row by
// row (a disk-buffered picture never has all of its rows in memory).
void Paint(TIEBitmap& b) {
  const bool grey = b.GetPixelFormat() == ie8g;
  std::uint32_t s = 2024;
  for (int y = 0; y < kSide; ++y) {
    std::uint8_t* r = b.GetScanline(y);
    for (int x = 0; x < kSide; ++x) {
      s = s * 22695477u + 1u;
      int noise = static_cast<int>(s >> 29);
      std::uint8_t g = static_cast<std::uint8_t>((y * 255 / kSide + noise) & 0xFF);
      if (grey) {
        r[x] = g;
        continue;
      }
      r[3 * x] = static_cast<std::uint8_t>((x * 255 / kSide + noise) & 0xFF);
      r[3 * x + 1] = g;
      r[3 * x + 2] = static_cast<std::uint8_t>((((x + y) / 61) % 2 ? 200 : 40) + noise);
    }
  }
}

std::unique_ptr<TIEBitmap> Picture(TIEPixelFormat pf, bool disk) {
  auto b = std::make_unique<TIEBitmap>();
  b->SetMemoryThreshold(disk ? 0 : -1);
  if (!b->Allocate(kSide, kSide, pf)) std::abort();
  Paint(*b);
  return b;
}

std::int64_t StatusKB(const char* key) {
  std::ifstream f("/proc/self/status");
  std::string line;
  while (std::getline(f, line))
    if (line.rfind(key, 0) == 0) return std::atoll(line.c_str() + std::strlen(key));
  return 0;
}

double SystemSeconds() {
  rusage r{};
  getrusage(RUSAGE_SELF, &r);
  return static_cast<double>(r.ru_stime.tv_sec) + static_cast<double>(r.ru_stime.tv_usec) / 1e6;
}

// Starts a new peak of the resident size (Linux: clear_refs value 5).
void ResetPeak() {
  if (FILE* f = std::fopen("/proc/self/clear_refs", "w")) {
    std::fputs("5", f);
    std::fclose(f);
  }
}

enum TWork { wRotate, wLanczos, wBlur };

// The work on picture B (its result's allocation included).
void Work(TWork work, TIEBitmap* b, bool disk) {
  switch (work) {
    case wRotate:
      _IERotateInterpolated(b, 0xFFFFFF, 1, nullptr, TIEProgressEvent(), 30);
      benchmark::DoNotOptimize(b->GetScanline(0));
      break;
    case wLanczos: {
      TIEBitmap dst;
      dst.SetMemoryThreshold(disk ? 0 : -1);
      if (!dst.Allocate(kSide / 2 + 1, kSide / 2 + 1, ie24RGB)) std::abort();
      _IEResampleIEBitmap(b, &dst, rfLanczos3, TIEProgressEvent(), nullptr);
      benchmark::DoNotOptimize(dst.GetScanline(0));
      break;
    }
    case wBlur:
      _IEBlurRect8bit(b, 0, 0, kSide - 1, kSide - 1, 10);
      benchmark::DoNotOptimize(b->GetScanline(0));
      break;
  }
}

void Run(benchmark::State& state, TWork work) {
  const bool disk = state.range(0) != 0;
  const TIEPixelFormat pf = work == wBlur ? ie8g : ie24RGB;
  // Once untimed first (see the top).
  Work(work, Picture(pf, disk).get(), disk);
  if (disk) ResetPeak();
  // Each iteration works on a fresh picture (not timed); the result's
  // allocation is timed.
  double sys = 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto b = Picture(pf, disk);
    sys -= SystemSeconds();
    state.ResumeTiming();
    Work(work, b.get(), disk);
    state.PauseTiming();
    sys += SystemSeconds();
    b.reset();
    state.ResumeTiming();
  }
  state.counters["sys_ms"] = sys * 1000 / static_cast<double>(state.iterations());
  state.counters["picture_MB"] = static_cast<double>(kSide) * kSide * IEPixelFormatBits(pf) / 8 / 1e6;
  if (disk) state.counters["peak_rss_MB"] = static_cast<double>(StatusKB("VmHWM:")) / 1000.0;
}

}  // namespace

// Argument 1: the pictures live in the disk buffer; 0: in memory.
static void BM_BigRotateBilinear30(benchmark::State& s) { Run(s, wRotate); }
static void BM_BigLanczos3Half(benchmark::State& s) { Run(s, wLanczos); }
static void BM_BigGaussBlur10(benchmark::State& s) { Run(s, wBlur); }

BENCHMARK(BM_BigRotateBilinear30)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
BENCHMARK(BM_BigLanczos3Half)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
BENCHMARK(BM_BigGaussBlur10)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
BENCHMARK(BM_BigRotateBilinear30)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
BENCHMARK(BM_BigLanczos3Half)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
BENCHMARK(BM_BigGaussBlur10)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

BENCHMARK_MAIN();

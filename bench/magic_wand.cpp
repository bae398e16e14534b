// The magic wand's polygon click on a flat picture: the whole image is one
// region, so the fill visits every pixel and the outline is the image's edge.
// The counter "MB" is the most memory the call held at once (above the
// picture's own), from this program's allocation counts.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "imaging/core/iebitmap.h"
#include "imaging/view/ie_wand.h"
#include "tests/imaging/replaced_new.h"

using namespace redozir;

namespace {
std::atomic<long long> gHeld{0}, gPeak{0};
}

void* TestAllocate(std::size_t n, std::size_t align, bool nothrow) {
  void* p = MallocAligned(n, align);
  if (!p) {
    if (nothrow) return nullptr;
    throw std::bad_alloc();
  }
  long long now = gHeld += static_cast<long long>(malloc_usable_size(p));
  for (long long peak = gPeak; now > peak && !gPeak.compare_exchange_weak(peak, now);) {
  }
  return p;
}
void TestRelease(void* p) noexcept {
  if (p) gHeld -= static_cast<long long>(malloc_usable_size(p));
  std::free(p);
}

namespace {

void BM_MagicWandPolygonFlat(benchmark::State& state) {
  int size = static_cast<int>(state.range(0));
  TIEBitmap b;
  b.Allocate(size, size, ie24RGB);
  b.Fill(0);
  long long most = 0;
  for (auto _ : state) {
    gPeak = gHeld.load();
    long long before = gHeld;
    auto poly = IEMagicWandPolygon(&b, size / 2, size / 2, 15, false);
    benchmark::DoNotOptimize(poly.data());
    most = std::max(most, gPeak.load() - before);
  }
  state.counters["MB"] = static_cast<double>(most) / (1 << 20);
  state.SetItemsProcessed(state.iterations() * size * size);
}
BENCHMARK(BM_MagicWandPolygonFlat)->Arg(2000)->Arg(4000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

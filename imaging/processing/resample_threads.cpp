// Worker bands of the resamplers and the switches of their vector paths.
#include <algorithm>
#include <atomic>
#include <exception>
#include <thread>

#include "imaging/core/ie_system.h"
#include "imaging/processing/ie_parallel.h"
#include "imaging/processing/resample_internal.h"

namespace redozir {

int IEResampleCoreCount() { return std::max(1, IEGetCPUCoreCount()); }

int IEResampleThreadCount() {
  int n = IESpeed().MaxThreads.load(std::memory_order_relaxed);
  return n > 0 ? n : IEResampleCoreCount();
}

void IESetMaxThreads(int n) {
  IESpeed().MaxThreads.store(std::max(0, n), std::memory_order_relaxed);
}

std::vector<std::pair<int, int>> IEResampleBands(int Rows, int n) {
  n = std::max(1, n);
  std::vector<std::pair<int, int>> bands(static_cast<std::size_t>(n));
  int B = Rows / n;
  for (int t = 0; t < n; ++t)
    bands[static_cast<std::size_t>(t)] = {t * B, t == n - 1 ? Rows - (n - 1) * B : B};
  return bands;
}

namespace {
// Starts Work on a thread of its own; false, with nothing started, on any failure.
template <typename F>
bool Start(std::vector<std::thread>& Threads, F Work) noexcept {
  try {
    Threads.emplace_back(Work);
    return true;
  } catch (...) {
    return false;
  }
}
}  // namespace

void IERunBands(int Rows, int n, const std::function<void(int t, int first, int count)>& Work) {
  auto bands = IEResampleBands(Rows, n);
  std::vector<std::thread> threads;
  std::vector<std::exception_ptr> errors(bands.size());
  auto run = [&](std::size_t t) {
    try {
      Work(static_cast<int>(t), bands[t].first, bands[t].second);
    } catch (...) {
      errors[t] = std::current_exception();
    }
  };
  threads.reserve(bands.size());
  for (std::size_t t = 1; t < bands.size(); ++t) {
    if (bands[t].second == 0) continue;
    // A thread that cannot be started (none left, or no memory for one)
    // leaves its band to this thread; nothing may escape here while others
    // run, or their joinable threads would end the process.
    if (!Start(threads, [&run, t] { run(t); })) run(t);
  }
  if (bands[0].second > 0) run(0);
  for (auto& th : threads) th.join();
  for (auto& e : errors)
    if (e) std::rethrow_exception(e);
}

void IERunChunks(int Rows, int n, int Chunk, const std::function<void(int t, int first, int count)>& Work) {
  Chunk = std::max(1, Chunk);
  const int chunks = Rows <= 0 ? 0 : (Rows - 1) / Chunk + 1;
  n = std::clamp(n, 1, std::max(1, chunks));
  std::atomic<int> next{0};
  std::vector<std::exception_ptr> errors(static_cast<std::size_t>(n));
  auto run = [&](int t) {
    try {
      for (int c; (c = next.fetch_add(1, std::memory_order_relaxed)) < chunks;) {
        const int first = c * Chunk;
        Work(t, first, std::min(Chunk, Rows - first));
      }
    } catch (...) {
      errors[static_cast<std::size_t>(t)] = std::current_exception();
      // The others stop at their next chunk.
      next.store(chunks, std::memory_order_relaxed);
    }
  };
  std::vector<std::thread> threads;
  threads.reserve(static_cast<std::size_t>(n));
  for (int t = 1; t < n; ++t) {
    // Worker 0 takes the chunks of a worker that cannot be started.
    if (!Start(threads, [&run, t] { run(t); })) break;
  }
  run(0);
  for (auto& th : threads) th.join();
  for (auto& e : errors)
    if (e) std::rethrow_exception(e);
}

bool IEResampleUseAVX2() { return IEUseAVX2(); }

void IESetSIMD(bool Enabled) { IESpeed().SIMD.store(Enabled, std::memory_order_relaxed); }

bool IEResampleUseAVX512() { return IEResampleUseAVX2() && IEUseAVX512(); }

}  // namespace redozir

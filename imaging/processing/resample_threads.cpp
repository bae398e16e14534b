// Worker bands of the resamplers and the switches of their vector paths.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <new>
#include <thread>

#include <unistd.h>

#include "imaging/core/ie_system.h"
#include "imaging/core/ie_parallel.h"
#include "imaging/processing/resample_internal.h"

namespace redozir {

int IEResampleCoreCount() { return std::max(1, IEGetCPUCoreCount()); }

int IEResampleThreadCount() {
  int n = IESpeed().MaxThreads.load(std::memory_order_relaxed);
  return n > 0 ? n : IEResampleCoreCount();
}

void IESetMaxThreads(int n) { IESpeed().MaxThreads.store(std::max(0, n), std::memory_order_relaxed); }

std::vector<std::pair<int, int>> IEResampleBands(int Rows, int n) {
  n = std::max(1, n);
  std::vector<std::pair<int, int>> bands(static_cast<std::size_t>(n));
  int B = Rows / n;
  for (int t = 0; t < n; ++t)
    bands[static_cast<std::size_t>(t)] = {t * B, t == n - 1 ? Rows - (n - 1) * B : B};
  return bands;
}

namespace {
// Waits up to Limit for Done() without sleeping: a thread put to sleep on a
// busy machine may wait a while for a processor once woken, which a wait
// of a few hundred microseconds at most does not. The caller waits so for
// its workers at the end of every call; the workers wait so for the next
// call only in calls on a quarter of the processors or fewer: with more,
// the waiting workers took processors from the ones still at work (a third
// slower at all cores on a loaded machine), where the caller alone did not
// (all cores with six other busy threads on eight processors: no slower).
template <typename F>
bool Spin(F Done, std::chrono::microseconds Limit) {
  const auto end = std::chrono::steady_clock::now() + Limit;
  for (;;) {
    for (int i = 0; i < 64; ++i) {
      if (Done()) return true;
      __builtin_ia32_pause();
    }
    if (std::chrono::steady_clock::now() >= end) return Done();
  }
}
constexpr std::chrono::microseconds kSpinForWorkers{200}, kSpinForNextJob{200};

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

// Workers kept from one call to the next, asleep in between. A thread made
// for a call starts behind every task already queued on its processor, so
// on a busy machine a call could wait a whole time slice for it; a sleeping
// worker that is woken runs at once. One call at a time has the pool: a
// call that finds it taken (another caller, or a worker's own nested call)
// makes threads of its own as before.
//
// Each part t of a call is claimed once, by its worker or by the caller:
// once done with its own part the caller takes every part whose worker has
// not started yet (on a busy machine a woken worker may wait a time slice
// for a processor), and then waits only for the workers already at work,
// awake for a moment before it sleeps. A call that says another follows at
// once (More) keeps its workers awake for a moment after their part, so
// that the next call's parts start without waking them again.
class TIEWorkerPool {
 public:
  // Runs Job(t) for t from 0 to n - 1, 0 on the calling thread; false (with
  // nothing run) when the pool is taken. Job must not throw. Workers that
  // cannot be made leave their t to the calling thread.
  bool Run(int n, const std::function<void(int)>& Job, bool More) {
    // A child made by fork has none of the parent's workers.
    if (getpid() != fPid) return false;
    std::unique_ptr<std::atomic<bool>[]> claimed(new (std::nothrow)
                                                     std::atomic<bool>[static_cast<std::size_t>(n)]);
    if (!claimed) return false;
    bool idle = false;
    if (!fTaken.compare_exchange_strong(idle, true, std::memory_order_acquire)) return false;
    const bool spin = 4 * n <= IEResampleCoreCount();
    int helpers = Grow(n - 1);
    for (int t = 0; t <= helpers; ++t) claimed[t].store(false, std::memory_order_relaxed);
    {
      std::lock_guard<std::mutex> lock(fMutex);
      fJob = &Job;
      fClaimed = claimed.get();
      fHelpers = helpers;
      fMore = More && spin;
      fGen.store(++fGeneration, std::memory_order_release);
    }
    fWake.notify_all();
    Job(0);
    for (int t = helpers + 1; t < n; ++t) Job(t);
    // A worker counts itself active before it claims its part, so once
    // every part is claimed a count of 0 means that none is at work.
    for (int t = 1; t <= helpers; ++t)
      if (!claimed[t].exchange(true, std::memory_order_acq_rel)) Job(t);
    Spin([this] { return fActive.load(std::memory_order_acquire) == 0; }, kSpinForWorkers);
    std::unique_lock<std::mutex> lock(fMutex);
    fDone.wait(lock, [this] { return fActive.load(std::memory_order_acquire) == 0; });
    fJob = nullptr;
    fClaimed = nullptr;
    fTaken.store(false, std::memory_order_release);
    return true;
  }

 private:
  // Makes workers up to Want (never fewer than there are); returns how many
  // there are now, at most Want.
  int Grow(int Want) {
    while (static_cast<int>(fCount) < Want) {
      const int index = static_cast<int>(fCount) + 1;
      try {
        std::thread(&TIEWorkerPool::Loop, this, index, fGeneration).detach();
      } catch (...) {
        break;
      }
      ++fCount;
    }
    return std::min(Want, static_cast<int>(fCount));
  }
  void Loop(int Index, std::uint64_t Seen) {
    std::unique_lock<std::mutex> lock(fMutex);
    bool more = false;
    for (;;) {
      if (more && fGeneration == Seen) {
        lock.unlock();
        Spin([&] { return fGen.load(std::memory_order_acquire) != Seen; }, kSpinForNextJob);
        lock.lock();
      }
      more = false;
      fWake.wait(lock, [&] { return fGeneration != Seen; });
      Seen = fGeneration;
      // The call may be over (its parts all taken) or leave this one out.
      if (!fJob || Index > fHelpers) continue;
      fActive.fetch_add(1, std::memory_order_relaxed);
      if (fClaimed[Index].exchange(true, std::memory_order_acq_rel)) {
        if (fActive.fetch_sub(1, std::memory_order_acq_rel) == 1) fDone.notify_one();
        continue;
      }
      const std::function<void(int)>* job = fJob;
      more = fMore;
      lock.unlock();
      (*job)(Index);
      lock.lock();
      if (fActive.fetch_sub(1, std::memory_order_acq_rel) == 1) fDone.notify_one();
    }
  }

  const pid_t fPid = getpid();
  std::atomic<bool> fTaken{false};
  std::mutex fMutex;
  std::condition_variable fWake, fDone;
  const std::function<void(int)>* fJob = nullptr;
  std::atomic<bool>* fClaimed = nullptr;
  std::uint64_t fGeneration = 0;
  std::atomic<std::uint64_t> fGen{0};  // fGeneration, read without the lock
  std::size_t fCount = 0;
  int fHelpers = 0;
  bool fMore = false;
  std::atomic<int> fActive{0};  // workers inside the job (changed under the lock)
};

// Never destroyed: its workers sleep until the process ends.
TIEWorkerPool& Pool() {
  static TIEWorkerPool* pool = new TIEWorkerPool;
  return *pool;
}

// Job(t) for t from 0 to n - 1 on the pool, or else on threads made for
// the call (t = 0 on the calling thread). Job must not throw. More: the
// caller runs another job on the workers right after.
void RunOnWorkers(int n, const std::function<void(int)>& Job, bool More = false) {
  if (n <= 1) {
    if (n == 1) Job(0);
    return;
  }
  if (Pool().Run(n, Job, More)) return;
  std::vector<std::thread> threads;
  threads.reserve(static_cast<std::size_t>(n));
  int t = 1;
  for (; t < n; ++t)
    if (!Start(threads, [&Job, t] { Job(t); })) break;
  Job(0);
  // A worker that cannot be started leaves its part to this thread.
  for (; t < n; ++t) Job(t);
  for (auto& th : threads) th.join();
}
}  // namespace

void IERunBands(int Rows, int n, const std::function<void(int t, int first, int count)>& Work) {
  auto bands = IEResampleBands(Rows, n);
  std::vector<std::exception_ptr> errors(bands.size());
  RunOnWorkers(static_cast<int>(bands.size()), [&](int t) {
    const std::size_t b = static_cast<std::size_t>(t);
    if (bands[b].second == 0) return;
    try {
      Work(t, bands[b].first, bands[b].second);
    } catch (...) {
      errors[b] = std::current_exception();
    }
  });
  for (auto& e : errors)
    if (e) std::rethrow_exception(e);
}

void IERunChunks(int Rows, int n, int Chunk, const std::function<void(int t, int first, int count)>& Work,
                 bool More) {
  Chunk = std::max(1, Chunk);
  const int chunks = Rows <= 0 ? 0 : (Rows - 1) / Chunk + 1;
  n = std::clamp(n, 1, std::max(1, chunks));
  std::atomic<int> next{0};
  std::vector<std::exception_ptr> errors(static_cast<std::size_t>(n));
  RunOnWorkers(
      n,
      [&](int t) {
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
      },
      More);
  for (auto& e : errors)
    if (e) std::rethrow_exception(e);
}

void IERunSteal(int Rows, int n, int Step, const std::function<void(int t, int first, int count)>& Work) {
  if (Rows <= 0) return;
  Step = std::max(1, Step);
  n = std::clamp(n, 1, (Rows - 1) / Step + 1);
  if (n == 1) {
    Work(0, 0, Rows);
    return;
  }
  // What is left of band t, [front, back), in one word so that its owner
  // (taking from the front) and a thief (from the back) agree.
  struct alignas(64) TBand {
    std::atomic<std::uint64_t> Left{0};
  };
  auto pack = [](std::uint32_t f, std::uint32_t b) { return static_cast<std::uint64_t>(f) << 32 | b; };
  std::unique_ptr<TBand[]> bands(new TBand[static_cast<std::size_t>(n)]);
  const auto split = IEResampleBands(Rows, n);
  for (int t = 0; t < n; ++t) {
    const auto [first, count] = split[static_cast<std::size_t>(t)];
    bands[t].Left.store(pack(static_cast<std::uint32_t>(first), static_cast<std::uint32_t>(first + count)));
  }
  std::vector<std::exception_ptr> errors(static_cast<std::size_t>(n));
  std::atomic<bool> failed{false};
  RunOnWorkers(n, [&](int t) {
    try {
      for (;;) {
        // The next step of this worker's band.
        std::uint64_t v = bands[t].Left.load(std::memory_order_relaxed);
        std::uint32_t f = 0, b = 0;
        for (;;) {
          f = static_cast<std::uint32_t>(v >> 32);
          b = static_cast<std::uint32_t>(v);
          if (f >= b) break;
          const std::uint32_t c = std::min<std::uint32_t>(static_cast<std::uint32_t>(Step), b - f);
          if (bands[t].Left.compare_exchange_weak(v, pack(f + c, b), std::memory_order_relaxed)) {
            b = f + c;
            break;
          }
        }
        if (f < b) {
          if (failed.load(std::memory_order_relaxed)) return;
          Work(t, static_cast<int>(f), static_cast<int>(b - f));
          continue;
        }
        // Band done: the back half of the fullest band becomes this
        // worker's band; none left, the worker is done.
        for (;;) {
          int victim = -1;
          std::uint32_t most = 0;
          for (int u = 0; u < n; ++u) {
            const std::uint64_t w = bands[u].Left.load(std::memory_order_relaxed);
            const std::uint32_t wf = static_cast<std::uint32_t>(w >> 32), wb = static_cast<std::uint32_t>(w);
            if (wb > wf && wb - wf > most) {
              most = wb - wf;
              victim = u;
            }
          }
          if (victim < 0) return;
          std::uint64_t w = bands[victim].Left.load(std::memory_order_relaxed);
          const std::uint32_t wf = static_cast<std::uint32_t>(w >> 32), wb = static_cast<std::uint32_t>(w);
          if (wb <= wf) continue;
          const std::uint32_t half = (wb - wf + 1) / 2;
          if (bands[victim].Left.compare_exchange_strong(w, pack(wf, wb - half), std::memory_order_relaxed)) {
            bands[t].Left.store(pack(wb - half, wb), std::memory_order_relaxed);
            break;
          }
        }
      }
    } catch (...) {
      errors[static_cast<std::size_t>(t)] = std::current_exception();
      // The others stop at their next step.
      failed.store(true, std::memory_order_relaxed);
    }
  });
  for (auto& e : errors)
    if (e) std::rethrow_exception(e);
}

bool IEResampleUseAVX2() { return IEUseAVX2(); }

void IESetSIMD(bool Enabled) { IESpeed().SIMD.store(Enabled, std::memory_order_relaxed); }

bool IEResampleUseAVX512() { return IEResampleUseAVX2() && IEUseAVX512(); }

}  // namespace redozir

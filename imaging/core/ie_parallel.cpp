// The engines' row tables and parallel loop, on the imaging core's thread pool.
#include "imaging/core/ie_parallel.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>
#include <thread>

#include "imaging/core/ie_system.h"
#include "imaging/core/ie_threadpool.h"
#include "platform/simd_level.h"

namespace redozir {

TIESpeedSettings& IESpeed() {
  // Constant-initialised: the settings exist before any static constructor runs.
  static constinit TIESpeedSettings settings;
  return settings;
}

bool IEUseAVX2() {
  static const bool supported = __builtin_cpu_supports("avx2") && SIMDLevelAllowed() >= TSIMDLevel::AVX2;
  return supported && IESpeed().SIMD.load(std::memory_order_relaxed);
}

bool IEUseAVX512() {
  static const bool supported = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("avx512f") &&
                                __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vl") &&
                                __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512vbmi") &&
                                __builtin_cpu_supports("avx512vnni") &&
                                SIMDLevelAllowed() >= TSIMDLevel::AVX512;
  const TIESpeedSettings& s = IESpeed();
  return supported && s.SIMD.load(std::memory_order_relaxed) && s.AVX512.load(std::memory_order_relaxed);
}

namespace {
// Row tables are told apart by number, not by address: a table may take the
// place of one freed before.
std::atomic<std::uint64_t> gTableSerial{0};
}  // namespace

TIERowTable::TIERowTable(TIEBitmap* Bitmap)
    : fBitmap(Bitmap), fShareable(true), fSerial(gTableSerial.fetch_add(1, std::memory_order_relaxed) + 1) {
  int h = Bitmap->GetHeight();
  fRows.reserve(static_cast<size_t>(h));
  if (Bitmap->Location() != ieFile) {
    for (int y = 0; y < h; ++y) fRows.push_back(Bitmap->GetScanline(y));
    return;
  }
  // One mapping for all the rows: a disk-buffered bitmap is then walked by
  // every thread like one in memory.
  std::uint8_t* base = Bitmap->LockRows();
  const std::int64_t len = Bitmap->GetRowLen();
  for (int y = 0; y < h; ++y) fRows.push_back(base + len * y);
  fLocked = true;
}

TIERowTable::~TIERowTable() {
  if (fLocked) fBitmap->UnlockRows();
}

void TIERowTable::Release(int First, int Count, bool Loose) const {
  fBitmap->ReleaseRows(First, Count, Loose);
}

const std::uint8_t* TIERowTable::Walk(int Y) const {
  if (fLocked) {
    // Rows are let go a group at a time, two groups behind the walk: a
    // thread's window of rows seldom reaches back further than that. They go
    // in whole huge pages (loosely): threads faulting rows in need the lock
    // that splitting a huge page holds.
    constexpr int kGroup = 64;
    struct TWalk {
      std::uint64_t Table = 0;
      int Group = 0;
    };
    thread_local TWalk w;
    const int g = Y / kGroup;
    if (w.Table != fSerial) {
      w = TWalk{fSerial, g};
    } else if (g > w.Group) {
      // After a jump (to the next piece of the thread's work) only the rows
      // around where it was are its own.
      const int from = std::max(w.Group - 1, 0) * kGroup, to = std::min(g - 1, w.Group + 1) * kGroup;
      if (to > from) Release(from, to - from, true);
      w.Group = g;
    }
  }
  return fRows[static_cast<size_t>(Y)];
}

namespace {
// Rows of a block of the row writer: about this many bytes.
constexpr std::int64_t kWriterBlockBytes = std::int64_t(1) << 20;
}  // namespace

TIERowWriter::TIERowWriter(TIEBitmap* Bitmap) : fBitmap(Bitmap) {
  const int h = Bitmap->GetHeight();
  if (Bitmap->Location() != ieFile) {
    fRows.reserve(static_cast<size_t>(h));
    for (int y = 0; y < h; ++y) fRows.push_back(Bitmap->GetScanline(y));
    return;
  }
  fRowLen = Bitmap->GetRowLen();
  // Blocks smaller than the pieces threads take, so that a block seldom
  // waits for a second thread.
  fBlockRows = static_cast<int>(std::clamp<std::int64_t>(
      kWriterBlockBytes / std::max<std::int64_t>(fRowLen, 1), 1, std::max(h / 64, 1)));
  fBlocks = std::make_unique<TBlock[]>(static_cast<size_t>(h / fBlockRows + 1));
}

TIERowWriter::~TIERowWriter() = default;

std::uint8_t* TIERowWriter::Row(int Y) {
  if (!fBlocks) return fRows[static_cast<size_t>(Y)];
  TBlock& b = fBlocks[static_cast<size_t>(Y / fBlockRows)];
  std::uint8_t* data = b.Data.load(std::memory_order_acquire);
  if (!data) {
    std::unique_lock<std::mutex> g(fLock);
    data = b.Data.load(std::memory_order_acquire);
    if (!data) {
      if (fFree.empty()) {
        // A new buffer is made outside the lock: its first touch takes a page
        // fault per page, which the other threads would wait for. Zeroed
        // once: the bytes after a row's pixels go to the file too.
        g.unlock();
        std::unique_ptr<std::uint8_t[]> fresh(new std::uint8_t[static_cast<size_t>(fRowLen * fBlockRows)]());
        g.lock();
        fOwned.push_back(std::move(fresh));
        fFree.push_back(fOwned.back().get());
        data = b.Data.load(std::memory_order_acquire);
      }
      if (!data) {
        data = fFree.back();
        fFree.pop_back();
        b.Data.store(data, std::memory_order_release);
      }
    }
  }
  return data + fRowLen * (Y % fBlockRows);
}

void TIERowWriter::Done(int Y) {
  if (!fBlocks) return;
  const int first = Y / fBlockRows * fBlockRows;
  const int count = std::min(fBlockRows, fBitmap->GetHeight() - first);
  TBlock& b = fBlocks[static_cast<size_t>(Y / fBlockRows)];
  if (b.Done.fetch_add(1, std::memory_order_acq_rel) + 1 != count) return;
  std::uint8_t* data = b.Data.exchange(nullptr, std::memory_order_acq_rel);
  fBitmap->WriteRows(first, count, data);
  std::lock_guard<std::mutex> g(fLock);
  fFree.push_back(data);
}

namespace {

// The pieces of a loop, handed out one at a time: a thread that the system
// runs less often (or that met cheaper items) simply takes fewer pieces.
struct TPieces {
  const std::function<void(int, int)>& body;
  int begin, end, size;
  std::atomic<int> next;
  // Runs pieces until none is left; a failure stops this worker only.
  void Work(std::exception_ptr& failure) {
    try {
      for (;;) {
        int b = next.fetch_add(size, std::memory_order_relaxed);
        if (b >= end) return;
        body(b, std::min(end, b + size));
      }
    } catch (...) {
      failure = std::current_exception();
      next.store(end, std::memory_order_relaxed);
    }
  }
};

class TPieceThread : public TIEThread {
 public:
  TPieceThread(TPieces& pieces, std::exception_ptr* failure) : fPieces(pieces), fFailure(failure) {}

 protected:
  // The failure is kept where the caller can read it after the pool freed us.
  void Execute() override { fPieces.Work(*fFailure); }

 private:
  TPieces& fPieces;
  std::exception_ptr* fFailure;
};

int ThreadsFor(int count, std::int64_t workPerItem) {
  const TIESpeedSettings& s = IESpeed();
  int threads = s.MaxThreads.load(std::memory_order_relaxed);
  if (threads <= 0) threads = IEGetCPUCoreCount();
  std::int64_t total = static_cast<std::int64_t>(count) * std::max<std::int64_t>(workPerItem, 1);
  std::int64_t byWork = total / std::max<std::int64_t>(s.MinWorkPerThread.load(std::memory_order_relaxed), 1);
  threads = static_cast<int>(std::min<std::int64_t>({threads, count, std::max<std::int64_t>(byWork, 1)}));
  return std::max(threads, 1);
}

// Worker threads kept from one loop to the next: starting threads for every
// loop costs a few hundred microseconds, which short loops (a blur pass)
// would feel. One loop at a time: a loop started while another runs (from
// another thread, or from inside a piece) makes its own threads, and so does
// a forked child, which has none of its parent's threads.
class TWorkers {
 public:
  // Null once the workers are gone (a loop run while statics are destroyed
  // at exit makes its own threads).
  static TWorkers* Get() {
    static TWorkers workers;
    return gone ? nullptr : &workers;
  }
  ~TWorkers() {
    gone = true;
    {
      std::lock_guard<std::mutex> l(fLock);
      fStop = true;
    }
    fWake.notify_all();
    for (std::thread& t : fThreads) t.join();
  }
  // Runs Work(0) on the calling thread and Work(1) .. Work(Helpers) on
  // workers, and returns once all are done; false (nothing run) when the
  // workers are taken or cannot be had.
  bool Run(int helpers, const std::function<void(int)>& work) {
    if (getpid() != fOwner) return false;
    std::unique_lock<std::mutex> busy(fBusy, std::try_to_lock);
    if (!busy) return false;
    try {
      while (static_cast<int>(fThreads.size()) < helpers) {
        int index = static_cast<int>(fThreads.size());
        std::uint64_t seen = fGeneration;
        fThreads.emplace_back([this, index, seen] { Loop(index, seen); });
      }
    } catch (...) {
      return false;
    }
    {
      std::lock_guard<std::mutex> l(fLock);
      fJob = &work;
      fWanted = fRunning = helpers;
      ++fGeneration;
    }
    fWake.notify_all();
    work(0);
    std::unique_lock<std::mutex> l(fLock);
    fDone.wait(l, [&] { return fRunning == 0; });
    fJob = nullptr;
    return true;
  }

 private:
  TWorkers() : fOwner(getpid()) {}
  void Loop(int index, std::uint64_t seen) {
    for (;;) {
      const std::function<void(int)>* job;
      {
        std::unique_lock<std::mutex> l(fLock);
        fWake.wait(l, [&] { return fStop || fGeneration != seen; });
        if (fStop) return;
        seen = fGeneration;
        if (index >= fWanted) continue;
        job = fJob;
      }
      (*job)(index + 1);
      std::lock_guard<std::mutex> l(fLock);
      if (--fRunning == 0) fDone.notify_one();
    }
  }

  static inline std::atomic<bool> gone{false};
  const pid_t fOwner;
  std::mutex fBusy;  // held by the loop that has the workers
  std::mutex fLock;
  std::condition_variable fWake, fDone;
  std::vector<std::thread> fThreads;
  const std::function<void(int)>* fJob = nullptr;
  std::uint64_t fGeneration = 0;
  int fWanted = 0, fRunning = 0;
  bool fStop = false;
};

void RunPieces(int begin, int end, int threads, const std::function<void(int, int)>& body, int maxPiece) {
  int count = end - begin;
  if (threads <= 1 || count <= 1) {
    if (count > 0) body(begin, end);
    return;
  }
  // About eight pieces per thread balance the load without much handing out.
  int size = std::max(1, count / (threads * 8));
  if (maxPiece > 0) size = std::min(size, maxPiece);
  TPieces pieces{body, begin, end, size, {begin}};
  std::vector<std::exception_ptr> failures(static_cast<size_t>(threads));
  TWorkers* workers = TWorkers::Get();
  if (!workers || !workers->Run(threads - 1, [&](int i) { pieces.Work(failures[static_cast<size_t>(i)]); })) {
    TIEThreadPool pool;
    // Pieces may already run when a later thread cannot be had: this thread
    // then takes what is left rather than leaving the work half done.
    try {
      for (int t = 1; t < threads; ++t)
        pool.Add(std::make_unique<TPieceThread>(pieces, &failures[static_cast<size_t>(t)]));
    } catch (...) {
    }
    pieces.Work(failures[0]);
    pool.WaitForAll();
  }
  for (const std::exception_ptr& f : failures)
    if (f) std::rethrow_exception(f);
}

}  // namespace

void IEParallelFor(int Count, std::int64_t WorkPerItem, bool Parallel,
                   const std::function<void(int Begin, int End)>& Body, int MaxPiece) {
  if (Count <= 0) return;
  RunPieces(0, Count, Parallel ? ThreadsFor(Count, WorkPerItem) : 1, Body, MaxPiece);
}

void IEParallelForProgress(int Count, std::int64_t WorkPerItem, bool Parallel,
                           const std::function<void(int Begin, int End)>& Body,
                           const std::function<void(int Item)>& After, int MaxPiece) {
  if (Count <= 0) return;
  if (!After) {
    IEParallelFor(Count, WorkPerItem, Parallel, Body, MaxPiece);
    return;
  }
  int threads = Parallel ? ThreadsFor(Count, WorkPerItem) : 1;
  int batch = threads <= 1 ? 1 : threads * 16;
  for (int b = 0; b < Count; b += batch) {
    int e = std::min(Count, b + batch);
    RunPieces(b, e, threads, Body, MaxPiece);
    for (int i = b; i < e; ++i) After(i);
  }
}

}  // namespace redozir

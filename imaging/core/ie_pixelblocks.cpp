// Pixel memory: plain heap blocks below 8 MiB; above, whole 2 MiB huge pages,
// kept for about a second after they are let go.
#include "imaging/core/ie_pixelblocks.h"

#include <pthread.h>
#include <sanitizer/asan_interface.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <new>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "imaging/core/ie_diskbuffer.h"
#include "platform/exceptions.h"

namespace redozir {

namespace {
constexpr std::int64_t kMappedFrom = std::int64_t(8) << 20;
constexpr std::size_t kHuge = std::size_t(2) << 20;
constexpr std::size_t kMaxKeptBlocks = 4;
constexpr std::int64_t kDefaultKeptLimit = std::int64_t(256) << 20;
constexpr auto kKeepFor = std::chrono::milliseconds(1000);
using TClock = std::chrono::steady_clock;

std::size_t MappedLength(std::int64_t Bytes) {
  return (static_cast<std::size_t>(Bytes) + kHuge - 1) & ~(kHuge - 1);
}

// Through operator new (aligned to a huge page), so that a program's own
// allocator and its accounting see pixel memory like any other.
std::uint8_t* NewBlock(std::size_t Length) {
  void* p = ::operator new(Length, std::align_val_t(kHuge), std::nothrow);
  if (p) madvise(p, Length, MADV_HUGEPAGE);
  return static_cast<std::uint8_t*>(p);
}

void DeleteBlock(std::uint8_t* Base, std::size_t Length) {
  ASAN_UNPOISON_MEMORY_REGION(Base, Length);
  ::operator delete(Base, std::align_val_t(kHuge));
}

struct TKept {
  std::uint8_t* Base;
  std::size_t Length;
  TClock::time_point Since;
};

// The kept blocks and the thread that lets them go when their time is up.
// Never destroyed: bitmaps freed by other static destructors still come here.
class TKeeper {
 public:
  static TKeeper& Get() {
    static TKeeper* k = [] {
      auto* keeper = new TKeeper;
      pthread_atfork([] { Get().fLock.lock(); }, [] { Get().fLock.unlock(); },
                     [] {
                       // The child has no reaper thread; the next block kept starts one.
                       Get().fReaperPid = 0;
                       Get().fLock.unlock();
                     });
      return keeper;
    }();
    return *k;
  }

  std::int64_t Limit() const {
    std::int64_t l = fLimit.load(std::memory_order_relaxed);
    return l >= 0 ? l : std::min(kDefaultKeptLimit, IEDefaultMemoryThreshold() / 4);
  }
  void SetLimit(std::int64_t Bytes) {
    fLimit.store(Bytes < 0 ? -1 : Bytes, std::memory_order_relaxed);
    Trim(false);
  }

  std::int64_t Bytes() {
    std::lock_guard<std::mutex> g(fLock);
    return static_cast<std::int64_t>(fBytes);
  }

  // The smallest kept block of Length bytes or a quarter more, or nullptr;
  // Length is set to the block's own.
  std::uint8_t* Take(std::size_t& Length) {
    std::lock_guard<std::mutex> g(fLock);
    auto best = fKept.end();
    for (auto it = fKept.begin(); it != fKept.end(); ++it)
      if (it->Length >= Length && it->Length <= Length + Length / 4 &&
          (best == fKept.end() || it->Length < best->Length))
        best = it;
    if (best == fKept.end()) return nullptr;
    std::uint8_t* p = best->Base;
    Length = best->Length;
    fBytes -= Length;
    fKept.erase(best);
    return p;
  }

  void Keep(std::uint8_t* Base, std::size_t Length) {
    if (static_cast<std::int64_t>(Length) > Limit()) {
      DeleteBlock(Base, Length);
      return;
    }
    ASAN_POISON_MEMORY_REGION(Base, Length);
    {
      std::unique_lock<std::mutex> g(fLock);
      if (fReaperPid != getpid()) {
        try {
          std::thread([this] { Reap(); }).detach();
        } catch (const std::system_error&) {
          // No thread to be had: nothing would let the block go later.
          g.unlock();
          DeleteBlock(Base, Length);
          return;
        }
        fReaperPid = getpid();
      }
      fKept.push_back({Base, Length, TClock::now()});
      fBytes += Length;
    }
    fWake.notify_one();
    Trim(false);
  }

  // Lets go of the oldest blocks past the limit or the count, or of all.
  void Trim(bool All) {
    std::vector<TKept> out;
    {
      std::lock_guard<std::mutex> g(fLock);
      std::size_t limit = static_cast<std::size_t>(Limit());
      while (!fKept.empty() && (All || fBytes > limit || fKept.size() > kMaxKeptBlocks)) {
        out.push_back(fKept.front());
        fBytes -= fKept.front().Length;
        fKept.erase(fKept.begin());
      }
    }
    for (const TKept& k : out) DeleteBlock(k.Base, k.Length);
  }

 private:
  void Reap() {
    std::unique_lock<std::mutex> g(fLock);
    const pid_t self = getpid();
    for (;;) {
      if (fReaperPid != self) return;
      if (fKept.empty()) {
        fWake.wait(g);
        continue;
      }
      // fKept is in the order the blocks were kept: the first is the oldest.
      TClock::time_point due = fKept.front().Since + kKeepFor;
      if (TClock::now() < due) {
        fWake.wait_until(g, due);
        continue;
      }
      std::vector<TKept> out;
      TClock::time_point now = TClock::now();
      while (!fKept.empty() && fKept.front().Since + kKeepFor <= now) {
        out.push_back(fKept.front());
        fBytes -= fKept.front().Length;
        fKept.erase(fKept.begin());
      }
      g.unlock();
      for (const TKept& k : out) DeleteBlock(k.Base, k.Length);
      g.lock();
    }
  }

  std::mutex fLock;
  std::condition_variable fWake;
  std::vector<TKept> fKept;  // oldest first
  std::size_t fBytes = 0;
  pid_t fReaperPid = 0;
  std::atomic<std::int64_t> fLimit{-1};
};
}  // namespace

void IESetKeptPixelMemory(std::int64_t Bytes) { TKeeper::Get().SetLimit(Bytes); }
std::int64_t IEKeptPixelMemoryLimit() { return TKeeper::Get().Limit(); }
std::int64_t IEKeptPixelMemory() { return TKeeper::Get().Bytes(); }
void IEReleaseKeptPixelMemory() { TKeeper::Get().Trim(true); }

TIEPixels IENewPixels(std::int64_t Bytes) noexcept {
  if (Bytes <= 0) return TIEPixels(nullptr, TIEPixelsFree{0});
  if (Bytes < kMappedFrom)
    return TIEPixels(new (std::nothrow) std::uint8_t[static_cast<std::size_t>(Bytes)], TIEPixelsFree{Bytes});
  std::size_t length = MappedLength(Bytes);
  std::uint8_t* p = TKeeper::Get().Take(length);
  if (!p) p = NewBlock(length);
  if (!p) return TIEPixels(nullptr, TIEPixelsFree{0});
  ASAN_UNPOISON_MEMORY_REGION(p, static_cast<std::size_t>(Bytes));
  ASAN_POISON_MEMORY_REGION(p + Bytes, length - static_cast<std::size_t>(Bytes));
  return TIEPixels(p, TIEPixelsFree{static_cast<std::int64_t>(length)});
}

TIEPixels IEWorkPixels(std::int64_t Bytes, const char* What) {
  TIEPixels b = IENewPixels(std::max<std::int64_t>(Bytes, 1));
  if (!b)
    throw EOutOfMemory(std::string("Cannot allocate the ") + What + " (" + std::to_string(Bytes) + " bytes)");
  return b;
}

void TIEPixelsFree::operator()(std::uint8_t* Block) const noexcept {
  if (!Block) return;
  if (Bytes < kMappedFrom) {
    delete[] Block;
    return;
  }
  try {
    TKeeper::Get().Keep(Block, static_cast<std::size_t>(Bytes));
  } catch (const std::bad_alloc&) {
    DeleteBlock(Block, static_cast<std::size_t>(Bytes));
  }
}

}  // namespace redozir

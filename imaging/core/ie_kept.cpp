// TIEKeeper: kept items in the order they came, a thread per keeper that lets
// each go when its second is up, and fork handling for all keepers.
#include "imaging/core/ie_kept.h"

#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <new>
#include <thread>

namespace redozir {

namespace {
constexpr auto kKeepFor = std::chrono::milliseconds(1000);

// Every keeper, for the fork handlers (a handful at most, never destroyed).
std::mutex gKeepersLock;
std::array<TIEKeeper*, 8> gKeepers{};
std::size_t gKeeperCount = 0;
}  // namespace

TIEKeeper::TIEKeeper(TLetGo LetGo, std::int64_t DefaultLimit, std::size_t MaxItems, TIEKeeper* Under)
    : fUnder(Under), fLetGo(LetGo), fDefaultLimit(DefaultLimit), fMaxItems(MaxItems) {
  static const bool handlers = [] {
    pthread_atfork([] { AtFork(0); }, [] { AtFork(1); }, [] { AtFork(2); });
    return true;
  }();
  (void)handlers;
  std::lock_guard<std::mutex> g(gKeepersLock);
  if (gKeeperCount < gKeepers.size()) gKeepers[gKeeperCount++] = this;
  if (Under && Under->fOverCount < Under->fOver.size()) Under->fOver[Under->fOverCount++] = this;
}

// Stage 0 before fork, 1 in the parent after it, 2 in the child. The child
// has no reaper threads, and must not take over its parent's items: a kept
// descriptor is the parent's file too. It forgets them (descriptors close
// on exec or exit; blocks are the parent's pages until written), and gets a
// fresh wake-up: the old one still counts the parent's reaper as a waiter,
// and waking it in the child would wait for that thread for ever.
void TIEKeeper::AtFork(int Stage) {
  if (Stage == 0) {
    gKeepersLock.lock();
    for (std::size_t i = 0; i < gKeeperCount; ++i) gKeepers[i]->fLock.lock();
    return;
  }
  for (std::size_t i = gKeeperCount; i-- > 0;) {
    TIEKeeper* k = gKeepers[i];
    if (Stage == 2) {
      k->fKept.clear();
      k->fBytes = 0;
      k->fReaperPid = 0;
      new (&k->fWake) std::condition_variable();
    }
    k->fLock.unlock();
  }
  gKeepersLock.unlock();
}

std::int64_t TIEKeeper::Limit() const {
  std::int64_t l = fLimit.load(std::memory_order_relaxed);
  if (l < 0) l = fDefaultLimit;
  return fUnder ? std::min(l, fUnder->Limit()) : l;
}

void TIEKeeper::SetLimit(std::int64_t Bytes) {
  fLimit.store(Bytes < 0 ? -1 : Bytes, std::memory_order_relaxed);
  TrimOwn(false);
  std::lock_guard<std::mutex> g(gKeepersLock);
  for (std::size_t i = 0; i < fOverCount; ++i) fOver[i]->TrimOwn(false);
}

std::int64_t TIEKeeper::Bytes() {
  std::lock_guard<std::mutex> g(fLock);
  return fBytes;
}

bool TIEKeeper::Take(std::int64_t Min, std::int64_t Max, TItem& Got) {
  std::lock_guard<std::mutex> g(fLock);
  auto best = fKept.end();
  for (auto it = fKept.begin(); it != fKept.end(); ++it)
    if (it->Item.Length >= Min && it->Item.Length <= Max &&
        (best == fKept.end() || it->Item.Length < best->Item.Length))
      best = it;
  if (best == fKept.end()) return false;
  Got = best->Item;
  fBytes -= Got.Length;
  fKept.erase(best);
  return true;
}

void TIEKeeper::Keep(TItem Item) {
  if (Item.Length > Limit()) {
    fLetGo(Item);
    return;
  }
  bool wake;
  {
    std::unique_lock<std::mutex> g(fLock);
    if (fReaperPid != getpid()) {
      try {
        std::thread([this] { Reap(); }).detach();
      } catch (...) {
        // No thread (or no memory for one) to be had: nothing would let the
        // item go later.
        g.unlock();
        fLetGo(Item);
        return;
      }
      fReaperPid = getpid();
    }
    // The reaper sleeps without end only while there is nothing: an item
    // joining others is due after them and needs no wake-up.
    wake = fKept.empty();
    try {
      fKept.push_back({Item, TClock::now()});
    } catch (const std::bad_alloc&) {
      g.unlock();
      fLetGo(Item);
      return;
    }
    fBytes += Item.Length;
  }
  if (wake) fWake.notify_one();
  TrimOwn(false);
}

void TIEKeeper::Trim(bool All) {
  if (All) {
    std::lock_guard<std::mutex> g(gKeepersLock);
    for (std::size_t i = 0; i < fOverCount; ++i) fOver[i]->TrimOwn(true);
  }
  TrimOwn(All);
}

void TIEKeeper::TrimOwn(bool All) {
  // One at a time, so that nothing is allocated on the way.
  for (;;) {
    TItem out;
    {
      std::lock_guard<std::mutex> g(fLock);
      if (fKept.empty() || !(All || fBytes > Limit() || fKept.size() > fMaxItems)) return;
      out = fKept.front().Item;
      fKept.erase(fKept.begin());
      fBytes -= out.Length;
    }
    fLetGo(out);
  }
}

void TIEKeeper::Reap() {
  std::unique_lock<std::mutex> g(fLock);
  const pid_t self = getpid();
  while (fReaperPid == self) {
    if (fKept.empty()) {
      fWake.wait(g);
      continue;
    }
    TClock::time_point due = fKept.front().Since + kKeepFor;
    if (TClock::now() < due) {
      fWake.wait_until(g, due);
      continue;
    }
    TKept oldest = fKept.front();
    fKept.erase(fKept.begin());
    fBytes -= oldest.Item.Length;
    g.unlock();
    fLetGo(oldest.Item);
    g.lock();
  }
}

}  // namespace redozir

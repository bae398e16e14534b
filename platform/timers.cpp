#include "platform/timers.h"

#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/application.h"

namespace redozir {

namespace {
TRealClock realClock;
TClock* currentClock = &realClock;
}  // namespace

std::uint64_t TRealClock::Now() const {
  using namespace std::chrono;
  return static_cast<std::uint64_t>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void SetClock(TClock* clock) { currentClock = clock ? clock : &realClock; }
TClock* Clock() { return currentClock; }
DWORD GetTickCount() { return static_cast<DWORD>(currentClock->Now()); }

void Sleep(DWORD ms) {
  if (auto* manual = dynamic_cast<TManualClock*>(currentClock)) {
    manual->Skip(ms);
    return;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

struct TTimerList {
  std::vector<TTimer*> timers;
  std::uint64_t nextSeq = 1;

  static TTimerList& Get() {
    static TTimerList l;
    return l;
  }
  // The running timer due first (ties by creation order) at or before limit.
  TTimer* EarliestDue(std::uint64_t limit) {
    TTimer* best = nullptr;
    for (TTimer* t : timers) {
      if (!t->Running() || t->due_ > limit) continue;
      if (!best || t->due_ < best->due_ || (t->due_ == best->due_ && t->seq_ < best->seq_)) best = t;
    }
    return best;
  }
  static void Fire(TTimer* t, std::uint64_t now) {
    // The next tick counts from this one, so a slow handler does not queue up
    // a burst of ticks.
    t->due_ = now + t->interval_;
    TNotifyEvent handler = t->OnTimer;
    try {
      handler(t);
    } catch (...) {
      if (Application) Application->HandleException(t);
    }
  }
};

void TManualClock::Advance(std::uint64_t ms) {
  std::uint64_t target = now_ + ms;
  TTimerList& list = TTimerList::Get();
  while (TTimer* t = list.EarliestDue(target)) {
    if (t->DueTime() > now_) now_ = t->DueTime();
    TTimerList::Fire(t, now_);
  }
  now_ = target;
}

TTimer::TTimer(TComponent* AOwner) : TComponent(AOwner) {
  TTimerList& l = TTimerList::Get();
  seq_ = l.nextSeq++;
  l.timers.push_back(this);
  Restart();
}

TTimer::~TTimer() {
  auto& v = TTimerList::Get().timers;
  v.erase(std::remove(v.begin(), v.end(), this), v.end());
}

void TTimer::SetInterval(UINT ms) {
  if (ms == interval_) return;
  interval_ = ms;
  Restart();
}

void TTimer::SetEnabled(bool v) {
  if (v == enabled_) return;
  enabled_ = v;
  Restart();
}

void TTimer::SetOnTimer(TNotifyEvent e) {
  OnTimer = std::move(e);
  Restart();
}

bool TTimer::Running() const { return enabled_ && interval_ > 0 && OnTimer != nullptr; }

void TTimer::Restart() { due_ = Clock()->Now() + interval_; }

int FireDueTimers() {
  TTimerList& list = TTimerList::Get();
  std::uint64_t now = Clock()->Now();
  // Each timer fires at most once per pump; collect first, so that a handler
  // that restarts or creates timers does not extend this round.
  std::vector<TTimer*> due;
  for (TTimer* t : list.timers)
    if (t->Running() && t->DueTime() <= now) due.push_back(t);
  std::stable_sort(due.begin(), due.end(), [](TTimer* a, TTimer* b) { return a->DueTime() < b->DueTime(); });
  int fired = 0;
  for (TTimer* t : due) {
    // A handler may have freed or stopped a later timer.
    auto& v = list.timers;
    if (std::find(v.begin(), v.end(), t) == v.end() || !t->Running() || t->DueTime() > now) continue;
    TTimerList::Fire(t, now);
    ++fired;
  }
  return fired;
}

bool NextTimerDue(std::uint64_t& due) {
  bool any = false;
  for (TTimer* t : TTimerList::Get().timers) {
    if (!t->Running()) continue;
    if (!any || t->DueTime() < due) due = t->DueTime();
    any = true;
  }
  return any;
}

}  // namespace redozir

// Clocks and TTimer. An application runs on the real (monotonic) clock; tests
// install a manual clock whose Advance(ms) fires the due timers in time order.
#pragma once

#include <cstdint>

#include "platform/components.h"
#include "platform/messages.h"

#pragma GCC visibility push(default)
namespace redozir {

class TClock {
 public:
  virtual ~TClock() = default;
  // Milliseconds since an arbitrary start.
  virtual std::uint64_t Now() const = 0;
  virtual bool IsManual() const { return false; }
};

class TRealClock : public TClock {
 public:
  std::uint64_t Now() const override;
};

class TManualClock : public TClock {
 public:
  explicit TManualClock(std::uint64_t start = 0) : now_(start) {}
  std::uint64_t Now() const override { return now_; }
  bool IsManual() const override { return true; }
  // Moves time forward by ms, firing every timer that falls due on the way,
  // each at its own due time, in time order (a timer may fire several times).
  void Advance(std::uint64_t ms);
  // Moves time without firing anything (due timers fire at the next pump).
  void Skip(std::uint64_t ms) { now_ += ms; }

 private:
  std::uint64_t now_;
};

// The clock that timers and GetTickCount read. Installing nullptr puts the
// real clock back. The caller keeps ownership of what it installs.
void SetClock(TClock* clock);
TClock* Clock();
DWORD GetTickCount();
// Sleeps on the real clock; on a manual clock it moves time on instead.
void Sleep(DWORD ms);

class TTimer : public TComponent {
 public:
  explicit TTimer(TComponent* AOwner);
  ~TTimer() override;

  UINT Interval() const { return interval_; }
  void SetInterval(UINT ms);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool v);
  // A timer runs while it is enabled, has an interval and a handler.
  TNotifyEvent OnTimer;
  void SetOnTimer(TNotifyEvent e);

  bool Running() const;
  std::uint64_t DueTime() const { return due_; }

 private:
  friend struct TTimerList;
  void Restart();

  UINT interval_ = 1000;
  bool enabled_ = true;
  std::uint64_t due_ = 0;
  std::uint64_t seq_ = 0;
};

// Fires, once each, the timers due at the clock's current time, in due order.
// Returns how many fired.
int FireDueTimers();
// The earliest due time of a running timer; false when none runs.
bool NextTimerDue(std::uint64_t& due);

}  // namespace redozir
#pragma GCC visibility pop

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/application.h"
#include "platform/exceptions.h"
#include "platform/inject.h"
#include "platform/timers.h"

using namespace redozir;

namespace {

struct TFired {
  std::string name;
  std::uint64_t at;
};

TEST(Timers, ManualClockFiresDueTimersInTimeOrderEachAtItsDueTime) {
  THeadlessSession s;
  std::vector<TFired> fired;
  auto make = [&](const char* name, UINT interval) {
    auto* t = new TTimer(nullptr);
    t->SetInterval(interval);
    t->SetOnTimer([&fired, name](TObject*) { fired.push_back({name, Clock()->Now()}); });
    return t;
  };
  TTimer* a = make("a", 30);
  TTimer* b = make("b", 20);
  TTimer* c = make("c", 30);  // due with a: creation order breaks the tie
  s.Clock().Advance(65);
  std::vector<std::string> names;
  std::vector<std::uint64_t> times;
  for (auto& f : fired) {
    names.push_back(f.name);
    times.push_back(f.at - 10000);
  }
  EXPECT_EQ(names, (std::vector<std::string>{"b", "a", "c", "b", "a", "b", "c"}));
  EXPECT_EQ(times, (std::vector<std::uint64_t>{20, 30, 30, 40, 60, 60, 60}));
  EXPECT_EQ(GetTickCount(), 10065u);
  delete a;
  delete b;
  delete c;
}

TEST(Timers, OnlyEnabledTimersWithAnIntervalAndAHandlerRun) {
  THeadlessSession s;
  int ticks = 0;
  TTimer t(nullptr);
  t.SetInterval(10);
  s.Clock().Advance(50);
  EXPECT_FALSE(t.Running()) << "no handler";
  t.SetOnTimer([&](TObject*) { ++ticks; });
  t.SetEnabled(false);
  s.Clock().Advance(50);
  EXPECT_EQ(ticks, 0);
  t.SetEnabled(true);  // counts from now
  s.Clock().Advance(9);
  EXPECT_EQ(ticks, 0);
  s.Clock().Advance(1);
  EXPECT_EQ(ticks, 1);
  t.SetInterval(0);
  s.Clock().Advance(100);
  EXPECT_EQ(ticks, 1);
}

TEST(Timers, AHandlerMayStopOrFreeTimers) {
  THeadlessSession s;
  auto* victim = new TTimer(nullptr);
  int victimTicks = 0, killerTicks = 0;
  victim->SetInterval(10);
  victim->SetOnTimer([&](TObject*) { ++victimTicks; });
  TTimer killer(nullptr);
  killer.SetInterval(10);
  killer.SetOnTimer([&](TObject* sender) {
    ++killerTicks;
    delete victim;
    victim = nullptr;
    static_cast<TTimer*>(sender)->SetEnabled(false);
  });
  s.Clock().Advance(100);
  EXPECT_EQ(victimTicks, 1);  // created first, so it fired before being freed
  EXPECT_EQ(killerTicks, 1);
}

TEST(Timers, PumpFiresEachDueTimerOnceAndAnOwnerFreesItsTimers) {
  THeadlessSession s;
  TComponent owner(nullptr);
  auto* t = new TTimer(&owner);
  int ticks = 0;
  t->SetInterval(10);
  t->SetOnTimer([&](TObject*) { ++ticks; });
  s.Clock().Skip(35);  // three periods late: one tick, not a burst
  Application->ProcessMessages();
  EXPECT_EQ(ticks, 1);
  Application->ProcessMessages();
  EXPECT_EQ(ticks, 1);
  std::uint64_t due = 0;
  ASSERT_TRUE(NextTimerDue(due));
  EXPECT_EQ(due, Clock()->Now() + 10);
}

TEST(Timers, HandleMessageJumpsTheManualClockToTheNextTimer) {
  THeadlessSession s;
  TTimer t(nullptr);
  int ticks = 0;
  t.SetInterval(250);
  t.SetOnTimer([&](TObject*) { ++ticks; });
  Application->HandleMessage();
  EXPECT_EQ(ticks, 1);
  EXPECT_EQ(GetTickCount(), 10250u);
  t.SetEnabled(false);
  EXPECT_THROW(Application->HandleMessage(), EInvalidOperation) << "nothing could ever arrive";
}

}  // namespace

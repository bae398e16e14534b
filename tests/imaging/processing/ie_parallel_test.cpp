#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

#include "imaging/core/ie_parallel.h"

using namespace redozir;

namespace {

// Runs Count items (on the threads IESpeed allows) and answers how often
// each was seen.
std::vector<int> Coverage(int count, bool nested) {
  std::vector<std::atomic<int>> seen(static_cast<size_t>(count));
  IEParallelFor(count, 1000, true, [&](int b, int e) {
    for (int i = b; i < e; ++i) {
      if (nested) {
        // A loop inside a piece: the kept workers are taken, so it makes its own.
        std::atomic<int> inner{0};
        IEParallelFor(5, 1000, true, [&](int ib, int ie) { inner += ie - ib; });
        if (inner != 5) continue;
      }
      ++seen[static_cast<size_t>(i)];
    }
  });
  std::vector<int> out;
  for (auto& s : seen) out.push_back(s.load());
  return out;
}

}  // namespace

// Every item runs exactly once, whatever the thread count, inside another
// loop or beside a loop on another thread; a failure comes back to the
// caller and leaves the workers usable.
TEST(ParallelFor, EveryItemOnceOnEveryThreadCount) {
  const TIESpeedSettings saved = IESpeed();
  const std::vector<int> once(97, 1);
  IESpeed().MinWorkPerThread = 1;
  for (int threads : {1, 2, 3, 8, 0})
    for (bool nested : {false, true}) {
      IESpeed().MaxThreads = threads;
      EXPECT_EQ(Coverage(97, nested), once) << threads << nested;
    }

  IESpeed().MaxThreads = 4;
  std::vector<int> other;
  std::thread t([&] { other = Coverage(97, false); });
  std::vector<int> mine = Coverage(97, false);
  t.join();
  EXPECT_EQ(mine, once);
  EXPECT_EQ(other, once);

  EXPECT_THROW(IEParallelFor(40, 1000, true,
                             [](int b, int) {
                               if (b == 0) throw std::runtime_error("piece failed");
                             }),
               std::runtime_error);
  EXPECT_EQ(Coverage(97, false), once);
  IESpeed() = saved;
}

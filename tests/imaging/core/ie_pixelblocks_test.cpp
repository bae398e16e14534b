// Kept storage: a pixel block or a disk-buffer file let go serves the next
// bitmap of a similar size, the limits hold, kept blocks go after about a
// second, blocks taken and let go from several threads at once stay whole
// (the sanitizer builds poison kept blocks and the tail past the size asked
// for), and a forked child never shares its parent's kept storage.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "imaging/core/ie_diskbuffer.h"
#include "imaging/core/ie_kept.h"
#include "imaging/core/ie_pixelblocks.h"
#include "imaging/core/iebitmap.h"

using namespace redozir;

namespace {
constexpr std::int64_t kMiB = std::int64_t(1) << 20;

std::uint8_t* Pixels(TIEBitmap& b, int w, int h) {
  b.SetMemoryThreshold(-1);
  if (!b.Allocate(w, h, ie24RGB)) return nullptr;
  return b.GetScanline(0);
}
}  // namespace

TEST(KeptPixels, ALetGoBlockServesTheNextOfASimilarSizeWithinTheLimitAndGoesAfterASecond) {
  IESetKeptPixelMemory(64 * kMiB);
  IEReleaseKeptPixelMemory();
  std::uint8_t* first;
  {
    TIEBitmap a;
    first = Pixels(a, 3000, 3000);  // 27 MB: 26 MiB of whole huge pages
    ASSERT_NE(first, nullptr);
  }
  EXPECT_EQ(IEKeptPixelMemory(), 26 * kMiB);
  {
    TIEBitmap b, c;
    EXPECT_EQ(Pixels(b, 2900, 3000), first);  // a little smaller: the same block
    EXPECT_EQ(IEKeptPixelMemory(), 0);
    EXPECT_NE(Pixels(c, 6000, 4000), nullptr);  // 72 MB: above the limit, never kept
  }
  EXPECT_EQ(IEKeptPixelMemory(), 26 * kMiB);
  IESetKeptPixelMemory(0);
  EXPECT_EQ(IEKeptPixelMemory(), 0);

  // Let go half a second into a program that then goes on without another
  // picture: gone by its second second.
  IESetKeptPixelMemory(64 * kMiB);
  const auto start = std::chrono::steady_clock::now();
  {
    TIEBitmap d;
    ASSERT_NE(Pixels(d, 3000, 3000), nullptr);
    std::this_thread::sleep_until(start + std::chrono::milliseconds(500));
  }
  EXPECT_GT(IEKeptPixelMemory(), 0);
  std::this_thread::sleep_until(start + std::chrono::seconds(2));
  EXPECT_EQ(IEKeptPixelMemory(), 0);
  IESetKeptPixelMemory(-1);
}

TEST(KeptPixels, BlocksTakenAndLetGoFromSeveralThreadsStayWhole) {
  IESetKeptPixelMemory(96 * kMiB);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([t] {
      for (int i = 0; i < 40; ++i) {
        std::int64_t bytes = (8 + (t * 7 + i * 5) % 13) * kMiB + 4 * ((t + i) % 3);
        TIEPixels p = IENewPixels(bytes);
        ASSERT_TRUE(p);
        p[0] = static_cast<std::uint8_t>(t);
        p[bytes - 1] = static_cast<std::uint8_t>(i);
        EXPECT_EQ(p[0], t);
        if (i % 10 == 9) IESetKeptPixelMemory(t == 0 ? 0 : 96 * kMiB);
      }
    });
  for (auto& th : threads) th.join();
  EXPECT_LE(IEKeptPixelMemory(), 96 * kMiB);
  IESetKeptPixelMemory(-1);
  IEReleaseKeptPixelMemory();
}

TEST(KeptPixels, ADiskBufferFileServesTheNextAndAForkedChildTakesNoneOfItsParents) {
  IESetKeptDiskBuffers(-1);
  IEReleaseKeptDiskBuffers();
  auto disk = [](TIEBitmap& b, int h) {
    b.SetMemoryThreshold(1000);
    ASSERT_TRUE(b.Allocate(1000, h, ie24RGB));
    ASSERT_EQ(b.Location(), ieFile);
  };
  {
    TIEBitmap a;
    disk(a, 400);
  }
  EXPECT_EQ(IEKeptDiskBuffers(), 1200000);

  IESetKeptPixelMemory(-1);
  IENewPixels(16 * kMiB).reset();  // the pixel keeper's reaper waits too
  ASSERT_GT(IEKeptPixelMemory(), 0);

  // The child writes 0xAA into a buffer of its own while the parent's,
  // on the file the parent kept, holds 0x55; then it lets go of its buffer
  // and of a pixel block, again and again, to its own keepers (each time
  // one was empty, waking a reaper: its own, not the parent's).
  int go[2];
  ASSERT_EQ(pipe(go), 0);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    char c;
    if (read(go[0], &c, 1) != 1) _exit(2);
    for (int i = 0; i < 3; ++i) {
      TIEBitmap b;
      b.SetMemoryThreshold(1000);
      if (!b.Allocate(1000, 390, ie24RGB)) _exit(3);
      for (int y = 0; y < b.Height(); ++y) std::memset(b.GetScanline(y), 0xAA, 3000);
      IENewPixels(16 * kMiB).reset();
      std::this_thread::sleep_for(std::chrono::milliseconds(20));  // the reapers wait
    }
    _exit(IEKeptDiskBuffers() == 1170000 && IEKeptPixelMemory() == 16 * kMiB ? 0 : 4);
  }
  TIEBitmap p;
  disk(p, 390);
  EXPECT_EQ(IEKeptDiskBuffers(), 0);
  for (int y = 0; y < p.Height(); ++y) std::memset(p.GetScanline(y), 0x55, 3000);
  ASSERT_EQ(write(go[1], "x", 1), 1);
  int status = -1;
  pid_t waited = 0;
  for (int i = 0; i < 2000 && waited == 0; ++i) {
    waited = waitpid(child, &status, WNOHANG);
    if (waited == 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (waited == 0) {
    kill(child, SIGKILL);
    waitpid(child, &status, 0);
    FAIL() << "the child hung letting go of its storage";
  }
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  int changed = 0;
  for (int y = 0; y < p.Height(); ++y)
    for (int x = 0; x < 3000; ++x) changed += p.GetScanline(y)[x] != 0x55;
  EXPECT_EQ(changed, 0);
  close(go[0]);
  close(go[1]);
}

TEST(KeptPixels, AKeeperUnderThePixelKeeperFollowsItsLimitAndItsRelease) {
  static std::atomic<int> gone{0};
  // Keepers live as long as the process.
  static TIEKeeper* k = new TIEKeeper([](TIEKeeper::TItem) { ++gone; }, kMiB, 4, &IEKeptPixels());
  IESetKeptPixelMemory(-1);
  k->Keep({1, 1000, {}});
  k->Keep({2, 1000, {}});
  EXPECT_EQ(k->Bytes(), 2000);
  IEReleaseKeptPixelMemory();
  EXPECT_EQ(k->Bytes(), 0);
  EXPECT_EQ(gone, 2);
  k->Keep({3, 1000, {}});
  IESetKeptPixelMemory(0);
  EXPECT_EQ(k->Bytes(), 0);
  k->Keep({4, 1000, {}});
  EXPECT_EQ(k->Bytes(), 0);
  EXPECT_EQ(gone, 4);
  IESetKeptPixelMemory(-1);
}

// A forged header that claims a huge image must be refused before anything
// of the claimed size is allocated: the global operator new of this binary
// records the largest request and refuses any above kRefuseAbove, so that a
// reader which allocates first is seen even where the allocation would fail
// or never be touched. A binary of its own, so no other test runs under it.
#include <gtest/gtest.h>

#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "imaging/alloc/largest_request.h"
#include "imaging/formats/test_images.h"
#include "imaging/io/redozir_io.h"
#include "imaging/replaced_new.h"

using namespace redozir;

std::atomic<std::size_t> gLargest{0};

namespace {
constexpr std::size_t kRefuseAbove = std::size_t{256} << 20;
}  // namespace

// Bytes handed out and not yet released, and a budget they may not pass (0: none).
std::atomic<std::size_t> gLive{0}, gBudget{0};

void* TestAllocate(std::size_t n, std::size_t align, bool nothrow) {
  std::size_t seen = gLargest.load(std::memory_order_relaxed);
  while (n > seen && !gLargest.compare_exchange_weak(seen, n)) {
  }
  const std::size_t budget = gBudget.load();
  void* p =
      n <= kRefuseAbove && (budget == 0 || gLive.load() + n <= budget) ? MallocAligned(n, align) : nullptr;
  if (p) gLive += malloc_usable_size(p);
  if (!p && !nothrow) throw std::bad_alloc();
  return p;
}

void TestRelease(void* p) noexcept {
  if (p) gLive -= malloc_usable_size(p);
  std::free(p);
}

namespace {
void PutLE(std::vector<std::uint8_t>& v, std::uint32_t x, int n) {
  for (int i = 0; i < n; ++i) v.push_back(static_cast<std::uint8_t>(x >> (8 * i)));
}

// A raw bitmap stream header of w x h 24-bit pixels followed by 64 bytes.
std::vector<std::uint8_t> ForgedRaw(std::uint32_t w, std::uint32_t h, std::uint8_t flags) {
  std::vector<std::uint8_t> v = {'T', 'I', 'E', 'B', 'I', 'T', 'M', 'A', 'P', 'R', 'A', 'W'};
  PutLE(v, 1, 4);  // version
  PutLE(v, 0, 4);  // palette entries
  PutLE(v, 0, 4);  // in use
  PutLE(v, w, 4);
  PutLE(v, h, 4);
  v.push_back(static_cast<std::uint8_t>(ie24RGB));
  v.push_back(flags);
  v.push_back(0);   // dither
  v.push_back(32);  // row alignment
  v.resize(v.size() + 64, 0x55);
  return v;
}
}  // namespace

TEST(ClaimedSize, TheCounterSeesABitmapsPixels) {
  gLargest = 0;
  TIEBitmap b;
  b.SetMemoryThreshold(-1);
  ASSERT_TRUE(b.Allocate(3000, 3000, ie24RGB));
  EXPECT_GE(gLargest.load(), std::size_t{27000000});
}

TEST(ClaimedSize, AForgedRawStreamFailsBeforeAllocatingItsClaim) {
  struct Case {
    const char* what;
    std::uint32_t w, h;
    std::uint8_t flags;
  } cases[] = {
      {"pixels of 30000 x 30000", 30000, 30000, 0},
      {"a row of 2^31 - 1 pixels", 0x7FFFFFFF, 1, 0},
      {"pixels and an alpha plane of 4000 x 4000", 4000, 4000, 1},
  };
  for (const auto& c : cases) {
    gLargest = 0;
    auto bytes = ForgedRaw(c.w, c.h, c.flags);
    TMemoryStream ms(bytes);
    TIEBitmap b;
    b.SetMemoryThreshold(-1);  // in memory, where operator new sees it
    try {
      b.LoadRawFromStream(ms);
      ADD_FAILURE() << c.what << ": no exception";
    } catch (const EOutOfMemory& e) {
      ADD_FAILURE() << c.what << ": allocated first (" << e.what() << ")";
    } catch (const Exception& e) {
      EXPECT_FALSE(std::string(e.what()).empty());
    }
    EXPECT_LT(gLargest.load(), std::size_t{1} << 20) << c.what;
    EXPECT_EQ(b.GetWidth(), 0) << c.what;
  }
}

TEST(ClaimedSize, ForgedCodecHeadersFailBeforeAllocatingTheirClaim) {
  // Claims of about 300 MB: above what this binary hands out, below the size
  // from which a bitmap would go to a disk buffer that operator new never sees.
  auto src = MakeRGB(40, 16);
  struct Case {
    int ft;
    std::function<void(std::vector<std::uint8_t>&)> forge;
  } cases[] = {
      {ioBMP,
       [](std::vector<std::uint8_t>& v) {
         for (int i = 0; i < 4; ++i) v[18 + i] = v[22 + i] = static_cast<std::uint8_t>(10000 >> (8 * i));
       }},
      {ioTGA, [](std::vector<std::uint8_t>& v) { v[12] = v[14] = 0x10, v[13] = v[15] = 0x27; }},
      {ioPCX,
       [](std::vector<std::uint8_t>& v) {
         v[8] = v[10] = 0x0F, v[9] = v[11] = 0x27;  // 9999 x 9999
         v[66] = 0x10, v[67] = 0x27;                // 10000 bytes per line
       }},
  };
  for (const auto& c : cases) {
    auto bytes = EncodeAs(*src, c.ft);
    c.forge(bytes);
    gLargest = 0;
    TRedozIrIO io;
    io.GetIEBitmap()->SetMemoryThreshold(-1);
    TMemoryStream ms(bytes);
    EXPECT_THROW(io.LoadFromStreamFormat(ms, c.ft), Exception) << c.ft;
    EXPECT_LT(gLargest.load(), std::size_t{8} << 20) << c.ft;
  }
}

TEST(ClaimedSize, KeptPixelBlocksAreGivenUpBeforeAnAllocationFails) {
  IESetKeptPixelMemory(-1);
  IEReleaseKeptPixelMemory();
  {
    TIEBitmap a;
    a.SetMemoryThreshold(-1);
    ASSERT_TRUE(a.Allocate(3000, 3000, ie24RGB));  // 27 MB, kept when freed
  }
  ASSERT_GT(IEKeptPixelMemory(), 0);
  // Room for the next picture only once the kept block is given up.
  gBudget = gLive.load() + (std::size_t{30} << 20);
  TIEBitmap b;
  b.SetMemoryThreshold(-1);
  EXPECT_TRUE(b.Allocate(4000, 3800, ie24RGB));  // 45.6 MB: the kept block does not fit it
  gBudget = 0;
  EXPECT_EQ(IEKeptPixelMemory(), 0);
}

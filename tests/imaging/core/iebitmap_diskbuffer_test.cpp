#include <gtest/gtest.h>

#include <cstring>

#include "iebitmap_test_util.h"
#include "imaging/core/iebitmap.h"

using namespace redozir;

using namespace testutil;

namespace {
// A bitmap whose byte size is above its threshold lives in the disk buffer.
void MakeDiskBitmap(TIEBitmap& b, int w, int h, TIEPixelFormat pf) {
  b.SetMemoryThreshold(1000);
  ASSERT_TRUE(b.Allocate(w, h, pf));
  ASSERT_EQ(b.Location(), ieFile);
}
std::uint8_t Pattern(int x, int y) { return static_cast<std::uint8_t>(x * 31 + y * 7); }
}  // namespace

TEST(IEBitmapDisk, TheThresholdChoosesTheLocation) {
  TIEBitmap b;
  b.SetMemoryThreshold(300);
  ASSERT_TRUE(b.Allocate(10, 10, ie24RGB));  // 32 x 10 = 320 bytes
  EXPECT_EQ(b.Location(), ieFile);
  ASSERT_TRUE(b.Allocate(10, 9, ie24RGB));  // 288 bytes
  EXPECT_EQ(b.Location(), ieMemory);
  b.SetMemoryThreshold(-1);
  ASSERT_TRUE(b.Allocate(1000, 1000, ie24RGB));
  EXPECT_EQ(b.Location(), ieMemory);
}

TEST(IEBitmapDisk, RowsWrittenOneByOneReadBackAcrossWindows) {
  // 3000 x 2400 x 3 bytes: several mapping windows, so rows come and go.
  TIEBitmap b;
  MakeDiskBitmap(b, 3000, 2400, ie24RGB);
  for (int y = 0; y < 2400; ++y) {
    std::uint8_t* row = b.GetScanline(y);
    for (int x = 0; x < 9000; ++x) row[x] = Pattern(x, y);
  }
  for (int y = 2399; y >= 0; y -= 7) {
    const std::uint8_t* row = b.GetScanline(y);
    for (int x = 0; x < 9000; x += 101) ASSERT_EQ(row[x], Pattern(x, y)) << x << "," << y;
  }
  // Row by row upwards (the window then ends at the row asked for).
  for (int y = 2399; y >= 0; --y) {
    std::uint8_t* row = b.GetScanline(y);
    ASSERT_EQ(row[4444], Pattern(4444, y)) << y;
    row[0] = row[8999] = static_cast<std::uint8_t>(~y);
  }
  for (int y = 0; y < 2400; ++y) {
    const std::uint8_t* row = b.GetScanline(y);
    ASSERT_EQ(row[0], static_cast<std::uint8_t>(~y)) << y;
    ASSERT_EQ(row[8999], static_cast<std::uint8_t>(~y)) << y;
    ASSERT_EQ(row[1], Pattern(1, y)) << y;
  }
}

TEST(IEBitmapDisk, AllRowsLockedSeeRowWritesAndKeepPixelsWhenReleased) {
  TIEBitmap b;
  MakeDiskBitmap(b, 1000, 3000, ie8g);
  for (int y = 0; y < 3000; ++y) std::memset(b.GetScanline(y), y & 0xFF, 1000);
  std::uint8_t* base = b.LockRows();
  const std::int64_t len = b.GetRowLen();
  for (int y = 0; y < 3000; y += 37) ASSERT_EQ(base[len * y + 999], y & 0xFF) << y;
  for (int y = 0; y < 3000; ++y) base[len * y] = static_cast<std::uint8_t>(~y);
  b.ReleaseRows(1001, 777);  // part of a huge page: its other rows stay mapped
  for (int y = 990; y < 1790; ++y) ASSERT_EQ(base[len * y], static_cast<std::uint8_t>(~y)) << y;
  b.ReleaseRows(1500, 1100, true);  // whole huge pages, rows before 1500 too
  for (int y = 0; y < 3000; y += 7) ASSERT_EQ(base[len * y], static_cast<std::uint8_t>(~y)) << y;
  b.ReleaseRows(0, 3000);  // the memory goes, the pixels stay
  b.GetScanline(5);        // a row access does not move the locked rows
  for (int y = 0; y < 3000; y += 13) ASSERT_EQ(base[len * y], static_cast<std::uint8_t>(~y)) << y;
  b.UnlockRows();
  for (int y = 0; y < 3000; y += 11) {
    const std::uint8_t* row = b.GetScanline(y);
    ASSERT_EQ(row[0], static_cast<std::uint8_t>(~y)) << y;
    ASSERT_EQ(row[1], y & 0xFF) << y;
  }
}

TEST(IEBitmapDisk, SeveralLockedRowsStayValidWhileOtherRowsAreRead) {
  TIEBitmap b;
  MakeDiskBitmap(b, 2000, 1500, ie8g);
  for (int y = 0; y < 1500; ++y) std::memset(b.GetScanline(y), y & 0xFF, 2000);
  // Rows above, at and below the current one, as a 3 x 3 filter holds them,
  // the middle one written while the others are read.
  for (int y = 1; y < 1499; y += 149) {
    std::uint8_t* above = b.LockRow(y - 1);
    std::uint8_t* here = b.LockRow(y);
    std::uint8_t* below = b.LockRow(y + 1);
    b.GetScanline(1499 - y);  // another row access meanwhile
    b.GetScanline(0);
    for (int x = 0; x < 2000; ++x) here[x] = static_cast<std::uint8_t>(above[x] + below[x]);
    b.UnlockRow(y - 1);
    b.UnlockRow(y);
    b.UnlockRow(y + 1);
  }
  for (int y = 1; y < 1499; y += 149)
    EXPECT_EQ(b.GetScanline(y)[1999], static_cast<std::uint8_t>(((y - 1) & 0xFF) + ((y + 1) & 0xFF)));
  // Nested locks of one row keep it until the last unlock.
  std::uint8_t* a = b.LockRow(5);
  std::uint8_t* a2 = b.LockRow(5);
  EXPECT_EQ(a, a2);
  b.UnlockRow(5);
  a[0] = 99;
  b.UnlockRow(5);
  EXPECT_EQ(b.GetScanline(5)[0], 99);
  // Rows locked while all rows are mapped lie in that mapping (a row of its
  // own each would run out of mappings on tall pictures), and outlive it.
  std::uint8_t* base = b.LockRows();
  std::uint8_t* r7 = b.LockRow(7);
  EXPECT_EQ(r7, base + b.GetRowLen() * 7);
  EXPECT_EQ(b.LockRow(1400), base + b.GetRowLen() * 1400);
  b.UnlockRow(1400);
  b.UnlockRows();
  r7[3] = 42;
  EXPECT_EQ(r7[4], 7);
  b.UnlockRow(7);
  EXPECT_EQ(b.GetScanline(7)[3], 42);
}

TEST(IEBitmapDisk, RowsHandedOutForReadingDoNotStoreWrites) {
  // Small, and large enough for the mappings to ask for huge pages.
  for (int side : {100, 2048}) {
    SCOPED_TRACE(side);
    TIEBitmap b;
    MakeDiskBitmap(b, side, 50 + side / 2, ie8g);
    b.Fill(10);
    b.SetAccessMode(1);
    EXPECT_EQ(b.GetScanline(3)[0], 10);
    b.GetScanline(3)[0] = 77;
    b.SetAccessMode(3);
    EXPECT_EQ(b.GetScanline(3)[0], 10);
    b.GetScanline(3)[0] = 77;
    b.SetAccessMode(1);
    EXPECT_EQ(b.GetScanline(3)[0], 77);
    b.SetAccessMode(2);
    b.GetScanline(4)[0] = 5;
    b.SetAccessMode(3);
    EXPECT_EQ(b.GetScanline(4)[0], 5);
  }
}

TEST(IEBitmapDisk, WholeImageOperationsWorkOnTheDisk) {
  TIEBitmap mem;
  Paint24(mem, 300, 20, Content::Colour, 5);
  mem.GetAlphaChannel()->FillRect(3, 3, 9, 9, 40);
  TIEBitmap disk;
  disk.SetMemoryThreshold(1000);
  disk.Assign(&mem);
  ASSERT_EQ(disk.Location(), ieFile);
  ASSERT_TRUE(disk.HasAlphaChannel());
  EXPECT_EQ(disk.GetAlphaChannel()->Location(), ieFile);
  EXPECT_EQ(PixelBytes(disk), PixelBytes(mem));
  for (TIEPixelFormat pf : kAllFormats) {
    SCOPED_TRACE(static_cast<int>(pf));
    TIEBitmap a, d;
    a.Assign(&mem);
    d.Assign(&disk);
    a.ConvertToPixelFormat(pf);
    d.ConvertToPixelFormat(pf);
    EXPECT_EQ(PixelBytes(a), PixelBytes(d));
  }
  disk.Resize(310, 25, clRed, 0, 1, 1);
  EXPECT_EQ(disk.GetPixels(0, 0), (TRGB{0, 0, 255}));
  EXPECT_EQ(disk.GetPixels(5, 2), mem.GetPixels(0, 0));
  EXPECT_EQ(disk.GetAlpha(5 + 3, 2 + 3), 40);
}

TEST(IEBitmapDisk, AbsurdSizesAnswerFalseAndLeaveAnEmptyBitmap) {
  struct Case {
    int w, h;
    TIEPixelFormat pf;
    std::int64_t threshold;
  } cases[] = {
      {100000, 100000, ie24RGB, TIEBitmap::DefaultMemoryThreshold},  // 30 GB on the disk
      {100000, 100000, ie24RGB, -1},                                 // 30 GB in memory
      {0x7FFFFFFF, 0x7FFFFFFF, ieRGB48, 0},
      {-5, 5, ie8g, -1},
      {5, -5, ie8g, 0},
      {5, 5, ienull, -1},
  };
  for (const auto& c : cases) {
    TIEBitmap b(3, 3, ie24RGB);
    b.SetMemoryThreshold(c.threshold);
    EXPECT_FALSE(b.Allocate(c.w, c.h, c.pf)) << c.w << " x " << c.h;
    EXPECT_EQ(b.GetWidth(), 0);
    EXPECT_EQ(b.GetHeight(), 0);
    EXPECT_EQ(b.Location(), ieMemory);
  }
}

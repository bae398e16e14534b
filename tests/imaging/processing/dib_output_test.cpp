#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>

#include "dib_builder.h"
#include "imaging/processing/bitmap_ops.h"
#include "imaging/processing/dib_input.h"
#include "imaging/processing/dib_output.h"

using namespace redozir;

namespace {
TRGB Px(TIEBitmap& b, int x, int y) { return reinterpret_cast<TRGB*>(b.GetScanline(y))[x]; }
void Randomise(TIEBitmap& b, std::mt19937& rng) {
  for (int y = 0; y < b.GetHeight(); ++y)
    for (int i = 0; i < b.GetRowLen(); ++i) b.GetScanline(y)[i] = static_cast<std::uint8_t>(rng());
}
std::unique_ptr<TIEBitmap> ReadBack(const std::vector<std::uint8_t>& dib) {
  auto b = std::make_unique<TIEBitmap>();
  _CopyDIBtoBitmapEx(dib.data(), static_cast<std::int64_t>(dib.size()), b.get());
  return b;
}
}  // namespace

TEST(DIBOutput, ThreeByTwoByteByByte) {
  TIEBitmap b(3, 2, ie24RGB);
  for (int y = 0; y < 2; ++y)
    for (int i = 0; i < 9; ++i) b.GetScanline(y)[i] = static_cast<std::uint8_t>(10 * y + i + 1);
  auto dib = IECopyBitmapToDIBBytes(&b, 0, 0, 0, 0, 72, 96);
  TDIBBuilder want;
  want.U32(40);
  want.U32(3);
  want.U32(2);
  want.U16(1);
  want.U16(24);
  want.U32(0);
  want.U32(0);
  want.U32(2835);  // 72 x 39.3700787 = 2834.6
  want.U32(3780);  // 96 x 39.3700787 = 3779.5
  want.U32(0);
  want.U32(0);
  want.Bytes({11, 12, 13, 14, 15, 16, 17, 18, 19, 0, 0, 0});  // bottom row first
  want.Bytes({1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 0, 0});
  want.Fill(4, 0);
  EXPECT_EQ(dib, want.b);
}

TEST(DIBOutput, TablesAndFormats) {
  TIEBitmap one(9, 1, ie1g);
  std::memset(one.GetScanline(0), 0, 4);
  one.GetScanline(0)[0] = 0xC1;
  one.GetScanline(0)[1] = 0x80;
  auto d1 = IECopyBitmapToDIBBytes(&one, 0, 0, 0, 0, 0, 0);
  ASSERT_EQ(d1.size(), 44u + 8 + 4);
  EXPECT_EQ(d1[14], 1);
  EXPECT_EQ(d1[8], 1);  // positive height
  EXPECT_EQ(std::vector<std::uint8_t>(d1.begin() + 40, d1.begin() + 48),
            (std::vector<std::uint8_t>{0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(d1[48], 0xC1);
  EXPECT_EQ(d1[49], 0x80);
  // A sub-rectangle of a 1-bit row starts at bit 0 of the DIB row.
  auto d1r = IECopyBitmapToDIBBytes(&one, 1, 0, 9, 1, 0, 0);
  EXPECT_EQ(d1r[4], 8);
  EXPECT_EQ(d1r[48], 0x83);

  TIEBitmap grey(2, 1, ie8g);
  auto dg = IECopyBitmapToDIBBytes(&grey, 0, 0, 0, 0, 0, 0);
  ASSERT_EQ(dg.size(), 44u + 1024 + 4);
  EXPECT_EQ(dg[40 + 4 * 200], 200);
  EXPECT_EQ(dg[40 + 4 * 200 + 2], 200);
  EXPECT_EQ(dg[40 + 4 * 200 + 3], 0);

  TIEBitmap pal(2, 1, ie8p);
  pal.SetPaletteLength(4);
  pal.SetPalette(3, TRGB{1, 2, 3});
  auto dp = IECopyBitmapToDIBBytes(&pal, 0, 0, 0, 0, 0, 0);
  ASSERT_EQ(dp.size(), 44u + 1024 + 4);
  EXPECT_EQ(std::vector<std::uint8_t>(dp.begin() + 52, dp.begin() + 56),
            (std::vector<std::uint8_t>{1, 2, 3, 0}));
  EXPECT_EQ(dp[40 + 4 * 255 + 2], 0) << "entries past the palette are zero";

  // A float image comes out as a 24-bit DIB of its grey levels.
  TIEBitmap f(2, 1, ie32f);
  const float v[2] = {0.0f, 1.0f};
  std::memcpy(f.GetScanline(0), v, 8);
  auto df = IECopyBitmapToDIBBytes(&f, 0, 0, 0, 0, 0, 0);
  EXPECT_EQ(df[14], 24);
  EXPECT_EQ(df[40], 0);
  EXPECT_EQ(df[43], 255);
  TIEBitmap emptyFloat(0, 0, ie32f);
  auto de = IECopyBitmapToDIBBytes(&emptyFloat, 0, 0, 0, 0, 0, 0);
  EXPECT_EQ(de.size(), 44u);
  EXPECT_EQ(de[14], 24);
}

TEST(DIBOutput, RectangleIsClampedToTheImage) {
  TIEBitmap b(4, 3, ie24RGB);
  std::mt19937 rng(1);
  Randomise(b, rng);
  auto d = IECopyBitmapToDIBBytes(&b, 2, -5, 100, 2, 0, 0);
  auto rp = ReadBack(d);
  TIEBitmap& r = *rp;
  ASSERT_EQ(r.GetWidth(), 2);
  ASSERT_EQ(r.GetHeight(), 2);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 2; ++x) EXPECT_EQ(Px(r, x, y), Px(b, x + 2, y));
  auto empty = IECopyBitmapToDIBBytes(&b, 3, 1, 1, 2, 0, 0);
  EXPECT_EQ(empty[4], 0);
}

TEST(DIBOutput, RoundTripsThroughTheReader) {
  std::mt19937 rng(9);
  for (int w : {1, 7, 8, 13, 33}) {
    TIEBitmap one(w, 5, ie1g), rgb(w, 5, ie24RGB), grey(w, 5, ie8g), pal(w, 5, ie8p);
    for (TIEBitmap* b : {&one, &rgb, &grey, &pal}) Randomise(*b, rng);
    for (int i = 0; i < 256; ++i)
      pal.SetPalette(i, TRGB{static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(255 - i), 7});
    auto r1p = ReadBack(IECopyBitmapToDIBBytes(&one, 0, 0, 0, 0, 72, 72));
    TIEBitmap& r1 = *r1p;
    EXPECT_TRUE(_IEBitmapsEqual(&r1, &one)) << w;
    auto r24p = ReadBack(IECopyBitmapToDIBBytes(&rgb, 0, 0, 0, 0, 72, 72));
    TIEBitmap& r24 = *r24p;
    EXPECT_TRUE(_IEBitmapsEqual(&r24, &rgb)) << w;
    auto rgp = ReadBack(IECopyBitmapToDIBBytes(&grey, 0, 0, 0, 0, 72, 72));
    TIEBitmap& rg = *rgp;
    auto rpp = ReadBack(IECopyBitmapToDIBBytes(&pal, 0, 0, 0, 0, 72, 72));
    TIEBitmap& rp = *rpp;
    for (int y = 0; y < 5; ++y)
      for (int x = 0; x < w; ++x) {
        const std::uint8_t g = grey.GetScanline(y)[x];
        ASSERT_EQ(Px(rg, x, y), (TRGB{g, g, g}));
        ASSERT_EQ(Px(rp, x, y), pal.GetPalette(pal.GetScanline(y)[x]));
      }
  }
}

// 16-bit bit fields, 32 bits and top-down rows, written by the test from a
// 24-bit image whose levels the layouts keep exactly.
TEST(DIBOutput, DeeperLayoutsRoundTrip) {
  std::mt19937 rng(5);
  const int w = 5, h = 3;
  TIEBitmap src(w, h, ie24RGB);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      reinterpret_cast<TRGB*>(src.GetScanline(y))[x] =
          TRGB{static_cast<std::uint8_t>(rng() & 0xF8), static_cast<std::uint8_t>(rng() & 0xFC),
               static_cast<std::uint8_t>(rng() & 0xF8)};
  // 5-6-5 bit fields, bottom-up.
  TDIBBuilder d16;
  d16.Header(w, h, 16, 3).U32(0xF800);
  d16.U32(0x07E0);
  d16.U32(0x001F);
  for (int r = 0; r < h; ++r) {
    for (int x = 0; x < w; ++x) {
      const TRGB c = reinterpret_cast<TRGB*>(src.GetScanline(h - 1 - r))[x];
      d16.U16(static_cast<std::uint16_t>((c.r >> 3) << 11 | (c.g >> 2) << 5 | (c.b >> 3)));
    }
    d16.U16(0);  // row padding to 12 bytes
  }
  auto r16p = ReadBack(d16.b);
  TIEBitmap& r16 = *r16p;
  EXPECT_TRUE(_IEBitmapsEqual(&r16, &src));
  // 32 bits, top-down.
  TDIBBuilder d32;
  d32.Header(w, -h, 32);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const TRGB c = reinterpret_cast<TRGB*>(src.GetScanline(y))[x];
      d32.Bytes({c.b, c.g, c.r, 0x55});
    }
  auto r32p = ReadBack(d32.b);
  TIEBitmap& r32 = *r32p;
  EXPECT_TRUE(_IEBitmapsEqual(&r32, &src));
  // Top-down 8 bits against the bottom-up block the writer produced.
  TIEBitmap grey(w, h, ie8g);
  Randomise(grey, rng);
  auto bottomUp = IECopyBitmapToDIBBytes(&grey, 0, 0, 0, 0, 0, 0);
  std::vector<std::uint8_t> topDown(bottomUp.begin(), bottomUp.begin() + 40 + 1024);
  const std::int32_t negH = -h;
  std::memcpy(&topDown[8], &negH, 4);
  for (int y = 0; y < h; ++y) topDown.insert(topDown.end(), grey.GetScanline(y), grey.GetScanline(y) + 8);
  auto a = ReadBack(bottomUp), b = ReadBack(topDown);
  EXPECT_TRUE(_IEBitmapsEqual(a.get(), b.get()));
}

TEST(DrawDIB, FillsADibBitmapOfOneOrTwentyFourBits) {
  TIEBitmap one(10, 2, ie1g);
  std::mt19937 rng(2);
  Randomise(one, rng);
  auto d1 = IECopyBitmapToDIBBytes(&one, 0, 0, 0, 0, 0, 0);
  TIEDibbitmap dst;
  EXPECT_EQ(_DrawDIBtoBitmap(d1.data(), static_cast<std::int64_t>(d1.size()), &dst), 1);
  ASSERT_EQ(dst.GetBitCount(), 1);
  for (int y = 0; y < 2; ++y) {
    EXPECT_EQ(dst.GetScanline(y)[0], one.GetScanline(y)[0]);
    EXPECT_EQ(dst.GetScanline(y)[1] & 0xC0, one.GetScanline(y)[1] & 0xC0);
  }
  TDIBBuilder d8;
  d8.Header(2, 1, 8, 0, 2).Quad(10, 20, 30).Quad(40, 50, 60).Bytes({1, 0, 0, 0});
  EXPECT_EQ(_DrawDIBtoBitmap(d8.b.data(), static_cast<std::int64_t>(d8.b.size()), &dst), 8);
  ASSERT_EQ(dst.GetBitCount(), 24);
  EXPECT_EQ(dst.GetScanline(0)[2], 40);
  EXPECT_EQ(dst.GetScanline(0)[5], 10);
  // A short block leaves the bitmap; an unsupported layout frees it.
  d8.b.pop_back();
  EXPECT_THROW(_DrawDIBtoBitmap(d8.b.data(), static_cast<std::int64_t>(d8.b.size()), &dst), EFormatError);
  EXPECT_EQ(dst.GetWidth(), 2);
  TDIBBuilder rle;
  rle.Header(2, 1, 8, 1).Fill(1024 + 8, 0);
  EXPECT_THROW(_DrawDIBtoBitmap(rle.b.data(), static_cast<std::int64_t>(rle.b.size()), &dst),
               EIEUnsupportedDIB);
  EXPECT_EQ(dst.GetWidth(), 0);
}

TEST(DIBHandles, GlobalBlocksAreUnlockedOnceAndOwnedByTheCaller) {
  TIEBitmap b(3, 2, ie24RGB);
  std::mt19937 rng(4);
  Randomise(b, rng);
  HGLOBAL h = _CopyBitmaptoDIBEx(&b, 0, 0, 0, 0, 72, 72);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(GlobalSize(h), 44u + 24);
  EXPECT_EQ(GlobalLockCount(h), 0u);
  TIEBitmap r;
  EXPECT_EQ(_CopyDIBtoBitmapEx(h, &r), 24);
  EXPECT_TRUE(_IEBitmapsEqual(&r, &b));
  EXPECT_EQ(GlobalLockCount(h), 0u);
  TIEDibbitmap d;
  EXPECT_EQ(_DrawDIBtoBitmap(h, &d), 24);
  EXPECT_EQ(d.GetScanline(1)[4], b.GetScanline(1)[4]);
  // Unlocked again when the reader refuses the block.
  std::uint8_t* p = static_cast<std::uint8_t*>(GlobalLock(h));
  p[4] = 0;  // width 0
  GlobalUnlock(h);
  EXPECT_THROW(_CopyDIBtoBitmapEx(h, &r), EFormatError);
  EXPECT_EQ(GlobalLockCount(h), 0u);
  EXPECT_EQ(GlobalFree(h), nullptr);
  EXPECT_EQ(_CopyDIBtoBitmapEx(h, &r), 0) << "a freed handle does not lock";
}

#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "imaging/processing/bitmap_ops.h"
#include "imaging/processing/tbitmap_copy.h"

using namespace redozir;

namespace {
constexpr TIEPixelFormat kAllFormats[] = {ie1g,  ie8p,   ie8g,    ie16g,    ie24RGB,
                                          ie32f, ieCMYK, ieRGB48, ieCIELab, ie32RGB};

void Randomise(TIEBitmap& b, std::mt19937& rng) {
  for (int y = 0; y < b.GetHeight(); ++y) {
    std::uint8_t* p = b.GetScanline(y);
    for (int i = 0; i < b.GetRowLen(); ++i) p[i] = static_cast<std::uint8_t>(rng());
  }
}

// The meaningful bits of pixel x of row y.
std::vector<int> PixelBits(TIEBitmap& b, int x, int y) {
  const int bits = b.GetBitCount();
  std::vector<int> v;
  const std::uint8_t* p = b.GetScanline(y);
  for (int i = 0; i < bits; ++i) {
    const std::int64_t n = static_cast<std::int64_t>(x) * bits + i;
    v.push_back((p[n >> 3] >> (7 - (n & 7))) & 1);
  }
  return v;
}
}  // namespace

TEST(Flip, EveryFormatMirrorsWholePixelsAndTwiceGivesTheOriginal) {
  std::mt19937 rng(7);
  for (TIEPixelFormat pf : kAllFormats)
    for (int w : {1, 5, 10, 16}) {
      TIEBitmap a(w, 3, pf);
      Randomise(a, rng);
      Randomise(*a.GetAlphaChannel(), rng);
      TIEBitmap b;
      b.Assign(&a);
      _IEFlip(&b, 0);
      for (int y = 0; y < 3; ++y)
        for (int x = 0; x < w; ++x) {
          ASSERT_EQ(PixelBits(b, x, y), PixelBits(a, w - 1 - x, y)) << int(pf) << " w " << w;
          ASSERT_EQ(b.GetAlpha(x, y), a.GetAlpha(w - 1 - x, y));
        }
      _IEFlip(&b, 1);
      for (int y = 0; y < 3; ++y)
        for (int x = 0; x < w; ++x) {
          ASSERT_EQ(PixelBits(b, x, y), PixelBits(a, w - 1 - x, 2 - y)) << int(pf) << " w " << w;
          ASSERT_EQ(b.GetAlpha(x, y), a.GetAlpha(w - 1 - x, 2 - y));
        }
      _IEFlip(&b, 1);
      _IEFlip(&b, 0);
      EXPECT_TRUE(_IEBitmapsEqual(&a, &b)) << int(pf) << " w " << w;
      _IEFlip(&b, 7);  // not a direction
      EXPECT_TRUE(_IEBitmapsEqual(&a, &b));
    }
}

TEST(Flip, OneBitWidthTenMovesPixelZeroToNine) {
  TIEBitmap b(10, 1, ie1g);
  std::memset(b.GetScanline(0), 0, static_cast<size_t>(b.GetRowLen()));
  b.GetScanline(0)[0] = 0x80;
  _IEFlip(&b, 0);
  EXPECT_EQ(b.GetScanline(0)[0], 0x00);
  EXPECT_EQ(b.GetScanline(0)[1] & 0xC0, 0x40);
}

TEST(Negative1bit, InvertsExactlyTheRows) {
  TIEBitmap b(9, 3, ie1g);  // 4-byte rows
  for (int y = 0; y < 3; ++y) std::memset(b.GetScanline(y), 0x0F, 4);
  _IENegative1bit(&b);
  for (int y = 0; y < 3; ++y)
    for (int i = 0; i < 4; ++i) EXPECT_EQ(b.GetScanline(y)[i], 0xF0);
  TIEBitmap g(2, 1, ie8g);
  g.GetScanline(0)[0] = 5;
  _IENegative1bit(&g);
  EXPECT_EQ(g.GetScanline(0)[0], 5);
}

TEST(BitmapsEqual, ComparesFormatPaletteAlphaAndMeaningfulBitsOnly) {
  TIEBitmap a(10, 2, ie1g), b(10, 2, ie1g);
  for (int y = 0; y < 2; ++y) {
    std::memset(a.GetScanline(y), 0xAA, 4);
    std::memset(b.GetScanline(y), 0xAA, 4);
  }
  b.GetScanline(1)[1] ^= 0x3F;  // padding bits of pixels 10..15
  b.GetScanline(1)[3] ^= 0xFF;  // row padding bytes
  EXPECT_TRUE(_IEBitmapsEqual(&a, &b));
  b.GetScanline(1)[1] ^= 0x40;  // pixel 9
  EXPECT_FALSE(_IEBitmapsEqual(&a, &b));

  TIEBitmap g(3, 1, ie8g), p(3, 1, ie8p);
  std::memset(g.GetScanline(0), 1, 3);
  std::memset(p.GetScanline(0), 1, 3);
  EXPECT_FALSE(_IEBitmapsEqual(&g, &p)) << "different formats";

  TIEBitmap p2(3, 1, ie8p);
  std::memset(p2.GetScanline(0), 1, 3);
  EXPECT_TRUE(_IEBitmapsEqual(&p, &p2));
  p2.SetPalette(1, TRGB{1, 2, 3});
  EXPECT_FALSE(_IEBitmapsEqual(&p, &p2)) << "different palettes";

  TIEBitmap g2(3, 1, ie8g);
  std::memset(g2.GetScanline(0), 1, 3);
  EXPECT_TRUE(_IEBitmapsEqual(&g, &g2));
  g2.GetAlphaChannel();
  EXPECT_FALSE(_IEBitmapsEqual(&g, &g2)) << "alpha presence";
  g.GetAlphaChannel()->GetScanline(0)[2] = 7;
  EXPECT_FALSE(_IEBitmapsEqual(&g, &g2)) << "alpha values";
  TIEBitmap wide(4, 1, ie8g);
  EXPECT_FALSE(_IEBitmapsEqual(&g, &wide));
}

TEST(TBitmapCopy, CopiesSizeFormatPaletteAndPixels) {
  for (TPixelFormat pf : {pf1bit, pf4bit, pf8bit, pf16bit, pf24bit, pf32bit}) {
    TBitmap src(7, 5, pf);
    for (std::int64_t i = 0; i < src.ImageSize(); ++i) src.Bits()[i] = static_cast<std::uint8_t>(i * 31);
    if (pf == pf8bit) src.Palette()[3] = TRGBQuad{1, 2, 3, 0};
    TBitmap dst(2, 2, pf24bit);
    _IECopyTBitmap(&src, &dst);
    ASSERT_EQ(dst.Width(), 7);
    ASSERT_EQ(dst.Height(), 5);
    ASSERT_EQ(dst.PixelFormat(), pf);
    EXPECT_EQ(std::memcmp(dst.Bits(), src.Bits(), static_cast<size_t>(src.ImageSize())), 0);
    EXPECT_EQ(dst.Palette(), src.Palette());
    auto clone = _IECloneTBitmap(&src);
    EXPECT_EQ(std::memcmp(clone->Bits(), src.Bits(), static_cast<size_t>(src.ImageSize())), 0);
  }
  TBitmap empty, dst(3, 3, pf24bit);
  _IECopyTBitmap(&empty, &dst);
  EXPECT_EQ(dst.Width(), 3);
}

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "iebitmap_test_util.h"
#include "imaging/core/ie_color.h"
#include "imaging/core/ie_pixelrow.h"
#include "imaging/core/iebitmap.h"

using namespace redozir;

using namespace testutil;

namespace {
std::unique_ptr<TIEBitmap> OnePixel(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
  auto bmp = TIEBitmap::CreateSized(1, 1, ie24RGB);
  std::uint8_t* p = bmp->GetScanline(0);
  p[0] = b, p[1] = g, p[2] = r;
  return bmp;
}
}  // namespace

TEST(IEBitmapConvert, OnePixelValuesWorkedOutByHand) {
  {
    auto b = OnePixel(100, 50, 200);  // (2100 + 3550 + 1600) div 100
    b->ConvertToPixelFormat(ie8g);
    EXPECT_EQ(b->GetScanline(0)[0], 72);
  }
  {
    auto b = OnePixel(0x12, 0x34, 0xFE);
    b->ConvertToPixelFormat(ieRGB48);
    std::uint16_t w[3];
    std::memcpy(w, b->GetScanline(0), 6);
    EXPECT_EQ(w[0], 0x1212);
    EXPECT_EQ(w[1], 0x3434);
    EXPECT_EQ(w[2], 0xFEFE);
  }
  {
    auto b = OnePixel(128, 64, 0);  // max 128: k 127, c 0, m 64 x 255 div 128, y 255
    b->ConvertToPixelFormat(ieCMYK);
    const std::uint8_t* p = b->GetScanline(0);
    EXPECT_EQ((std::vector<int>{p[0], p[1], p[2], p[3]}), (std::vector<int>{0, 127, 255, 127}));
    EXPECT_EQ(b->GetPixels(0, 0), (TRGB{0, 64, 128}));
  }
  {
    auto b = OnePixel(255, 0, 0);  // sRGB red: L 53.24 (x 2.55 = 135.8), a 80.1, b 67.2
    b->ConvertToPixelFormat(ieCIELab);
    const std::uint8_t* p = b->GetScanline(0);
    EXPECT_EQ(p[0], 136);
    EXPECT_EQ(static_cast<std::int8_t>(p[1]), 80);
    EXPECT_EQ(static_cast<std::int8_t>(p[2]), 67);
  }
  {
    TIEBitmap b(2, 1, ie16g);
    std::uint8_t* p = b.GetScanline(0);
    p[0] = 0xCD, p[1] = 0xAB, p[2] = 0xFF, p[3] = 0xFF;
    EXPECT_EQ(b.GetPixels(0, 0), (TRGB{0xAB, 0xAB, 0xAB}));
    b.ConvertToPixelFormat(ie32f);
    float f;
    std::memcpy(&f, b.GetScanline(0) + 4, 4);
    EXPECT_EQ(f, 1.0f);
  }
  {
    TIEBitmap b(1, 1, ie32f);
    float half = 0.5f;  // 127.5 rounds to the even 128
    std::memcpy(b.GetScanline(0), &half, 4);
    EXPECT_EQ(b.GetPixels(0, 0).r, 128);
  }
}

TEST(IEBitmapConvert, ColourHelpersAtTheEnds) {
  EXPECT_EQ(IEConvertRGBToCMYK(TRGB{0, 0, 0}), (TCMYK{0, 0, 0, 255}));
  EXPECT_EQ(IEConvertCMYKToRGB(TCMYK{0, 0, 0, 255}), (TRGB{0, 0, 0}));
  EXPECT_EQ(IERGBToCIELab(TRGB{255, 255, 255}), (TCIELab{255, 0, 0}));
  EXPECT_EQ(IECIELabToRGB(TCIELab{255, 0, 0}), (TRGB{255, 255, 255}));
  EXPECT_EQ(IECIELabToRGB(TCIELab{0, 0, 0}), (TRGB{0, 0, 0}));
  // Out-of-gamut Lab values clamp instead of wrapping.
  TRGB c = IECIELabToRGB(TCIELab{255, 127, -128});
  EXPECT_EQ(c.r, 255);
  // Every RGB colour survives CMYK exactly (a coarse sweep of the cube).
  for (int r = 0; r < 256; r += 5)
    for (int g = 0; g < 256; g += 3)
      for (int b = 0; b < 256; b += 7) {
        TRGB v{static_cast<std::uint8_t>(b), static_cast<std::uint8_t>(g), static_cast<std::uint8_t>(r)};
        ASSERT_EQ(IEConvertCMYKToRGB(IEConvertRGBToCMYK(v)), v) << r << " " << g << " " << b;
      }
}

TEST(IEBitmapConvert, OrderedDitherFollowsTheMatrixAndKeepsWhiteWhite) {
  // Column x = 0 reads matrix row 0 (0 32 8 40 2 34 10 42) down the image
  // rows; grey 128 gives 32, so rows 0, 2, 4, 6 are white, the rest black.
  TIEBitmap b(8, 8, ie24RGB);
  b.Fill(RGB(128, 128, 128));
  // (251, 251, 251) has grey 251 (62 after the shift) but counts as 64 and
  // beats the matrix maximum 63 at x 7, y 0; (250, 255, 255) does not.
  std::uint8_t* row0 = b.GetScanline(0);
  std::memset(row0 + 3 * 7, 251, 3);
  TIEBitmap c;
  c.Assign(&b);
  std::memset(c.GetScanline(0) + 3 * 7, 255, 3);
  c.GetScanline(0)[3 * 7 + 2] = 250;
  b.ConvertToPixelFormat(ie1g);
  c.ConvertToPixelFormat(ie1g);
  ASSERT_EQ(b.GetPixelFormat(), ie1g);
  for (int y = 0; y < 8; ++y) EXPECT_EQ(b.GetPixels(0, y).r, y % 2 == 0 ? 255 : 0) << y;
  EXPECT_EQ(b.GetPixels(7, 0).r, 255);
  EXPECT_EQ(c.GetPixels(7, 0).r, 0);
}

TEST(IEBitmapConvert, ThresholdDitherUsesTheAverageLevel) {
  // Rows of grey 0, 100 and 200 (two each): average 100, so 100 is white.
  TIEBitmap b(4, 6, ie24RGB);
  for (int y = 0; y < 6; ++y) b.FillRect(0, y, 3, y, RGB(100 * (y / 2), 100 * (y / 2), 100 * (y / 2)));
  b.SetDitherMethod(1);
  b.ConvertToPixelFormat(ie1g);
  for (int y = 0; y < 6; ++y) EXPECT_EQ(b.GetPixels(2, y).r, y >= 2 ? 255 : 0) << y;
}

TEST(IEBitmapConvert, EveryPairRoundTripsAsFarAsTheFormatsAllow) {
  for (TIEPixelFormat a : kAllFormats) {
    for (TIEPixelFormat b : kAllFormats) {
      SCOPED_TRACE("from " + std::to_string(a) + " through " + std::to_string(b));
      bool grey = a == ie8g || a == ie16g || a == ie32f || b == ie8g || b == ie16g || b == ie32f;
      Content c = (a == ie1g || b == ie1g) ? Content::BlackWhite : grey ? Content::Grey : Content::Colour;
      TIEBitmap src;
      Paint24(src, 13, 7, c, a * 16 + b);
      src.ConvertToPixelFormat(a);
      ASSERT_EQ(src.GetPixelFormat(), a);
      TIEBitmap mid;
      mid.Allocate(13, 7, b);
      mid.ConvertFrom(&src);
      TIEBitmap back;
      back.Allocate(13, 7, a);
      back.ConvertFrom(&mid);
      if (a == ieCIELab) {
        // Lab -> RGB -> Lab moves each byte by at most one step.
        std::string s1 = PixelBytes(src), s2 = PixelBytes(back);
        for (size_t i = 0; i < s1.size(); ++i)
          ASSERT_LE(std::abs(static_cast<std::int8_t>(s1[i] - s2[i])), 1) << i;
      } else if (b == ieCIELab) {
        // 8-bit Lab cannot hold every RGB colour: near-zero channels of
        // saturated colours move by up to 25 (measured over the cube).
        EXPECT_LE(MaxRGBDifference(src, back), 26);
      } else if (a == ie8p) {
        EXPECT_EQ(MaxRGBDifference(src, back), 0);
      } else {
        EXPECT_EQ(PixelBytes(src), PixelBytes(back));
      }
    }
  }
}

TEST(IEBitmapConvert, GreyAndDeepFormatsKeepTheirValues) {
  // 24 -> 48 -> 24 and 24 -> 8g -> 24 (grey by the weights) over many colours.
  TIEBitmap src;
  Paint24(src, 64, 16, Content::Colour, 7);
  TIEBitmap deep;
  deep.Assign(&src);
  deep.ConvertToPixelFormat(ieRGB48);
  deep.ConvertToPixelFormat(ie24RGB);
  EXPECT_EQ(PixelBytes(deep), PixelBytes(src));
  TIEBitmap grey;
  grey.Assign(&src);
  grey.ConvertToPixelFormat(ie8g);
  grey.ConvertToPixelFormat(ie24RGB);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 64; ++x) {
      TRGB s = src.GetPixels(x, y);
      int g = (s.r * 21 + s.g * 71 + s.b * 8) / 100;
      ASSERT_EQ(grey.GetPixels(x, y), (TRGB{static_cast<std::uint8_t>(g), static_cast<std::uint8_t>(g),
                                            static_cast<std::uint8_t>(g)}));
    }
  // A 16-bit grey level survives the float format and the 48-bit one.
  TIEBitmap g16(3, 1, ie16g);
  std::uint16_t v[3] = {1, 0x8001, 65534};
  std::memcpy(g16.GetScanline(0), v, 6);
  for (TIEPixelFormat via : {ie32f, ieRGB48}) {
    TIEBitmap t;
    t.Assign(&g16);
    t.ConvertToPixelFormat(via);
    t.ConvertToPixelFormat(ie16g);
    EXPECT_EQ(PixelBytes(t), PixelBytes(g16)) << int(via);
  }
}

TEST(IEBitmapConvert, ManyColoursGoToAPaletteByTheNearestEntry) {
  TIEBitmap src;
  Paint24(src, 40, 40, Content::Colour, 3);
  TIEBitmap p;
  p.Assign(&src);
  p.ConvertToPixelFormat(ie8p);
  ASSERT_EQ(p.GetPixelFormat(), ie8p);
  EXPECT_LE(MaxRGBDifference(src, p), 40);  // the 6-level cube and its greys
  // SetPixelFormat to the same format changes nothing, even the palette.
  p.SetPalette(255, TRGB{1, 2, 3});
  p.SetPixelFormat(ie8p);
  EXPECT_EQ(p.GetPalette(255), (TRGB{1, 2, 3}));
}

TEST(IEBitmapConvert, ConversionKeepsTheAlphaPlane) {
  TIEBitmap b(5, 4, ie24RGB);
  b.Fill(clRed);
  b.GetAlphaChannel()->GetScanline(3)[4] = 17;
  b.ConvertToPixelFormat(ieCMYK);
  ASSERT_TRUE(b.HasAlphaChannel());
  EXPECT_EQ(b.GetAlpha(4, 3), 17);
  EXPECT_EQ(b.GetPixels(1, 1), (TRGB{0, 0, 255}));
}

TEST(IEBitmapConvert, TheSRGBStepTableAnswersAsTheCurve) {
  // A dense sweep, and every value within 64 steps of a change of byte.
  double prev = -0.01;
  int prevByte = IELinearToSRGBByteReference(prev);
  for (int i = -1000; i <= (1 << 20) + 1000; ++i) {
    double x = i / double(1 << 20);
    int want = IELinearToSRGBByteReference(x);
    ASSERT_EQ(IELinearToSRGBByte(x), want) << x;
    if (want != prevByte) {
      // Narrow the change down to neighbouring values, then look around it.
      double lo = prev, hi = x;
      while (std::nextafter(lo, hi) < hi) {
        double mid = lo + (hi - lo) / 2;
        if (mid <= lo || mid >= hi) break;
        (IELinearToSRGBByteReference(mid) == prevByte ? lo : hi) = mid;
      }
      double a = lo;
      for (int n = 0; n < 64; ++n) a = std::nextafter(a, -1.0);
      for (int n = 0; n < 128; ++n, a = std::nextafter(a, 2.0))
        ASSERT_EQ(IELinearToSRGBByte(a), IELinearToSRGBByteReference(a)) << a;
    }
    prev = x;
    prevByte = want;
  }
  EXPECT_EQ(IELinearToSRGBByte(std::nan("")), 0);
  EXPECT_EQ(IELinearToSRGBByte(-5), 0);
  EXPECT_EQ(IELinearToSRGBByte(7), 255);
}

// Grey and 32-bit rows read as RGB: grey replicated, the fourth byte
// dropped, and the vector forms give the scalar bytes at every length.
TEST(RowReaders, GreyAnd32BitRowsReadAsRGBInEveryPath) {
  std::mt19937 rng(5);
  for (int n = 0; n <= 40; ++n) {
    std::vector<std::uint8_t> grey(static_cast<size_t>(n)), rgba(4 * static_cast<size_t>(n));
    for (auto& b : grey) b = static_cast<std::uint8_t>(rng());
    for (auto& b : rgba) b = static_cast<std::uint8_t>(rng());
    std::vector<TRGB> g1(static_cast<size_t>(n) + 1, TRGB{7, 7, 7}), g2 = g1, r1 = g1, r2 = g1;
    pixel_rows::GreyToRGBScalar(grey.data(), n, g1.data());
    pixel_rows::Row32ToRGBScalar(rgba.data(), n, r1.data());
    for (int i = 0; i < n; ++i) {
      ASSERT_TRUE(g1[i].r == grey[i] && g1[i].g == grey[i] && g1[i].b == grey[i]) << n;
      ASSERT_EQ(std::memcmp(&r1[i], &rgba[4 * i], 3), 0) << n;
    }
    if (!__builtin_cpu_supports("avx2")) continue;
    pixel_rows::GreyToRGBAvx2(grey.data(), n, g2.data());
    pixel_rows::Row32ToRGBAvx2(rgba.data(), n, r2.data());
    EXPECT_EQ(std::memcmp(g1.data(), g2.data(), 3 * g1.size()), 0) << n;  // the pixel past the row untouched
    EXPECT_EQ(std::memcmp(r1.data(), r2.data(), 3 * r1.size()), 0) << n;
  }
}

// The weighted mix d + (s - d) x min(alpha, transparency) / 256 rounded
// down, by hand, and the vector form on random rows of every length.
TEST(RowReaders, TheWeightedMixRoundsDownInEveryPath) {
  const TRGB s[2] = {TRGB{200, 0, 255}, TRGB{90, 90, 90}};
  const std::uint8_t alpha[2] = {128, 40};
  std::uint8_t d[6] = {100, 255, 0, 30, 30, 30};
  pixel_rows::MixRowScalar(s, alpha, d, 2, 255);
  // 100 + 100 x 128 / 256 = 150; 255 - 255 / 2 = 127.5 -> 127; 255 / 2 ->
  // 127; 30 + 60 x 40 / 256 = 39.375 -> 39.
  EXPECT_EQ((std::vector<int>(d, d + 6)), (std::vector<int>{150, 127, 127, 39, 39, 39}));
  if (!__builtin_cpu_supports("avx2")) GTEST_SKIP() << "no AVX2 here: only the scalar mix runs";
  std::mt19937 rng(9);
  for (int n = 0; n <= 40; ++n)
    for (int t : {0, 77, 255}) {
      std::vector<TRGB> src(static_cast<size_t>(n));
      std::vector<std::uint8_t> a(static_cast<size_t>(n)), d1(3 * static_cast<size_t>(n) + 3);
      for (auto& p : src) p = TRGB{std::uint8_t(rng()), std::uint8_t(rng()), std::uint8_t(rng())};
      for (auto& v : a) v = static_cast<std::uint8_t>(rng());
      for (auto& v : d1) v = static_cast<std::uint8_t>(rng());
      for (const std::uint8_t* al :
           {static_cast<const std::uint8_t*>(a.data()), static_cast<const std::uint8_t*>(nullptr)}) {
        std::vector<std::uint8_t> x = d1, y = d1;
        pixel_rows::MixRowScalar(src.data(), al, x.data(), n, t);
        pixel_rows::MixRowAvx2(src.data(), al, y.data(), n, t);
        EXPECT_EQ(x, y) << n << " pixels at " << t;
      }
    }
}

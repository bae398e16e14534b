// TIEBitmap's renderer and StretchRectTo: the blend table byte by byte, the
// alpha and Transparency weighting, clipping, filters and caches.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "imaging/core/iebitmap_render.h"
#include "imaging/core/ie_speed.h"
#include "imaging/processing/resample.h"

using namespace redozir;

namespace {
std::unique_ptr<TIEBitmap> Filled(int w, int h, TRGB c) {
  auto b = TIEBitmap::CreateSized(w, h, ie24RGB);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) std::memcpy(b->GetScanline(y) + 3 * x, &c, 3);
  return b;
}
std::unique_ptr<TIEBitmap> Pattern(int w, int h, TIEPixelFormat pf = ie24RGB) {
  auto b = TIEBitmap::CreateSized(w, h, pf);
  for (int y = 0; y < h; ++y)
    for (int i = 0; i < b->GetRowLen(); ++i)
      b->GetScanline(y)[i] = static_cast<std::uint8_t>(i * 37 + y * 101);
  return b;
}
TRGB At(TIEBitmap* b, int x, int y) {
  TRGB c;
  std::memcpy(&c, b->GetScanline(y) + 3 * x, 3);
  return c;
}
}  // namespace

TEST(RenderBlend, MixAndTableByteByByte) {
  EXPECT_EQ(IERenderMix(0, 255, 128), 127);
  EXPECT_EQ(IERenderMix(255, 0, 128), 127);
  EXPECT_EQ(IERenderMix(255, 0, 255), 254);  // why opaque copies take their own road
  EXPECT_EQ(IERenderMix(10, 20, 0), 20);
  struct Case {
    int op, s, d, want;
  } cases[] = {
      {1, 200, 100, 255},     {1, 20, 30, 50},        {2, 200, 100, 78},   {3, 200, 100, 222},
      {4, 200, 100, 156},     {4, 200, 200, 232},     {5, 200, 100, 100},  {6, 200, 100, 200},
      {7, 100, 200, 100},     {8, 200, 100, 144},     {9, 255, 10, 255},   {9, 128, 100, 200},
      {10, 0, 100, 0},        {10, 128, 200, 146},    {11, 100, 200, 156}, {13, 100, 60, 0},
      {13, 60, 100, 40},      {14, 200, 100, 45},     {15, 201, 100, 150}, {16, 200, 100, 245},
      {18, 100, 250, 200},    {19, 200, 100, 255},    {20, 200, 100, 210}, {25, 0, 0, 0},
      {25, 200, 100, 127},    {26, 100, 200, 228},    {27, 100, 200, 172}, {34, 0xF0, 0x3C, 0x30},
      {35, 0xF0, 0x0F, 0xFF}, {36, 0xFF, 0x0F, 0xF0}, {38, 200, 100, 155}, {39, 100, 25, 50},
      {40, 100, 25, 40},      {41, 200, 100, 155},    {42, 100, 60, 40},
  };
  for (const auto& c : cases) {
    auto s = static_cast<std::uint8_t>(c.s), d = static_cast<std::uint8_t>(c.d);
    TRGB r = IEBlendPixel(c.op, TRGB{s, s, s}, TRGB{d, d, d});
    EXPECT_EQ(r.b, c.want) << IEBlendOperationName(c.op);
    EXPECT_EQ(r.r, c.want) << IEBlendOperationName(c.op);
  }
  // Luminosity takes the source's grey level into the destination's colour;
  // darker color picks the darker pixel whole.
  TRGB grey{128, 128, 128};
  TRGB lum = IEBlendPixel(31, grey, TRGB{0, 0, 255});
  EXPECT_NEAR(0.3 * lum.r + 0.59 * lum.g + 0.11 * lum.b, 128, 1.5);
  EXPECT_EQ(IEBlendPixel(32, TRGB{10, 20, 30}, TRGB{200, 200, 200}), (TRGB{10, 20, 30}));
  EXPECT_EQ(IEBlendPixel(0, TRGB{1, 2, 3}, TRGB{4, 5, 6}), (TRGB{1, 2, 3}));
  EXPECT_EQ(IEBlendPixel(99, TRGB{1, 2, 3}, TRGB{4, 5, 6}), (TRGB{1, 2, 3}));
  EXPECT_STREQ(IEBlendOperationName(42), "inverse subtract");
}

TEST(Render, CopyAlphaTransparencyAndOperations) {
  auto src = Pattern(8, 6);
  // No alpha, Transparency 255, operation 0: an exact copy.
  auto dst = Filled(8, 6, TRGB{9, 9, 9});
  src->RenderToTIEBitmap(dst.get(), 0, 0, 8, 6, 0, 0, 8, 6);
  for (int y = 0; y < 6; ++y) EXPECT_EQ(0, std::memcmp(dst->GetScanline(y), src->GetScanline(y), 24));
  // Source 0 over 255 with alpha 128: 127.
  auto black = Filled(2, 2, TRGB{0, 0, 0});
  black->GetAlphaChannel()->Fill(128);
  black->GetAlphaChannel()->SetFull(false);
  dst = Filled(2, 2, TRGB{255, 255, 255});
  black->RenderToTIEBitmap(dst.get(), 0, 0, 2, 2, 0, 0, 2, 2);
  EXPECT_EQ(At(dst.get(), 1, 1), (TRGB{127, 127, 127}));
  // With EnableAlpha off the plane is ignored; Transparency 128 weighs alone.
  dst = Filled(2, 2, TRGB{255, 255, 255});
  black->RenderToTIEBitmap(dst.get(), 0, 0, 2, 2, 0, 0, 2, 2, false, rfNone, 255);
  EXPECT_EQ(At(dst.get(), 0, 0), (TRGB{0, 0, 0}));
  dst = Filled(2, 2, TRGB{255, 255, 255});
  black->RenderToTIEBitmap(dst.get(), 0, 0, 2, 2, 0, 0, 2, 2, true, rfNone, 64);
  EXPECT_EQ(At(dst.get(), 0, 0), (TRGB{191, 191, 191}));  // 255 - 255 x 64 / 256 = 191.25
  // Operation 1 adds with clamping, then weighs by Transparency.
  auto s = Filled(1, 1, TRGB{200, 20, 0});
  dst = Filled(1, 1, TRGB{100, 30, 7});
  s->RenderToTIEBitmap(dst.get(), 0, 0, 1, 1, 0, 0, 1, 1, false, rfNone, 255, 1);
  EXPECT_EQ(At(dst.get(), 0, 0), (TRGB{254, 49, 7}));  // 100 + 155 x 255/256, 30 + 20 x 255/256 rounded down
}

TEST(Render, ScalingClippingAndFilters) {
  auto src = Pattern(4, 3);
  auto dst = Filled(20, 20, TRGB{1, 1, 1});
  TRect clip{5, 5, 9, 20};
  src->RenderToTIEBitmapEx(dst.get(), nullptr, &clip, 3, 4, 8, 6, 0, 0, 4, 3, true, false, 255, rfNone, 0);
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 20; ++x) {
      bool inside = x >= 5 && x < 9 && y >= 5 && y < 10;
      TRGB want = inside ? At(src.get(), (x - 3) / 2, (y - 4) / 2) : TRGB{1, 1, 1};
      ASSERT_EQ(At(dst.get(), x, y), want) << x << "," << y;
    }
  // A kernel filter gives the dispatcher's result in the destination rectangle.
  auto big = Pattern(30, 20);
  auto want = TIEBitmap::CreateSized(13, 9, ie24RGB);
  _IEResampleIEBitmap(big.get(), want.get(), rfLanczos3, TIEProgressEvent(), nullptr);
  dst = Filled(16, 12, TRGB{0, 0, 0});
  big->RenderToTIEBitmap(dst.get(), 2, 1, 13, 9, 0, 0, 30, 20, true, rfLanczos3);
  for (int y = 0; y < 9; ++y)
    EXPECT_EQ(0, std::memcmp(dst->GetScanline(y + 1) + 6, want->GetScanline(y), 39)) << y;
  // A 1-bit source reduced averages its bits.
  auto bits = TIEBitmap::CreateSized(4, 4, ie1g);
  for (int y = 0; y < 4; ++y) bits->GetScanline(y)[0] = 0xA0;  // 1010
  dst = Filled(2, 2, TRGB{0, 0, 0});
  bits->RenderToTIEBitmap(dst.get(), 0, 0, 2, 2, 0, 0, 4, 4, true, rfTriangle);
  // Block of (1, 1): rows 1..3 and columns 1..3, three of nine bits set.
  EXPECT_EQ(At(dst.get(), 1, 1).g, 255 * 3 / 9);
}

TEST(Render, TBitmapTargetAndCachesHandedBack) {
  auto src = Pattern(6, 5);
  TBitmap target(10, 8, pf24bit);
  std::unique_ptr<TIERenderCaches> caches;
  src->RenderToTBitmapEx(&target, caches, nullptr, 1, 1, 6, 5, 0, 0, 6, 5, true, true, 255, rfNone, false, 0);
  ASSERT_TRUE(caches);
  EXPECT_EQ(caches->XLUT.size(), 6u);
  for (int y = 0; y < 5; ++y) EXPECT_EQ(0, std::memcmp(target.ScanLine(y + 1) + 3, src->GetScanline(y), 18));
  src->RenderToTBitmapEx(&target, caches, nullptr, 1, 1, 6, 5, 0, 0, 6, 5, true, true, 255, rfNone, true, 0);
  EXPECT_FALSE(caches);
}

TEST(StretchRect, PixelsAndAlphaScaledByTransparency) {
  auto src = Pattern(4, 4);
  src->GetAlphaChannel()->Fill(200);
  src->GetAlphaChannel()->SetFull(false);
  auto dst = Filled(10, 10, TRGB{5, 5, 5});
  src->StretchRectTo(dst.get(), 2, 2, 8, 8, 0, 0, 4, 4, rfNone, 128);
  EXPECT_EQ(At(dst.get(), 2, 2), At(src.get(), 0, 0));
  EXPECT_EQ(At(dst.get(), 9, 9), At(src.get(), 3, 3));
  EXPECT_EQ(At(dst.get(), 1, 1), (TRGB{5, 5, 5}));
  ASSERT_TRUE(dst->HasAlphaChannel());
  EXPECT_EQ(dst->GetAlphaChannel()->GetScanline(5)[5], 200 * 128 / 255);
  EXPECT_EQ(dst->GetAlphaChannel()->GetScanline(0)[0], 255);
  EXPECT_FALSE(dst->GetAlphaChannel()->Full());
  // Opaque and without planes: pixels only, no plane created.
  auto plain = Filled(3, 3, TRGB{1, 2, 3});
  auto out = Filled(6, 6, TRGB{0, 0, 0});
  plain->StretchRectTo(out.get(), 0, 0, 6, 6, 0, 0, 3, 3, rfTriangle, 255);
  EXPECT_FALSE(out->HasAlphaChannel());
  EXPECT_EQ(At(out.get(), 4, 4), (TRGB{1, 2, 3}));
}

// A rectangle far larger than the target is resampled only where it lands,
// with the bytes the whole resampling gives there: every filter, the pixel
// formats that take their own roads, with an alpha plane, drawn and
// stretched into a 64 x 64 target at an offset, on the scalar and vector rows.
TEST(Render, AClippedStretchGivesTheWholeResamplingsBytes) {
  // Magnified and reduced, the visible part drawn alone.
  struct Geometry {
    int sw, sh, kW, kH, kX, kY;
  };
  for (const Geometry& g : {Geometry{5, 4, 1500, 1000, -617, -389}, Geometry{401, 301, 157, 113, -31, -17}})
    for (TIEPixelFormat pf : {ie24RGB, ie8g, ie1g, ie8p, ieRGB48}) {
      // 1-bit reductions average the bits: not the nearest stretch's pixels.
      if (pf == ie1g && g.kW < g.sw) continue;
      const int kW = g.kW, kH = g.kH, kX = g.kX, kY = g.kY;
      const TIESpeedSettings saved = IESpeed();
      auto src = Pattern(g.sw, g.sh, pf);
      if (pf == ie8p)
        for (int i = 0; i < 256; ++i)
          src->SetPalette(i, TRGB{static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(255 - i),
                                  static_cast<std::uint8_t>(i * 7)});
      for (int y = 0; y < g.sh; ++y)
        for (int x = 0; x < g.sw; ++x)
          src->GetAlphaChannel()->GetScanline(y)[x] = static_cast<std::uint8_t>((y * g.sw + x) * 13);
      src->GetAlphaChannel()->SetFull(false);
      for (int f = rfNone; f <= rfBicubic; ++f) {
        const auto filter = static_cast<TResampleFilter>(f);
        IESpeed() = saved;
        auto whole = TIEBitmap::CreateSized(kW, kH, pf);
        _IEResampleIEBitmap(src.get(), whole.get(), filter, TIEProgressEvent(), nullptr);
        for (int simd : {0, 1, 2}) {
          IESpeed().SIMD = simd > 0;
          IESpeed().AVX512 = simd > 1;
          auto drawn = Filled(64, 64, TRGB{0, 0, 0});
          src->RenderToTIEBitmap(drawn.get(), kX, kY, kW, kH, 0, 0, g.sw, g.sh, false, filter);
          auto stretched = Filled(64, 64, TRGB{0, 0, 0});
          src->StretchRectTo(stretched.get(), kX, kY, kW, kH, 0, 0, g.sw, g.sh, filter, 255);
          for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 64; ++x) {
              const TRGB want = whole->GetPixels(x - kX, y - kY);
              const std::string at = std::to_string(pf) + " " + std::to_string(f) + " " +
                                     std::to_string(simd) + " " + std::to_string(x) + "," + std::to_string(y);
              if (filter != rfNone) {
                ASSERT_EQ(At(drawn.get(), x, y), want) << at;
              }
              ASSERT_EQ(At(stretched.get(), x, y), want) << at;
              ASSERT_EQ(stretched->GetAlphaChannel()->GetScanline(y)[x],
                        whole->GetAlphaChannel()->GetScanline(y - kY)[x - kX])
                  << at;
            }
        }
      }
      IESpeed() = saved;
    }
}

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "imaging/core/ie_pixel.h"
#include "imaging/core/ie_parallel.h"
#include "imaging/processing/ie_rotate.h"

using namespace redozir;

namespace {

// The bytes of pixel (x, y); a 1-bit pixel answers one byte, 0 or 1.
std::vector<std::uint8_t> PixelAt(TIEBitmap& b, int x, int y) {
  const std::uint8_t* row = b.GetScanline(y);
  if (b.GetBitCount() == 1) return {static_cast<std::uint8_t>((row[x >> 3] >> (7 - (x & 7))) & 1)};
  int n = b.GetBitCount() / 8;
  return std::vector<std::uint8_t>(row + x * n, row + (x + 1) * n);
}

void SetPixel(TIEBitmap& b, int x, int y, const std::vector<std::uint8_t>& v) {
  std::uint8_t* row = b.GetScanline(y);
  if (b.GetBitCount() == 1) {
    std::uint8_t m = static_cast<std::uint8_t>(0x80 >> (x & 7));
    row[x >> 3] = v[0] ? (row[x >> 3] | m) : (row[x >> 3] & ~m);
    return;
  }
  std::memcpy(row + x * v.size(), v.data(), v.size());
}

// Every pixel distinct (up to 256 pixels for 8 bits): a coordinate code.
std::vector<std::uint8_t> Code(TIEPixelFormat pf, int x, int y) {
  if (pf == ie1g) return {static_cast<std::uint8_t>((x * 3 + y * 5) % 7 < 3)};
  int n = IEPixelFormatBits(pf) / 8;
  std::vector<std::uint8_t> v(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i)
    v[i] = static_cast<std::uint8_t>(i == 0 ? x + 16 * y : x * 11 + y * 17 + i * 29);
  return v;
}

std::unique_ptr<TIEBitmap> Coded(int w, int h, TIEPixelFormat pf) {
  auto b = std::make_unique<TIEBitmap>(w, h, pf);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) SetPixel(*b, x, y, Code(pf, x, y));
  return b;
}

std::unique_ptr<TIEBitmap> Uniform(int w, int h, TIEPixelFormat pf, std::uint8_t v) {
  auto b = std::make_unique<TIEBitmap>(w, h, pf);
  for (int y = 0; y < h; ++y) std::memset(b->GetScanline(y), pf == ie1g ? (v ? 0xFF : 0) : v, b->GetRowLen());
  return b;
}

// Every engine behind one signature: rotate in place by Angle.
struct TEngine {
  const char* Name;
  std::vector<TIEPixelFormat> Formats;
  std::function<void(TIEBitmap*, double)> Rotate;
};

const std::vector<TEngine>& Engines() {
  static const std::vector<TEngine> engines = {
      {"shear", {ie24RGB}, [](TIEBitmap* b, double a) { _IERotate(b, true, nullptr, nullptr, TRGB{}, a); }},
      {"shear8",
       {ie8g, ie8p},
       [](TIEBitmap* b, double a) { _IERotate8bit(b, true, 0, nullptr, nullptr, a); }},
      {"shearNoBlend",
       {ie24RGB},
       [](TIEBitmap* b, double a) { _IERotate(b, false, nullptr, nullptr, TRGB{}, a); }},
      {"nearest1", {ie1g}, [](TIEBitmap* b, double a) { _IERotate1bit(b, false, TIEProgressRecord{}, a); }},
      {"nearest8", {ie8g}, [](TIEBitmap* b, double a) { _IERotate8bitNearest(b, 0, a); }},
      {"bilinear",
       {ie24RGB},
       [](TIEBitmap* b, double a) { _IERotateInterpolated(b, 0, 1, nullptr, nullptr, a); }},
      {"bicubic",
       {ie24RGB},
       [](TIEBitmap* b, double a) { _IERotateInterpolated(b, 0, 2, nullptr, nullptr, a); }},
      {"bilinear8", {ie8g}, [](TIEBitmap* b, double a) { _IERotateInterpolated8bit(b, 0, 1, a); }},
      {"bicubic8", {ie8g}, [](TIEBitmap* b, double a) { _IERotateInterpolated8bit(b, 0, 2, a); }},
      {"inPlace",
       {ie1g, ie8g, ie8p, ie16g, ie24RGB, ie32f, ieCMYK, ieRGB48, ie32RGB},
       [](TIEBitmap* b, double a) { _IERotateInPlace(b, 0, nullptr, nullptr, a); }},
  };
  return engines;
}

}  // namespace

TEST(Rotate, QuarterTurnsAndFullTurnsMapCoordinatesExactlyWithEveryEngine) {
  const int W = 16, H = 12;
  // Angle -> which source pixel lands on destination (x, y) of a Dw x Dh result.
  struct Turn {
    double angle;
    int quarter;
  } turns[] = {{90, 1}, {-270, 1}, {450, 1}, {180, 2}, {-180, 2}, {270, 3}, {-90, 3}, {360, 0}, {-720, 0}};
  for (const TEngine& e : Engines())
    for (TIEPixelFormat pf : e.Formats)
      for (const Turn& t : turns) {
        auto b = Coded(W, H, pf);
        e.Rotate(b.get(), t.angle);
        int dw = t.quarter % 2 ? H : W, dh = t.quarter % 2 ? W : H;
        ASSERT_EQ(b->GetWidth(), dw) << e.Name << " " << t.angle;
        ASSERT_EQ(b->GetHeight(), dh) << e.Name << " " << t.angle;
        for (int y = 0; y < dh; ++y)
          for (int x = 0; x < dw; ++x) {
            int sx = t.quarter == 0 ? x : t.quarter == 1 ? W - 1 - y : t.quarter == 2 ? W - 1 - x : y;
            int sy = t.quarter == 0 ? y : t.quarter == 1 ? x : t.quarter == 2 ? H - 1 - y : H - 1 - x;
            ASSERT_EQ(PixelAt(*b, x, y), Code(pf, sx, sy))
                << e.Name << " format " << int(pf) << " angle " << t.angle << " at " << x << "," << y;
          }
      }
}

TEST(Rotate, CanvasSizesFollowEachEngine) {
  struct Case {
    const char* what;
    int w, h;
    TIEPixelFormat pf;
    double angle;
    std::function<void(TIEBitmap*, double)> rotate;
    int ew, eh;
  } cases[] = {
      // W1 = 114, d1 = 7, H2 = 108, d2 = 14, H3 = 94, W3 = 112.
      {"shear 30", 100, 50, ie24RGB, 30, Engines()[0].Rotate, 112, 94},
      {"shear -30", 100, 50, ie24RGB, -30, Engines()[0].Rotate, 112, 94},
      // One quarter turn to 50 x 100, then 0.5 degree: W1 = 51, H3 = 101, W3 = 52.
      {"shear 90.5", 100, 50, ie24RGB, 90.5, Engines()[0].Rotate, 52, 101},
      {"shear8 30", 100, 50, ie8g, 30, Engines()[1].Rotate, 112, 94},
      // Trunc(|100 c| + |50 s|) with c = s = 0.7071...: 106.07.
      {"nearest1 45", 100, 50, ie1g, 45, Engines()[3].Rotate, 106, 106},
      {"nearest8 45", 100, 50, ie8g, 45, Engines()[4].Rotate, 106, 106},
      // Round(86.60 + 25.00) x Round(50.00 + 43.30).
      {"bilinear 30", 100, 50, ie24RGB, 30, Engines()[5].Rotate, 112, 93},
      {"bicubic8 30", 100, 50, ie8g, 30, Engines()[8].Rotate, 112, 93},
      // Every row and column is kept at a small angle.
      {"bilinear 0.001", 100, 50, ie24RGB, 0.001, Engines()[5].Rotate, 100, 50},
      {"nearest1 0.01", 100, 50, ie1g, 0.01, Engines()[3].Rotate, 100, 50},
      // Round(14.14).
      {"into 45", 10, 10, ie24RGB, 45, Engines()[9].Rotate, 14, 14},
  };
  for (const Case& c : cases) {
    auto b = Uniform(c.w, c.h, c.pf, 200);
    c.rotate(b.get(), c.angle);
    EXPECT_EQ(b->GetWidth(), c.ew) << c.what;
    EXPECT_EQ(b->GetHeight(), c.eh) << c.what;
    if (std::fabs(std::remainder(c.angle, 90)) < 20) continue;
    // The corners are background (0) with every engine.
    EXPECT_EQ(PixelAt(*b, 0, 0)[0], 0) << c.what;
    EXPECT_EQ(PixelAt(*b, b->GetWidth() - 1, b->GetHeight() - 1)[0], 0) << c.what;
  }
}

TEST(Rotate, UniformImagesStayExactInsideTheRotatedArea) {
  // Odd values catch a blend that rounds twice; 255 and 1 catch a sum of
  // weights one ulp below one.
  for (std::uint8_t v : {1, 77, 128, 255})
    for (const TEngine& e : Engines())
      for (TIEPixelFormat pf : e.Formats)
        for (double angle : {30.0, -17.5, 133.0, 0.3}) {
          if (pf == ie1g && v != 1) continue;
          auto b = Uniform(60, 40, pf, v);
          e.Rotate(b.get(), angle);
          int cx = b->GetWidth() / 2, cy = b->GetHeight() / 2;
          std::vector<std::uint8_t> want = PixelAt(*Uniform(1, 1, pf, v), 0, 0);
          for (int y = cy - 10; y <= cy + 10; ++y)
            for (int x = cx - 10; x <= cx + 10; ++x)
              ASSERT_EQ(PixelAt(*b, x, y), want)
                  << e.Name << " format " << int(pf) << " value " << int(v) << " angle " << angle;
        }
}

TEST(Rotate, AlphaPlaneTurnsWithTheImageInEveryEngine) {
  for (const TEngine& e : Engines())
    for (TIEPixelFormat pf : e.Formats)
      for (double angle : {30.0, 90.0, -45.5}) {
        auto b = Uniform(40, 24, pf, 1);
        b->GetAlphaChannel()->Fill(255);
        e.Rotate(b.get(), angle);
        ASSERT_TRUE(b->HasAlphaChannel());
        TIEBitmap* a = b->GetAlphaChannel();
        ASSERT_EQ(a->GetWidth(), b->GetWidth()) << e.Name << " " << angle;
        ASSERT_EQ(a->GetHeight(), b->GetHeight()) << e.Name << " " << angle;
        EXPECT_EQ(a->GetScanline(a->GetHeight() / 2)[a->GetWidth() / 2], 255) << e.Name;
        if (angle != 90) {
          EXPECT_EQ(a->GetScanline(0)[0], 0) << e.Name << ": uncovered corners are transparent";
        }
      }
}

TEST(Rotate, AllEnginesTurnCounterClockwiseAboutTheCentre) {
  // A bright block 20 pixels right of the centre goes up and to the right.
  const double angle = 30;
  for (const TEngine& e : Engines())
    for (TIEPixelFormat pf : e.Formats) {
      if (pf != ie24RGB && pf != ie8g) continue;
      auto b = Uniform(81, 61, pf, 0);
      for (int y = 29; y <= 31; ++y)
        for (int x = 59; x <= 61; ++x) SetPixel(*b, x, y, PixelAt(*Uniform(1, 1, pf, 255), 0, 0));
      e.Rotate(b.get(), angle);
      double sx = 0, sy = 0, sum = 0;
      for (int y = 0; y < b->GetHeight(); ++y)
        for (int x = 0; x < b->GetWidth(); ++x) {
          double v = PixelAt(*b, x, y)[0];
          sx += v * x, sy += v * y, sum += v;
        }
      ASSERT_GT(sum, 0) << e.Name;
      double ex = (b->GetWidth() - 1) / 2.0 + 20 * std::cos(angle * M_PI / 180);
      double ey = (b->GetHeight() - 1) / 2.0 - 20 * std::sin(angle * M_PI / 180);
      EXPECT_NEAR(sx / sum, ex, 1.5) << e.Name;
      EXPECT_NEAR(sy / sum, ey, 1.5) << e.Name;
    }
}

TEST(Rotate, EmptyImagesAndZeroOrInvalidAnglesLeaveTheImageAlone) {
  for (const TEngine& e : Engines())
    for (TIEPixelFormat pf : e.Formats) {
      TIEBitmap empty;
      empty.Allocate(0, 0, pf);
      e.Rotate(&empty, 30);
      EXPECT_EQ(empty.GetWidth(), 0) << e.Name;
      for (double angle : {0.0, std::nan(""), HUGE_VAL}) {
        auto b = Coded(9, 7, pf);
        e.Rotate(b.get(), angle);
        ASSERT_EQ(b->GetWidth(), 9) << e.Name << " " << angle;
        for (int y = 0; y < 7; ++y)
          for (int x = 0; x < 9; ++x) ASSERT_EQ(PixelAt(*b, x, y), Code(pf, x, y)) << e.Name << " " << angle;
      }
    }
}

TEST(Rotate, TinyImagesKeepImageAndAlphaTogetherAtAnyAngle) {
  for (const TEngine& e : Engines())
    for (TIEPixelFormat pf : e.Formats)
      for (auto [w, h] : {std::pair{1, 1}, {1, 5}, {5, 1}, {2, 2}, {3, 2}})
        for (double angle : {1.0, 45.0, 89.999, 135.0, -44.9, 1e6 + 0.5}) {
          auto b = Coded(w, h, pf);
          b->GetAlphaChannel()->Fill(255);
          e.Rotate(b.get(), angle);
          ASSERT_GE(b->GetWidth(), 1) << e.Name << " " << w << "x" << h << " " << angle;
          ASSERT_GE(b->GetHeight(), 1) << e.Name;
          ASSERT_EQ(b->GetAlphaChannel()->GetWidth(), b->GetWidth()) << e.Name;
          ASSERT_EQ(b->GetAlphaChannel()->GetHeight(), b->GetHeight()) << e.Name;
        }
}

TEST(Rotate, ShearBlendRoundsOnceAndUnknownModesAreBilinear) {
  // A row shifted by a whole pixel has a zero weight: every odd value survives.
  auto b = Coded(16, 12, ie24RGB);
  auto ref = Coded(16, 12, ie24RGB);
  // 0.001 degree: weights 0 in the first shear, 1 / 4096 in the others.
  _IERotate(b.get(), true, nullptr, nullptr, TRGB{}, 0.001);
  ASSERT_EQ(b->GetWidth(), 18);
  ASSERT_EQ(b->GetHeight(), 13);
  int matches = 0;
  for (int y = 0; y < 12; ++y)
    for (int x = 0; x < 16; ++x) matches += PixelAt(*b, x, y) == PixelAt(*ref, x, y);
  EXPECT_EQ(matches, 16 * 12);

  auto m1 = Coded(16, 12, ie24RGB), m7 = Coded(16, 12, ie24RGB);
  _IERotateInterpolated(m1.get(), clWhite, 1, nullptr, nullptr, 21);
  _IERotateInterpolated(m7.get(), clWhite, 7, nullptr, nullptr, 21);
  ASSERT_EQ(m1->GetWidth(), m7->GetWidth());
  for (int y = 0; y < m1->GetHeight(); ++y)
    ASSERT_EQ(std::memcmp(m1->GetScanline(y), m7->GetScanline(y), m1->GetWidth() * 3), 0);
}

TEST(Rotate, BicubicUndershootBecomesZeroNotItsMagnitude) {
  // A vertical step, 0 then 255, turned slightly: along a row the samples
  // walk across the step, so the values may only grow.
  auto b = Uniform(60, 40, ie8g, 0);
  for (int y = 0; y < 40; ++y) std::memset(b->GetScanline(y) + 30, 255, 30);
  _IERotateInterpolated8bit(b.get(), 0, 2, 0.5);
  for (int y = 10; y < 30; ++y)
    for (int x = 16; x < 44; ++x) ASSERT_LE(b->GetScanline(y)[x], b->GetScanline(y)[x + 1]) << x << "," << y;
}

TEST(Rotate, BackgroundIsConvertedToThePixelFormat) {
  struct Case {
    TIEPixelFormat pf;
    TColor bg;
    std::vector<std::uint8_t> want;
  } cases[] = {
      {ie8g, clRed, {53}},           // 255 x 21 div 100
      {ie16g, clWhite, {255, 255}},  // 255 x 257
      {ie24RGB, clRed, {0, 0, 255}}, {ie1g, clWhite, {1}}, {ie1g, clRed, {0}},
      {ie8p, RGB(250, 5, 5), {2}},  // the nearest of the palette entries below
  };
  for (const Case& c : cases) {
    auto src = Uniform(10, 10, c.pf, 0);
    if (c.pf == ie8p) {
      src->SetPalette(0, TRGB{0, 0, 0});
      src->SetPalette(1, TRGB{255, 255, 255});
      src->SetPalette(2, TRGB{0, 0, 240});  // red, stored blue first
      for (int i = 3; i < 256; ++i) src->SetPalette(i, TRGB{0, 128, 0});
    }
    TIEBitmap dst;
    _IERotateInto(src.get(), &dst, c.bg, nullptr, nullptr, 45);
    EXPECT_EQ(PixelAt(dst, 0, 0), c.want) << int(c.pf);
    EXPECT_EQ(dst.GetPalette(2), src->GetPalette(2));
  }
}

TEST(Rotate, ProgressRunsUpToTheLastRowInOrder) {
  std::vector<int> seen;
  TIEProgressEvent ev = [&](TObject*, int per) { seen.push_back(per); };
  auto b = Uniform(50, 30, ie24RGB, 9);
  _IERotate(b.get(), true, nullptr, ev, TRGB{}, 20);
  ASSERT_FALSE(seen.empty());
  EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
  EXPECT_LT(seen.back(), 100);
  EXPECT_GT(seen.back(), 95);
  seen.clear();
  b = Uniform(50, 30, ie24RGB, 9);
  _IERotateInterpolated(b.get(), 0, 2, nullptr, ev, 20);
  EXPECT_EQ(static_cast<int>(seen.size()), b->GetHeight());
  EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
}

TEST(Rotate, ThreadsAndVectorsGiveTheScalarBytes) {
  std::mt19937 rng(7);
  auto make = [&] {
    auto b = std::make_unique<TIEBitmap>(157, 93, ie24RGB);
    for (int y = 0; y < 93; ++y)
      for (int i = 0; i < 157 * 3; ++i) b->GetScanline(y)[i] = static_cast<std::uint8_t>(rng());
    TIEBitmap* a = b->GetAlphaChannel();
    for (int y = 0; y < 93; ++y)
      for (int x = 0; x < 157; ++x) a->GetScanline(y)[x] = static_cast<std::uint8_t>(rng());
    return b;
  };
  auto original = make();
  const TIESpeedSettings saved = IESpeed();
  // Modes: 0 shears, 1 bilinear, 2 bicubic, 3 nearest (any format).
  for (int mode : {0, 1, 2, 3})
    for (double angle : {30.0, -61.25, 0.7, 90.0}) {
      auto run = [&](bool fast) {
        IESpeed().SIMD = fast;
        IESpeed().MaxThreads = fast ? 4 : 1;
        IESpeed().MinWorkPerThread = 1;
        auto b = std::make_unique<TIEBitmap>();
        b->Assign(original.get());
        if (mode == 0)
          _IERotate(b.get(), true, nullptr, nullptr, TRGB{1, 2, 3}, angle);
        else if (mode == 3)
          _IERotateInPlace(b.get(), RGB(9, 8, 7), nullptr, nullptr, angle);
        else
          _IERotateInterpolated(b.get(), RGB(9, 8, 7), static_cast<std::uint8_t>(mode), nullptr, nullptr,
                                angle);
        return b;
      };
      auto slow = run(false), fast = run(true);
      IESpeed() = saved;
      ASSERT_EQ(slow->GetWidth(), fast->GetWidth());
      for (int y = 0; y < slow->GetHeight(); ++y) {
        ASSERT_EQ(std::memcmp(slow->GetScanline(y), fast->GetScanline(y), slow->GetWidth() * 3), 0)
            << "mode " << mode << " angle " << angle << " row " << y;
        ASSERT_EQ(std::memcmp(slow->GetAlphaChannel()->GetScanline(y),
                              fast->GetAlphaChannel()->GetScanline(y), slow->GetWidth()),
                  0);
      }
    }
}

// The vector paths (256 and 512 bits) and every thread count give the bytes
// of the scalar reference: on noise, on flat blocks with hard edges (whose
// sums land exactly on integers), on a ramp, with the source in memory, in a
// platform bitmap and on disk, and for sizes whose rows have short or no
// vector ranges.
TEST(Rotate, EveryPathAndThreadCountGivesTheScalarBytes) {
  std::mt19937 rng(11);
  auto make = [&](int w, int h, int kind) {
    auto b = std::make_unique<TIEBitmap>(w, h, ie24RGB);
    for (int y = 0; y < h; ++y)
      for (int i = 0; i < w * 3; ++i) {
        int x = i / 3;
        b->GetScanline(y)[i] = static_cast<std::uint8_t>(kind == 0   ? rng()
                                                         : kind == 1 ? ((x / 5 + y / 4) % 3) * 127
                                                                     : x * 3 + y * 2 + i % 3 * 40);
      }
    return b;
  };
  struct TPath {
    bool SIMD, AVX512;
    int Threads;
  };
  const TPath paths[] = {
      {true, true, 1}, {true, true, 2}, {true, true, 3}, {true, true, 0}, {true, false, 0}};
  const TIESpeedSettings saved = IESpeed();
  struct TCase {
    int W, H, Kind;
    TIELocation Where;
  };
  const TCase cases[] = {{101, 67, 0, ieMemory}, {101, 67, 1, ieMemory}, {90, 70, 2, ieTBitmap},
                         {64, 40, 0, ieFile},    {12, 9, 0, ieMemory},   {5, 3, 1, ieMemory},
                         {1, 4, 0, ieMemory},    {2, 2, 1, ieMemory}};
  for (const TCase& c : cases) {
    auto original = make(c.W, c.H, c.Kind);
    original->SetLocation(c.Where);
    for (std::uint8_t mode : {1, 2})
      for (double angle : {30.0, -61.25, 0.001, 135.5, -170.0}) {
        auto run = [&](const TPath& p) {
          IESpeed().SIMD = p.SIMD;
          IESpeed().AVX512 = p.AVX512;
          IESpeed().MaxThreads = p.Threads;
          IESpeed().MinWorkPerThread = 1;
          auto b = std::make_unique<TIEBitmap>();
          b->Assign(original.get());
          b->SetLocation(c.Where);
          _IERotateInterpolated(b.get(), RGB(9, 8, 7), mode, nullptr, nullptr, angle);
          return b;
        };
        auto want = run({false, false, 1});
        for (const TPath& p : paths) {
          auto got = run(p);
          IESpeed() = saved;
          ASSERT_EQ(got->GetWidth(), want->GetWidth());
          ASSERT_EQ(got->GetHeight(), want->GetHeight());
          for (int y = 0; y < want->GetHeight(); ++y)
            ASSERT_EQ(std::memcmp(want->GetScanline(y), got->GetScanline(y), want->GetWidth() * 3), 0)
                << c.W << " x " << c.H << " kind " << c.Kind << " mode " << int(mode) << " angle " << angle
                << " avx512 " << p.AVX512 << " threads " << p.Threads << " row " << y;
        }
      }
  }
  IESpeed() = saved;
}

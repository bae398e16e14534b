// Resampling: hand-worked values, the routing table, thread and vector-path
// independence of the bytes, uniform images and extreme ratios.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <memory>
#include <stdexcept>
#include <thread>
#include <tuple>
#include <vector>

#include "imaging/processing/resample.h"
#include "resample_test_util.h"

using namespace redozir;

namespace {
const TResampleFilter kAllFilters[] = {rfNone,     rfTriangle, rfHermite,   rfBell,     rfBSpline,
                                       rfLanczos3, rfMitchell, rfNearest,   rfLinear,   rfFastLinear,
                                       rfBilinear, rfBicubic,  rfProjectBW, rfProjectWB};

std::unique_ptr<TIEBitmap> Resampled(TIEBitmap* src, int w, int h, TResampleFilter f) {
  auto dst = TIEBitmap::CreateSized(w, h, src->PixelFormat());
  _IEResampleIEBitmap(src, dst.get(), f, TIEProgressEvent(), nullptr);
  return dst;
}

std::vector<int> Row8(TIEBitmap* b, int y) {
  std::vector<int> v;
  for (int x = 0; x < b->Width(); ++x) v.push_back(b->GetScanline(y)[x]);
  return v;
}
}  // namespace

TEST(ResampleSize, RulesOfResampleTo) {
  struct Case {
    int nw, nh;
    bool ok;
    int w, h;
  } cases[] = {
      {-1, 600, true, 1200, 600}, {300, -1, true, 300, 150}, {-1, -1, false, 0, 0},   {-1, 0, true, 1, 400},
      {0, 0, true, 800, 400},     {-300, 50, true, 300, 50}, {0, -1, true, 800, 400}, {-5, -7, false, 0, 0},
  };
  for (const auto& c : cases) {
    int w = 0, h = 0;
    bool ok = IEResampleTargetSize(800, 400, c.nw, c.nh, w, h);
    EXPECT_EQ(ok, c.ok) << c.nw << "," << c.nh;
    if (ok) {
      EXPECT_EQ(w, c.w) << c.nw << "," << c.nh;
      EXPECT_EQ(h, c.h) << c.nw << "," << c.nh;
    }
  }
}

TEST(ResampleNearest, HandWorkedColumnsOn1BitAnd24Bit) {
  // 3 -> 2 takes columns 0 and 1; 2 -> 5 takes 0, 0, 0, 1, 1.
  auto one = TIEBitmap::CreateSized(3, 1, ie1g);
  one->GetScanline(0)[0] = 0x40;  // pixels 0 1 0
  auto d = Resampled(one.get(), 2, 1, rfNone);
  ASSERT_EQ(d->PixelFormat(), ie1g);
  EXPECT_EQ(d->GetScanline(0)[0] & 0xC0, 0x40);
  auto two = TIEBitmap::CreateSized(2, 1, ie1g);
  two->GetScanline(0)[0] = 0x40;  // pixels 0 1
  d = Resampled(two.get(), 5, 1, rfNone);
  EXPECT_EQ(d->GetScanline(0)[0] & 0xF8, 0x18);  // 0 0 0 1 1

  auto rgb = TIEBitmap::CreateSized(2, 1, ie24RGB);
  std::uint8_t px[6] = {1, 2, 3, 4, 5, 6};
  std::copy(px, px + 6, rgb->GetScanline(0));
  d = Resampled(rgb.get(), 5, 2, rfNone);
  std::vector<std::uint8_t> want = {1, 2, 3, 1, 2, 3, 1, 2, 3, 4, 5, 6, 4, 5, 6};
  for (int y = 0; y < 2; ++y)
    EXPECT_EQ(std::vector<std::uint8_t>(d->GetScanline(y), d->GetScanline(y) + 15), want);
}

TEST(ResampleNearest, PaletteIndicesKeptAndPaletteCopied) {
  auto src = TIEBitmap::CreateSized(4, 2, ie8p);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 4; ++x) src->GetScanline(y)[x] = static_cast<std::uint8_t>(10 * y + x);
  src->SetPalette(3, TRGB{1, 2, 3});
  auto d = Resampled(src.get(), 2, 1, rfNone);
  ASSERT_EQ(d->PixelFormat(), ie8p);
  EXPECT_EQ(Row8(d.get(), 0), (std::vector<int>{0, 2}));
  EXPECT_EQ(d->GetPalette(3), (TRGB{1, 2, 3}));
}

TEST(ResampleNearest, ReportsEachNewPercentOnce) {
  auto src = MakeImage(10, 300, ie8g, 1);
  auto dst = TIEBitmap::CreateSized(10, 250, ie8g);
  std::vector<int> seen;
  TIEProgressEvent ev = [&](TObject*, int p) { seen.push_back(p); };
  _IEStretchNearest(src.get(), dst.get(), nullptr, ev);
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.front(), 0);
  for (size_t i = 1; i < seen.size(); ++i) EXPECT_GT(seen[i], seen[i - 1]);
  EXPECT_EQ(seen.back(), static_cast<int>(249 * (100.0 / 250.5)));
}

TEST(ResampleKernel, Kernels) {
  EXPECT_EQ(IEBoxFilter(0.5), 1.0);
  EXPECT_EQ(IEBoxFilter(-0.5), 0.0);
  EXPECT_EQ(IESinc(0), 1.0);
  EXPECT_NEAR(IELanczos3Filter(0.5), (std::sin(M_PI / 2) / (M_PI / 2)) * (std::sin(M_PI / 6) / (M_PI / 6)),
              1e-15);
  EXPECT_EQ(IETriangleFilter(-0.25), 0.75);
  EXPECT_EQ(IEBellFilter(1.0), 0.125);
  EXPECT_NEAR(IEBSplineFilter(1.0), 1.0 / 6, 1e-16);
  EXPECT_NEAR(IEMitchellFilter(0.0), 16.0 / 18, 1e-16);
  EXPECT_EQ(IEHermiteFilter(0.5), 0.5);
  EXPECT_EQ(IELinearFilter(-1.0), 0.0);
  EXPECT_EQ(IELinearFilter(-0.25), 0.75);
}

TEST(ResampleKernel, MirroredEdgeIndices) {
  // 5 -> 9 with Lanczos3: S = 2. Column 1 (C = 0.5) reaches j = -2 and -1,
  // which read pixels 2 and 1; column 7 (C = 3.5) reaches j = 5 and 6, which
  // read pixels 4 and 3.
  TIEResampleTaps t = IEBuildTaps(5, 9, rfLanczos3);
  auto weightOf = [](double c, int j) {
    return static_cast<int>(std::nearbyint(IELanczos3Filter(c - j) * 256));
  };
  std::vector<std::pair<int, int>> want1, want7, got1, got7;
  for (int j = -3; j <= 4; ++j) {
    int w = weightOf(0.5, j);
    if (w) want1.push_back({j < 0 ? -j : j, w});
  }
  for (int j = 0; j <= 7; ++j) {
    int w = weightOf(3.5, j);
    if (w) want7.push_back({j >= 5 ? 9 - j : j, w});
  }
  for (auto& c : t.List(1)) got1.push_back({c.Pixel, c.Weight});
  for (auto& c : t.List(7)) got7.push_back({c.Pixel, c.Weight});
  EXPECT_EQ(got1, want1);
  EXPECT_EQ(got7, want7);
  EXPECT_EQ(got1[0].first, 2);
  EXPECT_EQ(got7.back().first, 3);
}

TEST(ResampleKernel, EdgeIndicesMirrorTheWindowsOwnIndexInExtendedPrecision) {
  // The lists as the arithmetic of the design gives them: S a double, the
  // window (W, FS, centre) extended, j < 0 read at -j and j >= N at
  // 2N - 1 - j, then clamped. 2 -> 1 reaches j = -6 with Lanczos3, beyond
  // -N; 13 -> 2 with the B-spline has a weight on a .5 tie in double.
  auto want = [](int N, int M, TResampleFilter f) {
    double support = 1;
    auto K = IEKernelOf(f, support);
    const double S = (N == 1 || M == 1) ? double(M) / N : double(M - 1) / (N - 1);
    const long double W = S < 1 ? support / (long double)S : support, FS = S < 1 ? 1 / (long double)S : 1;
    std::vector<std::vector<std::pair<int, int>>> lists(static_cast<size_t>(M));
    for (int i = 0; i < M; ++i) {
      const long double C = i / (long double)S;
      for (auto j = (long long)std::floor(C - W); j <= (long long)std::ceil(C + W); ++j) {
        const int w = (int)std::nearbyint((long double)K(double((C - j) / FS)) * 256 / FS);
        const long long m = j < 0 ? -j : j >= N ? 2LL * N - 1 - j : j;
        if (w) lists[i].push_back({(int)std::clamp<long long>(m, 0, N - 1), w});
      }
    }
    return lists;
  };
  struct Case {
    int N, M;
    TResampleFilter f;
  } cases[] = {{2, 1, rfLanczos3}, {2, 1, rfBSpline}, {3, 1, rfMitchell}, {1000, 500, rfLanczos3},
               {13, 2, rfBSpline}, {7, 9, rfBSpline}, {4, 2, rfLanczos3}};
  for (const auto& c : cases) {
    TIEResampleTaps t = IEBuildTaps(c.N, c.M, c.f);
    const auto lists = want(c.N, c.M, c.f);
    for (int i = 0; i < c.M; ++i) {
      std::vector<std::pair<int, int>> got;
      for (auto& e : t.List(i)) got.push_back({e.Pixel, e.Weight});
      ASSERT_EQ(got, lists[i]) << c.N << " -> " << c.M << " filter " << int(c.f) << " at " << i;
    }
  }
  // By hand, 2 -> 1 with Lanczos3 (S = 0.5, weights Round(K(j / 2) x 128):
  // 128, 78, 0, -17, 0, 3, 0 for |j| = 0..6): pixel 0 takes j = 0 and 3..6,
  // 114; pixel 1 every other, 142. Across and down.
  for (auto [w, h] : {std::pair{2, 1}, std::pair{1, 2}}) {
    auto src = TIEBitmap::CreateSized(w, h, ie24RGB);
    std::fill_n(src->GetScanline(0), 3, 0);
    std::fill_n(h == 1 ? src->GetScanline(0) + 3 : src->GetScanline(1), 3, 255);
    auto d = Resampled(src.get(), 1, 1, rfLanczos3);
    EXPECT_EQ(Bytes(d.get()), (std::vector<std::uint8_t>{141, 141, 141}))
        << w << " x " << h;  // 142 x 255 / 256
  }
}

TEST(ResampleKernel, BellReductionWeightsAndTriangleCorners) {
  // 9 -> 5 with rfBell: S = 0.5, W = 3, FS = 2, weights Round(K((C - j) x 0.5) x 128).
  TIEResampleTaps t = IEBuildTaps(9, 5, rfBell);
  for (int i = 0; i < 5; ++i) {
    int C = 2 * i, sum = 0;
    std::vector<std::pair<int, int>> want, got;
    for (int j = C - 3; j <= C + 3; ++j) {
      int w = static_cast<int>(std::nearbyint(IEBellFilter((C - j) * 0.5) * 128));
      if (!w) continue;
      int p = j < 0 ? -j : j >= 9 ? 17 - j : j;
      want.push_back({p, w});
      sum += w;
    }
    for (auto& c : t.List(i)) got.push_back({c.Pixel, c.Weight});
    EXPECT_EQ(got, want) << i;
    EXPECT_EQ(t.Sum[i], sum);
  }
  // 2 x 2 -> 4 x 4 with rfTriangle: the outer pixels are the corners exactly.
  auto src = TIEBitmap::CreateSized(2, 2, ie24RGB);
  std::uint8_t v[2][6] = {{10, 20, 30, 40, 50, 60}, {70, 80, 90, 100, 110, 120}};
  for (int y = 0; y < 2; ++y) std::copy(v[y], v[y] + 6, src->GetScanline(y));
  auto d = Resampled(src.get(), 4, 4, rfTriangle);
  auto px = [&](int x, int y) {
    const std::uint8_t* p = d->GetScanline(y) + 3 * x;
    return std::vector<int>{p[0], p[1], p[2]};
  };
  EXPECT_EQ(px(0, 0), (std::vector<int>{10, 20, 30}));
  EXPECT_EQ(px(3, 0), (std::vector<int>{40, 50, 60}));
  EXPECT_EQ(px(0, 3), (std::vector<int>{70, 80, 90}));
  EXPECT_EQ(px(3, 3), (std::vector<int>{100, 110, 120}));
}

TEST(ResampleKernel, WideReductionIsNotBlackAndOneByOneReplicates) {
  // 1000 -> 1 rounds every Lanczos weight to 0; the normalised list keeps
  // the picture's level.
  auto src = MakeUniform(1000, 2, ie24RGB, 200);
  auto d = Resampled(src.get(), 1, 1, rfLanczos3);
  EXPECT_EQ(Bytes(d.get()), (std::vector<std::uint8_t>{200, 200, 200}));
  TIEResampleTaps t = IEBuildTaps(1000, 1, rfLanczos3);
  EXPECT_GT(t.Sum[0], 0);

  auto one = TIEBitmap::CreateSized(1, 1, ie24RGB);
  std::uint8_t p[3] = {9, 99, 199};
  std::copy(p, p + 3, one->GetScanline(0));
  for (TResampleFilter f : {rfTriangle, rfLanczos3, rfMitchell, rfBilinear, rfBicubic, rfFastLinear}) {
    auto r = Resampled(one.get(), 3, 2, f);
    for (int i = 0; i < 6; ++i)
      EXPECT_EQ(std::vector<std::uint8_t>(r->GetScanline(i / 3) + 3 * (i % 3),
                                          r->GetScanline(i / 3) + 3 * (i % 3) + 3),
                std::vector<std::uint8_t>(p, p + 3))
          << int(f);
  }
}

TEST(ResampleArea, HandWorkedValues) {
  // 2 -> 1: (0, 1) averages to 0.5 and (1, 2) to 1.5; halves go to even.
  for (auto [a, b, want] : {std::tuple{0, 1, 0}, std::tuple{1, 2, 2}, std::tuple{3, 4, 4}}) {
    auto s = TIEBitmap::CreateSized(2, 1, ie8g);
    s->GetScanline(0)[0] = static_cast<std::uint8_t>(a);
    s->GetScanline(0)[1] = static_cast<std::uint8_t>(b);
    for (TResampleFilter f : {rfBilinear, rfBicubic})
      EXPECT_EQ(Resampled(s.get(), 1, 1, f)->GetScanline(0)[0], want);
  }
  // Enlargement by 2 (case 0): T = 0.5 then 1, so the second pixel of each
  // pair takes the next source pixel.
  auto s = TIEBitmap::CreateSized(2, 2, ie8g);
  s->GetScanline(0)[0] = 0;
  s->GetScanline(0)[1] = 100;
  s->GetScanline(1)[0] = 200;
  s->GetScanline(1)[1] = 50;
  auto d = Resampled(s.get(), 4, 4, rfBilinear);
  EXPECT_EQ(Row8(d.get(), 0), (std::vector<int>{88, 75, 75, 75}));
  for (int y = 1; y < 4; ++y) EXPECT_EQ(Row8(d.get(), y), (std::vector<int>{125, 50, 50, 50}));
}

TEST(ResampleArea, CubicInterpolationAndClamping) {
  EXPECT_DOUBLE_EQ(IECubicInterpolate4(0, 0, 255, 255, 0.5, 0, 255), 127.5);
  EXPECT_DOUBLE_EQ(IECubicInterpolate4(0, 255, 255, 0, 0.5, -1000, 1000), 318.75);
  EXPECT_DOUBLE_EQ(IECubicInterpolate4(0, 255, 255, 0, 0.5, 0, 255), 255);
  EXPECT_DOUBLE_EQ(IECubicInterpolate4(255, 0, 0, 255, 0.5, 0, 255), 0);
  EXPECT_DOUBLE_EQ(IECubicInterpolate4(7, 11, 13, 17, 0, 0, 255), 11);
  // A hard edge enlarged with bicubic overshoots and is held to 0..255.
  auto s = TIEBitmap::CreateSized(6, 1, ie8g);
  std::uint8_t v[6] = {0, 0, 255, 255, 0, 0};
  std::copy(v, v + 6, s->GetScanline(0));
  auto d = Resampled(s.get(), 24, 1, rfBicubic);
  auto row = Row8(d.get(), 0);
  EXPECT_EQ(*std::max_element(row.begin(), row.end()), 255);
  EXPECT_EQ(*std::min_element(row.begin(), row.end()), 0);
}

TEST(ResampleFastLinear, HandWorkedBoxesAndNeighbourAverage) {
  auto s = TIEBitmap::CreateSized(10, 1, ie8g);
  for (int x = 0; x < 10; ++x) s->GetScanline(0)[x] = static_cast<std::uint8_t>(10 * x);
  auto d = Resampled(s.get(), 5, 1, rfFastLinear);
  EXPECT_EQ(Row8(d.get(), 0), (std::vector<int>{10, 30, 50, 70, 80}));
  // Same width, new height: every pixel averaged with its right neighbour.
  auto t = TIEBitmap::CreateSized(4, 1, ie8g);
  std::uint8_t v[4] = {0, 11, 20, 40};
  std::copy(v, v + 4, t->GetScanline(0));
  d = Resampled(t.get(), 4, 2, rfFastLinear);
  EXPECT_EQ(Row8(d.get(), 1), (std::vector<int>{5, 15, 30, 40}));
  // Enlargement: c0 + ((c1 - c0) x frac) shr 17, rounding toward minus infinity.
  auto u = TIEBitmap::CreateSized(2, 1, ie8g);
  u->GetScanline(0)[0] = 9;
  u->GetScanline(0)[1] = 0;
  d = Resampled(u.get(), 4, 1, rfFastLinear);
  EXPECT_EQ(Row8(d.get(), 0), (std::vector<int>{9, 4, 0, 0}));  // 9 + floor(-4.5) = 4
  // Exactly half both ways: boxes of columns 0-2 and 2 alone, then rows 0-2
  // and 2 alone, each average truncated (source row 3 and column 3 unread):
  // the boxes across sum to 5, 5 and 8, giving 1, 1 and 2, and (1 + 1 + 2)
  // div 3 = 1 where the mean of the nine pixels is 2.
  auto h = TIEBitmap::CreateSized(4, 4, ie8g);
  const std::uint8_t q[4][4] = {{0, 0, 5, 255}, {0, 0, 5, 255}, {0, 0, 8, 255}, {255, 255, 255, 255}};
  for (int y = 0; y < 4; ++y) std::copy(q[y], q[y] + 4, h->GetScanline(y));
  d = Resampled(h.get(), 2, 2, rfFastLinear);
  EXPECT_EQ(Row8(d.get(), 0), (std::vector<int>{1, 6}));
  EXPECT_EQ(Row8(d.get(), 1), (std::vector<int>{2, 8}));
}

TEST(ResampleProject, OnePixelDecidesItsBlock) {
  auto w = MakeUniform(8, 8, ie24RGB, 255);
  std::fill(w->GetScanline(5) + 3 * 5, w->GetScanline(5) + 3 * 6, 0);
  auto d = Resampled(w.get(), 4, 4, rfProjectBW);
  ASSERT_EQ(d->PixelFormat(), ie1g);
  // Block of (x, y): rows Trunc((y-1) x 2)..Trunc(y x 2), columns likewise:
  // pixel (5, 5) is in the blocks of x = 3 and y = 3 only.
  for (int y = 0; y < 4; ++y) EXPECT_EQ(d->GetScanline(y)[0] & 0xF0, y == 3 ? 0xE0 : 0xF0) << y;
  auto b = MakeUniform(8, 8, ie24RGB, 0);
  std::fill(b->GetScanline(5) + 3 * 5, b->GetScanline(5) + 3 * 6, 255);
  d = Resampled(b.get(), 4, 4, rfProjectWB);
  for (int y = 0; y < 4; ++y) EXPECT_EQ(d->GetScanline(y)[0] & 0xF0, y == 3 ? 0x10 : 0x00) << y;
}

TEST(Resample1bit, BoxReductionAndClampedRectangle) {
  auto s = TIEBitmap::CreateSized(4, 4, ie1g);
  for (int y = 0; y < 4; ++y) s->GetScanline(y)[0] = y < 2 ? 0xF0 : 0x50;  // rows 1111, 1111, 0101, 0101
  auto d = Resampled(s.get(), 2, 2, rfBilinear);
  ASSERT_EQ(d->PixelFormat(), ie24RGB);
  EXPECT_EQ(d->GetScanline(0)[0], 255);
  // Block of (0, 1): rows Trunc(2 - 1)..Trunc(1 + 2) = 1..3, columns 0..1.
  EXPECT_EQ(d->GetScanline(1)[0], 255 * 4 / 6);
  // A rectangle reaching outside the image is kept inside it.
  auto dst = TIEBitmap::CreateSized(3, 3, ie24RGB);
  _IEResample1bitBox(s.get(), -5, -5, 50, 50, dst.get());
  _IEResample1bitBox(s.get(), 3, 3, 9, 9, dst.get());
  EXPECT_EQ(dst->GetScanline(2)[0], 255);
}

TEST(ResampleRouting, FormatsAndEngines) {
  struct Route {
    TIEPixelFormat src;
    TResampleFilter f;
    TIEPixelFormat out;
  } routes[] = {
      {ie24RGB, rfNone, ie24RGB},     {ie24RGB, rfLanczos3, ie24RGB}, {ie24RGB, rfFastLinear, ie24RGB},
      {ie24RGB, rfBilinear, ie24RGB}, {ie24RGB, rfProjectBW, ie1g},   {ie24RGB, rfProjectWB, ie1g},
      {ie8g, rfNone, ie8g},           {ie8g, rfTriangle, ie8g},       {ie8g, rfBicubic, ie8g},
      {ie8g, rfProjectBW, ie8g},      {ie1g, rfNone, ie1g},           {ie1g, rfTriangle, ie24RGB},
      {ie1g, rfFastLinear, ie24RGB},  {ie1g, rfBilinear, ie24RGB},    {ie1g, rfProjectBW, ie1g},
      {ie1g, rfProjectWB, ie1g},      {ie16g, rfBilinear, ie16g},     {ieRGB48, rfBicubic, ieRGB48},
      {ie16g, rfNone, ie16g},         {ieRGB48, rfNone, ieRGB48},
  };
  for (const auto& r : routes) {
    auto src = MakeImage(13, 9, r.src, 3);
    auto d = Resampled(src.get(), 7, 20, r.f);
    EXPECT_EQ(d->PixelFormat(), r.out) << int(r.src) << " " << int(r.f);
    EXPECT_EQ(d->Width(), 7);
    EXPECT_EQ(d->Height(), 20);
  }
  // Which engine: the dispatcher's bytes equal the engine's own.
  using Engine = void (*)(TIEBitmap*, TIEBitmap*);
  struct EngineCase {
    TIEPixelFormat pf;
    TResampleFilter f;
    Engine e;
  } engines[] = {
      {ie24RGB, rfFastLinear, [](TIEBitmap* s, TIEBitmap* d) { _IEResampleFastLinear24(s, d, nullptr, {}); }},
      {ie24RGB, rfBilinear,
       [](TIEBitmap* s, TIEBitmap* d) { _IEResampleBilinearBicubic8(s, d, 0, nullptr, {}); }},
      {ie24RGB, rfBicubic,
       [](TIEBitmap* s, TIEBitmap* d) { _IEResampleBilinearBicubic8(s, d, 1, nullptr, {}); }},
      {ie8g, rfProjectWB, [](TIEBitmap* s, TIEBitmap* d) { _IEResampleFastLinear8(s, d, nullptr, {}); }},
      {ie8g, rfLanczos3, [](TIEBitmap* s, TIEBitmap* d) { _IEResample8bit(s, d, rfLanczos3); }},
      {ie1g, rfBicubic, [](TIEBitmap* s, TIEBitmap* d) { _IEResample1bitLinear(s, d, nullptr, {}); }},
      {ie16g, rfBicubic,
       [](TIEBitmap* s, TIEBitmap* d) { _IEResampleBilinearBicubic16(s, d, 1, nullptr, {}); }},
  };
  for (const auto& e : engines) {
    auto src = MakeImage(13, 9, e.pf, 4);
    auto viaDispatch = Resampled(src.get(), 30, 5, e.f);
    auto direct = TIEBitmap::CreateSized(30, 5, e.pf == ie1g ? ie24RGB : e.pf);
    e.e(src.get(), direct.get());
    EXPECT_EQ(Bytes(viaDispatch.get()), Bytes(direct.get())) << int(e.pf) << " " << int(e.f);
  }
}

TEST(ResampleRouting, OtherColourFormatsGoThroughA24BitCopy) {
  // rfBilinear on ie32f runs rfTriangle on the 24-bit copy.
  auto src = MakeImage(13, 9, ie32RGB, 6);
  auto f32 = TIEBitmap::CreateSized(13, 9, ie32f);
  f32->ConvertFrom(src.get());
  auto copy = TIEBitmap::CreateSized(13, 9, ie24RGB);
  copy->ConvertFrom(f32.get());
  auto want = Resampled(copy.get(), 20, 4, rfTriangle);
  EXPECT_EQ(Bytes(Resampled(f32.get(), 20, 4, rfBilinear).get()), Bytes(want.get()));
}

TEST(ResampleAlpha, PlaneFollowsWithItsFullFlag) {
  auto src = MakeImage(12, 10, ie24RGB, 5);
  TIEBitmap* a = src->GetAlphaChannel();
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 12; ++x) a->GetScanline(y)[x] = static_cast<std::uint8_t>(x * 20);
  a->SetFull(true);  // deliberately not the truth: the flag is copied as it stands
  for (TResampleFilter f : {rfNone, rfLanczos3, rfBilinear}) {
    auto d = Resampled(src.get(), 6, 5, f);
    ASSERT_TRUE(d->HasAlphaChannel());
    TIEBitmap* da = d->GetAlphaChannel();
    EXPECT_TRUE(da->Full());
    auto want = TIEBitmap::CreateSized(6, 5, ie8g);
    if (f == rfNone)
      _IEStretchNearest(a, want.get(), nullptr, {});
    else
      _IEResample8bit(a, want.get(), f);
    EXPECT_EQ(Bytes(da), Bytes(want.get())) << int(f);
  }
}

TEST(ResampleInvariants, UniformStaysUniformAtEveryRatio) {
  const int sizes[][4] = {{7, 5, 3, 2}, {3, 2, 7, 5}, {1000, 2, 999, 3}, {1000, 3, 1, 1}, {5, 1000, 4, 1}};
  for (TIEPixelFormat pf : {ie24RGB, ie8g}) {
    for (const auto& s : sizes) {
      auto src = MakeUniform(s[0], s[1], pf, 173);
      for (TResampleFilter f : kAllFilters) {
        if (f == rfProjectBW || f == rfProjectWB) continue;
        auto d = Resampled(src.get(), s[2], s[3], f);
        auto b = Bytes(d.get());
        ASSERT_FALSE(b.empty());
        for (auto v : b) ASSERT_EQ(v, 173) << int(pf) << " " << int(f) << " " << s[0] << "->" << s[2];
      }
    }
  }
  // 1-bit: all set stays all set (set bits, or 255 grey).
  auto ones = MakeUniform(9, 7, ie1g, 0xFF);
  for (TResampleFilter f : kAllFilters) {
    auto d = Resampled(ones.get(), 4, 11, f);
    for (int y = 0; y < 11; ++y)
      for (int x = 0; x < 4; ++x) {
        int v = d->PixelFormat() == ie1g ? ((d->GetScanline(y)[0] >> (7 - x)) & 1) * 255
                                         : d->GetScanline(y)[3 * x];
        ASSERT_EQ(v, 255) << int(f) << " at " << x << "," << y;
      }
  }
}

TEST(ResampleInvariants, ExtremeRatiosRunClean) {
  const int sizes[][4] = {{7, 3, 3, 7},    {3, 7, 7, 3},    {1000, 2, 999, 1},
                          {1000, 2, 1, 3}, {1, 1000, 3, 1}, {2, 2, 1, 1}};
  for (TIEPixelFormat pf : {ie24RGB, ie8g, ie1g, ie16g}) {
    for (const auto& s : sizes) {
      auto src = MakeImage(s[0], s[1], pf, 11);
      for (TResampleFilter f : kAllFilters) {
        auto d = Resampled(src.get(), s[2], s[3], f);
        EXPECT_EQ(d->Width(), s[2]);
        EXPECT_EQ(d->Height(), s[3]);
      }
    }
  }
}

TEST(ResampleInvariants, BytesDoNotDependOnThreadsOrVectorPath) {
  ResampleSettingsGuard guard;
  struct Job {
    TIEPixelFormat pf;
    int sw, sh, dw, dh;
  } jobs[] = {{ie24RGB, 61, 47, 23, 19}, {ie24RGB, 23, 19, 70, 41}, {ie8g, 61, 47, 29, 101},
              {ie1g, 40, 33, 17, 50},    {ie24RGB, 100, 9, 1, 30},  {ie24RGB, 5, 3, 64, 1},
              {ie24RGB, 20, 15, 40, 30}, {ie8g, 9, 40, 27, 10}};
  for (const auto& j : jobs) {
    auto src = MakeImage(j.sw, j.sh, j.pf, 7);
    for (TResampleFilter f : kAllFilters) {
      IESetMaxThreads(1);
      IESetSIMD(false);
      auto ref = Bytes(Resampled(src.get(), j.dw, j.dh, f).get());
      for (int n : {1, 2, 3, 0}) {
        for (bool simd : {false, true}) {
          IESetMaxThreads(n);
          IESetSIMD(simd);
          EXPECT_EQ(Bytes(Resampled(src.get(), j.dw, j.dh, f).get()), ref)
              << "format " << int(j.pf) << " filter " << int(f) << " threads " << n << " simd " << simd;
        }
      }
    }
  }
}

// Rows long enough for the vector rows and their scalar tails, at ratios
// where boxes, interpolation and kernel windows change shape.
TEST(ResampleInvariants, WideRowsMatchTheScalarRows) {
  ResampleSettingsGuard guard;
  const int sizes[][4] = {{240, 20, 120, 10}, {240, 20, 360, 30}, {101, 13, 37, 40}, {37, 9, 37, 20},
                          {300, 6, 7, 3},     {9, 4, 250, 9},     {250, 5, 249, 6},  {249, 5, 250, 4},
                          {64, 64, 64, 21},   {203, 31, 51, 8},   {250, 6, 125, 3}};
  const TResampleFilter filters[] = {rfFastLinear, rfLanczos3, rfTriangle, rfMitchell, rfNearest, rfNone};
  for (TIEPixelFormat pf : {ie24RGB, ie8g, ie1g}) {
    for (const auto& z : sizes) {
      auto src = MakeImage(z[0], z[1], pf, 3);
      for (TResampleFilter f : filters) {
        IESetMaxThreads(1);
        IESetSIMD(false);
        auto ref = Bytes(Resampled(src.get(), z[2], z[3], f).get());
        // The 512-bit rows where the processor has them, and the AVX2 ones.
        for (int n : {0, 2, 3}) {
          for (bool wide : {true, false}) {
            IESetMaxThreads(n);
            IESetSIMD(true);
            IESpeed().AVX512 = wide;
            EXPECT_EQ(Bytes(Resampled(src.get(), z[2], z[3], f).get()), ref)
                << "format " << int(pf) << " " << z[0] << "x" << z[1] << " -> " << z[2] << "x" << z[3]
                << " filter " << int(f) << " threads " << n << " avx512 " << wide;
          }
        }
        IESpeed().AVX512 = true;
        // A watched run takes the two-phase way (whole work image, progress).
        auto watched = TIEBitmap::CreateSized(z[2], z[3], pf);
        _IEResampleIEBitmap(
            src.get(), watched.get(), f, [](TObject*, int) {}, nullptr);
        EXPECT_EQ(Bytes(watched.get()), ref) << "watched, format " << int(pf) << " filter " << int(f);
      }
    }
  }
}

TEST(ResampleKernel, PerCallTablesEqualExtendedOnes) {
  // The double fast path must round every weight as the extended kernels do,
  // over sizes up and down, wide reductions (renormalised lists, windows of
  // more than 64 taps) included, with the Lanczos3 taps weighed in vectors
  // of 2, 4 and 8.
  ResampleSettingsGuard guard;
  std::vector<std::tuple<int, int, TResampleFilter>> sizes = {
      {4000, 1000, rfLanczos3}, {3000, 750, rfLanczos3}, {1000, 4000, rfLanczos3}, {7, 3, rfBell},
      {3, 7, rfMitchell},       {1000, 1, rfLanczos3},   {5000, 3, rfBSpline},     {5000, 40, rfLanczos3}};
  const TResampleFilter filters[] = {rfTriangle, rfHermite,  rfBell,    rfBSpline,
                                     rfLanczos3, rfMitchell, rfNearest, rfLinear};
  for (int k = 0; k < 120; ++k) {
    const int n = 2 + (k * 977) % 1500, m = 1 + (k * 613 + 11) % 1700;
    sizes.emplace_back(n, m, filters[k % 8]);
  }
  for (auto [n, m, f] : sizes) {
    TIEResampleTaps ext = IEBuildTaps(n, m, f, true);
    for (int path = 0; path < 3; ++path) {
      IESetSIMD(path > 0);
      IESpeed().AVX512 = path > 1;
      TIEResampleTaps fast = IEBuildTaps(n, m, f);
      ASSERT_EQ(fast.M, ext.M);
      for (int i = 0; i < ext.M; ++i) {
        ASSERT_EQ(fast.Sum[i], ext.Sum[i]) << n << " -> " << m << " filter " << int(f) << " at " << i;
        ASSERT_EQ(fast.List(i).size(), ext.List(i).size());
        for (std::size_t c = 0; c < ext.List(i).size(); ++c) {
          ASSERT_EQ(fast.List(i)[c].Pixel, ext.List(i)[c].Pixel);
          ASSERT_EQ(fast.List(i)[c].Weight, ext.List(i)[c].Weight);
        }
      }
      ASSERT_EQ(fast.W, ext.W);
      ASSERT_EQ(fast.Rcp, ext.Rcp);
    }
  }
  for (auto [n, m, f] :
       {std::tuple{4000, 1000, rfLanczos3}, std::tuple{7, 3, rfBell}, std::tuple{3, 7, rfMitchell}}) {
    auto kept = std::make_unique<TIEResampleTaps>(IEBuildTaps(n, m, f));
    TIEResampleTaps fresh = IEBuildTaps(n, m, f);
    EXPECT_EQ(kept->W, fresh.W);
    EXPECT_EQ(kept->Sum, fresh.Sum);
    EXPECT_EQ(kept->PW, fresh.PW);
    for (int i = 0; i < m; ++i) {
      // Every packed pair holds the merged window weights from an even pixel.
      for (int k = 0; k < kept->PLen[i]; ++k) {
        const int j = kept->PStart[i] + 2 * k;
        auto w = [&](int p) {
          const int o = p - kept->Start[i];
          return o >= 0 && o < kept->Len[i] ? kept->W[static_cast<size_t>(i) * kept->Stride + o] : 0;
        };
        const std::int32_t pw = kept->PW[static_cast<size_t>(i) * kept->PStride + k];
        EXPECT_EQ(static_cast<std::int16_t>(pw & 0xFFFF), w(j));
        EXPECT_EQ(static_cast<std::int16_t>(pw >> 16), w(j + 1));
      }
      if (kept->Rcp[i] != 0) {
        EXPECT_EQ(kept->Rcp[i], 1.0f / std::abs(kept->Sum[i]));
      }
    }
  }
}

TEST(ResampleThreads, BandsAndErrors) {
  using Bands = std::vector<std::pair<int, int>>;
  EXPECT_EQ(IEResampleBands(10, 4), (Bands{{0, 2}, {2, 2}, {4, 2}, {6, 4}}));
  EXPECT_EQ(IEResampleBands(3, 4), (Bands{{0, 0}, {0, 0}, {0, 0}, {0, 3}}));
  std::vector<int> done(10, 0);
  EXPECT_THROW(IERunBands(10, 4,
                          [&](int t, int first, int count) {
                            for (int r = first; r < first + count; ++r) done[r] = 1;
                            if (t == 2) throw std::runtime_error("band 2");
                          }),
               std::runtime_error);
  // Every other band ran to its end before the error came back.
  EXPECT_EQ(done, std::vector<int>(10, 1));
  // Chunks taken as threads come free: every item once, whatever the count.
  for (int n : {1, 3, 16}) {
    std::vector<std::atomic<int>> seen(37);
    IERunChunks(37, n, 4, [&](int t, int first, int count) {
      EXPECT_TRUE(t >= 0 && t < n);
      for (int i = first; i < first + count; ++i) seen[i]++;
    });
    for (auto& v : seen) EXPECT_EQ(v.load(), 1);
  }
  EXPECT_THROW(IERunChunks(37, 3, 4,
                           [](int, int first, int) {
                             if (first == 8) throw std::runtime_error("chunk 2");
                           }),
               std::runtime_error);
  // Bands walked in steps, a slow worker's rows taken over: every item once.
  for (int n : {1, 2, 3, 16}) {
    std::vector<std::atomic<int>> seen(101);
    IERunSteal(101, n, 3, [&](int t, int first, int count) {
      EXPECT_TRUE(t >= 0 && t < n && count >= 1 && count <= (n == 1 ? 101 : 3));
      if (t == 1) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      for (int i = first; i < first + count; ++i) seen[i]++;
    });
    for (auto& v : seen) EXPECT_EQ(v.load(), 1);
  }
  EXPECT_THROW(IERunSteal(101, 3, 2,
                          [](int, int first, int count) {
                            if (first <= 40 && 40 < first + count) throw std::runtime_error("row 40");
                          }),
               std::runtime_error);
  // Workers are kept between calls: a call from inside a chunk and calls
  // from several threads at once each still see every item once.
  std::vector<std::atomic<int>> inner(4 * 37);
  auto nested = [&] {
    IERunChunks(4, 3, 1, [&](int, int first, int) {
      IERunChunks(37, 3, 4, [&](int, int f, int c) {
        for (int i = f; i < f + c; ++i) inner[first * 37 + i]++;
      });
    });
  };
  std::thread other(nested);
  nested();
  other.join();
  for (auto& v : inner) EXPECT_EQ(v.load(), 2);
}

TEST(ResampleKernel, ProgressEndsBelowHundred) {
  auto src = MakeImage(40, 30, ie24RGB, 2);
  auto dst = TIEBitmap::CreateSized(20, 17, ie24RGB);
  std::vector<int> seen;
  TIEProgressEvent ev = [&](TObject*, int p) { seen.push_back(p); };
  _IEResampleKernel(src.get(), dst.get(), rfMitchell, ev, nullptr);
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.back(), static_cast<int>(47 * (100.0 / 47.5)));
  for (size_t i = 1; i < seen.size(); ++i) EXPECT_GE(seen[i], seen[i - 1]);
}

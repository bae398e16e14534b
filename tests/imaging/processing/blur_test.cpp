#include <gtest/gtest.h>

#include <cstring>
#include <numeric>
#include <random>
#include <vector>

#include "imaging/core/ie_filters.h"
#include "imaging/processing/ie_blur.h"
#include "imaging/core/ie_parallel.h"

using namespace redozir;

namespace {

std::unique_ptr<TIEBitmap> Plane(int w, int h, std::uint8_t v) {
  auto b = std::make_unique<TIEBitmap>(w, h, ie8g);
  b->Fill(v);
  return b;
}

std::unique_ptr<TIEBitmap> RandomPlane(int w, int h, unsigned seed) {
  std::mt19937 rng(seed);
  auto b = std::make_unique<TIEBitmap>(w, h, ie8g);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) b->GetScanline(y)[x] = static_cast<std::uint8_t>(rng());
  return b;
}

bool SamePixels(TIEBitmap& a, TIEBitmap& b) {
  if (a.GetWidth() != b.GetWidth() || a.GetHeight() != b.GetHeight()) return false;
  int n = a.GetWidth() * a.GetBitCount() / 8;
  for (int y = 0; y < a.GetHeight(); ++y)
    if (std::memcmp(a.GetScanline(y), b.GetScanline(y), n) != 0) return false;
  return true;
}

// The row convolution written as the window with the weights that fall
// outside the row gathered on the end pixels.
std::vector<std::uint8_t> ConvolveByHand(const TIEGaussKernel& k, const std::vector<std::uint8_t>& src) {
  int n = static_cast<int>(src.size()), r = k.Radius;
  std::vector<std::uint8_t> out(src.size());
  for (int x = 0; x < n; ++x) {
    std::uint32_t el = 0, er = 0, acc = 32768;
    for (int i = x - r; i <= x + r; ++i) {
      if (i < 0)
        el += k.Weight(i - x);
      else if (i > n - 1)
        er += k.Weight(i - x);
      else
        acc += src[i] * k.Weight(i - x);
    }
    acc += src[0] * el + src[n - 1] * er;
    out[x] = static_cast<std::uint8_t>(acc >> 16);
  }
  return out;
}

}  // namespace

TEST(GaussBlur, KernelRadiusAndWeightSums) {
  struct Case {
    double sigma;
    int radius, sum;
  } cases[] = {{1, 4, 65535}, {2, 9, 65535}, {3, 13, 65535}, {10, 41, 65533}, {50, 100, 65523}};
  for (const Case& c : cases) {
    TIEGaussKernel k;
    IEBuildGaussKernel(k, c.sigma);
    EXPECT_EQ(k.Radius, c.radius) << c.sigma;
    EXPECT_EQ(std::accumulate(std::begin(k.Weights), std::end(k.Weights), 0), c.sum) << c.sigma;
    EXPECT_EQ(k.Weight(c.radius), k.Weight(-c.radius));
    EXPECT_DOUBLE_EQ(k.Value(0), 1.0);
  }
}

TEST(GaussBlur, RowConvolutionRepeatsTheEdgePixels) {
  std::mt19937 rng(3);
  for (double sigma : {1.0, 3.0, 10.0})
    for (int n : {1, 2, 5, 40, 300}) {
      std::vector<std::uint8_t> src(static_cast<size_t>(n));
      for (auto& v : src) v = static_cast<std::uint8_t>(rng());
      TIEGaussKernel k;
      IEBuildGaussKernel(k, sigma);
      std::vector<std::uint8_t> out(src.size());
      IEConvolveRow(k, src.data(), out.data(), n);
      EXPECT_EQ(out, ConvolveByHand(k, src)) << sigma << " " << n;
    }
}

TEST(GaussBlur, UniformPlanesStayUniform) {
  for (std::uint8_t v : {0, 1, 128, 255})
    for (double sigma : {0.5, 1.0, 3.0, 50.0}) {
      // Whole plane, an inner rectangle, a rectangle on the edges, one pixel.
      struct R {
        int x1, y1, x2, y2;
      } rects[] = {{0, 0, 69, 44}, {10, 5, 40, 30}, {60, 40, 200, 200}, {7, 7, 7, 7}};
      for (const R& r : rects) {
        auto b = Plane(70, 45, v);
        _IEBlurRect8bit(b.get(), r.x1, r.y1, r.x2, r.y2, sigma);
        EXPECT_TRUE(SamePixels(*b, *Plane(70, 45, v))) << int(v) << " sigma " << sigma << " x1 " << r.x1;
      }
    }
}

TEST(GaussBlur, NothingChangesForOtherFormatsRadiiOrRectangles) {
  auto ref = RandomPlane(30, 20, 5);
  struct Case {
    int x1, y1, x2, y2;
    double radius;
  } cases[] = {{0, 0, 29, 19, 0},    {0, 0, 29, 19, -1}, {0, 0, 29, 19, std::nan("")},
               {20, 0, 10, 19, 2},  // inverted
               {-10, -5, -1, -1, 2}, {30, 0, 40, 19, 2}, {0, 20, 29, 40, 2}};
  for (const Case& c : cases) {
    auto b = RandomPlane(30, 20, 5);
    _IEBlurRect8bit(b.get(), c.x1, c.y1, c.x2, c.y2, c.radius);
    EXPECT_TRUE(SamePixels(*b, *ref)) << c.x1 << "," << c.y1 << " r " << c.radius;
    _IEApplyFilter8bit(b.get(), IEPredefinedFilters()[1].Filter, c.x1, c.y1, c.x2 < c.x1 ? c.x2 : c.x1, c.y2);
    EXPECT_TRUE(SamePixels(*b, *ref)) << "filter " << c.x1;
  }
  TIEBitmap rgb(10, 10, ie24RGB);
  rgb.Fill(0);
  rgb.GetScanline(5)[15] = 200;
  _IEBlurRect8bit(&rgb, 0, 0, 9, 9, 3);
  _IEApplyFilter8bit(&rgb, IEPredefinedFilters()[1].Filter, 0, 0, 10, 10);
  EXPECT_EQ(rgb.GetScanline(5)[15], 200);
  EXPECT_EQ(rgb.GetScanline(5)[12], 0);
}

TEST(GaussBlur, BlurStaysInsideTheRectangleAndMatchesTheRowsThenColumns) {
  auto b = RandomPlane(50, 40, 9);
  auto ref = RandomPlane(50, 40, 9);
  _IEBlurRect8bit(b.get(), 5, 6, 30, 25, 2.5);
  TIEGaussKernel k;
  IEBuildGaussKernel(k, 2.5);
  // Rows, then columns, each through the row convolution.
  for (int y = 6; y <= 25; ++y) {
    std::vector<std::uint8_t> row(ref->GetScanline(y) + 5, ref->GetScanline(y) + 31), out(row.size());
    IEConvolveRow(k, row.data(), out.data(), 26);
    std::memcpy(ref->GetScanline(y) + 5, out.data(), 26);
  }
  for (int x = 5; x <= 30; ++x) {
    std::vector<std::uint8_t> col(20), out(20);
    for (int y = 0; y < 20; ++y) col[y] = ref->GetScanline(6 + y)[x];
    IEConvolveRow(k, col.data(), out.data(), 20);
    for (int y = 0; y < 20; ++y) ref->GetScanline(6 + y)[x] = out[y];
  }
  EXPECT_TRUE(SamePixels(*b, *ref));
}

TEST(GaussBlur, ThreadsAndVectorsGiveTheScalarBytes) {
  const TIESpeedSettings saved = IESpeed();
  for (double sigma : {0.7, 3.0, 10.0, 50.0}) {
    // 309 columns: nine steps of 32, one of 16 and five single ones.
    auto slow = RandomPlane(331, 77, 11), fast = RandomPlane(331, 77, 11);
    IESpeed().SIMD = false;
    IESpeed().MaxThreads = 1;
    _IEBlurRect8bit(slow.get(), 2, 2, 310, 70, sigma);
    IESpeed().SIMD = true;
    IESpeed().MaxThreads = 4;
    IESpeed().MinWorkPerThread = 1;
    _IEBlurRect8bit(fast.get(), 2, 2, 310, 70, sigma);
    _IEApplyFilter8bit(fast.get(), IEPredefinedFilters()[8].Filter, 1, 1, 320, 75);
    IESpeed().MaxThreads = 1;
    _IEApplyFilter8bit(slow.get(), IEPredefinedFilters()[8].Filter, 1, 1, 320, 75);
    IESpeed() = saved;
    EXPECT_TRUE(SamePixels(*slow, *fast)) << sigma;
  }
}

// The 512-bit and 256-bit spans and 1, 2, 3 or every thread give the scalar
// bytes, on noise and on a plane of flat blocks; 397 columns make six steps
// of 64, then 32 + 16 + 13 single ones in the 256-bit and scalar tails.
TEST(GaussBlur, EveryPathAndThreadCountGivesTheScalarBytes) {
  const TIESpeedSettings saved = IESpeed();
  struct TPath {
    bool AVX512;
    int Threads;
  } const paths[] = {{true, 1}, {true, 2}, {true, 3}, {true, 0}, {false, 0}, {false, 1}};
  for (int kind : {0, 1})
    for (double sigma : {1.0, 3.0, 10.0}) {
      auto source = RandomPlane(397, 61, 23);
      if (kind == 1)
        for (int y = 0; y < 61; ++y)
          for (int x = 0; x < 397; ++x)
            source->GetScanline(y)[x] = static_cast<std::uint8_t>((x / 40 + y / 9) % 2 * 255);
      auto want = std::make_unique<TIEBitmap>();
      want->Assign(source.get());
      IESpeed().SIMD = false;
      IESpeed().MaxThreads = 1;
      _IEBlurRect8bit(want.get(), 0, 0, 396, 60, sigma);
      for (const TPath& p : paths) {
        auto got = std::make_unique<TIEBitmap>();
        got->Assign(source.get());
        IESpeed().SIMD = true;
        IESpeed().AVX512 = p.AVX512;
        IESpeed().MaxThreads = p.Threads;
        IESpeed().MinWorkPerThread = 1;
        _IEBlurRect8bit(got.get(), 0, 0, 396, 60, sigma);
        EXPECT_TRUE(SamePixels(*want, *got))
            << "kind " << kind << " sigma " << sigma << " avx512 " << p.AVX512 << " threads " << p.Threads;
      }
      IESpeed() = saved;
    }
  IESpeed() = saved;
}

TEST(Filter3x3, BoundsAreExclusiveAndEdgesRepeat) {
  auto b = Plane(6, 5, 0);
  b->GetScanline(2)[2] = 90;
  b->GetScanline(0)[5] = 90;
  // The "Blur" filter over columns 1..4 and rows 0..3.
  _IEApplyFilter8bit(b.get(), IEPredefinedFilters()[1].Filter, 1, 0, 5, 4);
  std::uint8_t want[5][6] = {{0, 0, 0, 0, 20, 90},  // (5, 0) is outside: it stays
                             {0, 10, 10, 10, 10, 0},
                             {0, 10, 10, 10, 0, 0},
                             {0, 10, 10, 10, 0, 0},
                             {0, 0, 0, 0, 0, 0}};
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 6; ++x) EXPECT_EQ(b->GetScanline(y)[x], want[y][x]) << x << "," << y;
  // A negative sum counts by its magnitude; a zero divisor is one.
  TIEFilterKernel edges{{{1, 1, 1}, {1, -8, 1}, {1, 1, 1}}, 0};
  auto c = Plane(3, 3, 0);
  c->GetScanline(1)[1] = 20;
  _IEApplyFilter8bit(c.get(), edges, 0, 0, 3, 3);
  EXPECT_EQ(c->GetScanline(1)[1], 160);
  EXPECT_EQ(c->GetScanline(0)[0], 20);
}

namespace {

// A 24-bit picture, white, with an opaque object (alpha 255) in the middle
// of a transparent plane.
std::unique_ptr<TIEBitmap> ObjectPicture(TIEPixelFormat pf) {
  auto b = std::make_unique<TIEBitmap>(40, 30, pf);
  b->Fill(pf == ie1g ? 1 : static_cast<double>(clWhite));
  TIEBitmap* a = b->GetAlphaChannel();
  a->Fill(0);
  a->FillRect(15, 10, 24, 19, 255);
  return b;
}

}  // namespace

TEST(SoftShadow, MarginsIntensityAndTheObjectItself) {
  // Radius 0 is the 3 x 3 box and counts as 2.0: Trunc(2.0 x 5) + 2 x 2.
  auto b = ObjectPicture(ie24RGB);
  EXPECT_EQ(_IEAddSoftShadow(b.get(), 2, 2, 0, 100, TRGB{}, 15, 10, 24, 19), 14);
  EXPECT_FALSE(b->GetAlphaChannel()->Full());

  // The blurred, shifted plane that the shadow uses, worked out separately.
  auto shadowAlpha = [](int offset) {
    auto p = ObjectPicture(ie24RGB);
    TIEBitmap* a = p->GetAlphaChannel();
    _IEBlurRect8bit(a, 15 - 6, 10 - 6, 24 + 6, 19 + 6, 2.5);  // margin 13 + 2 x offset, half 6 + offset
    return p;
  };
  for (int intensity : {100, 50, 0}) {
    auto pic = ObjectPicture(ie24RGB);
    int m = _IEAddSoftShadow(pic.get(), 0, 0, 2.5, intensity, TRGB{10, 20, 30}, 15, 10, 24, 19);
    EXPECT_EQ(m, 12);
    auto ref = shadowAlpha(0);
    double factor = intensity == 100 ? 1 : intensity == 50 ? 2 : 3;
    TIEBitmap* a = pic->GetAlphaChannel();
    int shaded = 0;
    for (int y = 0; y < 30; ++y)
      for (int x = 0; x < 40; ++x) {
        bool inObject = x >= 15 && x <= 24 && y >= 10 && y <= 19;
        std::uint8_t s = ref->GetAlphaChannel()->GetScanline(y)[x];
        const std::uint8_t* p = pic->GetScanline(y) + 3 * x;
        if (inObject) {
          // Opaque object pixels keep their colour and alpha.
          EXPECT_EQ(a->GetScanline(y)[x], 255);
          EXPECT_EQ(p[0], 255);
        } else if (s != 0) {
          ++shaded;
          EXPECT_EQ(a->GetScanline(y)[x], static_cast<int>(s / factor))
              << intensity << " at " << x << "," << y;
          EXPECT_EQ(p[0], 10);
          EXPECT_EQ(p[2], 30);
        } else {
          EXPECT_EQ(a->GetScanline(y)[x], 0);
          EXPECT_EQ(p[0], 255);
        }
      }
    EXPECT_GT(shaded, 40);
  }
}

TEST(SoftShadow, OffsetsShiftTheShadowAndOtherFormatsKeepTheirAlpha) {
  auto pic = ObjectPicture(ie24RGB);
  _IEAddSoftShadow(pic.get(), 5, 0, 1.0, 100, TRGB{}, 15, 10, 24, 19);
  TIEBitmap* a = pic->GetAlphaChannel();
  // Beyond the object's right edge the shadow is dense, left of it none.
  EXPECT_GT(a->GetScanline(15)[27], 200);
  EXPECT_EQ(a->GetScanline(15)[12], 0);

  TIEBitmap grey(40, 30, ie8g);
  grey.Fill(7);
  TIEBitmap* ga = grey.GetAlphaChannel();
  ga->Fill(0);
  ga->FillRect(15, 10, 24, 19, 255);
  _IEAddSoftShadow(&grey, 3, 3, 2.0, 100, TRGB{}, 15, 10, 24, 19);
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x)
      ASSERT_EQ(ga->GetScanline(y)[x], (x >= 15 && x <= 24 && y >= 10 && y <= 19) ? 255 : 0);

  auto bw = ObjectPicture(ie1g);
  _IEAddSoftShadow(bw.get(), 3, 3, 2.0, 100, TRGB{}, 15, 10, 24, 19);
  EXPECT_EQ(bw->GetScanline(22)[27 >> 3] & (0x80 >> (27 & 7)), 0) << "shadow pixels turn black";
  EXPECT_NE(bw->GetScanline(15)[20 >> 3] & (0x80 >> (20 & 7)), 0) << "the object stays";
  EXPECT_EQ(bw->GetAlphaChannel()->GetScanline(15)[20], 255);
}

TEST(SoftShadow, ImageShadowDarkensTheBackgroundBelowAndRight) {
  TIEBitmap t(60, 50, ie24RGB);
  t.Fill(static_cast<double>(RGB(200, 200, 200)));
  IEDrawSoftShadow(&t, Rect(10, 10, 40, 30), RGB(200, 200, 200));
  auto at = [&](int x, int y) { return t.GetScanline(y)[3 * x]; };
  EXPECT_EQ(at(20, 20), 200) << "the image area is not painted";
  EXPECT_LT(at(41, 20), 150);
  EXPECT_LT(at(20, 31), 150);
  EXPECT_EQ(at(5, 5), 200);
  EXPECT_LT(at(41, 20), at(45, 20));
  EXPECT_GE(at(41, 20), 100) << "at most half dark";
}

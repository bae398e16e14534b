// Absolute positions that comparisons between paths cannot see: a single set
// pixel of a 1-bit image through every resampling filter, and the centre of
// every rotation engine to a tenth of a pixel.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <utility>

#include "imaging/processing/ie_rotate.h"
#include "imaging/processing/resample.h"

using namespace redozir;

namespace {
// Centroid of the first byte of each pixel (the value for 1-bit images).
void Centroid(TIEBitmap& b, double& cx, double& cy) {
  double sx = 0, sy = 0, sum = 0;
  const int n = b.GetBitCount() == 1 ? 0 : b.GetBitCount() / 8;
  for (int y = 0; y < b.GetHeight(); ++y) {
    const std::uint8_t* row = b.GetScanline(y);
    for (int x = 0; x < b.GetWidth(); ++x) {
      double v = n ? row[x * n] : (row[x >> 3] >> (7 - (x & 7))) & 1;
      sx += v * x, sy += v * y, sum += v;
    }
  }
  ASSERT_GT(sum, 0);
  cx = sx / sum, cy = sy / sum;
}

// Where the three shears take the centre of a w x h image turned by angle
// (a quarter turn first, then three skews of at most 45 degrees).
void ShearCentre(int w, int h, double angle, double& x, double& y) {
  int quarter = 0;
  while (angle > 45) angle -= 90, ++quarter;
  if (quarter & 1) std::swap(w, h);
  const double theta = angle * M_PI / 180, t = std::fabs(std::tan(theta / 2)), s = std::fabs(std::sin(theta));
  const bool positive = theta > 0;
  const int W1 = static_cast<int>(std::lround(h * t + w + 1));
  const int d1 = static_cast<int>(std::lround((W1 - w) * s));
  const int H2 = static_cast<int>(std::lround(W1 * s + h + 1));
  const int d2 = static_cast<int>(std::lround((H2 - h - d1) * t));
  const int H3 = H2 - 2 * d1;
  const double cx = (w - 1) / 2.0, cy = (h - 1) / 2.0;
  const double x1 = cx + (positive ? cy : h - cy) * t;
  const double y2 = cy + (positive ? W1 - x1 : x1) * s - d1;
  x = x1 + (positive ? y2 : H3 - y2) * t - d2;
  y = y2;
}
}  // namespace

TEST(AbsolutePosition, OneSetPixelOfA1BitImageStaysInItsColumnThroughEveryFilter) {
  const TResampleFilter filters[] = {rfNone,     rfTriangle, rfHermite, rfBell,       rfBSpline,  rfLanczos3,
                                     rfMitchell, rfNearest,  rfLinear,  rfFastLinear, rfBilinear, rfBicubic};
  for (TResampleFilter f : filters)
    for (int col : {0, 1, 6, 7, 8, 12, 15}) {
      auto s = TIEBitmap::CreateSized(16, 4, ie1g);
      for (int y = 0; y < 4; ++y) {
        std::memset(s->GetScanline(y), 0, static_cast<size_t>(s->GetRowLen()));
        s->GetScanline(y)[col >> 3] = static_cast<std::uint8_t>(0x80 >> (col & 7));
      }
      auto d = TIEBitmap::CreateSized(32, 8, ie1g);
      _IEResampleIEBitmap(s.get(), d.get(), f, TIEProgressEvent(), nullptr);
      double cx = 0, cy = 0;
      Centroid(*d, cx, cy);
      // Pixel col covers 2 col .. 2 col + 1 of the double-width result.
      EXPECT_NEAR(cx, 2 * col + 0.5, 0.75) << "filter " << int(f) << " column " << col;
    }
}

TEST(AbsolutePosition, EveryRotationEngineTurnsAboutTheCentreToATenthOfAPixel) {
  struct Engine {
    const char* name;
    TIEPixelFormat pf;
    int shear;  // 1 blended shears, 2 shears of whole pixels
    std::function<void(TIEBitmap*, double)> rotate;
  } engines[] = {
      {"shear", ie24RGB, 1, [](TIEBitmap* b, double a) { _IERotate(b, true, nullptr, nullptr, TRGB{}, a); }},
      {"shear8", ie8g, 1, [](TIEBitmap* b, double a) { _IERotate8bit(b, true, 0, nullptr, nullptr, a); }},
      {"nearest1", ie1g, 0, [](TIEBitmap* b, double a) { _IERotate1bit(b, false, TIEProgressRecord{}, a); }},
      {"nearest8", ie8g, 0, [](TIEBitmap* b, double a) { _IERotate8bitNearest(b, 0, a); }},
      {"shearNoBlend", ie24RGB, 2,
       [](TIEBitmap* b, double a) { _IERotate(b, false, nullptr, nullptr, TRGB{}, a); }},
      {"bilinear", ie24RGB, 0,
       [](TIEBitmap* b, double a) { _IERotateInterpolated(b, 0, 1, nullptr, nullptr, a); }},
      {"bicubic", ie24RGB, 0,
       [](TIEBitmap* b, double a) { _IERotateInterpolated(b, 0, 2, nullptr, nullptr, a); }},
      {"bilinear8", ie8g, 0, [](TIEBitmap* b, double a) { _IERotateInterpolated8bit(b, 0, 1, a); }},
      {"bicubic8", ie8g, 0, [](TIEBitmap* b, double a) { _IERotateInterpolated8bit(b, 0, 2, a); }},
      {"inPlace", ie24RGB, 0, [](TIEBitmap* b, double a) { _IERotateInPlace(b, 0, nullptr, nullptr, a); }},
  };
  // A disc centred on the image: its centroid is the image centre, and a
  // turn about the centre keeps it on the centre of the new canvas. The three
  // shears place the image by whole-pixel offsets on a canvas a little wider
  // than the turned image: there the centre goes where the three skews take
  // it (a blended skew moves every pixel's weight by exactly its skew).
  for (const Engine& e : engines)
    for (auto [w, h] : {std::pair{41, 31}, {40, 30}})
      for (double angle : {30.0, 45.0, 90.5}) {
        auto b = TIEBitmap::CreateSized(w, h, e.pf);
        const double mx = (w - 1) / 2.0, my = (h - 1) / 2.0;
        for (int y = 0; y < h; ++y) {
          std::uint8_t* row = b->GetScanline(y);
          std::memset(row, 0, static_cast<size_t>(b->GetRowLen()));
          for (int x = 0; x < w; ++x) {
            if ((x - mx) * (x - mx) + (y - my) * (y - my) > 64) continue;
            if (e.pf == ie1g)
              row[x >> 3] |= static_cast<std::uint8_t>(0x80 >> (x & 7));
            else
              std::memset(row + x * (b->GetBitCount() / 8), 255, static_cast<size_t>(b->GetBitCount() / 8));
          }
        }
        e.rotate(b.get(), angle);
        double cx = 0, cy = 0;
        Centroid(*b, cx, cy);
        double ex = (b->GetWidth() - 1) / 2.0, ey = (b->GetHeight() - 1) / 2.0;
        if (e.shear) ShearCentre(w, h, angle, ex, ey);
        EXPECT_NEAR(cx, ex, e.shear == 2 ? 0.3 : 0.1) << e.name << " " << w << "x" << h << " " << angle;
        EXPECT_NEAR(cy, ey, e.shear == 2 ? 0.3 : 0.1) << e.name << " " << w << "x" << h << " " << angle;
      }
}

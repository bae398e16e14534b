// The bilinear and bicubic rotation of 24-bit images and 8-bit planes by
// inverse mapping: every destination pixel samples the source at its
// rotated centre, neighbours outside the source reading as the background.
// Both interpolations are written relative to one sample, so a uniform
// area stays exactly uniform.
#include "imaging/processing/rotate_interpolated.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "imaging/core/ie_pixel.h"
#include "imaging/processing/ie_rotate.h"
#include "imaging/processing/rotate_common.h"
#include "platform/numeric.h"

namespace {

inline int Sample(const TIERotateJob& j, std::int64_t x, std::int64_t y, int c) {
  if (x < 0 || y < 0 || x >= j.W || y >= j.H) return j.Bg[c];
  return (*j.Src)[static_cast<int>(y)][x * j.N + c];
}

inline std::uint8_t ToByte(double v) {
  // A negative result is no colour at all: it becomes 0.
  if (!(v > 0)) return 0;
  if (v >= 255) return 255;
  return static_cast<std::uint8_t>(v);
}

}  // namespace

void IERotateSampleScalar(const TIERotateJob& j, double sx, double sy, std::uint8_t* out) {
  if (IERotateOutside(j, sx, sy)) {
    for (int c = 0; c < j.N; ++c) out[c] = j.Bg[c];
    return;
  }
  if (!j.Bicubic) {
    double fx0 = std::floor(sx), fy0 = std::floor(sy);
    double fx = sx - fx0, fy = sy - fy0;
    auto x0 = static_cast<std::int64_t>(fx0), y0 = static_cast<std::int64_t>(fy0);
    for (int c = 0; c < j.N; ++c) {
      double p00 = Sample(j, x0, y0, c), p10 = Sample(j, x0 + 1, y0, c);
      double p01 = Sample(j, x0, y0 + 1, c), p11 = Sample(j, x0 + 1, y0 + 1, c);
      double top = p00 + (p10 - p00) * fx;
      double bottom = p01 + (p11 - p01) * fx;
      out[c] = ToByte(top + (bottom - top) * fy);
    }
    return;
  }
  double tx0 = std::trunc(sx), ty0 = std::trunc(sy);
  double wx[4], wy[4];
  IECubicWeights(sx - tx0, wx);
  IECubicWeights(sy - ty0, wy);
  auto x0 = static_cast<std::int64_t>(tx0), y0 = static_cast<std::int64_t>(ty0);
  for (int c = 0; c < j.N; ++c) {
    double h[4];
    for (int r = 0; r < 4; ++r) {
      std::int64_t y = y0 - 1 + r;
      double q0 = Sample(j, x0 - 1, y, c), q1 = Sample(j, x0, y, c);
      double q2 = Sample(j, x0 + 1, y, c), q3 = Sample(j, x0 + 2, y, c);
      h[r] = q1 + wx[0] * (q0 - q1) + wx[2] * (q2 - q1) + wx[3] * (q3 - q1);
    }
    out[c] = ToByte(h[1] + wy[0] * (h[0] - h[1]) + wy[2] * (h[2] - h[1]) + wy[3] * (h[3] - h[1]));
  }
}

void IERotateRowsScalar(const TIERotateJob& j, int Y0, int Y1) {
  for (int yb = Y0; yb < Y1; yb += kIERotateTileRows)
    for (int xb = 0; xb < j.NW; xb += kIERotateTileColumns)
      for (int y = yb; y < std::min(Y1, yb + kIERotateTileRows); ++y) {
        double ry = y - j.CDY;
        int xe = std::min(j.NW, xb + kIERotateTileColumns);
        std::uint8_t* out = (*j.Dst)[y] + static_cast<std::ptrdiff_t>(xb) * j.N;
        for (int x = xb; x < xe; ++x, out += j.N) {
          double sx, sy;
          IERotateSource(j, x, ry, sx, sy);
          IERotateSampleScalar(j, sx, sy, out);
        }
      }
}

namespace {

void RotateInterpolated(TIEBitmap* bmp, const std::uint8_t* bg, int n, std::uint8_t mode, TObject* Sender,
                        const TIEProgressEvent& OnProgress, double Angle) {
  int W = bmp->GetWidth(), H = bmp->GetHeight();
  double a = IEReduceAngle(Angle);
  if (W == 0 || H == 0 || std::isnan(a) || a == 0) return;
  if (IEIsMultipleOf90(a)) {
    TIEBitmap turned;
    turned.SetMemoryThreshold(bmp->MemoryThreshold());
    IERotateQuarter(bmp, &turned, IEQuarterOf(a));
    IETakeResult(bmp, turned);
    return;
  }
  double theta = a * std::numbers::pi / 180;
  double cs = std::cos(theta), sn = std::sin(theta);
  // The rotated extent, rounded: at small angles every row and column stays.
  int NW = RoundInt(std::fabs(cs) * W + std::fabs(sn) * H);
  int NH = RoundInt(std::fabs(sn) * W + std::fabs(cs) * H);
  TIEBitmap dst;
  dst.SetMemoryThreshold(bmp->MemoryThreshold());
  if (!dst.Allocate(NW, NH, bmp->GetPixelFormat()))
    throw EOutOfMemory("Cannot allocate a " + std::to_string(NW) + " x " + std::to_string(NH) + " bitmap");
  bmp->CopyPaletteTo(&dst);
  double csx = (W - 1) / 2.0, csy = (H - 1) / 2.0, cdx = (NW - 1) / 2.0;
  std::vector<double> ax(static_cast<size_t>(NW)), bx(static_cast<size_t>(NW));
  for (int x = 0; x < NW; ++x) {
    ax[x] = (x - cdx) * cs + csx;
    bx[x] = (x - cdx) * sn + csy;
  }
  {
    TIERowTable s(bmp), d(&dst);
    TIERotateJob j;
    j.Src = &s;
    j.Dst = &d;
    j.W = W;
    j.H = H;
    j.NW = NW;
    j.N = n;
    j.Bicubic = mode == 2;
    j.AX = ax.data();
    j.BX = bx.data();
    j.CDY = (NH - 1) / 2.0;
    j.Cos = cs;
    j.Sin = sn;
    for (int c = 0; c < n; ++c) j.Bg[c] = bg[c];
    bool avx = n == 3 && IEUseAVX2();
    std::function<void(int)> after;
    if (OnProgress) after = [&](int y) { OnProgress(Sender, TruncInt(y * 100.0 / NH)); };
    IEParallelForProgress(
        NH, static_cast<std::int64_t>(NW) * (j.Bicubic ? 8 : 2), s.Shareable() && d.Shareable(),
        [&](int b, int e) {
          if (avx)
            IERotateRowsAVX2(j, b, e);
          else
            IERotateRowsScalar(j, b, e);
        },
        after);
  }
  IETakeResult(bmp, dst);
}

}  // namespace

void _IERotateInterpolated(TIEBitmap* Bitmap, TColor Background, std::uint8_t AntialiasMode, TObject* Sender,
                           const TIEProgressEvent& OnProgress, double Angle) {
  if (Bitmap->GetPixelFormat() != ie24RGB) return;
  TIEBitmap* alpha = IEAlphaToTurn(Bitmap);
  TRGB c = IEColorToRGB(Background);
  std::uint8_t bg[3] = {c.b, c.g, c.r};
  RotateInterpolated(Bitmap, bg, 3, AntialiasMode, Sender, OnProgress, Angle);
  if (alpha) _IERotateInterpolated8bit(alpha, 0, AntialiasMode, Angle);
}

void _IERotateInterpolated8bit(TIEBitmap* Plane, std::uint8_t Background, std::uint8_t AntialiasMode,
                               double Angle) {
  TIEPixelFormat pf = Plane->GetPixelFormat();
  if (pf != ie8g && pf != ie8p) return;
  TIEBitmap* alpha = IEAlphaToTurn(Plane);
  RotateInterpolated(Plane, &Background, 1, AntialiasMode, nullptr, nullptr, Angle);
  std::uint8_t transparent = 0;
  if (alpha) RotateInterpolated(alpha, &transparent, 1, AntialiasMode, nullptr, nullptr, Angle);
}

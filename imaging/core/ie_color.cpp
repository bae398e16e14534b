// RGB to and from CMYK (integer, exact both ways) and CIELab (sRGB, D65).
#include "imaging/core/ie_color.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "platform/numeric.h"

namespace redozir {

TRGB IEConvertCMYKToRGB(TCMYK v) {
  int w = 255 - v.k;
  auto ch = [&](int ink) { return static_cast<std::uint8_t>((255 - ink) * w / 255); };
  return TRGB{ch(v.y), ch(v.m), ch(v.c)};
}

TCMYK IEConvertRGBToCMYK(TRGB v) {
  int m = std::max({v.r, v.g, v.b});
  if (m == 0) return TCMYK{0, 0, 0, 255};
  // Truncating here and on the way back is what makes the round trip exact.
  auto ink = [&](int c) { return static_cast<std::uint8_t>((m - c) * 255 / m); };
  return TCMYK{ink(v.r), ink(v.g), ink(v.b), static_cast<std::uint8_t>(255 - m)};
}

namespace {
constexpr double kXn = 0.95047, kYn = 1.0, kZn = 1.08883;
constexpr double kDelta = 6.0 / 29.0;

double LinearOf(int c) {
  double x = c / 255.0;
  return x <= 0.04045 ? x / 12.92 : std::pow((x + 0.055) / 1.055, 2.4);
}
// The same values, computed once: three pow calls per pixel dominate otherwise.
double Linear(int c) {
  static const auto table = [] {
    std::array<double, 256> t{};
    for (int i = 0; i < 256; ++i) t[i] = LinearOf(i);
    return t;
  }();
  return table[c];
}
// For k = 1..255 the smallest linear value whose byte is at least k, found
// by bisection on the reference: the byte is then the count of entries at or
// below a value, with no pow call.
const std::array<double, 255>& GammaSteps() {
  static const auto steps = [] {
    std::array<double, 255> t{};
    for (int k = 1; k <= 255; ++k) {
      double lo = -1.0, hi = 2.0;
      for (;;) {
        double mid = lo + (hi - lo) / 2;
        if (mid <= lo || mid >= hi) break;
        (IELinearToSRGBByteReference(mid) >= k ? hi : lo) = mid;
      }
      t[k - 1] = hi;
    }
    return t;
  }();
  return steps;
}
int Gamma(double x) { return IELinearToSRGBByte(x); }
double LabF(double t) {
  return t > kDelta * kDelta * kDelta ? std::cbrt(t) : t / (3 * kDelta * kDelta) + 4.0 / 29.0;
}
double LabFInv(double t) { return t > kDelta ? t * t * t : 3 * kDelta * kDelta * (t - 4.0 / 29.0); }
}  // namespace

int IELinearToSRGBByteReference(double Linear) {
  double x =
      Linear <= 0.0031308 ? 12.92 * Linear : 1.055 * std::pow(std::max(Linear, 0.0), 1.0 / 2.4) - 0.055;
  return RoundClamp(x * 255.0, 0, 255);
}

namespace {
// The answer at the start of each of 4096 equal parts of 0..1: a lookup then
// walks at most a step or two (a binary search over the steps mispredicts its
// branches on real pictures and costs more than the curve itself).
constexpr int kGammaParts = 4096;
const std::array<std::uint8_t, kGammaParts>& GammaStarts() {
  static const auto starts = [] {
    const auto& steps = GammaSteps();
    std::array<std::uint8_t, kGammaParts> t{};
    for (int j = 0; j < kGammaParts; ++j)
      t[j] = static_cast<std::uint8_t>(std::upper_bound(steps.begin(), steps.end(), double(j) / kGammaParts) -
                                       steps.begin());
    return t;
  }();
  return starts;
}
}  // namespace

int IELinearToSRGBByte(double Linear) {
  if (!(Linear > 0)) return 0;  // NaN too
  const auto& steps = GammaSteps();
  int part = Linear >= 1.0 ? kGammaParts - 1 : static_cast<int>(Linear * kGammaParts);
  int b = GammaStarts()[part];
  while (b < 255 && Linear >= steps[b]) ++b;
  return b;
}

TRGB IECIELabToRGB(TCIELab v) {
  double L = v.l * 100.0 / 255.0;
  double fy = (L + 16.0) / 116.0;
  double fx = fy + v.a / 500.0;
  double fz = fy - v.b / 200.0;
  double X = kXn * LabFInv(fx), Y = kYn * LabFInv(fy), Z = kZn * LabFInv(fz);
  double r = 3.2404542 * X - 1.5371385 * Y - 0.4985314 * Z;
  double g = -0.9692660 * X + 1.8760108 * Y + 0.0415560 * Z;
  double b = 0.0556434 * X - 0.2040259 * Y + 1.0572252 * Z;
  return TRGB{static_cast<std::uint8_t>(Gamma(b)), static_cast<std::uint8_t>(Gamma(g)),
              static_cast<std::uint8_t>(Gamma(r))};
}

TCIELab IERGBToCIELab(TRGB v) {
  double r = Linear(v.r), g = Linear(v.g), b = Linear(v.b);
  double X = 0.4124564 * r + 0.3575761 * g + 0.1804375 * b;
  double Y = 0.2126729 * r + 0.7151522 * g + 0.0721750 * b;
  double Z = 0.0193339 * r + 0.1191920 * g + 0.9503041 * b;
  double fx = LabF(X / kXn), fy = LabF(Y / kYn), fz = LabF(Z / kZn);
  double L = 116.0 * fy - 16.0;
  return TCIELab{static_cast<std::uint8_t>(RoundClamp(L * 255.0 / 100.0, 0, 255)),
                 static_cast<std::int8_t>(RoundClamp(500.0 * (fx - fy), -128, 127)),
                 static_cast<std::int8_t>(RoundClamp(200.0 * (fy - fz), -128, 127))};
}

}  // namespace redozir

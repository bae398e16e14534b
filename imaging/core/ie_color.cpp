// RGB to and from CMYK (integer, exact both ways) and CIELab (sRGB, D65).
#include "imaging/core/ie_color.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "platform/numeric.h"

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
int Gamma(double x) {
  x = x <= 0.0031308 ? 12.92 * x : 1.055 * std::pow(std::max(x, 0.0), 1.0 / 2.4) - 0.055;
  return RoundClamp(x * 255.0, 0, 255);
}
double LabF(double t) {
  return t > kDelta * kDelta * kDelta ? std::cbrt(t) : t / (3 * kDelta * kDelta) + 4.0 / 29.0;
}
double LabFInv(double t) { return t > kDelta ? t * t * t : 3 * kDelta * kDelta * (t - 4.0 / 29.0); }
}  // namespace

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

// YUV to RGB. The coefficients are three-decimal numbers, so 1000 times each
// result is an exact integer: every value that is not a tie rounds the same
// way in integer arithmetic as in extended precision, and only the ties (an
// exact .5) take the extended-precision formula, which decides them. Blue
// (from Y and U) and red (from Y and V) are kept in two 64 KB tables built
// that way on first use.
#include "imaging/processing/yuv.h"

#include <cmath>
#include <memory>

#include "imaging/core/ie_extended.h"

namespace redozir {

namespace {
inline std::uint8_t ClampRound(long double v) {
  const long double r = std::nearbyint(v);
  if (!(r > 0)) return 0;
  if (r >= 255) return 255;
  return static_cast<std::uint8_t>(r);
}

// N is 1000 x the exact result; tie() computes the result in extended precision.
template <typename Tie>
inline std::uint8_t Channel(std::int64_t N, Tie tie) {
  if (N < 0) return 0;
  if (N >= 255500) return 255;
  const auto q = N / 1000, r = N % 1000;
  if (r < 500) return static_cast<std::uint8_t>(q);
  if (r > 500) return static_cast<std::uint8_t>(q + 1);
  return ClampRound(tie());
}

inline std::uint8_t Blue(int Y, int U) {
  return Channel(1164 * (std::int64_t{Y} - 16) + 2018 * (std::int64_t{U} - 128), [&] {
    const long double Yl = Y, Ul = U;
    return 1.164L * (Yl - 16) + 2.018L * (Ul - 128);
  });
}
inline std::uint8_t Green(int Y, int U, int V) {
  return Channel(
      1164 * (std::int64_t{Y} - 16) - 813 * (std::int64_t{V} - 128) - 391 * (std::int64_t{U} - 128), [&] {
        const long double Yl = Y, Ul = U, Vl = V;
        return 1.164L * (Yl - 16) - 0.813L * (Vl - 128) - 0.391L * (Ul - 128);
      });
}
inline std::uint8_t Red(int Y, int V) {
  return Channel(1164 * (std::int64_t{Y} - 16) + 1596 * (std::int64_t{V} - 128), [&] {
    const long double Yl = Y, Vl = V;
    return 1.164L * (Yl - 16) + 1.596L * (Vl - 128);
  });
}

}  // namespace

TIEYUVTables::TIEYUVTables() {
  for (int Y = 0; Y < 256; ++Y)
    for (int C = 0; C < 256; ++C) {
      blue[Y][C] = Blue(Y, C);
      red[Y][C] = Red(Y, C);
    }
  for (int i = 0; i < 256; ++i) {
    y[i] = 1164 * (i - 16);
    gu[i] = 391 * (i - 128);
    gv[i] = 813 * (i - 128);
  }
}

const TIEYUVTables& IEYUVTables() {
  static const std::unique_ptr<TIEYUVTables> t = std::make_unique<TIEYUVTables>();
  return *t;
}

std::uint8_t IEYUVGreenSlow(int Y, int U, int V) { return Green(Y, U, V); }

void IEYUVToRGB(int Y, int U, int V, void* Dst) {
  auto* d = static_cast<std::uint8_t*>(Dst);
  if ((Y | U | V) & ~0xFF) {
    d[0] = Blue(Y, U);
    d[1] = Green(Y, U, V);
    d[2] = Red(Y, V);
    return;
  }
  IEYUVToRGBBytes(IEYUVTables(), static_cast<std::uint8_t>(Y), static_cast<std::uint8_t>(U),
                  static_cast<std::uint8_t>(V), d);
}

}  // namespace redozir

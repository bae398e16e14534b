// YUV to RGB. The coefficients are three-decimal numbers, so 1000 times each
// result is an exact integer: every value that is not a tie rounds the same
// way in integer arithmetic as in extended precision, and only the ties (an
// exact .5) take the extended-precision formula, which decides them.
#include "imaging/processing/yuv.h"

#include <cmath>

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
}  // namespace

void IEYUVToRGB(int Y, int U, int V, void* Dst) {
  auto* d = static_cast<std::uint8_t*>(Dst);
  const std::int64_t y = 1164 * (std::int64_t{Y} - 16), u = std::int64_t{U} - 128, v = std::int64_t{V} - 128;
  const long double Yl = Y, Ul = U, Vl = V;
  d[0] = Channel(y + 2018 * u, [&] { return 1.164L * (Yl - 16) + 2.018L * (Ul - 128); });
  d[1] = Channel(y - 813 * v - 391 * u,
                 [&] { return 1.164L * (Yl - 16) - 0.813L * (Vl - 128) - 0.391L * (Ul - 128); });
  d[2] = Channel(y + 1596 * v, [&] { return 1.164L * (Yl - 16) + 1.596L * (Vl - 128); });
}

// RGB <-> HSL. The channel results truncate, as the renderer's HSL
// adjustments expect.
#include "imaging/processing/hsl.h"

#include <algorithm>

#include "platform/numeric.h"

namespace redozir {

void IERGB2HSL(TRGB Color, double& H, double& S, double& L) {
  const double r = Color.r / 255.0, g = Color.g / 255.0, b = Color.b / 255.0;
  const double mx = std::max({r, g, b});
  const double mn = std::min({r, g, b});
  L = (mx + mn) / 2;
  if (mx == mn) {
    H = 0;
    S = 0;
    return;
  }
  const double d = mx - mn;
  S = L < 0.5 ? d / (mx + mn) : d / (2 - mx - mn);
  if (r == mx)
    H = (g - b) / d;
  else if (g == mx)
    H = 2 + (b - r) / d;
  else
    H = 4 + (r - g) / d;
  H = H / 6;
  if (H < 0) H = H + 1;
}

double IEHueToRGB(double P, double Q, double H) {
  if (H < 0)
    H = H + 1;
  else if (H > 1)
    H = H - 1;
  if (6 * H < 1) return P + (Q - P) * 6 * H;
  if (2 * H < 1) return Q;
  if (3 * H < 2) return P + (Q - P) * (2.0 / 3 - H) * 6;
  return P;
}

void IEHSL2RGB(double H, double S, double L, TRGB& Color) {
  if (H < 0)
    H = H + 1;
  else if (H > 1)
    H = H - 1;
  S = std::clamp(S, 0.0, 1.0);
  L = std::clamp(L, 0.0, 1.0);
  double r, g, b;
  if (S == 0) {
    r = g = b = L;
  } else {
    const double q = L < 0.5 ? L * (1 + S) : L + S - L * S;
    const double p = 2 * L - q;
    r = IEHueToRGB(p, q, H + 1.0 / 3);
    g = IEHueToRGB(p, q, H);
    b = IEHueToRGB(p, q, H - 1.0 / 3);
  }
  // Trunc then limit to a byte; NaN (from a NaN argument) reads as 0.
  Color.r = static_cast<std::uint8_t>(TruncClamp(r * 255, 0, 255));
  Color.g = static_cast<std::uint8_t>(TruncClamp(g * 255, 0, 255));
  Color.b = static_cast<std::uint8_t>(TruncClamp(b * 255, 0, 255));
}

}  // namespace redozir

// Conversions between RGB and hue, saturation and lightness (each 0..1).
#pragma once

#include "imaging/core/ie_types.h"

#pragma GCC visibility push(default)
namespace redozir {

void IERGB2HSL(TRGB Color, double& H, double& S, double& L);
// One channel value (0..1) of the HSL to RGB conversion.
double IEHueToRGB(double P, double Q, double H);
void IEHSL2RGB(double H, double S, double L, TRGB& Color);

}  // namespace redozir
#pragma GCC visibility pop

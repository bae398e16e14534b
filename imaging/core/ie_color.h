// One-pixel conversions between RGB and the CMYK and CIELab pixel formats of
// TIEBitmap.
#pragma once

#include "imaging/core/ie_types.h"

#pragma GCC visibility push(default)
namespace redozir {

// CMYK bytes are ink amounts (0 no ink, 255 full ink). RGB -> CMYK -> RGB
// gives the same colour back exactly.
TRGB IEConvertCMYKToRGB(TCMYK Value);
TCMYK IEConvertRGBToCMYK(TRGB Value);

// CIELab pixels: L in 0..255 for 0..100, a and b signed; sRGB primaries with
// a D65 white. Results are rounded and clamped to the byte ranges.
TRGB IECIELabToRGB(TCIELab Value);
TCIELab IERGBToCIELab(TRGB Value);

// The sRGB byte of a linear value in 0..1 (clamped), by the curve and by a
// table of its steps; both answer alike for every value.
int IELinearToSRGBByteReference(double Linear);
int IELinearToSRGBByte(double Linear);

}  // namespace redozir
#pragma GCC visibility pop

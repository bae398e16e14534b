// Row converters between every pixel format of TIEBitmap and 24-bit RGB:
// the common road of the pixel-format change, GetPixels and CopyRectTo.
#pragma once

#include <cstdint>

#include "imaging/core/ie_pixel.h"
#include "imaging/core/ie_types.h"

#pragma GCC visibility push(default)
namespace redozir {

class TIEBitmap;

// The grey value of a colour by the library's weights (21, 71 and 8 at
// start-up), integer division.
inline int IEGrayOf(int r, int g, int b) {
  return (r * gRedToGrayCoef + g * gGreenToGrayCoef + b * gBlueToGrayCoef) / 100;
}
inline int IEGrayOf(TRGB c) { return IEGrayOf(c.r, c.g, c.b); }

// Reads Count pixels from pixel X0 of a row of format pf as RGB: 1 bit gives
// 0 or 255, a palette index its entry (black beyond the palette), grey is
// replicated, 16-bit samples keep their high byte, a float is scaled by 255
// and rounded, CMYK and CIELab are converted. Other formats give black.
void IERowToRGB(TIEPixelFormat pf, const std::uint8_t* Row, int X0, int Count, const TRGB* Palette,
                int PaletteLen, TRGB* Out);
// The reader IERowToRGB uses for pf, for loops that read many rows of one
// format: the format is looked at once, not at every pixel.
using TIERowToRGBFunc = void (*)(const std::uint8_t* Row, int X0, int Count, const TRGB* Palette,
                                 int PaletteLen, TRGB* Out);
TIERowToRGBFunc IERowToRGBFor(TIEPixelFormat pf);
// Count grey bytes, or 32-bit pixels (the fourth byte dropped), as RGB; the
// fastest path the processor has.
void IEGreyRowToRGB(const std::uint8_t* Grey, int Count, TRGB* Out);
void IE32RowToRGB(const std::uint8_t* Row, int Count, TRGB* Out);

// Count pixels of S drawn over the 24-bit pixels at D, each by the weight
// w = min(Alpha[i], Transparency) (Transparency alone without Alpha):
// d + (s - d) x w / 256 per channel, rounded down.
void IEMixRow(const TRGB* S, const std::uint8_t* Alpha, std::uint8_t* D, int Count, int Transparency);

namespace pixel_rows {
void MixRowScalar(const TRGB* S, const std::uint8_t* Alpha, std::uint8_t* D, int Count, int Transparency);
void MixRowAvx2(const TRGB* S, const std::uint8_t* Alpha, std::uint8_t* D, int Count, int Transparency);
// The scalar references of the two, and their AVX2 forms (only where the
// processor has AVX2).
void GreyToRGBScalar(const std::uint8_t* Grey, int Count, TRGB* Out);
void GreyToRGBAvx2(const std::uint8_t* Grey, int Count, TRGB* Out);
void Row32ToRGBScalar(const std::uint8_t* Row, int Count, TRGB* Out);
void Row32ToRGBAvx2(const std::uint8_t* Row, int Count, TRGB* Out);
}  // namespace pixel_rows

// Writes Count RGB pixels into a row of format pf from its first pixel; grey
// formats take the grey value. False (nothing written) for ie1g, ie8p and
// formats without a direct path from RGB.
bool IERowFromRGB(TIEPixelFormat pf, const TRGB* In, int Count, std::uint8_t* Row);

// Row Y of any pixel format as 24-bit colours (Width entries).
void IEGetRowRGB24(TIEBitmap& Bitmap, int Y, TRGB* Out);

}  // namespace redozir
#pragma GCC visibility pop

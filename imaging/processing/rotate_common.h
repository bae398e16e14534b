// What the rotation engines share: the reduction of an angle to quarter
// turns and a rest, the alpha plane that turns with an image, and the
// background of a pixel format.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "imaging/core/iebitmap.h"
#include "imaging/processing/take_result.h"

#pragma GCC visibility push(default)
namespace redozir {

// The angle reduced modulo 360 into (-180, 180]; NaN and infinities give NaN.
double IEReduceAngle(double Angle);
// Quarter turns (0..3, counter-clockwise) of an angle that IEIsMultipleOf90.
int IEQuarterOf(double Angle);
// The alpha plane that must turn with Bitmap, or nullptr.
TIEBitmap* IEAlphaToTurn(TIEBitmap* Bitmap);
// Makes a turned image into Out from Src; false when there is nothing to do.
using TIETurn = std::function<bool(TIEBitmap* Src, TIEBitmap& Out)>;
// Turns Bitmap by TurnImage and the alpha plane that turns with it by
// TurnAlpha, each into new pixels, and commits both only once both are done:
// a failure (EOutOfMemory for any allocation) leaves them as they were.
void IETurnWithAlpha(TIEBitmap* Bitmap, const TIETurn& TurnImage, const TIETurn& TurnAlpha);
// The bytes of one pixel of Bitmap's format for a colour (empty for ie1g and
// formats without pixels): grey for ie8g and ie16g, the nearest palette entry
// for ie8p, the library's own fill conversion for the colour formats.
std::vector<std::uint8_t> IEBackgroundPixel(TIEBitmap* Bitmap, TColor Color);
// The bit of a 1-bit background: set when all three bytes are non-zero.
inline bool IEBackgroundBit(const TRGB& c) { return c.r != 0 && c.g != 0 && c.b != 0; }

// Pixel X of a 1-bit row (most significant bit first), read and written.
inline bool IERowBit(const std::uint8_t* Row, std::int64_t X) { return (Row[X >> 3] >> (7 - (X & 7))) & 1; }
inline void IESetRowBit(std::uint8_t* Row, std::int64_t X, bool V) {
  auto m = static_cast<std::uint8_t>(0x80 >> (X & 7));
  Row[X >> 3] = V ? static_cast<std::uint8_t>(Row[X >> 3] | m) : static_cast<std::uint8_t>(Row[X >> 3] & ~m);
}

}  // namespace redozir
#pragma GCC visibility pop

// What the rotation engines share: the reduction of an angle to quarter
// turns and a rest, the alpha plane that turns with an image, and the
// background of a pixel format.
#pragma once

#include <cstdint>
#include <vector>

#include "imaging/core/iebitmap.h"
#include "imaging/io/take_result.h"

#pragma GCC visibility push(default)
namespace redozir {

// The angle reduced modulo 360 into (-180, 180]; NaN and infinities give NaN.
double IEReduceAngle(double Angle);
// Quarter turns (0..3, counter-clockwise) of an angle that IEIsMultipleOf90.
int IEQuarterOf(double Angle);
// The alpha plane that must turn with Bitmap, or nullptr.
TIEBitmap* IEAlphaToTurn(TIEBitmap* Bitmap);
// Turns Bitmap by TurnImage(Src, Out) and the alpha plane that turns with
// it by TurnAlpha(Src, Out), each into new pixels (false: nothing to do), and
// commits both only once both are done: a failure (EOutOfMemory for any
// allocation) leaves them as they were.
template <typename TI, typename TA>
void IETurnWithAlpha(TIEBitmap* Bitmap, TI&& TurnImage, TA&& TurnAlpha) {
  IEGuardMemory("rotate the image", Bitmap, [&] {
    TIEBitmap* alpha = IEAlphaToTurn(Bitmap);
    TIEBitmap out, outAlpha;
    out.SetMemoryThreshold(Bitmap->MemoryThreshold());
    if (!TurnImage(Bitmap, out)) return;
    if (alpha) {
      outAlpha.SetMemoryThreshold(alpha->MemoryThreshold());
      if (!TurnAlpha(alpha, outAlpha)) alpha = nullptr;
    }
    IETakeResult(Bitmap, out);
    // A plane never lives in a platform bitmap: the exchange cannot fail.
    if (alpha) alpha->SwapImage(outAlpha);
  });
}
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

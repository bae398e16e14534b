// Colour and pixel routines.
#include "imaging/core/ie_pixel.h"

namespace redozir {

int gRedToGrayCoef = 21;
int gGreenToGrayCoef = 71;
int gBlueToGrayCoef = 8;

int IERGBToGray(const TRGB& Color) {
  return (Color.r * gRedToGrayCoef + Color.g * gGreenToGrayCoef + Color.b * gBlueToGrayCoef) / 100;
}

TRGB IECreateRGB(std::uint8_t R, std::uint8_t G, std::uint8_t B) { return TRGB{B, G, R}; }

TRGB IEColorToRGB(TColor Color) {
  TColor c = ColorToRGB(Color);
  return TRGB{static_cast<std::uint8_t>(GetBValue(c)), static_cast<std::uint8_t>(GetGValue(c)),
              static_cast<std::uint8_t>(GetRValue(c))};
}

std::uint32_t IEColorToRGBA(TColor Color, std::uint8_t Alpha) {
  TColor c = ColorToRGB(Color);
  return static_cast<std::uint32_t>(GetBValue(c)) | (static_cast<std::uint32_t>(GetGValue(c)) << 8) |
         (static_cast<std::uint32_t>(GetRValue(c)) << 16) | (static_cast<std::uint32_t>(Alpha) << 24);
}

std::int32_t IESwapRedBlue(std::int32_t Value) {
  std::uint32_t v = static_cast<std::uint32_t>(Value);
  return static_cast<std::int32_t>(((v & 0xFF) << 16) | (v & 0xFF00) | ((v >> 16) & 0xFF));
}

std::int64_t IEColorCount(int A, int B) {
  if (B < 1 || A < 1) return 1;
  std::int64_t bits = static_cast<std::int64_t>(A) * B;
  if (bits > 62) bits = 62;
  return std::int64_t(1) << bits;
}

int IEMaskBitCount(std::uint32_t Mask) {
  if (!Mask) return 0;
  while (!(Mask & 1)) Mask >>= 1;
  int n = 0;
  while (Mask & 1) {
    ++n;
    Mask >>= 1;
  }
  return n;
}

void IEReverseBitsOfByte(std::uint8_t& B) {
  std::uint8_t v = B;
  v = static_cast<std::uint8_t>(((v & 0xF0) >> 4) | ((v & 0x0F) << 4));
  v = static_cast<std::uint8_t>(((v & 0xCC) >> 2) | ((v & 0x33) << 2));
  v = static_cast<std::uint8_t>(((v & 0xAA) >> 1) | ((v & 0x55) << 1));
  B = v;
}

int IEClampByte(int Value) { return Value < 0 ? 0 : Value > 255 ? 255 : Value; }

}  // namespace redozir

// Colour and pixel routines of the imaging core: grey value, colour records,
// system colours, channel swaps and bit tricks.
#pragma once

#include <cstdint>

#include "imaging/core/ie_types.h"
#include "platform/types.h"

#pragma GCC visibility push(default)
namespace redozir {

// The weights (percent) of red, green and blue in a grey value; 21, 71 and 8
// at start-up, changeable by the application.
extern int gRedToGrayCoef;
extern int gGreenToGrayCoef;
extern int gBlueToGrayCoef;

// (R x wR + G x wG + B x wB) div 100.
int IERGBToGray(const TRGB& Color);
TRGB IECreateRGB(std::uint8_t R, std::uint8_t G, std::uint8_t B);
// System colours are resolved first.
TRGB IEColorToRGB(TColor Color);
// Blue, green, red, alpha bytes in memory (0xAARRGGBB as a value).
std::uint32_t IEColorToRGBA(TColor Color, std::uint8_t Alpha);
// Exchanges bytes 0 and 2 of the low 24 bits; the top byte becomes 0.
std::int32_t IESwapRedBlue(std::int32_t Value);
// 2 to the power A x B (1 when B is below 1); saturates at 2^62.
std::int64_t IEColorCount(int A, int B);
// The length of the lowest run of set bits.
int IEMaskBitCount(std::uint32_t Mask);
void IEReverseBitsOfByte(std::uint8_t& B);
int IEClampByte(int Value);

}  // namespace redozir
#pragma GCC visibility pop

// Conversion of one row of pixels between bit depths (the TGA writer's rows).
#pragma once

#include <cstdint>
#include <span>

#include "imaging/core/ie_types.h"

#pragma GCC visibility push(default)
namespace redozir {

class TIEQuantizer;

// Converts Width pixels of Src (SrcBitCount bits each) into Dst
// (DstBitCount bits each); packed pixels are most significant first. Palette
// expands indices to 24 bits (an index past its end gives black); Quantizer
// picks the indices of 24-bit colours. Pairs without a conversion do
// nothing. The 1 -> 4 and 24 -> 4 cases OR into Dst, which the caller clears.
void _IEConvertRow(const void* Src, void* Dst, std::uint16_t SrcBitCount, std::uint16_t DstBitCount,
                   std::uint16_t Width, std::span<const TRGB> Palette, TIEQuantizer* Quantizer);

}  // namespace redozir
#pragma GCC visibility pop

// Histogram matching: the channels of a target image follow the histograms
// of a reference image.
#pragma once

#include <cstdint>

#include "imaging/core/iebitmap.h"

#pragma GCC visibility push(default)
namespace redozir {

// Matches each channel of Target (ie24RGB or ieRGB48) to the same channel of
// the ie24RGB Reference; nothing happens for another reference format or an
// empty bitmap.
void _IEMatchHistogramRGB(TIEBitmap* Reference, TIEBitmap* Target);
// Matches channel 0 (blue), 1 (green) or 2 (red) of Target to the reference
// histogram of 256 counts over RefCount pixels.
void _IEMatchHistogramChannel(TIEBitmap* Target, int Channel, const std::uint32_t* RefHistogram,
                              std::int64_t RefCount);

}  // namespace redozir
#pragma GCC visibility pop

// Reduction of a 24-bit image to a few colours chosen by the quantiser.
#pragma once

#include "imaging/core/iebitmap.h"

#pragma GCC visibility push(default)
namespace redozir {

// Replaces every pixel of an ie24RGB Bitmap by the nearest of NColors colours
// chosen by TIEQuantizer (at most kIEQuantizerMaxColors, 1024); the image
// stays 24-bit. The chosen colours are written to Palette (Min(NColors, 1024)
// entries) when it is given. Other formats are left alone.
void _IEReduceColors(TIEBitmap* Bitmap, int NColors, TRGB* Palette, TIEProgressRecord Progress = {});

}  // namespace redozir
#pragma GCC visibility pop

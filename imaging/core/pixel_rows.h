// Reading a row of any pixel format as 24-bit colours, as the 1-bit
// conversions, the grey histogram and the two-colour test see it.
#pragma once

#include "imaging/core/ie_pixelrow.h"
#include "imaging/core/iebitmap.h"

#pragma GCC visibility push(default)
namespace redozir {

// Fills Out (Width entries) with row Y of Bitmap read as colours.
inline void IEReadRowRGB(TIEBitmap* Bitmap, int Y, TRGB* Out) {
  IERowToRGB(Bitmap->GetPixelFormat(), Bitmap->GetScanline(Y), 0, Bitmap->GetWidth(),
             Bitmap->GetPaletteBuffer(), Bitmap->GetPaletteLength(), Out);
}

}  // namespace redozir
#pragma GCC visibility pop

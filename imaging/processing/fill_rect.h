// _IEFillRect: paints one colour over a rectangle of a bitmap, the painting
// step of TRedozIrProc.Fill.
#pragma once

#include "imaging/core/ie_types.h"
#include "imaging/core/iebitmap.h"

#pragma GCC visibility push(default)
namespace redozir {

// Columns X1 .. X2 - 1 and rows Y1 .. Y2 - 1, cut to the bitmap. A 1-bit
// pixel is set when the colour's red byte is not 0; a grey pixel takes the
// colour's grey value; a palette pixel the nearest palette entry; other
// formats the colour as the bitmap's fill converts it. Progress (ie1g, ie8g
// and ie24RGB) after each row, up to 100.
void _IEFillRect(TIEBitmap* Bitmap, int X1, int Y1, int X2, int Y2, TRGB Color,
                 const TIEProgressEvent& OnProgress, TObject* Sender);

// The value TIEBitmap.Fill takes to paint Color on Bitmap's pixel format: the
// colour itself for the colour formats, its grey level for ie8g, ie16g and
// ie32f, the nearest palette entry for ie8p, 0 or 1 for ie1g.
double IEColorFillValue(TIEBitmap* Bitmap, TColor Color);

}  // namespace redozir
#pragma GCC visibility pop

// _IEFillRect: paints one colour over a rectangle of a bitmap, the painting
// step of TRedozIrProc.Fill.
#pragma once

#include "imaging/core/ie_types.h"
#include "imaging/core/iebitmap.h"

// Columns X1 .. X2 - 1 and rows Y1 .. Y2 - 1, cut to the bitmap. A 1-bit
// pixel is set when the colour's red byte is not 0; a grey pixel takes the
// colour's grey value; a palette pixel the nearest palette entry; other
// formats the colour as the bitmap's fill converts it. Progress (ie1g, ie8g
// and ie24RGB) after each row, up to 100.
void _IEFillRect(TIEBitmap* Bitmap, int X1, int Y1, int X2, int Y2, TRGB Color,
                 const TIEProgressEvent& OnProgress, TObject* Sender);

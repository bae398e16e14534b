// Reading a row of any pixel format as 24-bit colours, as the 1-bit
// conversions, the grey histogram and the two-colour test see it.
#pragma once

#include "imaging/core/iebitmap.h"

// Fills Out (Width entries) with row Y of Bitmap: a palette entry, a grey
// level for all three channels (16-bit grey by its high byte, a float by
// value x 255 rounded and limited), the high byte of each 48-bit channel,
// 0 or 255 for 1 bit; CMYK and CIELab converted. False (and Out untouched)
// for a format that has no colour reading.
bool IEReadRowRGB(TIEBitmap* Bitmap, int Y, TRGB* Out);

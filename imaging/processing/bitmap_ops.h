// Whole-bitmap pixel services: mirroring, inversion of 1-bit images and
// comparison of two bitmaps.
#pragma once

#include "imaging/core/iebitmap.h"

#pragma GCC visibility push(default)
namespace redozir {

// Mirrors Bitmap in place, its alpha plane too: Direction 0 left-right,
// 1 top-bottom; any other direction does nothing.
void _IEFlip(TIEBitmap* Bitmap, int Direction);
// Inverts every bit of every row of an ie1g bitmap; other formats are left alone.
void _IENegative1bit(TIEBitmap* Bitmap);
// True when A and B have the same size, pixel format, palette (ie8p) and
// alpha presence, and the same pixels and alpha values; padding bits at the
// end of the rows do not count.
bool _IEBitmapsEqual(TIEBitmap* A, TIEBitmap* B);

}  // namespace redozir
#pragma GCC visibility pop

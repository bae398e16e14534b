// The bitmap's own reductions to 1 bit and to a palette, used by its pixel
// format change. They stand in for the conversion routines of the processing
// folder and the colour quantiser until those are available, and are meant
// to be replaced by calls to them.
#pragma once

#include "imaging/core/iebitmap.h"

// Dst (ie1g, Src's size) takes Src thresholded at its average grey level:
// a pixel is white when its grey value is at least the level.
void IEBitmapTo1bitAverage(TIEBitmap* Src, TIEBitmap* Dst);
// Dst (ie1g, Src's size) takes Src dithered with the 8 x 8 ordered matrix; a
// pixel whose three channels are all above 250 counts as 64 and stays white.
void IEBitmapTo1bitOrdered(TIEBitmap* Src, TIEBitmap* Dst);
// Dst (ie8p, Src's size) takes Src through a palette: the image's own colours
// when it has at most 256 of them (exact), else a fixed 6 x 6 x 6 cube with
// 40 greys and the nearest entry of it.
void IEBitmapTo8bitPalette(TIEBitmap* Src, TIEBitmap* Dst);

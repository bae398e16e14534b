// The bitmap's own reduction to a palette, used by its pixel format change.
#pragma once

#include "imaging/core/iebitmap.h"

// Dst (ie8p, Src's size) takes Src through a palette: the image's own colours
// when it has at most 256 of them (exact), else a fixed 6 x 6 x 6 cube with
// 40 greys and the nearest entry of it.
void IEBitmapTo8bitPalette(TIEBitmap* Src, TIEBitmap* Dst);
